// The one outcome type inside karvcore and between karvcore and karvex: what failed (an Error,
// None for success), the message the library puts on the last-error channel, and, when a file
// operation failed, the system's own reason (errno on POSIX, GetLastError on Windows).
//
// The exported functions of the description keep their own return values; the boundary maps a
// Status onto them in one place.
#pragma once

#include "karvcore/error.h"

#include <cstdint>
#include <new>
#include <string>
#include <utility>

namespace karv {

class Status {
  public:
    // Success.
    Status() = default;

    // A failure (an Error other than None), the message for the last-error channel (may be
    // empty when the caller adds its own) and the system's reason (0 when there is none).
    static Status failure(Error error, std::wstring message = {}, int systemError = 0) {
        Status status;
        status.error_ = error == Error::None ? Error::SystemCall : error;
        status.message_ = std::move(message);
        status.systemError_ = systemError;
        return status;
    }

    bool ok() const { return error_ == Error::None; }
    // True on success, so `if (!file.read(...))` reads as it always has.
    explicit operator bool() const { return ok(); }

    Error error() const { return error_; }
    const std::wstring& message() const { return message_; }
    int systemError() const { return systemError_; }
    // A number the failure names: the code of an unsupported texture format.
    int32_t value() const { return value_; }
    Status& withValue(int32_t value) {
        value_ = value;
        return *this;
    }

    // What a failed system call meant to its caller, keeping the system's reason: the file
    // layer reports SystemCall, and whoever asked says which file and which step failed.
    Status as(Error error, std::wstring message) const {
        return failure(error, std::move(message), systemError_);
    }

  private:
    Error error_ = Error::None;
    std::wstring message_;
    int systemError_ = 0;
    int32_t value_ = 0;
};

// The one place where running out of memory becomes a result: runs `operation` and, when it
// runs out of memory, returns what `outOfMemory()` makes of that (a Status, a code, false).
template <typename Operation, typename OutOfMemory>
auto catchOutOfMemory(Operation&& operation, OutOfMemory&& outOfMemory) -> decltype(operation()) {
    try {
        return operation();
    } catch (const std::bad_alloc&) {
        return outOfMemory();
    }
}

} // namespace karv
