#include "work/worker_pool.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <system_error>

namespace karv {
namespace {

std::atomic<unsigned> chosenWorkers{0};

// Beyond this, threads only cost memory: every job is a chunk or a member.
constexpr unsigned kMostThreads = 64;

} // namespace

unsigned workerThreads() {
    unsigned chosen = chosenWorkers.load(std::memory_order_relaxed);
    if (chosen == 0)
        chosen = std::thread::hardware_concurrency();
    return std::clamp(chosen, 1u, kMostThreads);
}

WorkerPool::WorkerPool(unsigned threads) {
    threads = std::clamp(threads, 1u, kMostThreads);
    for (unsigned i = 1; i < threads; ++i) {
        // A thread the system will not start leaves the work to fewer threads.
        try {
            workers_.emplace_back([this] { workerLoop(); });
        } catch (const std::system_error&) {
            break;
        } catch (const std::bad_alloc&) {
            break;
        }
    }
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
}

void WorkerPool::run(Ticket& ticket, codec::StreamCodec& codec) {
    try {
        ticket.job(codec);
    } catch (const std::bad_alloc&) {
        ticket.outOfMemory_ = true;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ticket.state = Ticket::State::Done;
    ticket.job = nullptr;
    finished_.notify_all();
}

void WorkerPool::workerLoop() {
    codec::StreamCodec codec;
    for (;;) {
        std::shared_ptr<Ticket> ticket;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty())
                return;
            ticket = std::move(queue_.front());
            queue_.pop_front();
            ticket->state = Ticket::State::Running;
        }
        run(*ticket, codec);
    }
}

std::shared_ptr<WorkerPool::Ticket> WorkerPool::submit(Job job) {
    auto ticket = std::make_shared<Ticket>();
    ticket->job = std::move(job);
    if (workers_.empty())
        return ticket; // runs in wait()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(ticket);
    }
    queued_.notify_one();
    return ticket;
}

void WorkerPool::wait(Ticket& ticket) {
    std::unique_lock<std::mutex> lock(mutex_);
    // Rather than wait idle, the calling thread does the job itself when no worker has taken
    // it yet, and while a worker has it, the jobs queued behind it, the last first.
    for (;;) {
        if (ticket.state == Ticket::State::Done)
            return;
        std::shared_ptr<Ticket> next;
        if (ticket.state == Ticket::State::Queued) {
            auto queued =
                std::find_if(queue_.begin(), queue_.end(),
                             [&](const std::shared_ptr<Ticket>& t) { return t.get() == &ticket; });
            if (queued == queue_.end()) {
                // Not submitted to a worker (a pool without workers): it runs here.
                ticket.state = Ticket::State::Running;
                lock.unlock();
                run(ticket, callerCodec_);
                return;
            }
            next = std::move(*queued);
            queue_.erase(queued);
        } else if (!queue_.empty()) {
            // The job queued last: the workers go on with the members next in turn, and the
            // one done here is ready long before its turn.
            next = std::move(queue_.back());
            queue_.pop_back();
        } else {
            // Only the calling thread queues jobs, so none can come while it waits here.
            finished_.wait(lock, [&] { return ticket.state == Ticket::State::Done; });
            return;
        }
        next->state = Ticket::State::Running;
        lock.unlock();
        run(*next, callerCodec_);
        lock.lock();
    }
}

bool WorkerPool::forEach(size_t count,
                         const std::function<void(size_t, codec::StreamCodec&)>& job) {
    std::atomic<size_t> next{0};
    auto share = [&](codec::StreamCodec& codec) {
        for (size_t i = next++; i < count; i = next++)
            job(i, codec);
    };
    std::vector<std::shared_ptr<Ticket>> helpers;
    for (size_t i = 0; i < workers_.size() && i + 1 < count; ++i)
        helpers.push_back(submit(share));
    Ticket own;
    own.job = share;
    own.state = Ticket::State::Running;
    run(own, callerCodec_);
    bool enough = !own.outOfMemory();
    for (const std::shared_ptr<Ticket>& helper : helpers) {
        wait(*helper);
        enough = enough && !helper->outOfMemory();
    }
    return enough;
}

} // namespace karv

void karv::SetWorkerCount(unsigned count) {
    chosenWorkers.store(count, std::memory_order_relaxed);
}

unsigned karv::WorkerCount() {
    return workerThreads();
}
