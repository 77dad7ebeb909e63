// Large blocks on Windows: malloc's own; large pages there need a privilege players lack.
#include "platform/memory.h"

#include <cstdlib>

namespace karv::platform {

void* allocateLarge(size_t size) {
    return std::malloc(size);
}

} // namespace karv::platform
