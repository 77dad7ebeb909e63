// Ownership of the malloc blocks that cross the library boundary.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace karv {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

using MallocBuffer = std::unique_ptr<uint8_t, FreeDeleter>;

} // namespace karv
