// The 357 container, and the table walk it shares with 358.
#include "container_builders.h"

#include <gtest/gtest.h>

using namespace karv::test;

namespace {

Encoded compress357(const Bytes& in, bool bigEndian, int level = 9) {
    return encode([&](uint8_t*& out, uint32_t* used, uint32_t* padded) {
        return CompressData357(out, in.data(), uint32_t(in.size()), used, padded, bigEndian, level);
    });
}

Decoded decode357(const Bytes& container, bool bigEndian) {
    return decode(UnCompressData357, container, bigEndian);
}

// The writer's container laid out again from its own record lengths and compared byte for byte.
std::vector<Bytes> expectLayout357(const Encoded& e, const Bytes& in, bool be, int level = 9) {
    size_t count = (in.size() + 65535) / 65536;
    if (e.status != 0 || e.padded.size() < 12)
        return {};
    auto streams = recordStreams(e.padded, alignedTo(12 + 4 * count, 128), count, be, 128);
    expectChunkStreams(streams, in, 65536, level);
    expectContainer(e, container357(be, 65536, uint32_t(in.size()), streams), 256);
    return streams;
}

// A header and table written by hand; the caller appends the records.
ByteWriter tableOf(uint32_t chunkSize, uint32_t total, std::initializer_list<uint32_t> entries,
                   bool be = false) {
    ByteWriter w(be);
    w.u32(chunkSize).u32(uint32_t(entries.size())).u32(total);
    for (uint32_t e : entries)
        w.u32(e);
    return w.alignTo(128);
}

const Bytes kHello = {'h', 'e', 'l', 'l', 'o'};
const Bytes kHelloStream = storedStream(kHello);
const uint32_t kHelloEntry = uint32_t(4 + kHelloStream.size());

} // namespace

TEST(Compress357, ChunkBoundaryAt65536) {
    for (bool be : {false, true}) {
        SCOPED_TRACE(be);
        Bytes full = mixedData(65536);
        Encoded one = compress357(full, be);
        auto streams = expectLayout357(one, full, be);
        ASSERT_EQ(streams.size(), 1u);
        EXPECT_EQ(u32At(one.padded, 4, be), 1u);
        EXPECT_EQ(one.used, 128 + alignedTo(4 + streams[0].size(), 128));

        Bytes plusOne = mixedData(65537);
        Encoded two = compress357(plusOne, be);
        streams = expectLayout357(two, plusOne, be);
        ASSERT_EQ(streams.size(), 2u);
        EXPECT_EQ(u32At(two.padded, 4, be), 2u);
        EXPECT_EQ(u32At(streams[1], streams[1].size() - 4, true), adler32Of({plusOne.back()}));
    }
}

TEST(Compress357, HeaderInEachByteOrder) {
    Bytes in = mixedData(100000);
    Encoded pc = compress357(in, false);
    Encoded ps3 = compress357(in, true);
    EXPECT_TRUE(slice(pc.padded, 0, 12) ==
                Bytes({0x00, 0x00, 0x01, 0x00, 2, 0, 0, 0, 0xA0, 0x86, 0x01, 0x00}));
    EXPECT_TRUE(slice(ps3.padded, 0, 12) ==
                Bytes({0x00, 0x01, 0x00, 0x00, 0, 0, 0, 2, 0x00, 0x01, 0x86, 0xA0}));
}

TEST(Compress357, LayoutByteForByteAtBothLevels) {
    Bytes in = mixedData(300000, 7);
    for (int level : {1, 9})
        for (bool be : {false, true}) {
            SCOPED_TRACE(level * 10 + be);
            expectLayout357(compress357(in, be, level), in, be, level);
        }
}

TEST(Compress357, FailuresLeaveTheOutValuesAlone) {
    Encoded empty = compress357({}, false);
    EXPECT_EQ(empty.status, -1);
    EXPECT_EQ(empty.message, L"数据长度为零！");

    Encoded badLevel = compress357(kHello, false, 42);
    EXPECT_EQ(badLevel.status, -1);
    EXPECT_EQ(badLevel.message, L"压缩数据失败！");
}

TEST(Decompress357, RoundTripsAtUsedAndPaddedLength) {
    for (size_t size : {1, 65535, 65536, 65537, 300001})
        for (bool be : {false, true}) {
            SCOPED_TRACE(size * 2 + be);
            Bytes in = mixedData(size, uint32_t(size));
            Encoded e = compress357(in, be);
            expectSuccess(decode357(slice(e.padded, 0, e.used), be), in);
            expectSuccess(decode357(e.padded, be), in);
            EXPECT_EQ(decode357(e.padded, !be).status, -1);
        }
}

// Entry 4 is skipped in place; a stored chunk moves the position by its length alone, so the
// next record's stream starts right behind the stored bytes.
TEST(Decompress357, SkippedEntriesAndStoredChunks) {
    for (bool be : {false, true}) {
        Bytes first = mixedData(1000);
        Bytes a = storedStream(first);
        ByteWriter w =
            tableOf(65536, 1000 + 3 + 5, {uint32_t(4 + a.size()), 4, 7, kHelloEntry}, be);
        w.record(a).alignTo(128);
        w.raw({0xEE, 0xEE, 0xEE, 0xEE, 'p', 'q', 'r'}).raw(kHelloStream);
        first.insert(first.end(), {'p', 'q', 'r', 'h', 'e', 'l', 'l', 'o'});
        expectSuccess(decode357(w.bytes(), be), first);
    }
}

TEST(Decompress357, WrongTotalsAndCorruptStreams) {
    auto withTotal = [](uint32_t total) {
        return tableOf(65536, total, {kHelloEntry}).record(kHelloStream).bytes();
    };
    expectFailure(decode357(withTotal(6), false), -2);
    expectFailure(decode357(withTotal(4), false), -1); // would run past T
    expectFailure(decode357(withTotal(0xFFFFFFFF), false), -2);

    Bytes corrupt = withTotal(5);
    corrupt.back() ^= 1; // Adler-32
    expectFailure(decode357(corrupt, false), -1);

    // A stored chunk as long as T is ignored, which leaves the total short.
    Bytes ignored = tableOf(65536, 3, {7}).raw({0, 0, 0, 0, 'p', 'q', 'r'}).bytes();
    expectFailure(decode357(ignored, false), -2);
    // Two stored chunks that together run past T.
    Bytes pastT = tableOf(65536, 5, {7, 7}).raw({0, 0, 0, 0, 'a', 'b', 'c', 'd', 'e', 'f'}).bytes();
    expectFailure(decode357(pastT, false), -1);
}

TEST(Decompress357, HostileHeadersAndTables) {
    Bytes valid = tableOf(65536, 5, {kHelloEntry}).record(kHelloStream).bytes();
    expectSuccess(decode357(valid, false), kHello);
    for (size_t cut = 0; cut < 12; ++cut)
        expectFailure(decode357(slice(valid, 0, cut), false), -1);
    expectFailure(decode357(slice(valid, 0, valid.size() - 1), false), -1);

    std::vector<Bytes> hostile = {
        tableOf(65536, 5, {kHelloEntry, kHelloEntry}).bytes(), // records missing
        ByteWriter(false).u32(65536).u32(0xFFFFFFFF).u32(5).bytes(),
        ByteWriter(false).u32(65536).u32(2).u32(5).u32(kHelloEntry).bytes(), // table cut short
        tableOf(65536, 5, {0xFFFFFFFF}).record(kHelloStream).bytes(),
        tableOf(65536, 5, {3}).record(kHelloStream).bytes(),
        tableOf(65536, 5, {0}).record(kHelloStream).bytes(),
        tableOf(4, 5, {kHelloEntry}).record(kHelloStream).bytes(), // over the chunk capacity
        tableOf(0, 5, {kHelloEntry}).record(kHelloStream).bytes(),
    };
    for (size_t i = 0; i < hostile.size(); ++i) {
        SCOPED_TRACE(i);
        expectFailure(decode357(hostile[i], false), -1);
    }
    // The header's chunk size only caps a chunk; a huge one allocates nothing extra.
    Bytes hugeCap = tableOf(0xFFFFFFFF, 5, {kHelloEntry}).record(kHelloStream).bytes();
    expectSuccess(decode357(hugeCap, false), kHello);
}

TEST(Decompress357, EmptyTotal) {
    expectSuccess(decode357(ByteWriter(false).u32(65536).u32(0).u32(0).bytes(), false), {});
    Bytes empty = storedStream({});
    Bytes one = tableOf(65536, 0, {uint32_t(4 + empty.size())}).record(empty).bytes();
    expectSuccess(decode357(one, false), {});

    // Once T is reached, a further chunk of one byte has no room left.
    Bytes q = storedStream({'q'});
    uint32_t entry = uint32_t(4 + q.size());
    Bytes extra = tableOf(65536, 1, {entry, entry}).record(q).alignTo(128).record(q).bytes();
    expectFailure(decode357(extra, false), -1);
    expectFailure(decode357(tableOf(65536, 0, {entry}).record(q).bytes(), false), -1);
}
