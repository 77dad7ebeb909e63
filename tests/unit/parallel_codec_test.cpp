// The codecs on several threads against one thread: the same bytes, statuses and messages for
// containers the writers make, for containers whose chunks land elsewhere than a writer's
// would (decoded again chunk by chunk), and for corrupt ones; and the zlib engine, which still
// writes compress2's streams byte for byte.
#include "container_builders.h"
#include "karvcore/formats.h"
#include "karvcore/tuning.h"

#include <gtest/gtest.h>

namespace karv::test {
namespace {

// Every call shares its chunks between threads, however small.
class ParallelCodecs : public ::testing::Test {
  protected:
    void SetUp() override { SetParallelThreshold(1); }
    void TearDown() override {
        SetParallelThreshold(0);
        SetWorkerCount(0);
        SetCodecEngine(CodecEngine::Fast);
    }
};

Encoded compressWith(const ContainerKind& kind, const Bytes& in, bool bigEndian, int level,
                     uint32_t chunkSize) {
    return encode([&](uint8_t*& out, uint32_t* used, uint32_t* padded) {
        return kind.compress(out, in.data(), uint32_t(in.size()), used, padded, chunkSize,
                             bigEndian, level);
    });
}

// The outcome of a decompressor with one thread and with several, which must agree.
Decoded decodeBothWays(const ContainerKind& kind, const Bytes& container, bool bigEndian) {
    SetWorkerCount(1);
    Decoded alone = decode(kind.decompress, container, bigEndian);
    for (unsigned threads : {2u, 5u}) {
        SetWorkerCount(threads);
        Decoded shared = decode(kind.decompress, container, bigEndian);
        EXPECT_EQ(shared.status, alone.status) << threads;
        EXPECT_EQ(shared.length, alone.length);
        EXPECT_EQ(shared.outNull, alone.outNull);
        EXPECT_TRUE(shared.data == alone.data);
        EXPECT_EQ(shared.message, alone.message);
    }
    return alone;
}

TEST_F(ParallelCodecs, EveryThreadCountWritesAndReadsTheSameBytes) {
    const Bytes input = mixedData(700000, 9);
    for (int32_t type : {kDataType357, kDataTypeZ54, kDataType358}) {
        const ContainerKind& kind = *FindContainerKind(type);
        for (bool bigEndian : {false, true})
            for (int level : {1, 9}) {
                SCOPED_TRACE(std::string(kind.name, kind.name + 3) +
                             (bigEndian ? " PS3 " : " PC ") + std::to_string(level));
                const uint32_t chunkSize = kind.chunkSizeFromCaller ? 40000 : kind.chunkSize;
                SetWorkerCount(1);
                Encoded alone = compressWith(kind, input, bigEndian, level, chunkSize);
                ASSERT_EQ(alone.status, 0);
                SetWorkerCount(3);
                Encoded shared = compressWith(kind, input, bigEndian, level, chunkSize);
                EXPECT_EQ(shared.used, alone.used);
                EXPECT_TRUE(shared.padded == alone.padded);
                Decoded back = decodeBothWays(kind, alone.padded, bigEndian);
                EXPECT_TRUE(back.data == input);
            }
    }
}

// Z54 records of 64 KiB, 357 containers whose first chunk is short: the planned places are wrong,
// and the member is decoded again chunk by chunk. A raw chunk behind zlib streams of the
// writer's size lands where the plan puts it.
TEST_F(ParallelCodecs, ContainersNoWriterMadeGiveTheSequentialResult) {
    const Bytes data = mixedData(4 * 65536 + 1000, 4);
    std::vector<Bytes> bigChunks;
    for (size_t at = 0; at < data.size(); at += 65536)
        bigChunks.push_back(
            storedStream(slice(data, at, std::min<size_t>(65536, data.size() - at))));
    Decoded z54 = decodeBothWays(*FindContainerKind(kDataTypeZ54),
                                 containerZ54(false, uint32_t(data.size()), bigChunks), false);
    EXPECT_EQ(z54.status, 0);
    EXPECT_TRUE(z54.data == data);

    const Bytes shortFirst = slice(data, 0, 30000 + 2 * 65536);
    Decoded f357 =
        decodeBothWays(*FindContainerKind(kDataType357),
                       container357(true, 65536, uint32_t(shortFirst.size()),
                                    {storedStream(slice(shortFirst, 0, 30000)),
                                     storedStream(slice(shortFirst, 30000, 65536)),
                                     storedStream(slice(shortFirst, 30000 + 65536, 65536))}),
                       true);
    EXPECT_EQ(f357.status, 0);
    EXPECT_TRUE(f357.data == shortFirst);

    // A short stream followed by a raw chunk: the plan thinks the stream fills T and passes the
    // raw chunk over; only the stream's length tells.
    const Bytes raw(100, 'r');
    Bytes shortThenRaw = slice(data, 0, 65536 + 30000);
    shortThenRaw.insert(shortThenRaw.end(), raw.begin(), raw.end());
    Decoded beforeRaw = decodeBothWays(*FindContainerKind(kDataType357),
                                       container357(false, 65536, uint32_t(shortThenRaw.size()),
                                                    {storedStream(slice(data, 0, 65536)),
                                                     storedStream(slice(data, 65536, 30000)), raw}),
                                       false);
    EXPECT_EQ(beforeRaw.status, 0);
    EXPECT_TRUE(beforeRaw.data == shortThenRaw);

    Bytes withRaw = slice(data, 0, 2 * 65536);
    withRaw.insert(withRaw.end(), raw.begin(), raw.end());
    Decoded f358 = decodeBothWays(*FindContainerKind(kDataType358),
                                  container358(false, 65536, uint32_t(withRaw.size()),
                                               {storedStream(slice(data, 0, 65536)),
                                                storedStream(slice(data, 65536, 65536)), raw}),
                                  false);
    EXPECT_EQ(f358.status, 0);
    EXPECT_TRUE(f358.data == withRaw);
}

TEST_F(ParallelCodecs, CorruptAndShortContainersFailAsWithOneThread) {
    const Bytes input = mixedData(300000, 2);
    for (int32_t type : {kDataType357, kDataTypeZ54, kDataType358}) {
        const ContainerKind& kind = *FindContainerKind(type);
        SetWorkerCount(1);
        Encoded good = compressWith(kind, input, false, 1, kind.chunkSize);
        ASSERT_EQ(good.status, 0);
        Bytes corrupt = good.padded;
        corrupt[good.used / 2] ^= 0x55; // inside a stream past the first
        EXPECT_EQ(decodeBothWays(kind, corrupt, false).status, -1);
        // A total one byte short: the chunks make more than T.
        Bytes wrongTotal = good.padded;
        const size_t totalAt = type == kDataType357 ? 8 : type == kDataTypeZ54 ? 0 : 4;
        wrongTotal[totalAt] ^= 1;
        EXPECT_NE(decodeBothWays(kind, wrongTotal, false).status, 0);
        EXPECT_NE(decodeBothWays(kind, slice(good.padded, 0, good.used - 300), false).status, 0);
    }
}

TEST_F(ParallelCodecs, TheZlibEngineWritesCompress2sStreams) {
    SetCodecEngine(CodecEngine::Zlib);
    const Bytes input = mixedData(200000, 6);
    for (unsigned threads : {1u, 3u}) {
        SetWorkerCount(threads);
        Encoded e = compressWith(*FindContainerKind(kDataTypeZ54), input, true, 9, 32768);
        ASSERT_EQ(e.status, 0);
        std::vector<Bytes> streams = recordStreams(e.padded, 4, 7, true, 1);
        ASSERT_EQ(streams.size(), 7u);
        for (size_t i = 0; i < streams.size(); ++i) {
            Bytes chunk =
                slice(input, i * 32768, std::min<size_t>(32768, input.size() - i * 32768));
            EXPECT_TRUE(streams[i] == compress2Of(chunk, 9)) << i;
        }
    }
}

} // namespace
} // namespace karv::test
