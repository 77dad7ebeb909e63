// The least karvex's "U" and "C" can do with zlib on one thread, as their yardstick in
// bench-e2e.sh: read the file in one read, inflate every chunk with uncompress straight into
// its place (U) or compress every chunk with compress2 at level 9 (C), write the output in one
// write. The container walk and layout are the writers' and nothing more.
//
//   codec_loop U|C 357|Z54|358 <file>     writes <file>.udata or <file>.cdata
#include "karvcore/formats.h"
#include "platform/text.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t get32(const uint8_t* p) {
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

uint64_t alignUp(uint64_t value, uint64_t unit) {
    return (value + unit - 1) / unit * unit;
}

Bytes decompress(int32_t type, const Bytes& c) {
    const bool z54 = type == karv::kDataTypeZ54;
    Bytes out(get32(c.data() + (type == karv::kDataType357 ? 8 : z54 ? 0 : 4)));
    size_t made = 0;
    auto inflateAt = [&](uint64_t pos, uint32_t n) {
        uLongf room = uLongf(out.size() - made);
        uncompress(out.data() + made, &room, c.data() + pos, n);
        made += room;
    };
    if (z54) {
        for (uint64_t pos = 4; pos + 4 <= c.size();) {
            uint32_t n = get32(c.data() + pos);
            if (n == 0)
                break;
            inflateAt(pos + 4, n);
            pos += 4 + uint64_t(n);
        }
        return out;
    }
    const uint32_t tableAt = type == karv::kDataType357 ? 12 : 16;
    const uint32_t count = get32(c.data() + (type == karv::kDataType357 ? 4 : 12));
    uint64_t pos = alignUp(tableAt + 4ull * count, type == karv::kDataType357 ? 128 : 2048);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t n = get32(c.data() + tableAt + 4ull * i) - 4;
        inflateAt(pos + 4, n);
        pos = alignUp(pos + 4 + n, 128);
    }
    return out;
}

Bytes compress(int32_t type, const Bytes& in) {
    const bool z54 = type == karv::kDataTypeZ54;
    const uint32_t chunk = z54 ? 32768 : type == karv::kDataType357 ? 65536 : 262144;
    const uint32_t count = uint32_t((in.size() + chunk - 1) / chunk);
    const uint32_t tableAt = type == karv::kDataType357 ? 12 : 16;
    uint64_t pos =
        z54 ? 4 : alignUp(tableAt + 4ull * count, type == karv::kDataType357 ? 128 : 2048);
    Bytes out(pos + count * (compressBound(chunk) + 4 + 128) + 2048 + 4, 0);
    for (uint32_t i = 0; i < count; ++i) {
        size_t start = size_t(i) * chunk, n = std::min<size_t>(chunk, in.size() - start);
        uLongf written = compressBound(uLong(n));
        compress2(out.data() + pos + 4, &written, in.data() + start, uLong(n), 9);
        put32(out.data() + pos, uint32_t(written));
        if (!z54)
            put32(out.data() + tableAt + 4 * i, uint32_t(written + 4));
        pos = z54 ? pos + 4 + written : alignUp(pos + 4 + written, 128);
    }
    if (z54) {
        put32(out.data(), uint32_t(in.size()));
        pos += 4;
    } else {
        put32(out.data() + (type == karv::kDataType357 ? 0 : 8), chunk);
        put32(out.data() + (type == karv::kDataType357 ? 4 : 12), count);
        put32(out.data() + (type == karv::kDataType357 ? 8 : 4), uint32_t(in.size()));
        if (type == karv::kDataType358)
            std::memcpy(out.data(), "zp1", 4);
    }
    out.resize(pos);
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: codec_loop U|C 357|Z54|358 <file>\n");
        return 2;
    }
    const karv::ContainerKind* kind =
        karv::FindContainerKindByName(karv::platform::utf8ToWide(argv[2]));
    if (kind == nullptr)
        return 2;
    const bool decompressing = std::string(argv[1]) == "U";
    std::ifstream in(argv[3], std::ios::binary | std::ios::ate);
    Bytes data(size_t(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(data.data()), std::streamsize(data.size()));
    Bytes out = decompressing ? decompress(kind->dataType, data) : compress(kind->dataType, data);
    std::ofstream(std::string(argv[3]) + (decompressing ? ".udata" : ".cdata"), std::ios::binary)
        .write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
    std::printf("%zu bytes\n", out.size());
    return 0;
}
