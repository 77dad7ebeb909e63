#include "platform/flush_ahead.h"

#include <algorithm>
#include <system_error>

namespace karv::platform {

FlushAhead::FlushAhead(const std::vector<std::wstring>& paths)
    : pending_(paths.size(), 0), due_(paths.size(), false) {
#ifdef _WIN32
    (void)paths;
    return;
#else
    for (const std::wstring& path : paths)
        files_.push_back(path.empty() ? File()
                                      : File::openSystem(path, OpenMode::WriteExisting, nullptr));
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // No thread: the caller's flush does all the work, as it would without this.
    }
#endif
}

FlushAhead::~FlushAhead() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable())
        thread_.join();
    for (File& file : files_)
        (void)file.closeSystem();
}

void FlushAhead::written(size_t which, uint64_t bytes) {
    if (which >= files_.size() || !thread_.joinable())
        return;
    pending_[which] += bytes;
    if (pending_[which] < kAheadBytes)
        return;
    pending_[which] = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        due_[which] = true;
    }
    wake_.notify_one();
}

void FlushAhead::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] {
            return stopping_ || std::find(due_.begin(), due_.end(), true) != due_.end();
        });
        if (stopping_)
            return;
        for (size_t i = 0; i < files_.size(); ++i) {
            if (!due_[i])
                continue;
            due_[i] = false;
            lock.unlock();
            if (files_[i].isOpen())
                files_[i].startWriteBackSystem();
            lock.lock();
        }
    }
}

} // namespace karv::platform
