// Blocks handed across the library boundary come from malloc and go back with free; inside a
// module they are owned by a MallocBuffer.
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
