// The parts of File that only build on the system's read and write requests.
#include "platform/file.h"

namespace karv::platform {

bool File::readAll(void* buffer, uint32_t count) {
    auto* at = static_cast<unsigned char*>(buffer);
    while (count > 0) {
        uint32_t done = 0;
        // A read that returns nothing before `count` bytes is the end of the file: a failure.
        if (!read(at, count, done) || done == 0 || done > count)
            return false;
        at += done;
        count -= done;
    }
    return true;
}

bool File::writeAll(const void* buffer, uint32_t count) {
    const auto* at = static_cast<const unsigned char*>(buffer);
    while (count > 0) {
        uint32_t done = 0;
        // A write that makes no progress would repeat for ever; it counts as a failure.
        if (!write(at, count, done) || done == 0 || done > count)
            return false;
        at += done;
        count -= done;
    }
    return true;
}

} // namespace karv::platform
