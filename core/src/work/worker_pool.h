// The worker threads that compress and decompress. A pool lives for one operation: its
// constructor starts the threads and its destructor joins them, so no thread outlives the call
// that needed it and none is ever joined in a static destructor (where Windows holds the
// loader lock). Jobs compute, or read for a check that writes nothing (the hashes of a package's
// files, of the stored originals), each with files open of its own, and the calling thread tells
// the outcomes in order; every write, every message and every decision stays on the calling
// thread. Each thread, the calling one included, has a StreamCodec of its own.
#pragma once

#include "work/stream_codec.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace karv {

// The library's worker count (SetWorkerCount), or the hardware's thread count when it is 0.
unsigned workerThreads();

class WorkerPool {
  public:
    using Job = std::function<void(codec::StreamCodec&)>;

    // A submitted job; its state is guarded by the pool.
    class Ticket {
      public:
        // The job ran out of memory (it is then cut short).
        bool outOfMemory() const { return outOfMemory_; }

      private:
        friend class WorkerPool;
        enum class State { Queued, Running, Done };
        Job job;
        State state = State::Queued;
        bool outOfMemory_ = false;
    };

    // `threads` counts the calling thread: 1 starts no worker and runs everything here.
    explicit WorkerPool(unsigned threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    unsigned threads() const { return unsigned(workers_.size()) + 1; }
    codec::StreamCodec& callerCodec() { return callerCodec_; }

    // Runs job(i, codec) for every i in [0, count) on the workers and the calling thread, and
    // returns when all have run. False when one ran out of memory. Not from inside a job.
    bool forEach(size_t count, const std::function<void(size_t, codec::StreamCodec&)>& job);

    // Queues a job for the workers while the calling thread goes on.
    std::shared_ptr<Ticket> submit(Job job);
    // Returns once the job has run; a job no worker has taken yet runs here and now, and while
    // a worker runs it, the calling thread runs the jobs queued after it, the last first (the
    // workers keep to the order of the queue).
    void wait(Ticket& ticket);

  private:
    void workerLoop();
    void run(Ticket& ticket, codec::StreamCodec& codec);

    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable finished_;
    std::deque<std::shared_ptr<Ticket>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
    codec::StreamCodec callerCodec_;
};

} // namespace karv
