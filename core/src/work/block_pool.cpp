#include "work/block_pool.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace karv {

bool Block::reserve(uint64_t size) {
    if (size == 0)
        size = 1; // malloc(0) may return null
    if (size <= capacity && data)
        return true;
    data.reset();
    capacity = 0;
    if (size > SIZE_MAX)
        return false;
    // Plain pages: a huge-page hint on large blocks was measured, and the compaction it asks
    // of the system cost more than the page faults it spared.
    data.reset(static_cast<uint8_t*>(std::malloc(size_t(size))));
    if (!data)
        return false;
    capacity = size;
    return true;
}

uint64_t BlockPool::classSize(uint64_t size) {
    if (size >= kExactFrom)
        return size;
    uint64_t step = 1;
    while (step * 8 < size)
        step <<= 1;
    return (size + step - 1) / step * step;
}

bool BlockPool::take(uint64_t size, Block& block) {
    if (block.data && block.capacity >= size)
        return true;
    auto best = spare_.end();
    for (auto it = spare_.begin(); it != spare_.end(); ++it) {
        if (it->capacity >= size && it->capacity <= 2 * size + kSlack &&
            (best == spare_.end() || it->capacity < best->capacity))
            best = it;
    }
    if (best != spare_.end()) {
        Block taken = std::move(*best);
        spare_.erase(best);
        give(block);
        block = std::move(taken);
        return true;
    }
    return block.reserve(classSize(size));
}

uint64_t BlockPool::spareBytes() const {
    uint64_t bytes = 0;
    for (const Block& kept : spare_)
        bytes += kept.capacity;
    return bytes;
}

void BlockPool::give(Block& block) {
    if (!block.data)
        return;
    spare_.push_back(std::move(block));
    block = Block();
    uint64_t bytes = spareBytes();
    while (spare_.size() > 2 && bytes > kSpareBytes) {
        auto smallest =
            std::min_element(spare_.begin(), spare_.end(), [](const Block& a, const Block& b) {
                return a.capacity < b.capacity;
            });
        bytes -= smallest->capacity;
        spare_.erase(smallest);
    }
}

} // namespace karv
