// Large blocks on POSIX: aligned for huge pages and marked for them where Linux offers them.
#include "platform/memory.h"

#include <cstdlib>
#include <sys/mman.h>

namespace karv::platform {
namespace {

constexpr size_t kHugePage = size_t(2) << 20;

} // namespace

void* allocateLarge(size_t size) {
    void* block = nullptr;
    if (posix_memalign(&block, kHugePage, size) != 0)
        return nullptr;
#ifdef MADV_HUGEPAGE
    // A hint: where the system has no huge pages to give, the block is an ordinary one.
    madvise(block, size / kHugePage * kHugePage, MADV_HUGEPAGE);
#endif
    return block;
}

} // namespace karv::platform
