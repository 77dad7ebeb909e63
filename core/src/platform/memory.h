// Large blocks of memory that the C heap's free releases.
#pragma once

#include <cstddef>

namespace karv::platform {

// A block of `size` bytes for malloc's free, laid out so that the system may back it with huge
// pages where it offers them (on Linux: aligned to 2 MiB and marked for transparent huge pages):
// a fresh block of hundreds of MiB otherwise costs a page fault every 4 KiB as it is filled.
// Null without memory. Elsewhere a plain malloc.
void* allocateLarge(size_t size);

} // namespace karv::platform
