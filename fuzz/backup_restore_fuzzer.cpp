// Backup and restore on hostile games and hostile backup files. A refusal leaves every file
// as it was; a successful restore leaves the saved table in the index and every recorded
// archive file at its saved size; a backup saves exactly the loaded table and the sizes; and a
// restore right after a backup changes nothing.
//
// Input: byte 0 = data type (bits 0-1: 357, Z54, 358, 357), byte order (bit 2), fileCount
// (bits 3-6, beyond the ten files from 11 on), restore before the backup (bit 7); then five
// pieces, each a 16-bit length and the bytes: the index file, archive files 0 and 1, the
// ".idxbak" and the ".qxdata" file. An empty piece is a missing file. For Z54 the index is
// archive file 0, as in the games.
#include "formats/byte_io.h"
#include "fuzz_support.h"
#include "karvcore/formats.h"

#include <algorithm>
#include <map>

namespace {

using karv::fuzz::Bytes;
using karv::fuzz::expect;

const wchar_t* const kNames[] = {L"game.idx",        L"game.vox",        L"game.vox1",
                                 L"game.vox.idxbak", L"game.vox.qxdata", L"game.idx.idxbak"};

struct Files {
    std::map<std::wstring, std::pair<bool, Bytes>> state;
    bool operator==(const Files& other) const { return state == other.state; }
};

Files snapshot() {
    Files files;
    for (const wchar_t* name : kNames) {
        bool exists = false;
        Bytes bytes = karv::fuzz::Scratch::get().read(name, &exists);
        files.state[name] = {exists, bytes};
    }
    return files;
}

const Bytes& bytesOf(const Files& files, const wchar_t* name) {
    return files.state.at(name).second;
}

struct Game {
    int32_t type;
    bool bigEndian;
    linkinfo link;
    bool z54() const { return type == 2; }
    const wchar_t* tableCopy() const { return z54() ? L"game.vox.idxbak" : L"game.idx.idxbak"; }
    uint32_t recordedFiles() const {
        if (z54() || link.fileCount == 0)
            return 1;
        return uint32_t(link.fileCount);
    }
};

const wchar_t* archiveName(uint32_t i) {
    return i == 0 ? L"game.vox" : L"game.vox1";
}

void checkRestored(const Game& game, const Files& before, const Files& after) {
    const Bytes& table = bytesOf(before, game.tableCopy());
    const Bytes& record = bytesOf(before, L"game.vox.qxdata");
    if (game.z54()) {
        const Bytes& archive = bytesOf(after, L"game.vox");
        expect(archive.size() >= 16 + table.size() &&
                   std::equal(table.begin(), table.end(), archive.begin() + 16),
               "the Z54 table was not written back");
    } else {
        expect(bytesOf(after, L"game.idx") == table, "the index is not the saved table");
    }
    for (uint32_t i = 0; i < std::min<uint32_t>(game.recordedFiles(), 2); ++i) {
        uint64_t saved = karv::readU64(record.data() + 8 * i, false);
        const Bytes& was = bytesOf(before, archiveName(i));
        const Bytes& now = bytesOf(after, archiveName(i));
        if (saved != 0)
            expect(now.size() == saved, "an archive file is not at its saved size");
        expect(std::equal(now.begin() + (game.z54() && i == 0 ? 16 + table.size() : 0), now.end(),
                          was.begin() + (game.z54() && i == 0 ? 16 + table.size() : 0)),
               "a restore changed archive data it had to keep");
    }
    const Bytes& cleared = bytesOf(after, L"game.vox.qxdata");
    expect(cleared.size() == record.size() &&
               std::equal(record.begin(), record.begin() + 80, cleared.begin()) &&
               std::all_of(cleared.begin() + 80, cleared.end(), [](uint8_t b) { return b == 0; }),
           "the record's slots were not cleared");
}

void checkBackup(const Game& game, const Files& after) {
    const Bytes& table = bytesOf(after, game.tableCopy());
    const Bytes& record = bytesOf(after, L"game.vox.qxdata");
    const uint32_t entrySize = game.z54() ? 16 : 32;
    expect(!table.empty() && table.size() % entrySize == 0, "the saved table is not whole entries");
    const Bytes& source = bytesOf(after, game.z54() ? L"game.vox" : L"game.idx");
    const size_t at = game.z54() ? 16 : 0;
    expect(source.size() >= at + table.size() &&
               std::equal(table.begin(), table.end(), source.begin() + at),
           "the saved table is not the index's");
    expect(record.size() == 80 + 4 * (table.size() / entrySize), "record length");
    for (uint32_t i = 0; i < 10; ++i) {
        uint64_t saved = karv::readU64(record.data() + 8 * i, false);
        uint64_t expected = 0;
        if (i < game.recordedFiles() && i < 2)
            expected = bytesOf(after, archiveName(i)).size();
        expect(saved == expected, "a saved archive size is wrong");
    }
    expect(std::all_of(record.begin() + 80, record.end(), [](uint8_t b) { return b == 0; }),
           "a fresh record has slots set");
}

// Each step starts from the files as the previous one left them, and updates them.
void restore(const Game& game, Files& files) {
    const Files before = files;
    SetMessageQX(L"");
    int32_t status = RestoreIdxVoxbank(game.type, game.link, L"", game.bigEndian);
    files = snapshot();
    expect(status == 0 || (status >= -4 && status <= -1) || status == -6 || status == -7,
           "restore status");
    if (status != 0) {
        expect(!GetMessageQX().empty(), "a refused restore set no message");
        expect(files == before, "a refused restore changed a file");
        return;
    }
    checkRestored(game, before, files);
}

bool backup(const Game& game, Files& files) {
    const Files before = files;
    SetMessageQX(L"");
    int32_t status = BackupIdxVoxbank(game.type, game.link, L"", game.bigEndian);
    files = snapshot();
    expect(status == 0 || (status >= -3 && status <= -1) || status == -6, "backup status");
    if (status != 0) {
        expect(!GetMessageQX().empty(), "a refused backup set no message");
        expect(files == before, "a refused backup changed a file");
        return false;
    }
    checkBackup(game, files);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    karv::fuzz::InputReader in(data, size);
    const uint8_t mode = in.u8();
    const int32_t types[] = {karv::kDataType357, karv::kDataTypeZ54, karv::kDataType358,
                             karv::kDataType357};
    Game game{types[mode & 3], (mode & 4) != 0, {}};
    game.link.fileCount = (mode >> 3) & 15;
    const bool restoreFirst = (mode & 0x80) != 0;

    karv::fuzz::Scratch& scratch = karv::fuzz::Scratch::get();
    const Bytes index = in.piece();
    const Bytes archives[2] = {in.piece(), in.piece()};
    const Bytes tableCopy = in.piece();
    const Bytes record = in.piece();
    Files files;
    for (const wchar_t* name : kNames)
        files.state[name] = {false, Bytes()};
    auto place = [&](const wchar_t* name, const Bytes& bytes) {
        if (bytes.empty()) {
            scratch.remove(name);
        } else {
            scratch.write(name, bytes);
            files.state[name] = {true, bytes};
        }
    };
    place(L"game.idx", index);
    place(L"game.vox", archives[0]);
    place(L"game.vox1", archives[1]);
    place(L"game.vox.idxbak", game.z54() ? tableCopy : Bytes());
    place(L"game.idx.idxbak", game.z54() ? Bytes() : tableCopy);
    place(L"game.vox.qxdata", record);
    game.link.indexPath = scratch.path(L"game.idx");
    for (uint32_t i = 0; i < 10; ++i)
        game.link.fileNames[i] = scratch.path(i < 2 ? archiveName(i) : L"missing.vox");

    if (restoreFirst)
        restore(game, files);
    if (backup(game, files)) {
        // The table holds whole entries only: an index with a partial last entry no longer
        // matches it, and its restore is refused.
        const bool whole = game.z54() || bytesOf(files, L"game.idx").size() % 32 == 0;
        int32_t status = RestoreIdxVoxbank(game.type, game.link, L"", game.bigEndian);
        expect(status == (whole ? 0 : -4), "a restore right after a backup was refused");
        expect(snapshot() == files, "a restore right after a backup changed a file");
    }
    return 0;
}
