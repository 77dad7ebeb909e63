// The blocks the export and the import read into and make containers or members in, used again
// from member to member. New blocks are rounded up to a few size classes per doubling, so that
// members of about the same size take each other's blocks rather than new ones: a new block
// costs fresh pages, which on some machines cost more than the work done in them.
#pragma once

#include "work/block.h"

#include <cstdint>
#include <vector>

namespace karv {

class BlockPool {
  public:
    // A block with room for `size` bytes: the spare block that fits best, if it is no more than
    // about twice as large, else a new one of the size's class. False without memory (the
    // block is then empty).
    bool take(uint64_t size, Block& block);
    // A block done with, kept for the next members: two whatever their size, more while the
    // spare blocks hold no more than kSpareBytes. The smallest go first: a new small block
    // costs little, a new large one many fresh pages.
    void give(Block& block);

    // What the pool keeps now.
    size_t spareCount() const { return spare_.size(); }
    uint64_t spareBytes() const;

    // The size a new block gets for `size` bytes: at most a quarter more; blocks from
    // kExactFrom on are exact.
    static uint64_t classSize(uint64_t size);

    static constexpr uint64_t kExactFrom = 8u << 20;
    static constexpr uint64_t kSpareBytes = 8u << 20;
    // A spare block goes to a member that needs at least half of it (less this much).
    static constexpr uint64_t kSlack = 64u << 10;

  private:
    std::vector<Block> spare_;
};

} // namespace karv
