// No exception crosses the library boundary: work that runs out of memory becomes a Status.
#pragma once

#include "boundary/messages.h"
#include "karvcore/status.h"

namespace karv {

// Runs work that returns a Status; running out of memory is Error::OutOfMemory with its message.
template <typename Operation> Status guardMemory(Operation&& operation) {
    return catchOutOfMemory(operation,
                            [] { return Status::failure(Error::OutOfMemory, msg::kOutOfMemory); });
}

} // namespace karv
