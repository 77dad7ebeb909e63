// Backup and restore of index and archive for all three data types in both byte orders: the
// backup files byte for byte, imports undone byte for byte, and every refusal leaving every
// file (game and backup files alike) exactly as it was.
#include "archive_builder.h"
#include "formats/backup_record.h"
#include "karvcore/karvcore.h"
#include "platform/fault_injection.h"
#include "platform/filesystem.h"
#include "platform/text.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>

namespace karv::test {
namespace {

const wchar_t* const kUnchanged = L"(unchanged)";
const std::wstring kLoadBackupFailed = L"加载备份文件失败！";

void put(Bytes& out, size_t at, uint64_t v, int width, bool bigEndian) {
    if (out.size() < at + width)
        out.resize(at + width, 0);
    for (int i = 0; i < width; ++i)
        out[at + i] = uint8_t(v >> (bigEndian ? 8 * (width - 1 - i) : 8 * i));
}

uint64_t get(const Bytes& in, size_t at, int width, bool bigEndian) {
    uint64_t v = 0;
    for (int i = 0; i < width; ++i)
        v |= uint64_t(in.at(at + i)) << (bigEndian ? 8 * (width - 1 - i) : 8 * i);
    return v;
}

void patch(Bytes& target, size_t at, const Bytes& bytes) {
    if (target.size() < at + bytes.size())
        target.resize(at + bytes.size(), 0);
    std::copy(bytes.begin(), bytes.end(), target.begin() + at);
}

Bytes sliceAt(const Bytes& bytes, size_t at, size_t length) {
    return at <= bytes.size() && length <= bytes.size() - at
               ? Bytes(bytes.begin() + at, bytes.begin() + at + length)
               : Bytes();
}

bool removeFolder(const std::wstring& path) {
#ifdef _WIN32
    std::filesystem::path folder(path);
#else
    std::filesystem::path folder(platform::wideToUtf8(path));
#endif
    std::error_code ec;
    return std::filesystem::remove(folder, ec);
}

Bytes pattern(size_t length, uint8_t seed) {
    Bytes out(length);
    for (size_t i = 0; i < length; ++i)
        out[i] = uint8_t(seed + i * 7 + (i >> 8));
    return out;
}

// The record as a backup writes it: ten little-endian sizes, then zero slots.
Bytes freshRecord(const std::vector<uint64_t>& sizes, uint32_t entries) {
    Bytes out(80 + 4 * size_t(entries), 0);
    for (size_t i = 0; i < sizes.size(); ++i)
        put(out, 8 * i, sizes[i], 8, false);
    return out;
}

// What lies at a path: nothing, a folder, or a file and its bytes.
struct PathState {
    bool exists = false;
    bool folder = false;
    Bytes bytes;
};
using Snapshot = std::map<std::wstring, PathState>;

struct Game {
    int32_t dataType;
    bool bigEndian;
    ArchiveBuilder builder;
    std::vector<std::wstring> archives;
    std::wstring indexPath;
    linkinfo link;

    bool z54() const { return dataType == kDataTypeZ54; }
    uint32_t alignment() const { return z54() ? builder.offsetUnit() : 256; }
    std::wstring copyPath() const { return (z54() ? archives[0] : indexPath) + L".idxbak"; }
    std::wstring recordPath() const { return archives[0] + L".qxdata"; }
    std::vector<std::wstring> gameFiles() const {
        std::vector<std::wstring> files = archives;
        if (!z54())
            files.push_back(indexPath);
        return files;
    }
    std::vector<std::wstring> allFiles() const {
        std::vector<std::wstring> files = gameFiles();
        files.push_back(copyPath());
        files.push_back(recordPath());
        return files;
    }
    // The index table as the backup saves it.
    Bytes table() const {
        Bytes index = builder.index();
        return z54() ? Bytes(index.begin() + 16, index.end()) : index;
    }
    std::vector<uint64_t> archiveSizes() const {
        std::vector<uint64_t> sizes;
        for (size_t f = 0; f < archives.size(); ++f)
            sizes.push_back(builder.archive(f).size());
        return sizes;
    }
};

std::wstring typeName(int32_t dataType) {
    return dataType == kDataType357 ? L"357" : dataType == kDataTypeZ54 ? L"Z54" : L"358";
}

class BackupRestore : public ::testing::Test {
  protected:
    TempDir dir;

    // A game as the menus describe it: 357 with all its files, Z54 and 358 with one file in
    // slot 0 and fileCount 0. Z54 ignores fileCount and indexPath, so they are set to nonsense.
    Game makeGame(int32_t dataType, bool bigEndian, size_t files = 1) {
        Game g{dataType, bigEndian, ArchiveBuilder(dataType, bigEndian, 2048), {}, {}, {}};
        for (size_t f = 0; f < files; ++f) {
            if (f > 0)
                g.builder.startNextFile();
            g.builder.addRaw(pattern(700 + 100 * f, uint8_t(f)));
            g.builder.addCompressed(pattern(5000, uint8_t(40 + f)));
            g.builder.addUnused();
            g.builder.addRaw(pattern(300, uint8_t(90 + f)), kIdxMarkerRawTagged);
        }
        std::wstring stem = typeName(dataType) + (bigEndian ? L"_PS3_" : L"_PC_");
        for (size_t f = 0; f < files; ++f)
            g.archives.push_back(dir.file(stem + L"数据" + std::to_wstring(f) + L".bin"));
        g.indexPath = dir.file(stem + L"索引.idx");
        for (size_t f = 0; f < files; ++f) {
            g.link.fileNames[f] = g.archives[f];
            g.link.splitAddress[f] = 32 * g.builder.firstEntryOfFile(f);
        }
        g.link.fileCount = dataType == kDataType357 ? int32_t(files) : 0;
        g.link.indexPath = g.indexPath;
        if (g.z54()) {
            g.link.fileCount = 99;
            g.link.indexPath = dir.file(L"不存在.idx");
        }
        EXPECT_TRUE(g.builder.write(g.archives, g.indexPath));
        return g;
    }

    int32_t backup(const Game& g) {
        SetMessageQX(kUnchanged);
        return BackupIdxVoxbank(g.dataType, g.link, dir.path(), g.bigEndian);
    }

    int32_t restore(const Game& g) {
        SetMessageQX(kUnchanged);
        return RestoreIdxVoxbank(g.dataType, g.link, dir.path(), g.bigEndian);
    }

    static Snapshot snapshot(const std::vector<std::wstring>& paths) {
        Snapshot s;
        for (const std::wstring& path : paths) {
            PathState& state = s[path];
            state.exists = FilePathExists(path) != 0;
            state.folder = platform::isDirectory(path);
            if (state.exists && !state.folder)
                state.bytes = readBytes(path);
        }
        return s;
    }

    static void expectSame(const Snapshot& before, const Snapshot& after) {
        for (const auto& [path, state] : before) {
            SCOPED_TRACE(platform::wideToUtf8(path));
            auto now = after.find(path);
            ASSERT_NE(now, after.end());
            EXPECT_EQ(state.exists, now->second.exists);
            EXPECT_EQ(state.folder, now->second.folder);
            EXPECT_TRUE(state.bytes == now->second.bytes) << "file changed";
        }
    }

    // What an import does (the import's own rules): new data padded to the game's alignment
    // goes behind the archive's end, the entry points there and its slot takes the padded
    // length; data that fits the region the entry already owns is written over that region.
    static void import(const Game& g, uint32_t entry, const Bytes& data) {
        size_t file = 0;
        for (size_t f = 1; g.dataType == kDataType357 && f < g.archives.size(); ++f)
            if (g.builder.firstEntryOfFile(f) <= entry)
                file = f;
        Bytes archive = readBytes(g.archives[file]);
        Bytes index = g.z54() ? archive : readBytes(g.indexPath);
        Bytes record = readBytes(g.recordPath());
        uint64_t unit = g.z54() ? g.builder.offsetUnit() : 1;
        size_t entryAt = g.z54() ? 16 + 16 * size_t(entry) : 32 * size_t(entry);
        Bytes padded = data;
        padded.resize((data.size() + g.alignment() - 1) / g.alignment() * g.alignment(), 0);
        uint64_t slot = get(record, 80 + 4 * size_t(entry), 4, false);
        uint64_t offset = archive.size();
        if (slot != 0 && padded.size() <= slot) {
            offset = get(index, entryAt, 8, g.bigEndian) * unit;
        } else {
            put(record, 80 + 4 * size_t(entry), padded.size(), 4, false);
            ASSERT_TRUE(writeBytes(g.recordPath(), record));
        }
        Bytes written;
        if (g.z54()) {
            put(written, 0, offset / unit, 8, g.bigEndian);
            put(written, 8, data.size(), 4, g.bigEndian);
            put(written, 12, 0, 4, g.bigEndian);
            patch(archive, entryAt, written);
        } else {
            written = indexFile32({{offset, uint32_t(data.size()), 0, uint32_t(data.size())}},
                                  g.bigEndian);
            patch(index, entryAt, written);
            ASSERT_TRUE(writeBytes(g.indexPath, index));
        }
        patch(archive, size_t(offset), padded);
        ASSERT_TRUE(writeBytes(g.archives[file], archive));
    }

    // Several imports: appends to the first file and (357) the last, and one in-place rewrite.
    static void importSome(const Game& g) {
        uint32_t lastFile = g.builder.firstEntryOfFile(g.archives.size() - 1);
        import(g, 0, pattern(300, 1));
        import(g, 1, pattern(3000, 2));
        import(g, 0, pattern(200, 3)); // fits the region of the first import: written in place
        import(g, lastFile + 3, pattern(9000, 4));
    }

    void expectRestoreRefused(const Game& g, int32_t status, const std::wstring& message) {
        Snapshot before = snapshot(g.allFiles());
        EXPECT_EQ(restore(g), status);
        EXPECT_EQ(GetMessageQX(), message);
        expectSame(before, snapshot(g.allFiles()));
    }

    void expectBackupRefused(const Game& g, int32_t status, const std::wstring& message) {
        Snapshot before = snapshot(g.allFiles());
        EXPECT_EQ(backup(g), status);
        EXPECT_EQ(GetMessageQX(), message);
        expectSame(before, snapshot(g.allFiles()));
    }

    template <typename Check> void forEveryGame(Check check) {
        for (int32_t type : {kDataType357, kDataTypeZ54, kDataType358})
            for (bool bigEndian : {false, true}) {
                SCOPED_TRACE(platform::wideToUtf8(typeName(type)) + (bigEndian ? " PS3" : " PC"));
                Game g = makeGame(type, bigEndian, type == kDataType357 ? 3 : 1);
                check(g);
            }
    }
};

// ---- Backup files and the import/restore cycle ----

TEST_F(BackupRestore, BackupWritesTableCopyAndRecordAndLeavesTheGameAlone) {
    forEveryGame([&](Game& g) {
        Snapshot game = snapshot(g.gameFiles());
        ASSERT_EQ(backup(g), 0);
        EXPECT_EQ(GetMessageQX(), kUnchanged);
        expectSame(game, snapshot(g.gameFiles()));
        EXPECT_EQ(readBytes(g.copyPath()), g.table());
        // The 358 and Z54 archive is recorded in the first size slot although fileCount is 0.
        EXPECT_EQ(readBytes(g.recordPath()), freshRecord(g.archiveSizes(), g.builder.entryCount()));
    });
}

TEST_F(BackupRestore, RestoreUndoesImportsByteForByteAndCanBeRepeated) {
    forEveryGame([&](Game& g) {
        Snapshot game = snapshot(g.gameFiles());
        ASSERT_EQ(backup(g), 0);
        Snapshot backupFiles = snapshot({g.copyPath(), g.recordPath()});
        for (int cycle = 0; cycle < 2; ++cycle) {
            importSome(g);
            ASSERT_NE(readBytes(g.archives[0]), game[g.archives[0]].bytes)
                << "the import did nothing";
            ASSERT_NE(readBytes(g.recordPath()), backupFiles[g.recordPath()].bytes);
            ASSERT_EQ(restore(g), 0);
            EXPECT_EQ(GetMessageQX(), kUnchanged);
            expectSame(game, snapshot(g.gameFiles()));
            expectSame(backupFiles, snapshot({g.copyPath(), g.recordPath()}));
        }
    });
}

TEST_F(BackupRestore, RestoreRightAfterBackupSucceedsAndChangesNothing) {
    forEveryGame([&](Game& g) {
        ASSERT_EQ(backup(g), 0);
        Snapshot all = snapshot(g.allFiles());
        EXPECT_EQ(restore(g), 0);
        EXPECT_EQ(restore(g), 0);
        EXPECT_EQ(GetMessageQX(), kUnchanged);
        expectSame(all, snapshot(g.allFiles()));
    });
}

TEST_F(BackupRestore, ArchiveFileThatDidNotGrowIsNotAnObstacle) {
    // Only file 2 of three grew: file 0 and 1 are at their saved sizes and stay as they are.
    Game g = makeGame(kDataType357, false, 3);
    Snapshot game = snapshot(g.gameFiles());
    ASSERT_EQ(backup(g), 0);
    import(g, g.builder.firstEntryOfFile(2), pattern(1000, 9));
    EXPECT_EQ(restore(g), 0);
    expectSame(game, snapshot(g.gameFiles()));
}

TEST_F(BackupRestore, RecordOfAThousandEntriesIsLittleEndianInEveryByteOrder) {
    Game g = makeGame(kDataType358, true);
    std::vector<IndexEntry> entries(1000, IndexEntry{0, 0, kIdxMarkerUnusedA, 0});
    ASSERT_TRUE(writeBytes(g.indexPath, indexFile32(entries, true)));
    Bytes archive = pattern(0x1234, 5);
    ASSERT_TRUE(writeBytes(g.archives[0], archive));
    ASSERT_EQ(backup(g), 0);
    Bytes record = readBytes(g.recordPath());
    ASSERT_EQ(record.size(), 4080u);
    EXPECT_EQ(record[0], 0x34);
    EXPECT_EQ(record[1], 0x12);
    EXPECT_EQ(record, freshRecord({0x1234}, 1000));
}

TEST_F(BackupRestore, Z54RestoreKeepsTheHeaderAndWritesTheTableBehindIt) {
    for (bool bigEndian : {false, true}) {
        Game g = makeGame(kDataTypeZ54, bigEndian);
        Bytes original = readBytes(g.archives[0]);
        ASSERT_EQ(backup(g), 0);
        importSome(g);
        // Bytes 0-3 and 12-15 of the header are not the index's; the restore keeps them.
        Bytes changed = readBytes(g.archives[0]);
        changed[0] = 0xAB;
        changed[15] = 0xCD;
        ASSERT_TRUE(writeBytes(g.archives[0], changed));
        ASSERT_EQ(restore(g), 0);
        Bytes expected = original;
        expected[0] = 0xAB;
        expected[15] = 0xCD;
        EXPECT_EQ(readBytes(g.archives[0]), expected);
    }
}

TEST_F(BackupRestore, SavedSizeZeroCutsNothing) {
    // A record written without the archive size (as older backups of 358 games were): the
    // table and the slots are restored, the archive keeps what was appended.
    for (int32_t type : {kDataType358, kDataTypeZ54}) {
        Game g = makeGame(type, false);
        Bytes originalTable = g.table();
        ASSERT_EQ(backup(g), 0);
        Bytes record = readBytes(g.recordPath());
        put(record, 0, 0, 8, false);
        ASSERT_TRUE(writeBytes(g.recordPath(), record));
        importSome(g);
        Bytes grown = readBytes(g.archives[0]);
        ASSERT_EQ(restore(g), 0);
        Bytes archive = readBytes(g.archives[0]);
        EXPECT_EQ(archive.size(), grown.size());
        Bytes table = type == kDataTypeZ54
                          ? Bytes(archive.begin() + 16, archive.begin() + 16 + originalTable.size())
                          : readBytes(g.indexPath);
        EXPECT_EQ(table, originalTable);
        EXPECT_EQ(readBytes(g.recordPath()), record);
    }
}

TEST_F(BackupRestore, SecondBackupReplacesTheFirst) {
    Game g = makeGame(kDataType357, true, 2);
    ASSERT_EQ(backup(g), 0);
    importSome(g);
    Snapshot imported = snapshot(g.gameFiles());
    std::vector<uint64_t> sizes;
    for (const std::wstring& path : g.archives)
        sizes.push_back(readBytes(path).size());
    ASSERT_EQ(backup(g), 0);
    EXPECT_EQ(readBytes(g.copyPath()), readBytes(g.indexPath));
    EXPECT_EQ(readBytes(g.recordPath()), freshRecord(sizes, g.builder.entryCount()));
    import(g, 2, pattern(600, 7));
    ASSERT_EQ(restore(g), 0);
    expectSame(imported, snapshot(g.gameFiles()));
}

// A second backup failing at each of its file operations in turn (or with each write going
// short). Reported as done, it is the new backup. Failed, the earlier backup still restores the
// game it was made of, unless the failure came while the files were put in place: then the
// earlier record is empty and the restore refuses it, or (the last flush failed) the new backup
// is in place. Never a new table with an old record. Every flush is struck in turn too: each
// one that fails is a failed write.
TEST_F(BackupRestore, FailedSecondBackupKeepsTheFirstOrDisablesIt) {
    platform::FaultSwitch& faults = *KarvFaultSwitchQX();
    for (int32_t type : {kDataType357, kDataTypeZ54, kDataType358}) {
        SCOPED_TRACE(platform::wideToUtf8(typeName(type)));
        Game g = makeGame(type, false, type == kDataType357 ? 2 : 1);
        Snapshot original = snapshot(g.gameFiles());
        ASSERT_EQ(backup(g), 0);
        importSome(g);
        const Snapshot imported = snapshot(g.allFiles());
        const Snapshot importedGame = snapshot(g.gameFiles());
        faults.arm(platform::FaultPlan{});
        ASSERT_EQ(backup(g), 0);
        faults.disarm();
        const Snapshot second = snapshot(g.allFiles());
        const uint64_t operations = faults.counted();

        for (auto effect : {platform::FaultEffect::Fail, platform::FaultEffect::Short}) {
            int flushesStruck = 0;
            for (uint64_t k = 1; k <= operations; ++k) {
                SCOPED_TRACE(std::to_string(k) +
                             (effect == platform::FaultEffect::Short ? " short" : ""));
                for (const auto& [path, state] : imported)
                    ASSERT_TRUE(writeBytes(path, state.bytes));
                platform::FaultPlan plan;
                plan.strikeAt = k;
                plan.effect = effect;
                faults.arm(plan);
                int32_t status = backup(g);
                faults.disarm();
                if (status == 0) {
                    expectSame(second, snapshot(g.allFiles()));
                    continue;
                }
                EXPECT_LT(status, 0);
                expectSame(importedGame, snapshot(g.gameFiles()));
                const Bytes recordNow = readBytes(g.recordPath());
                bool recordEmptied = recordNow.empty();
                platform::FaultOp struck = faults.firstStruckOperation();
                if (struck == platform::kFaultFlush) {
                    ++flushesStruck;
                    EXPECT_EQ(status, -5);
                    EXPECT_EQ(GetMessageQX(), L"写入数据失败！");
                }
                if (recordNow == second.at(g.recordPath()).bytes) {
                    // Only the flush after the last rename failed: the new backup is in place.
                    EXPECT_EQ(struck, platform::kFaultFlush);
                    expectSame(second, snapshot(g.allFiles()));
                } else if (!recordEmptied) {
                    // The earlier backup, whole: it restores the game it was made of.
                    EXPECT_TRUE(readBytes(g.copyPath()) == imported.at(g.copyPath()).bytes);
                    ASSERT_EQ(restore(g), 0);
                    expectSame(original, snapshot(g.gameFiles()));
                } else {
                    EXPECT_TRUE(struck == platform::kFaultRename ||
                                struck == platform::kFaultClose || struck == platform::kFaultFlush)
                        << platform::faultOperationName(struck);
                    EXPECT_NE(restore(g), 0);
                }
                EXPECT_EQ(FilePathExists(g.copyPath() + L".karvtmp"), 0);
                EXPECT_EQ(FilePathExists(g.recordPath() + L".karvtmp"), 0);
            }
            // The two new files and the emptied record before each goes on, the folders after
            // the two renames.
            EXPECT_EQ(flushesStruck, 5);
        }
    }
}

// ---- Restore refusals: nothing is written ----

TEST_F(BackupRestore, RestoreRefusesMissingOrDamagedBackupFiles) {
    forEveryGame([&](Game& g) {
        ASSERT_EQ(backup(g), 0);
        importSome(g);
        Bytes table = readBytes(g.copyPath());
        Bytes record = readBytes(g.recordPath());
        auto withFiles = [&](const std::optional<Bytes>& copy, const std::optional<Bytes>& rec) {
            platform::removeFile(g.copyPath());
            platform::removeFile(g.recordPath());
            if (copy) {
                ASSERT_TRUE(writeBytes(g.copyPath(), *copy));
            }
            if (rec) {
                ASSERT_TRUE(writeBytes(g.recordPath(), *rec));
            }
            expectRestoreRefused(g, -1, kLoadBackupFailed);
        };
        auto cut = [](const Bytes& b, size_t n) { return Bytes(b.begin(), b.end() - n); };
        withFiles(std::nullopt, record);
        withFiles(table, std::nullopt);
        withFiles(table, Bytes(record.begin(), record.begin() + 79)); // sizes cut short
        withFiles(table, cut(record, 4));                             // one slot missing
        withFiles(table, cut(record, 1));
        withFiles(table, Bytes());
        withFiles(Bytes(), record);
        withFiles(cut(table, 1), record); // not whole entries
        if (g.z54()) {
            // The saved archive cannot hold the header and the saved table.
            Bytes small = record;
            put(small, 0, 16 + table.size() - 1, 8, false);
            withFiles(table, small);
        }
        ASSERT_TRUE(writeBytes(g.copyPath(), table));
        ASSERT_TRUE(writeBytes(g.recordPath(), record));
        EXPECT_EQ(restore(g), 0);
    });
}

TEST_F(BackupRestore, RestoreRefusesMissingAndEmptyGameFiles) {
    forEveryGame([&](Game& g) {
        ASSERT_EQ(backup(g), 0);
        importSome(g);
        Snapshot game = snapshot(g.gameFiles());
        auto reset = [&] {
            for (const auto& [path, state] : game)
                ASSERT_TRUE(writeBytes(path, state.bytes));
        };
        const std::wstring& last = g.archives.back();
        const wchar_t* indexOpen = L"打开 Index 文件失败！";
        const wchar_t* indexSize = L"获取 Index 文件大小失败！";
        if (g.z54()) {
            platform::removeFile(last);
            expectRestoreRefused(g, -2, indexOpen);
            ASSERT_TRUE(writeBytes(last, {}));
            expectRestoreRefused(g, -3, indexSize);
        } else {
            platform::removeFile(g.indexPath);
            expectRestoreRefused(g, -2, indexOpen);
            ASSERT_TRUE(writeBytes(g.indexPath, {}));
            expectRestoreRefused(g, -3, indexSize);
            reset();
            platform::removeFile(last);
            expectRestoreRefused(g, -2, L"打开 Voxbank 文件失败！");
            ASSERT_TRUE(writeBytes(last, {}));
            expectRestoreRefused(g, -3, L"获取 Voxbank 文件大小失败！");
        }
    });
}

TEST_F(BackupRestore, RestoreRefusesFilesThatDoNotMatchTheBackup) {
    forEveryGame([&](Game& g) {
        ASSERT_EQ(backup(g), 0);
        importSome(g);
        Snapshot game = snapshot(g.gameFiles());
        auto reset = [&] {
            for (const auto& [path, state] : game)
                ASSERT_TRUE(writeBytes(path, state.bytes));
        };
        std::vector<uint64_t> saved = g.archiveSizes();
        const wchar_t* indexMismatch = L"Index 文件大小与备份数据不符！";
        if (g.z54()) {
            Bytes archive = readBytes(g.archives[0]);
            archive.resize(saved[0] - 1);
            ASSERT_TRUE(writeBytes(g.archives[0], archive));
            expectRestoreRefused(g, -4, indexMismatch);
            // Without a saved size the header and table must still fit.
            Bytes record = readBytes(g.recordPath());
            put(record, 0, 0, 8, false);
            ASSERT_TRUE(writeBytes(g.recordPath(), record));
            archive.resize(16 + g.table().size() - 1);
            ASSERT_TRUE(writeBytes(g.archives[0], archive));
            expectRestoreRefused(g, -4, indexMismatch);
            return;
        }
        Bytes index = readBytes(g.indexPath);
        for (size_t extra : {32, 1}) {
            Bytes longer = index;
            longer.resize(index.size() + extra, 0);
            ASSERT_TRUE(writeBytes(g.indexPath, longer));
            expectRestoreRefused(g, -4, indexMismatch);
        }
        ASSERT_TRUE(writeBytes(g.indexPath, Bytes(index.begin(), index.end() - 32)));
        expectRestoreRefused(g, -4, indexMismatch);
        reset();
        // The last archive file shrank below its saved size while others grew: nothing is
        // written, neither the index nor the cuts of the grown files.
        const std::wstring& last = g.archives.back();
        Bytes archive = readBytes(last);
        archive.resize(saved.back() - 256);
        ASSERT_TRUE(writeBytes(last, archive));
        expectRestoreRefused(g, -4, L"Voxbank 文件大小与备份数据不符！");
    });
}

TEST_F(BackupRestore, PartialLastIndexEntryIsNotSavedAndItsRestoreIsRefused) {
    Game g = makeGame(kDataType357, false, 1);
    Bytes index = readBytes(g.indexPath);
    index.resize(index.size() + 20, 0xEE);
    ASSERT_TRUE(writeBytes(g.indexPath, index));
    ASSERT_EQ(backup(g), 0);
    EXPECT_EQ(readBytes(g.copyPath()), Bytes(index.begin(), index.end() - 20));
    expectRestoreRefused(g, -4, L"Index 文件大小与备份数据不符！");
}

TEST_F(BackupRestore, FileCountBeyondTheRecordIsRefused) {
    Game g = makeGame(kDataType357, false, 2);
    for (int32_t count : {11, -1, INT32_MAX}) {
        g.link.fileCount = count;
        expectBackupRefused(g, -6, L"Voxbank 文件数量超出范围！");
    }
    g.link.fileCount = 2;
    ASSERT_EQ(backup(g), 0);
    importSome(g);
    for (int32_t count : {11, -1}) {
        g.link.fileCount = count;
        expectRestoreRefused(g, -6, L"Voxbank 文件数量超出范围！");
    }
}

// ---- A game changed by another program since the backup ----

const std::wstring kChangedSinceBackup =
    L"游戏文件在备份后已被其他程序修改（例如游戏更新），恢复备份会损坏游戏文件！";

// The archive file that holds `entry`, by the split addresses.
size_t fileOf(const Game& g, uint32_t entry) {
    size_t file = 0;
    for (size_t f = 1; g.dataType == kDataType357 && f < g.archives.size(); ++f)
        if (g.builder.firstEntryOfFile(f) <= entry)
            file = f;
    return file;
}

// What a game update does, unlike an import: it rewrites member `entry` where the game had it
// (new bytes over the old ones, the entry at its first offset with another stored size), in
// the region the backup protects, and appends data to the archive file that holds it.
void update(const Game& g, uint32_t entry) {
    const size_t file = fileOf(g, entry);
    const IndexEntry first = g.builder.entries().at(entry);
    const uint64_t offset = g.z54() ? first.offset * g.builder.offsetUnit() : first.offset;
    Bytes archive = readBytes(g.archives[file]);
    patch(archive, size_t(offset), Bytes(64, 0x5A));
    archive.insert(archive.end(), 4096, 0xC3);
    Bytes entryBytes(g.z54() ? 16 : 32, 0);
    put(entryBytes, 0, first.offset, 8, g.bigEndian);
    put(entryBytes, g.z54() ? 8 : 16, first.storedSize - 1, 4, g.bigEndian);
    put(entryBytes, g.z54() ? 12 : 24, first.marker, 4, g.bigEndian);
    if (g.z54()) {
        patch(archive, 16 + 16 * size_t(entry), entryBytes);
    } else {
        Bytes index = readBytes(g.indexPath);
        patch(index, 32 * size_t(entry), entryBytes);
        ASSERT_TRUE(writeBytes(g.indexPath, index));
    }
    ASSERT_TRUE(writeBytes(g.archives[file], archive));
}

// Backup, an update changes entry 1 (357: of archive file 2) and grows its file: the restore
// would cut the update's data away and put the old entry over the rewritten member. It refuses,
// and every file, game and backup alike, stays as the update left it.
TEST_F(BackupRestore, RestoreRefusesAGameAnotherProgramChanged) {
    forEveryGame([&](Game& g) {
        ASSERT_EQ(backup(g), 0);
        importSome(g); // the import's own changes are no obstacle
        update(g, g.builder.firstEntryOfFile(g.archives.size() - 1) + 1);
        expectRestoreRefused(g, -7, kChangedSinceBackup);
    });
}

TEST_F(BackupRestore, Z54HeaderWithAnotherEntryCountIsRefused) {
    for (bool bigEndian : {false, true}) {
        Game g = makeGame(kDataTypeZ54, bigEndian);
        ASSERT_EQ(backup(g), 0);
        importSome(g);
        const Bytes imported = readBytes(g.archives[0]);
        const uint64_t count = get(imported, 4, 4, bigEndian);
        for (uint64_t other : {count + 1, count - 1}) {
            Bytes archive = imported;
            put(archive, 4, other, 4, bigEndian);
            ASSERT_TRUE(writeBytes(g.archives[0], archive));
            expectRestoreRefused(g, -7, kChangedSinceBackup);
        }
        ASSERT_TRUE(writeBytes(g.archives[0], imported));
        EXPECT_EQ(restore(g), 0);
    }
}

// An entry pointing at or behind its file's saved size is what an import leaves, whoever wrote
// it; a changed entry in a file whose saved size is 0 cannot be told apart. The restore goes on.
TEST_F(BackupRestore, ChangesTheBackupCannotTellApartAreRestored) {
    forEveryGame([&](Game& g) {
        Snapshot game = snapshot(g.gameFiles());
        ASSERT_EQ(backup(g), 0);
        const size_t last = g.archives.size() - 1;
        const uint32_t entry = g.builder.firstEntryOfFile(last) + 1;
        Bytes index = g.z54() ? readBytes(g.archives[0]) : readBytes(g.indexPath);
        const size_t entryAt = g.z54() ? 16 + 16 * size_t(entry) : 32 * size_t(entry);
        const uint64_t unit = g.z54() ? g.builder.offsetUnit() : 1;
        put(index, entryAt, g.archiveSizes()[last] / unit, 8, g.bigEndian);
        ASSERT_TRUE(writeBytes(g.z54() ? g.archives[0] : g.indexPath, index));
        ASSERT_EQ(restore(g), 0);
        expectSame(game, snapshot(g.gameFiles()));

        Bytes record = readBytes(g.recordPath());
        put(record, 8 * last, 0, 8, false);
        ASSERT_TRUE(writeBytes(g.recordPath(), record));
        update(g, entry);
        Bytes updated = readBytes(g.archives[last]);
        ASSERT_EQ(restore(g), 0);
        // The saved table is back; the file without a saved size is not cut.
        Bytes restored = readBytes(g.z54() ? g.archives[0] : g.indexPath);
        EXPECT_EQ(g.z54() ? sliceAt(restored, 16, g.table().size()) : restored, g.table());
        EXPECT_EQ(readBytes(g.archives[last]).size(), updated.size());
    });
}

// The existing refusal of a file that shrank stands when an entry changed too.
TEST_F(BackupRestore, ShrunkArchiveFileKeepsItsOwnRefusal) {
    forEveryGame([&](Game& g) {
        ASSERT_EQ(backup(g), 0);
        const size_t last = g.archives.size() - 1;
        update(g, g.builder.firstEntryOfFile(last) + 1);
        Bytes archive = readBytes(g.archives[last]);
        archive.resize(g.archiveSizes()[last] - 1);
        ASSERT_TRUE(writeBytes(g.archives[last], archive));
        expectRestoreRefused(g, -4,
                             g.z54() ? L"Index 文件大小与备份数据不符！"
                                     : L"Voxbank 文件大小与备份数据不符！");
    });
}

// An index that no longer loads is refused before the first write (Z54: a header unit of 0).
TEST_F(BackupRestore, RestoreRefusesAnIndexThatCannotBeRead) {
    for (bool bigEndian : {false, true}) {
        Game g = makeGame(kDataTypeZ54, bigEndian);
        ASSERT_EQ(backup(g), 0);
        Bytes archive = readBytes(g.archives[0]);
        put(archive, 8, 0, 4, bigEndian);
        ASSERT_TRUE(writeBytes(g.archives[0], archive));
        expectRestoreRefused(g, -1, L"读取 Index 文件出错！");
    }
}

// ---- Backup refusals ----

TEST_F(BackupRestore, BackupOfAnIndexWithoutEntriesFailsWithItsOwnMessage) {
    for (bool bigEndian : {false, true}) {
        for (int32_t type : {kDataType357, kDataType358}) {
            Game g = makeGame(type, bigEndian);
            for (size_t length : {0, 31}) {
                ASSERT_TRUE(writeBytes(g.indexPath, pattern(length, 3)));
                expectBackupRefused(g, -1, L"Index 文件中没有任何条目！");
            }
        }
        Game z = makeGame(kDataTypeZ54, bigEndian);
        ASSERT_TRUE(writeBytes(z.archives[0], indexZ54({}, 2048, bigEndian)));
        expectBackupRefused(z, -1, L"Index 文件中没有任何条目！");
        // A count the file cannot hold: not one entry behind the header.
        ASSERT_TRUE(writeBytes(z.archives[0], indexZ54({}, 2048, bigEndian, 3)));
        expectBackupRefused(z, -1, L"读取 Index 文件出错！");
    }
}

TEST_F(BackupRestore, BackupChecksEveryArchiveFileBeforeWritingAnything) {
    Game g = makeGame(kDataType357, false, 3);
    ASSERT_EQ(backup(g), 0);
    importSome(g);
    // An earlier backup stays as it was when a check fails.
    ASSERT_TRUE(writeBytes(g.archives[2], {}));
    expectBackupRefused(g, -3, L"获取 Voxbank 大小失败！");
    platform::removeFile(g.archives[2]);
    expectBackupRefused(g, -2, L"打开 Voxbank 文件失败！");
    platform::removeFile(g.indexPath);
    expectBackupRefused(g, -1, L"加载 Index 文件失败！");

    Game single = makeGame(kDataType358, true);
    platform::removeFile(single.archives[0]);
    expectBackupRefused(single, -2, L"打开 Voxbank 文件失败！");
    single.link.fileNames[0].clear(); // nowhere to put the record
    expectBackupRefused(single, -2, L"打开 Voxbank 文件失败！");
    Game z = makeGame(kDataTypeZ54, false);
    platform::removeFile(z.archives[0]);
    expectBackupRefused(z, -1, L"打开 Index 文件失败！");
}

TEST_F(BackupRestore, BackupFileThatCannotBeWrittenIsAFailureAndWritesNothing) {
    forEveryGame([&](Game& g) {
        for (bool blockTable : {true, false}) {
            const std::wstring& blocked = blockTable ? g.copyPath() : g.recordPath();
            ASSERT_TRUE(platform::createDirectory(blocked));
            expectBackupRefused(g, -5, L"创建文件失败！");
            EXPECT_FALSE(FilePathExists(blockTable ? g.recordPath() : g.copyPath()));
            ASSERT_TRUE(removeFolder(blocked));
        }
        // With an earlier backup: a table that cannot be replaced leaves the record intact.
        ASSERT_EQ(backup(g), 0);
        importSome(g);
        platform::removeFile(g.copyPath());
        ASSERT_TRUE(platform::createDirectory(g.copyPath()));
        expectBackupRefused(g, -5, L"创建文件失败！");
    });
}

// ---- The record's accessors (the import reads and updates slots through them) ----

TEST(BackupRecord, AccessorsStayInsideTheRecord) {
    Bytes rec = freshRecord({0x0102030405060708ull, 7}, 2);
    auto length = uint32_t(rec.size());
    EXPECT_EQ(record::archiveSize(rec.data(), length, 0), 0x0102030405060708ull);
    EXPECT_EQ(record::archiveSize(rec.data(), length, 1), 7u);
    EXPECT_EQ(record::archiveSize(rec.data(), length, 10), 0u);
    EXPECT_EQ(record::archiveSize(rec.data(), 79, 0), 0u);
    EXPECT_FALSE(record::setArchiveSize(rec.data(), length, 10, 1));

    EXPECT_TRUE(record::setSlot(rec.data(), length, 1, 0xA1B2C3D4));
    EXPECT_EQ(Bytes(rec.begin() + 84, rec.end()), (Bytes{0xD4, 0xC3, 0xB2, 0xA1}));
    uint32_t value = 0;
    EXPECT_TRUE(record::slot(rec.data(), length, 1, value));
    EXPECT_EQ(value, 0xA1B2C3D4u);
    for (uint32_t entry : {2u, UINT32_MAX}) {
        EXPECT_FALSE(record::slot(rec.data(), length, entry, value));
        EXPECT_FALSE(record::setSlot(rec.data(), length, entry, 1));
    }
    EXPECT_FALSE(record::slot(rec.data(), length - 1, 1, value));
    EXPECT_FALSE(record::slot(rec.data(), 70, 0, value));

    uint32_t out = 0;
    EXPECT_TRUE(record::lengthFor(1000, out));
    EXPECT_EQ(out, 4080u);
    EXPECT_TRUE(record::lengthFor((UINT32_MAX - 80) / 4, out));
    EXPECT_FALSE(record::lengthFor((UINT32_MAX - 80) / 4 + 1, out));
    EXPECT_TRUE(record::holds(88, 2));
    EXPECT_FALSE(record::holds(87, 2));
    EXPECT_FALSE(record::holds(79, 0));
}

} // namespace
} // namespace karv::test
