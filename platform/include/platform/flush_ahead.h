// Writing files back to the disk on a thread of its own while the caller goes on writing them,
// so that the caller's own flush at the end finds little left to wait for: the disk takes the
// data while the rest is made, not all of it at the end. A head start only: nothing it does
// counts as durable, what it meets is nobody's concern (the caller's flush reports on the file),
// and it never reads, writes or moves in the files. On Linux it only starts the write-back,
// without the commit of the file system a flush costs; elsewhere it flushes. It opens, writes
// back and closes past the fault switch of test builds, so it changes no count of file
// operations.
//
// POSIX systems flush a file through any handle to it. Windows flushes only through a handle
// with write access, which keeps every reader that does not share writing (ReadExisting) out of
// the file: there it does nothing.
#pragma once

#include "platform/file.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace karv::platform {

class FlushAhead {
  public:
    // The files to flush; an empty path, or a file that does not open for writing, is never
    // flushed. Without a thread (the system gives none) it does nothing.
    explicit FlushAhead(const std::vector<std::wstring>& paths);
    // Waits for a flush under way, then closes the files.
    ~FlushAhead();
    FlushAhead(const FlushAhead&) = delete;
    FlushAhead& operator=(const FlushAhead&) = delete;

    // `bytes` more were written to file `which`: once kAheadBytes came since the last write-back
    // was asked for, it is written back next, after any under way. One per few MiB leaves the
    // writes their pace.
    void written(size_t which, uint64_t bytes);

    static constexpr uint64_t kAheadBytes = 4u << 20;

  private:
    void run();

    std::vector<File> files_;
    std::vector<uint64_t> pending_; // the caller's alone
    std::vector<bool> due_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace karv::platform
