// The one pipeline of the export and the import. The calling thread reads each member (or
// import file) into a block, the workers decompress or compress it into a second block, and the
// calling thread takes the members back strictly in order and writes them. Every file
// operation, message and decision stays on the calling thread, so the output is the same for
// any thread count; only the work in between moves.
//
// Members are read ahead of the one whose turn it is as far as there are threads, and further
// while the blocks of the members on their way stay within what (threads + 1) of the largest
// member so far would hold, never more than kDeepestAheadPerThread per thread (mayReadAhead):
// the workers then always have a member waiting while the calling thread writes, and memory
// stays within a few members whatever the archive's size. Blocks come from one BlockPool and go
// back to it once a member is written.
#pragma once

#include "work/block_pool.h"
#include "work/worker_pool.h"

#include <algorithm>
#include <cstddef>
#include <deque>
#include <memory>
#include <type_traits>
#include <utility>

namespace karv {

// What every member on its way carries: what it was read into, what its job makes, the job.
struct PipelineItem {
    Block input;
    Block output;
    std::shared_ptr<WorkerPool::Ticket> job;
    // What its blocks hold, or will once its job has made the output.
    uint64_t held = 0;
};

// The read-ahead's bound: whether one more member may join the `onTheWay` ones (the one whose
// turn it is included) whose blocks hold `held` bytes, when the largest member so far needs
// `largestNeed`. Always as far as there are threads; beyond that while one more of the largest
// keeps the blocks within (threads + 1) of it, and never beyond kDeepestAheadPerThread per
// thread. Without workers (0 threads) only the member whose turn it is.
inline constexpr size_t kDeepestAheadPerThread = 8;
inline bool mayReadAhead(size_t onTheWay, size_t threads, uint64_t held, uint64_t largestNeed) {
    if (onTheWay <= threads)
        return true;
    if (onTheWay > kDeepestAheadPerThread * threads || largestNeed == 0)
        return false;
    return held + largestNeed <= (threads + 1) * largestNeed;
}

template <typename Item> class Pipeline {
    static_assert(std::is_base_of_v<PipelineItem, Item>, "items carry their blocks");

  public:
    // A pool of workers is started when there is more than one member and more than one thread.
    explicit Pipeline(size_t members) {
        if (workerThreads() > 1 && members > 1)
            pool_ = std::make_unique<WorkerPool>(workerThreads());
    }
    // The workers finish what they hold before the blocks they write into go.
    ~Pipeline() { drain(); }
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    WorkerPool* pool() { return pool_.get(); }
    // The calling thread's codec: the pool's when there is one.
    codec::StreamCodec& callerCodec() { return pool_ ? pool_->callerCodec() : codec_; }
    BlockPool& blocks() { return blocks_; }

    // The most a member's blocks will hold; the read-ahead is measured by the largest so far.
    void noteNeed(uint64_t bytes) { largestNeed_ = std::max(largestNeed_, bytes); }

    // Whether one more member may be read ahead of the front one.
    bool roomAhead() const {
        return mayReadAhead(items_.size(), pool_ ? pool_->threads() : 0, heldBytes(), largestNeed_);
    }

    bool empty() const { return items_.empty(); }
    size_t size() const { return items_.size(); }
    Item& front() { return items_.front(); }
    Item& at(size_t n) { return items_[n]; }
    // A new member at the back; its address stays until it leaves the pipeline.
    Item& push() { return items_.emplace_back(); }

    // Runs `job` for the member on a worker; without workers, on the calling thread at once.
    template <typename Job> void submit(Item& item, Job&& job) {
        if (pool_)
            item.job = pool_->submit(std::forward<Job>(job));
        else
            job(codec_);
    }

    // Waits for the member's job (the calling thread runs queued jobs meanwhile); false when the
    // job ran out of memory.
    bool finish(Item& item) {
        if (!item.job)
            return true;
        pool_->wait(*item.job);
        const bool enough = !item.job->outOfMemory();
        item.job.reset();
        return enough;
    }

    // The front member leaves the pipeline; its job has run.
    Item takeFront() {
        finish(items_.front());
        Item item = std::move(items_.front());
        items_.pop_front();
        return item;
    }

    // A member written: its blocks go back to the pool.
    void giveBack(Item& item) {
        finish(item);
        blocks_.give(item.input);
        blocks_.give(item.output);
    }

    // Waits for every job a worker may still be running on a block of the run.
    void drain() {
        for (Item& item : items_)
            finish(item);
    }
    // The run has ended: the members on their way are dropped once their jobs have run.
    void clear() {
        drain();
        items_.clear();
    }

  private:
    uint64_t heldBytes() const {
        uint64_t held = 0;
        for (const Item& item : items_)
            held += item.held;
        return held;
    }

    std::unique_ptr<WorkerPool> pool_;
    codec::StreamCodec codec_; // the calling thread's, without a pool
    BlockPool blocks_;
    std::deque<Item> items_;
    uint64_t largestNeed_ = 0;
};

} // namespace karv
