// The three compressors against their decompressors: whatever the input, byte order, level
// and (358) chunk size, the container has the documented shape and gives the input back from
// its used length and from its padded length.
//
// Input: byte 0 = container (bits 0-1: 0 357, 1 Z54, 2 and 3 358), byte order (bit 2) and
// level (bits 4-7, taken modulo 10); bytes 1-4 = the 358 chunk size (little-endian, taken
// modulo 2^20, plus 1, and at least an eighth of the data); the rest is the data.
#include "formats/byte_io.h"
#include "fuzz_support.h"
#include "karvcore/karvcore.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

using karv::fuzz::Bytes;
using karv::fuzz::expect;

constexpr uint32_t kMostChunks = 8;

struct Container {
    uint8_t* bytes = nullptr;
    uint32_t used = 0;
    uint32_t padded = 0;
    ~Container() { std::free(bytes); }
};

void expectDecompressesTo(int kind, const uint8_t* container, uint32_t length, bool bigEndian,
                          const Bytes& input) {
    uint8_t* out = nullptr;
    uint32_t outLength = 0;
    int32_t status = kind == 0   ? UnCompressData357(out, container, length, &outLength, bigEndian)
                     : kind == 1 ? UnCompressDataZ54(out, container, length, &outLength, bigEndian)
                                 : UnCompressData358(out, container, length, &outLength, bigEndian);
    expect(status == 0, "a writer's container does not decompress");
    expect(outLength == input.size() && std::memcmp(out, input.data(), input.size()) == 0,
           "the round trip changed the data");
    std::free(out);
}

void expectShape(int kind, const Container& c, const Bytes& input, uint32_t chunkSize,
                 bool bigEndian) {
    const uint32_t unit = kind == 1 ? 2048 : 256;
    expect(c.used <= c.padded && c.padded % unit == 0 && c.padded - c.used < unit,
           "padded length is not the used length raised to the unit");
    for (uint32_t i = c.used; i < c.padded; ++i)
        expect(c.bytes[i] == 0, "padding is not zero");
    const uint32_t length = uint32_t(input.size());
    switch (kind) {
    case 0:
        expect(karv::readU32(c.bytes, bigEndian) == 65536 &&
                   karv::readU32(c.bytes + 4, bigEndian) == (length + 65535) / 65536 &&
                   karv::readU32(c.bytes + 8, bigEndian) == length,
               "357 header");
        break;
    case 1:
        expect(karv::readU32(c.bytes, bigEndian) == length, "Z54 header");
        expect(karv::readU32(c.bytes + c.used - 4, bigEndian) == 0, "Z54 terminator");
        break;
    default:
        expect(std::memcmp(c.bytes, "zp1", 4) == 0 &&
                   karv::readU32(c.bytes + 4, bigEndian) == length &&
                   karv::readU32(c.bytes + 8, bigEndian) == chunkSize &&
                   karv::readU32(c.bytes + 12, bigEndian) ==
                       (uint64_t(length) + chunkSize - 1) / chunkSize,
               "358 header");
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    karv::fuzz::InputReader in(data, size);
    const uint8_t mode = in.u8();
    const int kind = mode & 3 ? (mode & 3) == 1 ? 1 : 2 : 0;
    const bool bigEndian = (mode & 4) != 0;
    const int level = (mode >> 4) % 10;
    uint32_t chunkSize = in.u32() % (1u << 20) + 1;
    const Bytes input = in.rest();
    // Every chunk costs a zlib stream of its own; small chunk sizes are tried on short inputs.
    chunkSize = std::max<uint32_t>(chunkSize, uint32_t(input.size() / kMostChunks));
    const uint8_t* bytes = input.empty() ? nullptr : input.data();
    const uint32_t length = uint32_t(input.size());

    Container c;
    int32_t status =
        kind == 0   ? CompressData357(c.bytes, bytes, length, &c.used, &c.padded, bigEndian, level)
        : kind == 1 ? CompressDataZ54(c.bytes, bytes, length, &c.used, &c.padded, bigEndian, level)
                    : CompressData358(c.bytes, bytes, length, &c.used, &c.padded, chunkSize,
                                      bigEndian, level);
    const uint64_t chunks = (uint64_t(length) + chunkSize - 1) / chunkSize;
    if (length == 0 || (kind == 2 && chunks > 100000)) {
        expect(status == -1 && c.bytes == nullptr, "a refused input made a container");
        return 0;
    }
    expect(status == 0, "a compressor failed on good input");
    expectShape(kind, c, input, chunkSize, bigEndian);
    expectDecompressesTo(kind, c.bytes, c.used, bigEndian, input);
    expectDecompressesTo(kind, c.bytes, c.padded, bigEndian, input);
    return 0;
}
