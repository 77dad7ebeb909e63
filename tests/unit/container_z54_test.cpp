// The Z54 container: records back to back behind the total, walked to the end of the input.
#include "container_builders.h"

#include <gtest/gtest.h>

using namespace karv::test;

namespace {

Encoded compressZ54(const Bytes& in, bool bigEndian, int level = 9) {
    return encode([&](uint8_t*& out, uint32_t* used, uint32_t* padded) {
        return CompressDataZ54(out, in.data(), uint32_t(in.size()), used, padded, bigEndian, level);
    });
}

Decoded decodeZ54(const Bytes& container, bool bigEndian) {
    return decode(UnCompressDataZ54, container, bigEndian);
}

std::vector<Bytes> expectLayoutZ54(const Encoded& e, const Bytes& in, bool be, int level = 9) {
    size_t count = (in.size() + 32767) / 32768;
    if (e.status != 0)
        return {};
    auto streams = recordStreams(e.padded, 4, count, be, 1);
    expectChunkStreams(streams, in, 32768, level);
    expectContainer(e, containerZ54(be, uint32_t(in.size()), streams), 2048);
    return streams;
}

const Bytes kHello = {'h', 'e', 'l', 'l', 'o'};
const Bytes kHelloStream = storedStream(kHello);

Bytes z54(uint32_t total, std::initializer_list<Bytes> records) {
    ByteWriter w(false);
    w.u32(total);
    for (const Bytes& r : records)
        w.record(r);
    return w.bytes();
}

} // namespace

TEST(CompressZ54, OneByte) {
    for (bool be : {false, true}) {
        SCOPED_TRACE(be);
        Encoded e = compressZ54({0x41}, be);
        auto streams = expectLayoutZ54(e, {0x41}, be);
        ASSERT_EQ(streams.size(), 1u);
        EXPECT_EQ(e.used, 4 + 4 + streams[0].size() + 4);
        EXPECT_EQ(e.padded.size(), 2048u);
        EXPECT_TRUE(slice(e.padded, 0, 4) == (be ? Bytes{0, 0, 0, 1} : Bytes{1, 0, 0, 0}));
    }
}

TEST(CompressZ54, ChunkBoundaryAt32768) {
    for (bool be : {false, true}) {
        SCOPED_TRACE(be);
        EXPECT_EQ(expectLayoutZ54(compressZ54(mixedData(32768), be), mixedData(32768), be).size(),
                  1u);
        EXPECT_EQ(expectLayoutZ54(compressZ54(mixedData(32769), be), mixedData(32769), be).size(),
                  2u);
    }
}

TEST(CompressZ54, LayoutByteForByteAtBothLevels) {
    Bytes in = mixedData(300000, 3);
    for (int level : {1, 9})
        for (bool be : {false, true}) {
            SCOPED_TRACE(level * 10 + be);
            expectLayoutZ54(compressZ54(in, be, level), in, be, level);
        }
}

TEST(CompressZ54, FailuresLeaveTheOutValuesAlone) {
    Encoded empty = compressZ54({}, true);
    EXPECT_EQ(empty.status, -1);
    EXPECT_EQ(empty.message, L"数据长度为零！");
    Encoded badLevel = compressZ54(kHello, true, -7);
    EXPECT_EQ(badLevel.status, -1);
    EXPECT_EQ(badLevel.message, L"压缩数据失败！");
}

// The zero fill behind the terminator, whole words or not, is skipped.
TEST(DecompressZ54, RoundTripsAtAnyLengthBehindTheTerminator) {
    for (size_t size : {1, 32768, 32769, 300001})
        for (bool be : {false, true}) {
            SCOPED_TRACE(size * 2 + be);
            Bytes in = mixedData(size, uint32_t(size));
            Encoded e = compressZ54(in, be);
            for (size_t extra : {0, 1, 2, 3, 4})
                expectSuccess(decodeZ54(slice(e.padded, 0, e.used + extra), be), in);
            expectSuccess(decodeZ54(e.padded, be), in);
        }
}

// Zero lengths are skipped anywhere; a stored chunk is copied and the walk goes on behind it.
TEST(DecompressZ54, ZeroRecordsStoredChunksAndTrailingBytes) {
    for (bool be : {false, true}) {
        Bytes first = mixedData(1000);
        ByteWriter w(be);
        w.u32(1000 + 3 + 5).record(storedStream(first)).u32(0).record({'p', 'q', 'r'});
        w.record(kHelloStream).u32(0).raw({1, 2, 3});
        first.insert(first.end(), {'p', 'q', 'r', 'h', 'e', 'l', 'l', 'o'});
        expectSuccess(decodeZ54(w.bytes(), be), first);
    }
}

TEST(DecompressZ54, WrongTotalsAndCorruptStreams) {
    expectSuccess(decodeZ54(z54(5, {kHelloStream}), false), kHello);
    expectFailure(decodeZ54(z54(6, {kHelloStream}), false), -2);
    expectFailure(decodeZ54(z54(4, {kHelloStream}), false), -1);
    expectFailure(decodeZ54(z54(0xFFFFFFFF, {kHelloStream}), false), -2);
    Bytes corrupt = z54(5, {kHelloStream});
    corrupt[10] ^= 0x06; // block type 3, which does not exist
    expectFailure(decodeZ54(corrupt, false), -1);
    expectFailure(decodeZ54(z54(3, {{'p', 'q', 'r'}}), false), -2); // stored as long as T
    expectFailure(decodeZ54(z54(5, {{'a', 'b', 'c'}, {'d', 'e', 'f'}}), false), -1);
}

TEST(DecompressZ54, HostileRecords) {
    Bytes valid = z54(5, {kHelloStream});
    for (size_t cut = 0; cut < 4; ++cut)
        expectFailure(decodeZ54(slice(valid, 0, cut), false), -1);
    expectFailure(decodeZ54(slice(valid, 0, valid.size() - 1), false), -1);
    for (uint32_t length : {0xFFFFFFFFu, 0xFFFFFFFCu, 0x80000000u}) {
        SCOPED_TRACE(length);
        Bytes wrapping = ByteWriter(false).u32(5).u32(length).raw(kHelloStream).bytes();
        expectFailure(decodeZ54(wrapping, false), -1);
    }
    // A chunk may inflate to 65536 bytes, not more.
    Bytes most = mixedData(65536), tooMany = mixedData(65537);
    expectSuccess(decodeZ54(z54(65536, {storedStream(most)}), false), most);
    expectFailure(decodeZ54(z54(65537, {storedStream(tooMany)}), false), -1);
}

TEST(DecompressZ54, EmptyTotal) {
    expectSuccess(decodeZ54(z54(0, {}), false), {});
    expectSuccess(decodeZ54(z54(0, {{}, storedStream({})}), false), {});
    expectFailure(decodeZ54(z54(0, {storedStream({'q'})}), false), -1);
    expectFailure(decodeZ54(z54(1, {storedStream({'q'}), storedStream({'q'})}), false), -1);
}
