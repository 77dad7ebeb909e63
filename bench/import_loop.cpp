// The least an archive import can do, as the yardstick of karvex's import in bench-e2e.sh, on one
// thread with zlib: for every "<entry>.data" file of a folder, one read of the file into a buffer
// kept from file to file; for a compressed entry each chunk deflated straight into its place in
// the container at the level the import appends with (1), with one deflate stream reset per
// chunk (358: the chunk size read from the old member's header); then the same writes as the
// import's append: the data behind the archive's end in one write, the index entry, the record's
// slot. The container layout is the writers' and nothing more: no checks a real tool would need.
//
//   import_loop 357|Z54|358 PC|PS3 <index file> <archive file> <import folder>
//
// (Z54 archives carry their index: give the archive file twice.) The record is the archive's.
#include "karvcore/formats.h"
#include "karvcore/index_table.h"
#include "platform/filesystem.h"
#include "platform/text.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

void put32(uint8_t* p, uint32_t v, bool bigEndian) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (bigEndian ? 24 - 8 * i : 8 * i));
}

uint32_t get32(const uint8_t* p, bool bigEndian) {
    return bigEndian ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                     : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

uint64_t alignUp(uint64_t value, uint64_t unit) {
    return (value + unit - 1) / unit * unit;
}

z_stream stream{};

size_t deflateInto(const uint8_t* in, size_t length, uint8_t* out, size_t room) {
    deflateReset(&stream);
    stream.next_in = const_cast<Bytef*>(in);
    stream.avail_in = uInt(length);
    stream.next_out = out;
    stream.avail_out = uInt(room);
    deflate(&stream, Z_FINISH);
    return room - stream.avail_out;
}

// The writers' layouts; the padded length.
size_t compress(const karv::ContainerKind& kind, const uint8_t* in, uint32_t length, uint32_t chunk,
                bool be, std::vector<uint8_t>& out) {
    const int32_t type = kind.dataType;
    const bool z54 = type == karv::kDataTypeZ54;
    const uint32_t count = uint32_t((uint64_t(length) + chunk - 1) / chunk);
    const uint32_t tableAt = type == karv::kDataType357 ? 12 : 16;
    uint64_t pos =
        z54 ? 4 : alignUp(tableAt + 4ull * count, type == karv::kDataType357 ? 128 : 2048);
    const size_t worst = pos + count * (compressBound(chunk) + 4 + 128) + 2048 + 4;
    if (out.size() < worst)
        out.resize(worst);
    std::memset(out.data(), 0, pos);
    for (uint32_t i = 0; i < count; ++i) {
        size_t start = size_t(i) * chunk, n = std::min<size_t>(chunk, length - start);
        size_t written = deflateInto(in + start, n, out.data() + pos + 4, compressBound(uLong(n)));
        put32(out.data() + pos, uint32_t(written), be);
        if (!z54)
            put32(out.data() + tableAt + 4 * i, uint32_t(written + 4), be);
        uint64_t end = pos + 4 + written;
        pos = z54 ? end : alignUp(end, 128);
        std::memset(out.data() + end, 0, pos - end);
    }
    if (z54) {
        put32(out.data(), length, be);
        pos += 4;
    } else if (type == karv::kDataType357) {
        put32(out.data(), kind.chunkSize, be);
        put32(out.data() + 4, count, be);
        put32(out.data() + 8, length, be);
    } else {
        std::memcpy(out.data(), kind.magic, kind.magicLength);
        put32(out.data() + 4, length, be);
        put32(out.data() + 8, chunk, be);
        put32(out.data() + 12, count, be);
    }
    size_t padded = alignUp(pos, kind.alignment);
    std::memset(out.data() + pos - (z54 ? 4 : 0), 0, padded - pos + (z54 ? 4 : 0));
    return padded;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: import_loop 357|Z54|358 PC|PS3 <index> <archive> <folder>\n");
        return 2;
    }
    const karv::ContainerKind* kind =
        karv::FindContainerKindByName(karv::platform::utf8ToWide(argv[1]));
    if (kind == nullptr)
        return 2;
    const bool big = std::string(argv[2]) == "PS3";
    karv::IndexTable index;
    if (!karv::IndexTable::load(*kind->index, karv::platform::utf8ToWide(argv[3]), big, index)) {
        std::fprintf(stderr, "import_loop: cannot load the index\n");
        return 1;
    }
    const std::string record = std::string(argv[4]) + ".qxdata";
    int archive = open(argv[4], O_RDWR);
    int indexFile = kind->index->inArchive ? archive : open(argv[3], O_RDWR);
    int recordFile = open(record.c_str(), O_RDWR);
    if (archive < 0 || indexFile < 0 || recordFile < 0 || deflateInit(&stream, 1) != Z_OK)
        return 1;
    std::vector<karv::platform::DirectoryEntry> files;
    karv::platform::listDirectory(karv::platform::utf8ToWide(argv[5]), L"*.data", files);
    std::vector<uint8_t> input, out;
    uint64_t bytes = 0;
    uint32_t imported = 0;
    for (const karv::platform::DirectoryEntry& file : files) {
        const uint32_t entry = uint32_t(std::wcstoul(file.name.c_str(), nullptr, 10));
        idxinfo old;
        if (!index.entry(entry, old) || karv::IsUnusedEntry(old.size, old.marker))
            continue;
        const std::string path = argv[5] + ("/" + karv::platform::wideToUtf8(file.name));
        int in = open(path.c_str(), O_RDONLY);
        const uint32_t length = uint32_t(file.size);
        if (input.size() < alignUp(length, kind->alignment))
            input.resize(alignUp(length, kind->alignment));
        if (in < 0 || read(in, input.data(), length) != ssize_t(length))
            return 1;
        close(in);
        const bool compressed = !karv::IsRawMarker(old.marker);
        const uint8_t* data = input.data();
        size_t stored = length, region = alignUp(length, kind->alignment);
        if (compressed) {
            uint32_t chunk = kind->chunkSize;
            if (kind->chunkSizeFromCaller) {
                uint8_t header[16];
                if (pread(archive, header, 16, off_t(old.offset)) == 16)
                    chunk = get32(header + kind->chunkSizeAt, big);
            }
            region = compress(*kind, input.data(), length, chunk, big, out);
            data = out.data();
            stored = region; // the used length differs by the padding only
        } else {
            std::memset(input.data() + length, 0, region - length);
        }
        const off_t end = lseek(archive, 0, SEEK_END);
        if (write(archive, data, region) != ssize_t(region))
            return 1;
        karv::EntryValues values{
            uint64_t(end), length, uint32_t(stored),
            index.importMarker(compressed, length, uint32_t(stored), old.marker)};
        const std::vector<uint8_t> entryBytes = index.encode(values);
        uint8_t slot[4];
        put32(slot, uint32_t(region), false);
        if (pwrite(indexFile, entryBytes.data(), entryBytes.size(),
                   off_t(index.filePosition(entry))) != ssize_t(entryBytes.size()) ||
            pwrite(recordFile, slot, 4, off_t(80 + 4ull * entry)) != 4)
            return 1;
        bytes += length;
        ++imported;
    }
    std::printf("%u files, %llu bytes\n", imported, (unsigned long long)bytes);
    return 0;
}
