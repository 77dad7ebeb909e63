// The least an archive export can do, as the yardstick of karvex's export in bench-e2e.sh, on one
// thread: for every used entry of the index, one positioned read of the stored bytes into a buffer
// kept from member to member, each chunk of a compressed member inflated straight into its place
// in an output buffer kept likewise, and one file written per member (000042.data) with one write
// call. Nothing is printed per member. The container walk is the writers' layout and nothing
// more: no checks a real tool would need.
//
//   export_loop zlib|libdeflate|none 357|Z54|358 PC|PS3 <index file> <archive file> <output folder>
//   export_loop --no-write zlib|libdeflate|none 357|Z54|358 PC|PS3 <index file> <archive file>
//
// --no-write reads and inflates every member the same way and writes nothing: the yardstick of
// the verifier.
// zlib inflates with one stream reset per chunk, libdeflate with one decompressor made once.
// none is the floor every exporter stands on: the same reads and the same files of the same
// sizes written the same way, but nothing inflated (a compressed member's file holds whatever the
// output buffer holds). (Z54 archives carry their index: give the archive file twice.)
#include "karvcore/buffer.h"
#include "karvcore/formats.h"
#include "platform/text.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

uint32_t u32(const uint8_t* p, bool bigEndian) {
    return bigEndian ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                     : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

uint64_t alignUp(uint64_t value, uint64_t unit) {
    return (value + unit - 1) / unit * unit;
}

enum class Engine { Zlib, Libdeflate, None };

Engine engine = Engine::Zlib;
z_stream stream{};
libdeflate_decompressor* decompressor = nullptr;

// One stream straight into its place; the count it made.
size_t inflateInto(const uint8_t* in, uint32_t length, uint8_t* out, size_t room) {
    if (engine == Engine::Libdeflate) {
        size_t made = 0;
        libdeflate_zlib_decompress(decompressor, in, length, out, room, &made);
        return made;
    }
    inflateReset(&stream);
    stream.next_in = const_cast<Bytef*>(in);
    stream.avail_in = length;
    stream.next_out = out;
    stream.avail_out = uInt(room);
    inflate(&stream, Z_FINISH);
    return room - stream.avail_out;
}

bool chooseEngine(const std::string& name) {
    if (name == "zlib") {
        engine = Engine::Zlib;
        return inflateInit(&stream) == Z_OK;
    }
    if (name == "libdeflate") {
        engine = Engine::Libdeflate;
        decompressor = libdeflate_alloc_decompressor();
        return decompressor != nullptr;
    }
    engine = Engine::None;
    return name == "none";
}

// The writers' layouts: 357 and 358 a table of record sizes, records at multiples of 128 from
// behind the table (aligned to 128 or 2048); Z54 records back to back behind the total.
uint32_t decompress(int32_t type, const uint8_t* c, uint32_t length, bool be,
                    std::vector<uint8_t>& out) {
    const bool z54 = type == karv::kDataTypeZ54;
    const uint32_t total = u32(c + (type == karv::kDataType357 ? 8 : z54 ? 0 : 4), be);
    if (out.size() < total)
        out.resize(total);
    if (engine == Engine::None)
        return total;
    size_t made = 0;
    if (z54) {
        for (uint64_t pos = 4; pos + 4 <= length;) {
            uint32_t n = u32(c + pos, be);
            if (n == 0)
                break;
            made += inflateInto(c + pos + 4, n, out.data() + made, total - made);
            pos += 4 + uint64_t(n);
        }
        return total;
    }
    const uint32_t tableAt = type == karv::kDataType357 ? 12 : 16;
    const uint32_t count = u32(c + tableAt - 4 * (type == karv::kDataType357 ? 2 : 1), be);
    uint64_t pos = alignUp(tableAt + 4ull * count, type == karv::kDataType357 ? 128 : 2048);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t n = u32(c + tableAt + 4ull * i, be) - 4;
        made += inflateInto(c + pos + 4, n, out.data() + made, total - made);
        pos = alignUp(pos + 4 + n, 128);
    }
    return total;
}

bool readAt(int fd, uint8_t* into, uint32_t length, uint64_t offset) {
    ssize_t n = pread(fd, into, length, off_t(offset));
    if (n < 0)
        return false;
    std::memset(into + n, 0, length - size_t(n));
    return true;
}

bool writeFile(const std::string& path, const uint8_t* data, uint32_t length) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    bool written = write(fd, data, length) == ssize_t(length);
    return close(fd) == 0 && written;
}

} // namespace

int main(int argc, char** argv) {
    const bool write = !(argc > 1 && std::string(argv[1]) == "--no-write");
    if (!write) {
        --argc;
        ++argv;
    }
    if (argc != (write ? 7 : 6)) {
        std::fprintf(stderr, "usage: export_loop [--no-write] zlib|libdeflate|none 357|Z54|358 "
                             "PC|PS3 <index> <archive> [<out>]\n");
        return 2;
    }
    if (!chooseEngine(argv[1]))
        return 2;
    ++argv;
    const karv::ContainerKind* kind =
        karv::FindContainerKindByName(karv::platform::utf8ToWide(argv[1]));
    if (kind == nullptr)
        return 2;
    const int32_t type = kind->dataType;
    const bool big = std::string(argv[2]) == "PS3";
    uint8_t* table = nullptr;
    uint32_t unit = 0;
    uint32_t count = LoadIndexData(type, karv::platform::utf8ToWide(argv[3]), table, &unit, big);
    karv::MallocBuffer owned(table);
    int fd = open(argv[4], O_RDONLY);
    if (count == 0 || fd < 0) {
        std::fprintf(stderr, "export_loop: cannot load the index or open the archive\n");
        return 1;
    }
    std::vector<uint8_t> stored, out;
    uint64_t bytes = 0;
    uint32_t members = 0;
    unsigned checksum = 0;
    char name[32];
    for (uint32_t e = 0; e < count; ++e) {
        idxinfo info;
        GetIndexInfo(type, table, unit, big, e, &info);
        if (karv::IsUnusedEntry(info.size, info.marker))
            continue;
        if (stored.size() < info.size)
            stored.resize(info.size);
        if (!readAt(fd, stored.data(), info.size, info.offset))
            return 1;
        const uint8_t* member = stored.data();
        uint32_t length = info.size;
        if (!karv::IsRawMarker(info.marker)) {
            length = decompress(type, stored.data(), info.size, big, out);
            member = out.data();
        }
        std::snprintf(name, sizeof name, "/%06u.data", e);
        if (write && !writeFile(argv[5] + std::string(name), member, length))
            return 1;
        // What was made is looked at, so that no inflate can be left out.
        if (!write && length > 0)
            checksum += member[length - 1];
        bytes += length;
        ++members;
    }
    close(fd);
    std::printf("%u members, %llu bytes", members, (unsigned long long)bytes);
    if (!write)
        std::printf(", last bytes %u", checksum);
    std::printf("\n");
    return 0;
}
