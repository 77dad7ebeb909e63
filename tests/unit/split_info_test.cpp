// The split information of a 357 archive in several files: derived from the index file's
// offsets that restart at 0, stored in the game's record, refused when it does not fit.
#include "archive_builder.h"
#include "game_config.h"
#include "program_state.h"
#include "split_info.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace karv::test {
namespace {

using cli::gameTable;

const std::wstring kSplitKey = L"Voxbank 地址";

// One 32-byte entry per offset; every other field holds bytes that are never zero, so only the
// offset field can make an entry a boundary.
Bytes indexOfOffsets(const std::vector<uint64_t>& offsets, bool bigEndian) {
    std::vector<IndexEntry> entries;
    for (uint64_t offset : offsets)
        entries.push_back({offset, 0x101, 0x01010101, 0x202});
    return indexFile32(entries, bigEndian);
}

// Offsets of three archive files whose second and third begin at entries 61 and 128.
std::vector<uint64_t> threeFileOffsets() {
    std::vector<uint64_t> offsets;
    for (uint64_t i = 0; i < 200; ++i) {
        uint64_t first = i < 61 ? 0 : i < 128 ? 61 : 128;
        offsets.push_back((i - first) * 0x100);
    }
    return offsets;
}

class SplitInfo : public ::testing::Test {
  protected:
    TempDir dir;
    std::wstring indexPath = dir.file(L"data.idx");

    void SetUp() override {
        gameTable.clear();
        cli::archiveSelection = cli::ArchiveSelection{};
        // Two games, so an update must touch the chosen one only.
        for (uint32_t key : {1u, 2u}) {
            cli::gameinfo& game = gameTable[key];
            game.name = L"G" + std::to_wstring(key);
            game.values = {{kSplitKey, L""}, {L"数据模式", L"PC"}};
            game.splitAddresses[0] = 0;
            game.splitAddresses[5] = 0x55; // beyond the boundaries: must stay
        }
    }
    void TearDown() override { gameTable.clear(); }

    bool writeIndex(const Bytes& bytes) { return writeBytes(indexPath, bytes); }

    void expectUntouched(uint32_t key) {
        const cli::gameinfo& game = gameTable.at(key);
        EXPECT_EQ(game.values.at(kSplitKey), L"");
        EXPECT_EQ(game.values.size(), 2u);
        for (size_t i = 0; i < game.splitAddresses.size(); ++i)
            EXPECT_EQ(game.splitAddresses[i], i == 5 ? 0x55u : 0u) << i;
    }
};

TEST_F(SplitInfo, BoundariesBecomeHexTextAndAddressesInBothByteOrders) {
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "PS3" : "PC");
        SetUp();
        cli::archiveSelection.bigEndian = big;
        ASSERT_TRUE(writeIndex(indexOfOffsets(threeFileOffsets(), big)));
        gameTable[2].splitAddresses[0] = 7; // entry 0 is never written

        ASSERT_TRUE(cli::UpdateSplitInfo(3, 2, indexPath));
        const cli::gameinfo& game = gameTable.at(2);
        EXPECT_EQ(game.values.at(kSplitKey), L"0/7a0/1000");
        EXPECT_EQ(game.values.at(L"数据模式"), L"PC");
        EXPECT_EQ(game.splitAddresses[0], 7u);
        EXPECT_EQ(game.splitAddresses[1], 0x7A0u);
        EXPECT_EQ(game.splitAddresses[2], 0x1000u);
        EXPECT_EQ(game.splitAddresses[3], 0u);
        EXPECT_EQ(game.splitAddresses[5], 0x55u);
        expectUntouched(1);
    }
}

TEST_F(SplitInfo, ACountThatDoesNotMatchChangesNothing) {
    ASSERT_TRUE(writeIndex(indexOfOffsets(threeFileOffsets(), false)));
    for (int32_t files : {2, 4, 1, 0, -1}) {
        SCOPED_TRACE(files);
        EXPECT_FALSE(cli::UpdateSplitInfo(files, 1, indexPath));
        expectUntouched(1);
    }
}

TEST_F(SplitInfo, IndexesWithoutBoundariesMatchOneFile) {
    const std::vector<Bytes> indexes = {
        indexOfOffsets({0, 0x100, 0x200}, false), // only entry 0 has offset 0
        indexOfOffsets({0}, false),               // one entry
        Bytes(31, 0),                             // shorter than an entry
        Bytes(),                                  // empty
        // A partial entry of zeros after the last whole one is not an entry.
        [] {
            Bytes b = indexOfOffsets({0, 0x100}, false);
            b.insert(b.end(), 31, 0);
            return b;
        }(),
    };
    for (size_t i = 0; i < indexes.size(); ++i) {
        SCOPED_TRACE(i);
        SetUp();
        ASSERT_TRUE(writeIndex(indexes[i]));
        EXPECT_FALSE(cli::UpdateSplitInfo(2, 1, indexPath));
        expectUntouched(1);
        ASSERT_TRUE(cli::UpdateSplitInfo(1, 1, indexPath));
        EXPECT_EQ(gameTable.at(1).values.at(kSplitKey), L"0");
        EXPECT_EQ(gameTable.at(1).splitAddresses[1], 0u);
    }
}

TEST_F(SplitInfo, AnOffsetIsZeroOnlyWhenAllEightBytesAre) {
    // 2^32 and 2^56: the upper half and the top byte count in either byte order.
    for (bool big : {false, true}) {
        SetUp();
        cli::archiveSelection.bigEndian = big;
        ASSERT_TRUE(writeIndex(indexOfOffsets({0, 1ull << 32, 1ull << 56, 0, 1}, big)));
        ASSERT_TRUE(cli::UpdateSplitInfo(2, 1, indexPath));
        EXPECT_EQ(gameTable.at(1).values.at(kSplitKey), L"0/60");
    }
}

TEST_F(SplitInfo, TenBoundariesFitAndElevenAreRefused) {
    std::vector<uint64_t> offsets(1, 0);
    for (int file = 1; file <= 11; ++file) {
        offsets.push_back(0);
        offsets.push_back(0x100);
    }
    // Entries 1, 3, ..., 21 are boundaries: eleven of them.
    ASSERT_TRUE(writeIndex(indexOfOffsets(offsets, false)));
    EXPECT_FALSE(cli::UpdateSplitInfo(12, 1, indexPath));
    expectUntouched(1);

    offsets.resize(offsets.size() - 2);
    ASSERT_TRUE(writeIndex(indexOfOffsets(offsets, false)));
    ASSERT_TRUE(cli::UpdateSplitInfo(11, 1, indexPath));
    const cli::gameinfo& game = gameTable.at(1);
    EXPECT_EQ(game.values.at(kSplitKey), L"0/20/60/a0/e0/120/160/1a0/1e0/220/260");
    EXPECT_EQ(game.splitAddresses[10], 0x260u);
    EXPECT_EQ(game.splitAddresses[11], 0u);
}

TEST_F(SplitInfo, MissingIndexOrGameIsRefusedWithoutAddingAGame) {
    EXPECT_FALSE(cli::UpdateSplitInfo(1, 1, dir.file(L"missing.idx")));
    expectUntouched(1);
    ASSERT_TRUE(writeIndex(indexOfOffsets({0}, false)));
    EXPECT_FALSE(cli::UpdateSplitInfo(1, 3, indexPath));
    EXPECT_EQ(gameTable.size(), 2u);
    EXPECT_FALSE(cli::UpdateSplitInfo(1, 0, indexPath));
    EXPECT_EQ(gameTable.size(), 2u);
}

} // namespace
} // namespace karv::test
