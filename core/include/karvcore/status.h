// The one outcome type inside karvcore and between karvcore and karvex: a code (0 for success),
// the message the library puts on the last-error channel, and, when a file operation failed,
// the system's own reason (errno on POSIX, GetLastError on Windows).
//
// The exported functions of the description keep their own return values; each maps a Status
// onto them at the boundary (Status::code() is chosen so that this is usually the identity).
#pragma once

#include <cstdint>
#include <new>
#include <string>
#include <utility>

namespace karv {

class Status {
  public:
    // Success.
    Status() = default;

    // A failure with a code (never 0), the message for the last-error channel (may be empty
    // when the caller adds its own) and the system's reason (0 when there is none).
    static Status failure(int32_t code, std::wstring message = {}, int systemError = 0) {
        Status status;
        status.code_ = code == 0 ? -1 : code;
        status.message_ = std::move(message);
        status.systemError_ = systemError;
        return status;
    }

    bool ok() const { return code_ == 0; }
    // True on success, so `if (!file.read(...))` reads as it always has.
    explicit operator bool() const { return ok(); }

    int32_t code() const { return code_; }
    const std::wstring& message() const { return message_; }
    int systemError() const { return systemError_; }

    // The same failure under another code and message, keeping the system's reason: a file
    // layer failure becomes the library's own.
    Status as(int32_t code, std::wstring message) const {
        return failure(code, std::move(message), systemError_);
    }

  private:
    int32_t code_ = 0;
    std::wstring message_;
    int systemError_ = 0;
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
