// Reading a stretch of a file that may end early: index tables and archive members are read
// into zero-filled buffers, and what lies past the end of the file simply stays zero.
#pragma once

#include "platform/file.h"

#include <cstdint>

namespace karv {

// Reads up to `count` bytes into `buffer`, repeating short transfers until the end of the file;
// `got` is how many came. False only when a read request fails.
inline bool readAvailable(platform::File& file, uint8_t* buffer, uint32_t count, uint32_t& got) {
    got = 0;
    while (got < count) {
        uint32_t done = 0;
        if (!file.read(buffer + got, count - got, done) || done > count - got)
            return false;
        if (done == 0)
            return true;
        got += done;
    }
    return true;
}

inline bool readAvailable(platform::File& file, uint8_t* buffer, uint32_t count) {
    uint32_t got = 0;
    return readAvailable(file, buffer, count, got);
}

} // namespace karv
