// The archive import on hostile games: index entries, Z54 index headers, backup records and
// member file names and contents from the fuzzer. Whatever they say, the import never changes
// a byte the backup protects (the archive below its saved size, the Z54 table aside), never
// grows the index file or the record, never touches the saved sizes, and in a dry run changes
// no file at all.
//
// Input: byte 0 = data type (bits 0-1: 357, Z54, 358, 357), byte order (bit 2), dry run
// (bit 3); then pieces, each a 16-bit length and the bytes: the index (357/358: the index file;
// Z54: the header and table at the start of the archive), the archive behind it, the record;
// then up to four import files, each a name piece and a content piece. A name is the first 24
// bytes mapped onto digits and a few other characters, then ".data".
#include "archive_import.h"
#include "console.h"
#include "formats/byte_io.h"
#include "fuzz_support.h"
#include "karvcore/formats.h"
#include "platform/filesystem.h"
#include "program_state.h"

#include <algorithm>
#include <vector>

namespace {

using karv::fuzz::Bytes;
using karv::fuzz::expect;

constexpr uint32_t kMostFiles = 4;
constexpr size_t kLongestName = 24;
// The import pads an appended member to the Z54 offset unit; units beyond this would only make
// the fuzzer write gigabytes of zeros.
constexpr uint32_t kLargestUnit = 1u << 16;

std::wstring fileName(const Bytes& piece) {
    static const wchar_t kAlphabet[] = L"0123456789012345678901234567890123456789 -+.xa";
    std::wstring name;
    for (size_t i = 0; i < std::min(piece.size(), kLongestName); ++i)
        name += kAlphabet[piece[i] % (sizeof kAlphabet / sizeof kAlphabet[0] - 1)];
    return name + L".data";
}

void clearFolder(const std::wstring& folder) {
    std::vector<karv::platform::DirectoryEntry> entries;
    karv::platform::listDirectory(folder, L"*", entries);
    for (const auto& entry : entries)
        karv::platform::removeFile(folder + karv::platform::kPathSeparator + entry.name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    karv::fuzz::InputReader in(data, size);
    const uint8_t mode = in.u8();
    const int32_t types[] = {karv::kDataType357, karv::kDataTypeZ54, karv::kDataType358,
                             karv::kDataType357};
    const int32_t type = types[mode & 3];
    const bool bigEndian = (mode & 4) != 0;
    const bool dryRun = (mode & 8) != 0;
    Bytes index = in.piece();
    const Bytes behind = in.piece();
    const Bytes record = in.piece();

    karv::fuzz::Scratch& scratch = karv::fuzz::Scratch::get();
    const std::wstring folder = scratch.path(L"import");
    karv::platform::createDirectory(folder);
    clearFolder(folder);
    for (uint32_t i = 0; i < kMostFiles && in.left() > 0; ++i) {
        std::wstring name = fileName(in.piece());
        // A name the system refuses ("..data" and the like) is simply not there.
        scratch.tryWrite(L"import" + std::wstring(1, karv::platform::kPathSeparator) + name,
                         in.piece());
    }

    // A Z54 index is the head of the archive; a short index piece leaves part of the header
    // (count, unit) to the bytes behind it, so the header is read from the archive.
    Bytes archive;
    if (type == 2)
        archive = index;
    archive.insert(archive.end(), behind.begin(), behind.end());
    if (type == 2 && archive.size() >= 12 &&
        karv::readU32(archive.data() + 8, bigEndian) > kLargestUnit)
        karv::writeU32(archive.data() + 8, kLargestUnit, bigEndian);
    const std::wstring archivePath = scratch.write(L"game.vox", archive);
    const std::wstring indexPath = scratch.write(L"game.idx", index);
    const std::wstring recordPath =
        scratch.write(std::wstring(L"game.vox") + karv::kBackupRecordSuffix, record);

    karv::cli::resetProgramState();
    karv::cli::ArchiveSelection& s = karv::cli::archiveSelection;
    s.dataType = type;
    s.bigEndian = bigEndian;
    s.dryRun = dryRun;
    s.blockAlignment = karv::AppendAlignmentFor(type);
    s.linkinfo.fileCount = type == 1 ? 1 : 0;
    s.linkinfo.fileNames[0] = archivePath;
    s.linkinfo.indexPath = indexPath;
    s.importDir = folder;

    std::wstring printed;
    karv::cli::capturePrintsInto(&printed);
    karv::cli::ImportMembers(s, archivePath);
    karv::cli::capturePrintsInto(nullptr);

    // Four small files, each padded at most to the offset unit: nothing more can be appended.
    expect(scratch.size(L"game.vox") <= archive.size() + kMostFiles * (size + kLargestUnit + 4096),
           "the import wrote far beyond the end of the archive");
    const Bytes archiveAfter = scratch.read(L"game.vox");
    const Bytes indexAfter = scratch.read(L"game.idx");
    const Bytes recordAfter = scratch.read(L"game.vox.qxdata");
    if (dryRun) {
        expect(archiveAfter == archive && indexAfter == index && recordAfter == record,
               "a dry run changed a file");
        return 0;
    }
    expect(recordAfter.size() == record.size(), "the import changed the record's length");
    expect(std::equal(recordAfter.begin(),
                      recordAfter.begin() + std::min<size_t>(80, record.size()), record.begin()),
           "the import changed a saved size");
    if (type != 2)
        expect(indexAfter.size() == index.size(), "the import changed the index file's length");
    // What the backup protects: archive file 0 up to its saved size (0: nothing recorded).
    uint64_t saved = record.size() >= 80 ? karv::readU64(record.data(), false) : 0;
    uint64_t kept = std::min<uint64_t>(saved, archive.size());
    expect(archiveAfter.size() >= kept, "the import cut the archive");
    size_t tableEnd = 0;
    if (type == 2 && archive.size() >= 16) {
        uint32_t unit = karv::readU32(archive.data() + 8, bigEndian);
        uint64_t entries = std::min<uint64_t>(karv::readU32(archive.data() + 4, bigEndian),
                                              (archive.size() - 16) / 16);
        tableEnd = size_t(unit == 0 ? 0 : 16 + 16 * entries);
    }
    for (uint64_t i = 0; i < kept; ++i) {
        if (i >= 16 && i < tableEnd)
            continue;
        expect(archiveAfter[size_t(i)] == archive[size_t(i)],
               "the import overwrote protected data");
    }
    return 0;
}
