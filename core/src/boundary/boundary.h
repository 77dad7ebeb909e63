// How the library's exported functions turn the Status of their work into what they return.
#pragma once

#include "boundary/messages.h"
#include "karvcore/karvcore.h"
#include "karvcore/status.h"

namespace karv {

// A failure puts its message on the last-error channel first; the code is the result.
inline int32_t reportStatus(const Status& status) {
    if (!status.ok() && !status.message().empty())
        SetMessageQX(status.message());
    return status.code();
}

// Runs work that returns a Status; running out of memory is the failure `outOfMemoryCode`.
template <typename Operation> Status guardMemory(Operation&& operation, int32_t outOfMemoryCode) {
    return catchOutOfMemory(operation, [outOfMemoryCode] {
        return Status::failure(outOfMemoryCode, msg::kOutOfMemory);
    });
}

// Runs work that returns an exported function's code; running out of memory puts its message
// on the channel and gives `outOfMemoryCode`.
template <typename Operation> int32_t guardCode(Operation&& operation, int32_t outOfMemoryCode) {
    return catchOutOfMemory(operation, [outOfMemoryCode] {
        SetMessageQX(msg::kOutOfMemory);
        return outOfMemoryCode;
    });
}

} // namespace karv
