// Byte-by-byte builders for the compressed containers and runners for the codecs, so a test
// can lay a container out by hand and compare a codec's output with it. The zlib streams are
// made here too (stored deflate blocks), so the tests do not lean on the zlib they test against.
#pragma once

#include "karvcore/karvcore.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

namespace karv::test {

using Bytes = std::vector<uint8_t>;

// Appends numbers in one byte order, raw bytes and zero fill.
class ByteWriter {
  public:
    explicit ByteWriter(bool bigEndian) : bigEndian_(bigEndian) {}

    ByteWriter& u32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes_.push_back(uint8_t(v >> (bigEndian_ ? 24 - 8 * i : 8 * i)));
        return *this;
    }
    ByteWriter& raw(const Bytes& b) {
        bytes_.insert(bytes_.end(), b.begin(), b.end());
        return *this;
    }
    ByteWriter& raw(std::initializer_list<uint8_t> b) { return raw(Bytes(b)); }
    ByteWriter& zerosTo(size_t length) {
        if (bytes_.size() < length)
            bytes_.resize(length, 0);
        return *this;
    }
    ByteWriter& alignTo(size_t unit) { return zerosTo((bytes_.size() + unit - 1) / unit * unit); }
    // A record: the length in this byte order, then the bytes.
    ByteWriter& record(const Bytes& b) { return u32(uint32_t(b.size())).raw(b); }
    const Bytes& bytes() const { return bytes_; }

  private:
    bool bigEndian_;
    Bytes bytes_;
};

inline size_t alignedTo(size_t value, size_t unit) {
    return (value + unit - 1) / unit * unit;
}

inline Bytes slice(const Bytes& b, size_t start, size_t length) {
    return Bytes(b.begin() + start, b.begin() + start + length);
}

inline uint32_t u32At(const Bytes& b, size_t at, bool bigEndian) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= uint32_t(b[at + i]) << (bigEndian ? 24 - 8 * i : 8 * i);
    return v;
}

inline uint32_t adler32Of(const Bytes& data) {
    uint32_t a = 1, b = 0;
    for (uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

// A zlib stream of stored deflate blocks: header 78 01, blocks of at most 65535 bytes
// (final flag, LEN and its complement little-endian), Adler-32 big-endian.
inline Bytes storedStream(const Bytes& data) {
    Bytes out = {0x78, 0x01};
    size_t start = 0;
    do {
        size_t n = std::min<size_t>(65535, data.size() - start);
        bool last = start + n == data.size();
        out.insert(out.end(),
                   {uint8_t(last), uint8_t(n), uint8_t(n >> 8), uint8_t(~n), uint8_t(~n >> 8)});
        out.insert(out.end(), data.begin() + start, data.begin() + start + n);
        start += n;
    } while (start < data.size());
    uint32_t adler = adler32Of(data);
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8_t(adler >> shift));
    return out;
}

// Deterministic test data: runs of text-like bytes that compress well alternating with runs of
// pseudo-random bytes that do not.
inline Bytes mixedData(size_t length, uint32_t seed = 1) {
    static const char kWords[] = "the archive member index chunk texture game data ";
    Bytes out(length);
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < length; ++i) {
        state = state * 1664525u + 1013904223u;
        bool random = (i / 4096) % 2 == 1;
        out[i] =
            random ? uint8_t(state >> 24) : uint8_t(kWords[(i + i / 997) % (sizeof kWords - 1)]);
    }
    return out;
}

// ---- Running the codecs ----

using Decompressor = int32_t (*)(uint8_t*&, const uint8_t*, uint32_t, uint32_t*, bool);

struct Decoded {
    int32_t status = 0;
    bool outNull = false;
    uint32_t length = 0;
    Bytes data;
    std::wstring message;
};

inline constexpr uint32_t kUntouchedLength = 0xDEADBEEF;
inline constexpr const wchar_t* kUntouchedMessage = L"(unchanged)";

// Runs a decompressor on a heap copy of exactly the container's bytes, so a read past the end
// leaves the block (and trips the sanitizers).
inline Decoded decode(Decompressor f, const Bytes& container, bool bigEndian) {
    SetMessageQX(kUntouchedMessage);
    uint8_t sentinel = 0;
    uint8_t* out = &sentinel;
    Decoded d;
    d.length = kUntouchedLength;
    auto* copy = static_cast<uint8_t*>(std::malloc(container.empty() ? 1 : container.size()));
    std::copy(container.begin(), container.end(), copy);
    d.status = f(out, copy, uint32_t(container.size()), &d.length, bigEndian);
    std::free(copy);
    d.outNull = out == nullptr;
    if (d.status == 0 && out != nullptr && out != &sentinel) {
        d.data.assign(out, out + d.length);
        std::free(out);
    }
    d.message = GetMessageQX();
    return d;
}

struct Encoded {
    int32_t status = 0;
    Bytes padded;
    uint32_t used = 0;
    std::wstring message;
};

// Takes the compressor's buffer at its padded length. A failure must leave the out values
// alone; one that does not shows up as status 99.
template <typename Compress> Encoded encode(Compress compress) {
    SetMessageQX(kUntouchedMessage);
    uint8_t sentinel = 0;
    uint8_t* out = &sentinel;
    uint32_t used = kUntouchedLength, padded = kUntouchedLength;
    Encoded e;
    e.status = compress(out, &used, &padded);
    e.used = used;
    if (e.status == 0) {
        e.padded.assign(out, out + padded);
        std::free(out);
    } else if (out != &sentinel || padded != kUntouchedLength || used != kUntouchedLength) {
        e.status = 99;
    }
    e.message = GetMessageQX();
    return e;
}

// ---- Containers laid out from their description ----

// 357 and 358: the table of record sizes, zero fill to `tableAlign`, then each record at a
// multiple of 128.
inline void appendTable(ByteWriter& w, const std::vector<Bytes>& streams, size_t tableAlign) {
    for (const Bytes& s : streams)
        w.u32(uint32_t(4 + s.size()));
    w.alignTo(tableAlign);
    for (const Bytes& s : streams)
        w.record(s).alignTo(128);
}

inline Bytes container357(bool bigEndian, uint32_t chunkSize, uint32_t total,
                          const std::vector<Bytes>& streams) {
    ByteWriter w(bigEndian);
    w.u32(chunkSize).u32(uint32_t(streams.size())).u32(total);
    appendTable(w, streams, 128);
    return w.bytes();
}

inline Bytes container358(bool bigEndian, uint32_t chunkSize, uint32_t total,
                          const std::vector<Bytes>& streams) {
    ByteWriter w(bigEndian);
    w.raw({0x7A, 0x70, 0x31, 0x00}).u32(total).u32(chunkSize).u32(uint32_t(streams.size()));
    appendTable(w, streams, 2048);
    return w.bytes();
}

// Ends with the zero record length.
inline Bytes containerZ54(bool bigEndian, uint32_t total, const std::vector<Bytes>& streams) {
    ByteWriter w(bigEndian);
    w.u32(total);
    for (const Bytes& s : streams)
        w.record(s);
    return w.u32(0).bytes();
}

// The streams of a writer's records, found by their own lengths from `pos` on; `align` is 128
// for 357 and 358 and 1 for Z54.
inline std::vector<Bytes> recordStreams(const Bytes& c, size_t pos, size_t count, bool bigEndian,
                                        size_t align) {
    std::vector<Bytes> streams;
    for (size_t i = 0; i < count && pos + 4 <= c.size(); ++i) {
        size_t length = u32At(c, pos, bigEndian);
        if (pos + 4 + length > c.size())
            break;
        streams.push_back(slice(c, pos + 4, length));
        pos = alignedTo(pos + 4 + length, align);
    }
    return streams;
}

// What zlib's one-call compress2 makes of `data` at `level`.
inline Bytes compress2Of(const Bytes& data, int level) {
    uLongf length = compressBound(uLong(data.size()));
    Bytes out(length);
    if (compress2(out.data(), &length, data.data(), uLong(data.size()), level) != Z_OK)
        return {};
    out.resize(length);
    return out;
}

// What zlib's uncompress makes of one stream, given room for `capacity` bytes; empty when it
// refuses the stream.
inline Bytes uncompressOf(const Bytes& stream, size_t capacity) {
    Bytes out(capacity + 1);
    uLongf length = uLongf(out.size());
    if (uncompress(out.data(), &length, stream.data(), uLong(stream.size())) != Z_OK)
        return {};
    out.resize(length);
    return out;
}

// Each stream is a zlib stream of its chunk at the given level, as compress2 would label it: the
// zlib header with the level's flags (0 for level 1, 3 for level 9) and the chunk's Adler-32 as
// its trailer, and zlib itself inflates it to the chunk. (Which deflater wrote it is the
// library's choice; with the zlib engine it is compress2's stream byte for byte.)
inline void expectChunkStreams(const std::vector<Bytes>& streams, const Bytes& input,
                               size_t chunkSize, int level) {
    ASSERT_EQ(streams.size(), (input.size() + chunkSize - 1) / chunkSize);
    for (size_t i = 0; i < streams.size(); ++i) {
        const Bytes& s = streams[i];
        ASSERT_GE(s.size(), 6u);
        EXPECT_EQ(s[0], 0x78);
        EXPECT_EQ((s[0] << 8 | s[1]) % 31, 0);
        EXPECT_EQ(s[1] >> 6, level == 1 ? 0 : 3);
        size_t start = i * chunkSize;
        Bytes chunk = slice(input, start, std::min(chunkSize, input.size() - start));
        EXPECT_EQ(u32At(s, s.size() - 4, true), adler32Of(chunk)) << "chunk " << i;
        EXPECT_TRUE(uncompressOf(s, chunk.size()) == chunk) << "chunk " << i;
    }
}

// A writer's output against the expected container: the used part byte for byte, and zeros
// from there to the padded length.
inline void expectContainer(const Encoded& e, const Bytes& expected, size_t paddedUnit) {
    ASSERT_EQ(e.status, 0);
    EXPECT_EQ(e.used, expected.size());
    ASSERT_EQ(e.padded.size(), alignedTo(expected.size(), paddedUnit));
    EXPECT_TRUE(slice(e.padded, 0, expected.size()) == expected);
    EXPECT_EQ(size_t(std::count(e.padded.begin() + expected.size(), e.padded.end(), 0)),
              e.padded.size() - expected.size());
}

// A decompressor's failure: no buffer left, the out length untouched (0 for a wrong total).
inline void expectFailure(const Decoded& d, int32_t status) {
    EXPECT_EQ(d.status, status);
    EXPECT_TRUE(d.outNull);
    EXPECT_EQ(d.length, status == -2 ? 0u : kUntouchedLength);
    EXPECT_EQ(d.message, status == -2 ? L"解压后的数据大小有误！" : L"数据解压失败！");
}

inline void expectSuccess(const Decoded& d, const Bytes& expected) {
    EXPECT_EQ(d.status, 0);
    EXPECT_FALSE(d.outNull);
    EXPECT_EQ(d.length, expected.size());
    EXPECT_TRUE(d.data == expected);
    EXPECT_EQ(d.message, kUntouchedMessage);
}

inline // A packed blob in the offset-and-size layout, numbers in the game's byte order.
    Bytes
    packedBlob(const std::vector<Bytes>& subFiles, bool bigEndian) {
    ByteWriter w(bigEndian);
    const auto count = uint32_t(subFiles.size());
    w.u32(count);
    uint32_t start = 4 + 8 * count;
    for (const Bytes& s : subFiles) {
        w.u32(start).u32(uint32_t(s.size()));
        start += uint32_t(s.size());
    }
    for (const Bytes& s : subFiles)
        w.raw(s);
    return w.bytes();
}

} // namespace karv::test
