// Locating sub-files of packed blobs: both table layouts in both byte orders, the last sub-file
// of the offset-only layout, and tables that point outside the blob.
#include "archive_builder.h"
#include "karvcore/karvcore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace karv::test {
namespace {

constexpr uint32_t kUntouched = 0xDEADBEEF;

// A blob: the given words in the byte order, then filler bytes up to `length`.
Bytes blob(bool bigEndian, std::initializer_list<uint32_t> words, size_t length) {
    Bytes out;
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(w >> (bigEndian ? 24 - 8 * i : 8 * i)));
    for (size_t i = out.size(); i < length; ++i)
        out.push_back(uint8_t(0xA0 + i % 16));
    out.resize(length);
    return out;
}

struct Located {
    int32_t status;
    uint32_t start = kUntouched;
    uint32_t size = kUntouched;
};

// Runs on a block of exactly the blob's length, so a read past the end leaves the block.
Located locate(const Bytes& b, uint32_t subFile, bool bigEndian) {
    auto* copy = static_cast<uint8_t*>(std::malloc(b.empty() ? 1 : b.size()));
    if (!b.empty())
        std::memcpy(copy, b.data(), b.size());
    Located l;
    l.status = GetData_Offset(copy, uint32_t(b.size()), subFile, &l.start, &l.size, bigEndian);
    std::free(copy);
    return l;
}

void expectAt(const Located& l, uint32_t start, uint32_t size) {
    EXPECT_EQ(l.status, 0);
    EXPECT_EQ(l.start, start);
    EXPECT_EQ(l.size, size);
}

void expectRefused(const Located& l, int32_t status) {
    EXPECT_EQ(l.status, status);
    EXPECT_EQ(l.start, kUntouched); // out values are written only on success
    EXPECT_EQ(l.size, kUntouched);
}

class PackedBlob : public ::testing::TestWithParam<bool> {
  protected:
    bool be() const { return GetParam(); }
};

TEST_P(PackedBlob, OffsetAndSizeLayout) {
    Bytes b = blob(be(), {2, 20, 5, 28, 7}, 40);
    expectAt(locate(b, 0, be()), 20, 5);
    expectAt(locate(b, 1, be()), 28, 7);
    expectRefused(locate(b, 2, be()), -1); // beyond the table
    expectRefused(locate(b, 0xFFFFFFFF, be()), -1);
    // A sub-file that ends exactly at the end of the blob, and an empty one.
    expectAt(locate(blob(be(), {2, 20, 10, 30, 10}, 40), 1, be()), 30, 10);
    expectAt(locate(blob(be(), {2, 20, 10, 30, 0}, 40), 1, be()), 30, 0);
}

TEST_P(PackedBlob, OffsetOnlyLayoutEndsTheLastSubFileAtTheBlobEnd) {
    // N = 4: the table holds the starts of sub-files 0, 1 and 2 at 4, 8 and 12; the first
    // sub-file begins at 16 = 4N.
    Bytes b = blob(be(), {4, 16, 20, 26}, 40);
    expectAt(locate(b, 0, be()), 16, 4);
    expectAt(locate(b, 1, be()), 20, 6);
    expectAt(locate(b, 2, be()), 26, 14);
    // Sub-file 3 would start at the number at offset 16, the first bytes of sub-file 0.
    expectRefused(locate(b, 3, be()), -1);
    expectRefused(locate(b, 4, be()), -1);
}

TEST_P(PackedBlob, OffsetOnlyLayoutOfTwoEntries) {
    // N = 2: one start in the table; the word at offset 8 already belongs to the sub-file and is
    // not judged as a table value, whatever it holds.
    for (uint32_t firstWord : {0u, 0x47315447u, 12u}) {
        Bytes b = blob(be(), {2, 8, firstWord}, 30);
        expectAt(locate(b, 0, be()), 8, 22);
        expectRefused(locate(b, 1, be()), -1);
    }
    // N = 1: no start at all.
    expectRefused(locate(blob(be(), {1, 4, 8}, 16), 0, be()), -1);
}

TEST_P(PackedBlob, SubFileStartingAtTheEndOfTheBlob) {
    expectRefused(locate(blob(be(), {2, 20, 5, 40, 0}, 40), 1, be()), -3);
    expectRefused(locate(blob(be(), {3, 12, 40}, 40), 1, be()), -3);
    expectRefused(locate(blob(be(), {2, 20, 5, 0xFFFFFFFF, 1}, 40), 1, be()), -3);
}

TEST_P(PackedBlob, UnrecognisedLayout) {
    expectRefused(locate(blob(be(), {2, 16, 30}, 40), 0, be()), -2);
    expectRefused(locate(blob(be(), {2, 24, 30}, 40), 0, be()), -2);
}

TEST_P(PackedBlob, TableValuesOutOfRange) {
    struct Case {
        const char* what;
        Bytes b;
    };
    const Case cases[] = {
        {"first value beyond the blob", blob(be(), {2, 41, 5}, 40)},
        {"first value 0", blob(be(), {0, 0, 5}, 40)},
        {"second value 0", blob(be(), {2, 20, 0, 28, 7}, 40)},
        {"second value beyond the blob", blob(be(), {2, 20, 41, 28, 7}, 40)},
        {"first value below 4N", blob(be(), {5, 16, 20}, 40)},
        {"table the blob cannot hold", blob(be(), {5, 44, 20}, 40)},
        {"too short for a table", blob(be(), {1, 4}, 7)},
        {"empty", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        expectRefused(locate(c.b, 0, be()), -1);
    }
}

TEST_P(PackedBlob, SubFilesReachingOutsideTheBlob) {
    // Offset and size: the size runs past the end, or wraps round 32 bits.
    expectRefused(locate(blob(be(), {2, 20, 5, 28, 13}, 40), 1, be()), -1);
    expectRefused(locate(blob(be(), {2, 20, 5, 28, 0xFFFFFFF0}, 40), 1, be()), -1);
    // Offset only: an end beyond the blob, an end before the start.
    expectRefused(locate(blob(be(), {4, 16, 20, 41}, 40), 1, be()), -1);
    expectRefused(locate(blob(be(), {4, 16, 20, 18}, 40), 1, be()), -1);
    expectAt(locate(blob(be(), {4, 16, 20, 18}, 40), 0, be()), 16, 4);
}

TEST_P(PackedBlob, CountsWhoseTableSizeWrapsIn32Bits) {
    // 8N + 4 and 4N both wrap to 4 in 32 bits with these counts.
    expectRefused(locate(blob(be(), {0x20000000, 4, 8}, 40), 0, be()), -1);
    expectRefused(locate(blob(be(), {0x40000001, 4, 8}, 40), 0, be()), -1);
    expectRefused(locate(blob(be(), {0xFFFFFFFF, 20, 5, 28, 7}, 40), 0, be()), -1);
}

INSTANTIATE_TEST_SUITE_P(ByteOrder, PackedBlob, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "PS3" : "PC"; });

TEST(PackedBlobByteOrder, TheSameBytesReadInTheOtherOrderAreAnotherTable) {
    Bytes pc = blob(false, {2, 20, 5, 28, 7}, 40);
    expectAt(locate(pc, 1, false), 28, 7);
    expectRefused(locate(pc, 1, true), -1); // N = 0x02000000
}

} // namespace
} // namespace karv::test
