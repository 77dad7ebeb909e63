// Asking the system to read ranges of files into its cache before the caller reads them, a
// window at a time: a disk given many requests at once serves them in far less time than one
// read after the other, as the reads of members spread over a large archive come. A hint only:
// it never fails, reads nothing itself, and what the system makes of it is the system's affair.
// It opens and closes past the fault switch of test builds, so it changes no count of file
// operations. Any thread may call it.
//
// POSIX systems take the hint for a range of a file. Windows has none for a file read through a
// handle: there it does nothing.
#pragma once

#include "platform/file.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace karv::platform {

class ReadAhead {
  public:
    // A range to be read; one with an empty path is passed over.
    struct Range {
        std::wstring path;
        uint64_t offset = 0;
        uint64_t length = 0;
    };

    // Nothing is asked for before the first reached().
    explicit ReadAhead(std::vector<Range> ranges);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The caller is about to read range `index`: it and the ranges behind it, up to
    // kWindowBytes in all, are asked for, those not asked for yet.
    void reached(size_t index);

    static constexpr uint64_t kWindowBytes = 64u << 20;

  private:
    void ask(const Range& range);

    std::mutex mutex_;
    std::vector<Range> ranges_;
    std::vector<uint64_t> before_; // the bytes of the ranges before each, and of all at the end
    size_t next_ = 0;              // the first range not asked for
    File file_;                    // open on the last range's file
    std::wstring filePath_;
};

} // namespace karv::platform
