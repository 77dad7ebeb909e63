// The least an archive export can do, as the yardstick of karvex's export in bench-e2e.sh: for
// every used entry of an index one positioned read of the stored bytes into a buffer that is
// kept between members, the library's decompressor for a compressed member, and one file
// written per member (000042.data). Nothing is printed per member.
//
//   export_loop 357|Z54|358 PC|PS3 <index file> <archive file> <output folder>
//
// (Z54 archives carry their index: give the archive file twice.)
#include "karvcore/archive.h"
#include "platform/text.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using karv::FreeDeleter;

bool isUnused(const idxinfo& info) {
    return karv::IsUnusedEntry(info.size, info.marker);
}

bool isRaw(const idxinfo& info) {
    return karv::IsRawMarker(info.marker);
}

// Reads up to `length` bytes at `offset`; a member that runs past the end keeps a zero tail.
bool readAt(int fd, uint8_t* into, uint32_t length, uint64_t offset) {
    std::memset(into, 0, length);
    for (uint32_t done = 0; done < length;) {
        ssize_t n = pread(fd, into + done, length - done, off_t(offset + done));
        if (n < 0)
            return false;
        if (n == 0)
            break;
        done += uint32_t(n);
    }
    return true;
}

bool writeFile(const std::string& path, const uint8_t* data, uint32_t length) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    for (uint32_t done = 0; done < length;) {
        ssize_t n = write(fd, data + done, length - done);
        if (n <= 0) {
            close(fd);
            return false;
        }
        done += uint32_t(n);
    }
    return close(fd) == 0;
}

int32_t decompress(int32_t type, uint8_t*& out, const uint8_t* in, uint32_t length,
                   uint32_t* outLength, bool bigEndian) {
    return karv::FindContainerKind(type)->decompress(out, in, length, outLength, bigEndian);
}

struct Totals {
    uint32_t members = 0;
    uint64_t bytes = 0;
};

bool exportEntry(int32_t type, bool big, int fd, const idxinfo& info, uint32_t entry,
                 const std::string& outFolder, std::vector<uint8_t>& stored, Totals& totals) {
    if (stored.size() < info.size)
        stored.resize(info.size);
    if (!readAt(fd, stored.data(), info.size, info.offset))
        return false;
    const uint8_t* data = stored.data();
    uint32_t length = info.size;
    std::unique_ptr<uint8_t, FreeDeleter> inflated;
    if (!isRaw(info)) {
        uint8_t* out = nullptr;
        if (decompress(type, out, stored.data(), info.size, &length, big) != 0)
            return false;
        inflated.reset(out);
        data = out;
    }
    char name[32];
    std::snprintf(name, sizeof name, "/%06u.data", entry);
    if (!writeFile(outFolder + name, data, length))
        return false;
    ++totals.members;
    totals.bytes += length;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: export_loop 357|Z54|358 PC|PS3 <index> <archive> <out>\n");
        return 2;
    }
    const karv::ContainerKind* kind =
        karv::FindContainerKindByName(karv::platform::utf8ToWide(argv[1]));
    if (kind == nullptr) {
        std::fprintf(stderr, "export_loop: unknown type %s\n", argv[1]);
        return 2;
    }
    const int32_t type = kind->dataType;
    bool big = std::string(argv[2]) == "PS3";
    uint8_t* rawTable = nullptr;
    uint32_t unit = 0;
    uint32_t count = LoadIndexData(type, karv::platform::utf8ToWide(argv[3]), rawTable, &unit, big);
    std::unique_ptr<uint8_t, FreeDeleter> table(rawTable);
    int fd = open(argv[4], O_RDONLY);
    if (count == 0 || fd < 0) {
        std::fprintf(stderr, "export_loop: cannot load the index or open the archive\n");
        return 1;
    }
    std::vector<uint8_t> stored;
    Totals totals;
    for (uint32_t e = 0; e < count; ++e) {
        idxinfo info;
        GetIndexInfo(type, table.get(), unit, big, e, &info);
        if (isUnused(info))
            continue;
        if (!exportEntry(type, big, fd, info, e, argv[5], stored, totals)) {
            std::fprintf(stderr, "export_loop: entry %u failed\n", e);
            return 1;
        }
    }
    close(fd);
    std::printf("%u members, %llu bytes\n", totals.members, (unsigned long long)totals.bytes);
    return 0;
}
