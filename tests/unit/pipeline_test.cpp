// The pipeline's read-ahead bound and the blocks it reuses.
#include "work/block_pool.h"
#include "work/pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <deque>
#include <vector>

namespace karv {
namespace {

// Members of every size on their way, as the export and the import take them: the blocks of
// the members on their way never hold more than (threads + 1) of the largest so far, however
// the sizes come, and the workers always have the first `threads` members.
TEST(Pipeline, ReadAheadStaysWithinThreadsPlusOneOfTheLargest) {
    const std::vector<uint64_t> sizes = {4096, 2 << 20, 300, 300,     300,   1 << 20, 9 << 20,
                                         5,    5,       5,   7 << 20, 70000, 64,      1 << 20};
    for (size_t threads : {1, 2, 4}) {
        std::deque<uint64_t> onTheWay;
        uint64_t largest = 0, held = 0;
        size_t next = 0, deepest = 0;
        for (size_t turn = 0; turn < sizes.size(); ++turn) {
            while (next < sizes.size() && mayReadAhead(onTheWay.size(), threads, held, largest)) {
                largest = std::max(largest, sizes[next]);
                held += sizes[next];
                onTheWay.push_back(sizes[next++]);
                ASSERT_LE(held, (threads + 1) * largest) << threads << " threads";
                ASSERT_LE(onTheWay.size(), kDeepestAheadPerThread * threads + 1);
            }
            deepest = std::max(deepest, onTheWay.size());
            held -= onTheWay.front();
            onTheWay.pop_front();
        }
        EXPECT_GE(deepest, threads + 1) << "the workers ran dry";
    }
    // Without workers only the member whose turn it is.
    EXPECT_TRUE(mayReadAhead(0, 0, 0, 0));
    EXPECT_FALSE(mayReadAhead(1, 0, 10, 10));
}

// A member takes a spare block of about its size, never one far too large; new blocks are
// rounded to their size class (exact from 8 MiB), and the spare blocks stay within bounds.
TEST(BlockPool, MembersOfAboutTheSameSizeShareBlocks) {
    EXPECT_EQ(BlockPool::classSize(1000), 1024u);
    EXPECT_LE(BlockPool::classSize(1000001), 1000001u + 1000001u / 4);
    EXPECT_EQ(BlockPool::classSize(9u << 20), 9u << 20);

    BlockPool pool;
    Block large, small;
    ASSERT_TRUE(pool.take(1 << 20, large));
    const uint8_t* largeData = large.data.get();
    pool.give(large);
    EXPECT_FALSE(large.data);
    // A small member gets a block of its own rather than the large one.
    ASSERT_TRUE(pool.take(100, small));
    EXPECT_NE(small.data.get(), largeData);
    EXPECT_LT(small.capacity, 1024u);
    // A member of about the large one's size takes it again.
    Block again;
    ASSERT_TRUE(pool.take((1 << 20) - 4096, again));
    EXPECT_EQ(again.data.get(), largeData);

    // Beyond two spare blocks, no more than kSpareBytes are kept, the smallest dropped first.
    BlockPool spares;
    std::vector<Block> blocks(6);
    for (size_t i = 0; i < blocks.size(); ++i)
        ASSERT_TRUE(spares.take((i + 1) << 20, blocks[i]));
    for (Block& block : blocks)
        spares.give(block);
    // 1 to 6 MiB given back in turn: the two largest stay.
    EXPECT_EQ(spares.spareCount(), 2u);
    EXPECT_EQ(spares.spareBytes(), 11u << 20);
    Block biggest;
    ASSERT_TRUE(spares.take(6u << 20, biggest));
    EXPECT_EQ(biggest.capacity, BlockPool::classSize(6u << 20)) << "the largest was kept";
}

} // namespace
} // namespace karv
