// Index files and the archive reader on hostile input: LoadIndexData, GetIndexInfo on every
// entry it counts, and VoxbankQX reading members through that index from a hostile archive.
//
// Input: byte 0 = data type (bits 0-1: 0 357, 1 Z54, 2 358, 3 the whole of byte 1, any
// number), byte order (bit 2), forced decompression (bit 3); [byte 1 when bits 0-1 are 3];
// a 16-bit length and the index file; the rest is the archive. For Z54 the index is the start
// of the archive file, as in the games.
#include "formats/byte_io.h"
#include "fuzz_support.h"
#include "karvcore/formats.h"
#include "platform/file.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

using karv::fuzz::Bytes;
using karv::fuzz::expect;

// Members claiming more are zero-filled out to their stored size by design; reading them
// tests nothing but the allocator, and filling them took most of the time of a run. Inputs
// are at most a few KiB, so this still reaches past the end of every archive.
constexpr uint32_t kLargestMemberRead = 1u << 13;
constexpr uint32_t kMembersRead = 16;
constexpr uint32_t kEntriesDecoded = 1u << 16;

struct Table {
    uint8_t* bytes = nullptr;
    ~Table() { std::free(bytes); }
};

void checkEntries(int32_t type, const Bytes& indexFile, const Table& table, uint32_t count,
                  uint32_t unit, bool bigEndian) {
    for (uint32_t i = 0; i < std::min(count, kEntriesDecoded); ++i) {
        idxinfo info;
        GetIndexInfo(type, table.bytes, unit, bigEndian, i, &info);
        if (type != 2)
            continue;
        // Entries past the end of the file decode as zero.
        uint64_t at = 16 + uint64_t(i) * 16;
        if (at + 16 > indexFile.size()) {
            expect(info.offset == 0 && info.size == 0 && info.marker == 0, "entry past the file");
            continue;
        }
        uint64_t units = karv::readU64(indexFile.data() + at, bigEndian);
        uint64_t expected = units > UINT64_MAX / unit ? UINT64_MAX : units * unit;
        expect(info.offset == expected, "a Z54 offset wrapped");
    }
}

void readMembers(int32_t type, bool bigEndian, bool force, const std::wstring& indexPath,
                 const std::wstring& archivePath, const Table& table, uint32_t count,
                 uint32_t unit) {
    std::unique_ptr<VoxbankQX> reader(CreateVoxbankInterface(type, bigEndian));
    expect(reader != nullptr, "no reader");
    expect(reader->LoadIndex(indexPath) == count, "LoadIndex disagrees with LoadIndexData");
    karv::platform::File archive =
        karv::platform::File::open(archivePath, karv::platform::OpenMode::ReadExisting);
    expect(archive.isOpen(), "archive not opened");
    for (uint32_t i = 0; i <= std::min(count, kMembersRead); ++i) {
        idxinfo info;
        if (i < count) {
            GetIndexInfo(type, table.bytes, unit, bigEndian, i, &info);
            if (info.size > kLargestMemberRead)
                continue;
        }
        uint8_t* data = nullptr;
        uint32_t length = 0;
        int32_t status = reader->ReadMember(archive.native(), i, data, &length, force);
        if (i == count) {
            expect(status == -5 && data == nullptr, "an entry beyond the index was read");
            break;
        }
        expect(status == 0 || status == -2 || status == -3 || status == -4 || status == -10,
               "undocumented status");
        if (status != 0) {
            expect(data == nullptr, "a failed read left a buffer");
            continue;
        }
        expect(data != nullptr, "success without a buffer");
        karv::fuzz::touch(data, length);
        std::free(data);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    karv::fuzz::InputReader in(data, size);
    const uint8_t mode = in.u8();
    const int32_t types[] = {karv::kDataType357, karv::kDataTypeZ54, karv::kDataType358};
    const int32_t type = (mode & 3) == 3 ? int32_t(int8_t(in.u8())) : types[mode & 3];
    const bool bigEndian = (mode & 4) != 0;
    const bool force = (mode & 8) != 0;
    const Bytes index = in.piece();
    Bytes archive = in.rest();

    karv::fuzz::Scratch& scratch = karv::fuzz::Scratch::get();
    std::wstring indexPath, archivePath;
    if (type == 2) {
        archive.insert(archive.begin(), index.begin(), index.end());
        indexPath = archivePath = scratch.write(L"archive", archive);
    } else {
        indexPath = scratch.write(L"index", index);
        archivePath = scratch.write(L"archive", archive);
    }

    const Bytes& indexFile = type == 2 ? archive : index;
    Table table;
    uint32_t unit = 0xA5A5A5A5;
    SetMessageQX(L"");
    uint32_t count = LoadIndexData(type, indexPath, table.bytes, &unit, bigEndian);
    if (count == 0) {
        expect(!GetMessageQX().empty(), "a failed load set no message");
        return 0;
    }
    expect(table.bytes != nullptr, "entries without a table");
    if (type == 2) {
        expect(count <= karv::readU32(indexFile.data() + 4, bigEndian) &&
                   count <= (indexFile.size() - 16) / 16,
               "more Z54 entries than the header or the file holds");
        expect(unit == karv::readU32(indexFile.data() + 8, bigEndian) && unit != 0, "Z54 unit");
    } else {
        expect(count == index.size() / 32, "entry count is not the file size / 32");
        expect(unit == 0xA5A5A5A5, "a unit was stored for a 32-byte index");
    }
    checkEntries(type, indexFile, table, count, unit, bigEndian);
    readMembers(type, bigEndian, force, indexPath, archivePath, table, count, unit);
    return 0;
}
