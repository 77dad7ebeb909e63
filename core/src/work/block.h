// A block that holds a container or a member. The export and the import reuse theirs from
// member to member (BlockPool); the exported functions hand theirs over as a new malloc block.
#pragma once

#include "karvcore/buffer.h"

#include <cstdint>

namespace karv {

struct Block {
    MallocBuffer data;
    uint64_t capacity = 0;

    // Room for `size` bytes (at least one); what the block held is not kept. False without
    // memory.
    bool reserve(uint64_t size);
};

} // namespace karv
