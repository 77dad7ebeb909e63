#include "platform/read_ahead.h"

#include <utility>

namespace karv::platform {

ReadAhead::ReadAhead(std::vector<Range> ranges) : ranges_(std::move(ranges)) {
    before_.reserve(ranges_.size() + 1);
    uint64_t sum = 0;
    for (const Range& range : ranges_) {
        before_.push_back(sum);
        sum += range.length < UINT64_MAX - sum ? range.length : UINT64_MAX - sum;
    }
    before_.push_back(sum);
}

ReadAhead::~ReadAhead() {
    (void)file_.closeSystem();
}

void ReadAhead::reached(size_t index) {
#ifdef _WIN32
    (void)index;
#else
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= ranges_.size())
        return;
    if (next_ < index)
        next_ = index;
    // The range reached is asked for even when it alone is larger than the window.
    while (next_ < ranges_.size() &&
           (next_ == index || before_[next_] - before_[index] < kWindowBytes))
        ask(ranges_[next_++]);
#endif
}

void ReadAhead::ask(const Range& range) {
    if (range.path.empty() || range.length == 0)
        return;
    if (range.path != filePath_ || !file_.isOpen()) {
        (void)file_.closeSystem();
        file_ = File::openSystem(range.path, OpenMode::ReadExisting, nullptr);
        filePath_ = range.path;
    }
    if (file_.isOpen())
        file_.adviseWillReadSystem(range.offset, range.length);
}

} // namespace karv::platform
