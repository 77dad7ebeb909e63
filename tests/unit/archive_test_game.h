// A game on disk for the export and import tests: archive files and index built byte by byte,
// archiveSelection filled by the menus' own rule, the backup made through the library, and
// the program's printed lines captured.
#pragma once

#include "archive_builder.h"
#include "console.h"
#include "container_builders.h"
#include "karvcore/archive.h"
#include "karvcore/karvcore.h"
#include "platform/filesystem.h"
#include "program_state.h"
#include "selection.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace karv::test {

// Everything the program prints while it lives.
class OutputCapture {
  public:
    OutputCapture() { cli::capturePrintsInto(&text_); }
    ~OutputCapture() { cli::capturePrintsInto(nullptr); }
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

    // What was printed since the last take.
    std::wstring take() {
        std::wstring out;
        out.swap(text_);
        return out;
    }

  private:
    std::wstring text_;
};

inline const std::wstring kSep(1, platform::kPathSeparator);

inline std::wstring typeName(int32_t dataType, bool bigEndian) {
    std::wstring type = dataType == kDataType357   ? L"357"
                        : dataType == kDataTypeZ54 ? L"Z54"
                                                   : L"358";
    return type + (bigEndian ? L"_PS3" : L"_PC");
}

inline std::wstring padded6(uint32_t n) {
    std::wstring digits = std::to_wstring(n);
    return std::wstring(digits.size() < 6 ? 6 - digits.size() : 0, L'0') + digits;
}

inline uint64_t readNumber(const Bytes& bytes, size_t at, int width, bool bigEndian) {
    uint64_t v = 0;
    for (int i = 0; i < width; ++i)
        v |= uint64_t(bytes.at(at + i)) << (bigEndian ? 8 * (width - 1 - i) : 8 * i);
    return v;
}

inline void putNumber(Bytes& bytes, size_t at, uint64_t v, int width, bool bigEndian) {
    for (int i = 0; i < width; ++i)
        bytes.at(at + i) = uint8_t(v >> (bigEndian ? 8 * (width - 1 - i) : 8 * i));
}

inline Bytes sliceOf(const Bytes& bytes, uint64_t at, uint64_t length) {
    if (at > bytes.size() || length > bytes.size() - at)
        return {};
    return Bytes(bytes.begin() + at, bytes.begin() + at + length);
}

class TestGame {
  public:
    TestGame(int32_t dataType, bool bigEndian, uint32_t offsetUnit = 2048)
        : builder(dataType, bigEndian, offsetUnit), dataType_(dataType), bigEndian_(bigEndian) {}

    ArchiveBuilder builder;
    // Archive file f is named baseName + f + extension ("data0.bin"), unless names are given.
    std::vector<std::wstring> names;

    int32_t dataType() const { return dataType_; }
    bool bigEndian() const { return bigEndian_; }
    bool z54() const { return dataType_ == kDataTypeZ54; }
    std::wstring location() const { return dir_.path() + kSep; }
    std::wstring archiveName(size_t f = 0) const {
        return f < names.size() ? names[f] : L"data" + std::to_wstring(f) + L".bin";
    }
    std::wstring archivePath(size_t f = 0) const { return location() + archiveName(f); }
    std::wstring indexPath() const { return location() + L"data.idx"; }
    std::wstring recordPath() const { return archivePath(0) + L".qxdata"; }
    std::wstring exportRoot() const { return location() + L"Extracted"; }
    // The folder of the archive file's own members: a 357 game exports into the root.
    std::wstring stem() const {
        std::wstring name = archiveName(0);
        size_t dot = name.find(L'.');
        return dot == std::wstring::npos || dot == 0 ? name : name.substr(0, dot);
    }
    std::wstring exportFolder() const {
        return dataType_ == kDataType357 ? exportRoot() : exportRoot() + kSep + stem();
    }
    std::wstring importFolder() const {
        std::wstring root = location() + L"Import";
        return dataType_ == kDataType357 ? root : root + kSep + stem();
    }
    std::wstring memberFile(uint32_t entry) const {
        return exportFolder() + kSep + padded6(entry) + L".data";
    }

    // Writes the archive files, the index and the import folder.
    void write() {
        std::vector<std::wstring> paths;
        for (size_t f = 0; f < builder.fileCount(); ++f)
            paths.push_back(archivePath(f));
        ASSERT_TRUE(builder.write(paths, indexPath()));
        platform::createDirectory(location() + L"Import");
        platform::createDirectory(importFolder());
    }

    // The game's record, as the configuration file would give it.
    cli::gameinfo gameRecord() const {
        cli::gameinfo game;
        game.name = typeName(dataType_, bigEndian_);
        game.location = location();
        game.bigEndian = bigEndian_;
        game.dataType = dataType_;
        game.idxNames[0] = L"data.idx";
        game.voxbankCount = int32_t(builder.fileCount());
        for (size_t f = 0; f < builder.fileCount(); ++f) {
            game.voxbankNames[f] = archiveName(f);
            game.splitAddresses[f] = uint32_t(SplitAddressOf(builder.firstEntryOfFile(f)));
        }
        game.exportPath = L"Extracted";
        game.importPath = L"Import";
        return game;
    }

    // archiveSelection as the menus fill it before an export or an import of archive file 0.
    void select(bool dryRun = false) const {
        cli::resetProgramState();
        cli::archiveSelection = cli::SelectArchive(gameRecord(), 0, dryRun);
    }

    int32_t backup() const {
        select();
        return BackupIdxVoxbank(dataType_, cli::archiveSelection.linkinfo, location(), bigEndian_);
    }
    int32_t restore() const {
        select();
        return RestoreIdxVoxbank(dataType_, cli::archiveSelection.linkinfo, location(), bigEndian_);
    }

    // The game's own files: archive files, then the index file (357 and 358).
    std::vector<std::wstring> gameFiles() const {
        std::vector<std::wstring> files;
        for (size_t f = 0; f < builder.fileCount(); ++f)
            files.push_back(archivePath(f));
        if (!z54())
            files.push_back(indexPath());
        return files;
    }
    // Every file an import may touch, with its bytes.
    std::map<std::wstring, Bytes> snapshot() const {
        std::map<std::wstring, Bytes> out;
        for (const std::wstring& f : gameFiles())
            out[f] = readBytes(f);
        out[recordPath()] = readBytes(recordPath());
        return out;
    }

    void putImportFile(const std::wstring& name, const Bytes& bytes) const {
        ASSERT_TRUE(writeBytes(importFolder() + kSep + name, bytes));
    }
    void clearImportFolder() const {
        std::vector<platform::DirectoryEntry> entries;
        platform::listDirectory(importFolder(), L"*", entries);
        for (const platform::DirectoryEntry& e : entries)
            platform::removeFile(importFolder() + kSep + e.name);
    }

    Bytes record() const { return readBytes(recordPath()); }
    uint32_t slot(uint32_t entry) const {
        return uint32_t(readNumber(record(), 80 + 4 * size_t(entry), 4, false));
    }
    uint32_t entrySize() const { return z54() ? 16 : 32; }
    // Index entry `entry` as it stands on disk.
    Bytes entryBytes(uint32_t entry) const {
        if (z54())
            return sliceOf(readBytes(archivePath(0)), 16 + 16 * uint64_t(entry), 16);
        return sliceOf(readBytes(indexPath()), 32 * uint64_t(entry), 32);
    }
    // Offset in bytes and stored size of entry `entry` as it stands on disk.
    uint64_t entryOffset(uint32_t entry) const {
        uint64_t stored = readNumber(entryBytes(entry), 0, 8, bigEndian_);
        return z54() ? stored * builder.offsetUnit() : stored;
    }
    uint32_t entryStoredSize(uint32_t entry) const {
        return uint32_t(readNumber(entryBytes(entry), z54() ? 8 : 16, 4, bigEndian_));
    }

  private:
    TempDir dir_;
    int32_t dataType_;
    bool bigEndian_;
};

// The six games: each data type in each byte order.
struct GameKind {
    int32_t dataType;
    bool bigEndian;
};

inline std::vector<GameKind> allGameKinds() {
    std::vector<GameKind> kinds;
    for (int32_t type : {kDataType357, kDataTypeZ54, kDataType358})
        for (bool bigEndian : {false, true})
            kinds.push_back({type, bigEndian});
    return kinds;
}

inline std::string kindName(const ::testing::TestParamInfo<GameKind>& info) {
    std::wstring name = typeName(info.param.dataType, info.param.bigEndian);
    return std::string(name.begin(), name.end());
}

// A container of the game's kind whose one chunk is `stream`, under the header's `total`.
inline Bytes handMadeContainer(const TestGame& game, uint32_t total, const Bytes& stream) {
    if (game.dataType() == kDataType357)
        return container357(game.bigEndian(), 65536, total, {stream});
    if (game.dataType() == kDataType358)
        return container358(game.bigEndian(), 262144, total, {stream});
    return containerZ54(game.bigEndian(), total, {stream});
}

// The index marker of a compressed member of `total` bytes in the game.
inline uint32_t compressedMarker(const TestGame& game, uint32_t total) {
    return game.z54() ? total : (game.bigEndian() ? 1u << 24 : 1);
}

} // namespace karv::test
