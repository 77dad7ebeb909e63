// The archive import for every data type and byte order: first imports appended behind the end,
// re-imports written over the region the entry owns or appended again, the compression level
// that follows the slot, index entries and record slots byte for byte, member file names, the
// 358 chunk size of the old member, dry runs that leave every file as it was, multi-file 357
// games, and every refusal and failed write ending the run without a success line.
#include "archive_export.h"
#include "archive_import.h"
#include "archive_test_game.h"
#include "container_builders.h"
#include "platform/file.h"
#include "platform/text.h"
#include "texts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace karv::test {
namespace {

using cli::ImportMembers;

const std::wstring kSkipped = L"跳过未使用的文件！\n";

uint64_t alignedUp(uint64_t value, uint64_t unit) {
    return (value + unit - 1) / unit * unit;
}

Bytes withZerosTo(Bytes bytes, uint64_t length) {
    bytes.resize(length, 0);
    return bytes;
}

// The second byte of a zlib stream names the level: 0 in its top bits for level 1, 3 for 9.
int streamLevel(uint8_t flags) {
    return flags >> 6 == 0 ? 1 : flags >> 6 == 3 ? 9 : -1;
}

class ImportGame : public TestGame {
  public:
    using TestGame::TestGame;

    uint32_t alignment() const { return z54() ? 2048 : 256; }
    // The compressed marker of a 357/358 entry as ArchiveBuilder writes it.
    uint32_t compressedMarker(uint32_t length) const {
        return z54() ? length : (bigEndian() ? 0x01000000u : 1u);
    }

    std::wstring run(bool dryRun = false) const {
        select(dryRun);
        OutputCapture output;
        ImportMembers(cli::archiveSelection, archivePath(0));
        return output.take();
    }
    std::wstring appended(const std::wstring& name, bool compressed) const {
        return L"向 " + archivePath(0) +
               (compressed ? L" 中添加压缩文件 " : L" 中添加未压缩文件 ") + name + L" 成功！\n";
    }
    std::wstring inPlace(const std::wstring& name, bool compressed) const {
        return L"向 " + archivePath(0) +
               (compressed ? L" 中导入压缩文件 " : L" 中导入未压缩文件 ") + name + L" 成功！\n";
    }

    // The entry the import writes, byte for byte.
    Bytes expectedEntry(uint64_t offset, uint32_t fileLength, uint32_t stored, bool compressed,
                        uint32_t oldMarker = 0) const {
        Bytes b(entrySize(), 0);
        if (z54()) {
            putNumber(b, 0, offset / builder.offsetUnit(), 8, bigEndian());
            putNumber(b, 8, stored, 4, bigEndian());
            uint32_t marker =
                compressed ? fileLength : (oldMarker == kIdxMarkerRawTagged ? oldMarker : 0);
            putNumber(b, 12, marker, 4, bigEndian());
        } else {
            putNumber(b, 0, offset, 8, bigEndian());
            putNumber(b, 8, fileLength, 4, bigEndian());
            putNumber(b, 16, stored, 4, bigEndian());
            b[24] = compressed || stored != fileLength ? 1 : 0;
        }
        return b;
    }

    // The archive file as built, with the index area of a Z54 archive left out: the bytes an
    // import must never touch.
    Bytes protectedBytes(const Bytes& archive) const {
        if (!z54())
            return archive;
        Bytes out = archive;
        std::fill(out.begin(), out.begin() + 16 + 16 * size_t(builder.entryCount()), 0);
        return out;
    }

    // What an export of entry `entry` gives now.
    Bytes exportNow(uint32_t entry) const {
        select();
        OutputCapture quiet;
        cli::ExportMembers(cli::archiveSelection, entry, entry, archivePath(0), false);
        return readBytes(memberFile(entry));
    }
};

class ImportEveryKind : public ::testing::TestWithParam<GameKind> {
  protected:
    ImportEveryKind() : game(GetParam().dataType, GetParam().bigEndian) {}
    ImportGame game;
};

// Entries: 0 raw, 1 compressed, 2 raw tagged, 3 unused.
void buildMixedGame(ImportGame& game) {
    game.builder.addRaw(mixedData(3000, 1));
    game.builder.addCompressed(mixedData(70000, 2));
    game.builder.addRaw(mixedData(700, 3), kIdxMarkerRawTagged);
    game.builder.addUnused();
    game.write();
    ASSERT_EQ(game.backup(), 0);
}

TEST_P(ImportEveryKind, FirstImportAppendsBehindTheEndAndRecordsTheRegion) {
    buildMixedGame(game);
    const Bytes original = readBytes(game.archivePath(0));
    const Bytes raw = mixedData(2500, 11); // smaller than the old member: still appended
    const Bytes packed = mixedData(50000, 12);
    const Bytes tagged = mixedData(300, 13);
    game.putImportFile(L"000000.data", raw);
    game.putImportFile(L"000001.data", packed);
    game.putImportFile(L"000002.data", tagged);

    EXPECT_EQ(game.run(), game.appended(L"000000.data", false) +
                              game.appended(L"000001.data", true) +
                              game.appended(L"000002.data", false));

    const uint32_t a = game.alignment();
    const Bytes container = compressMember(game.dataType(), packed, game.bigEndian(), 1);
    const uint64_t rawAt = original.size();
    const uint64_t packedAt = rawAt + alignedUp(raw.size(), a);
    const uint64_t taggedAt = packedAt + alignedUp(container.size(), a);
    const Bytes archive = readBytes(game.archivePath(0));
    ASSERT_EQ(archive.size(), taggedAt + alignedUp(tagged.size(), a));
    // Nothing that was there at backup time has moved.
    EXPECT_EQ(game.protectedBytes(sliceOf(archive, 0, original.size())),
              game.protectedBytes(original));
    EXPECT_EQ(sliceOf(archive, rawAt, packedAt - rawAt), withZerosTo(raw, packedAt - rawAt));
    EXPECT_EQ(sliceOf(archive, packedAt, taggedAt - packedAt),
              withZerosTo(container, taggedAt - packedAt));
    EXPECT_EQ(sliceOf(archive, taggedAt, archive.size() - taggedAt),
              withZerosTo(tagged, archive.size() - taggedAt));

    EXPECT_EQ(game.entryBytes(0), game.expectedEntry(rawAt, 2500, 2500, false));
    EXPECT_EQ(game.entryBytes(1),
              game.expectedEntry(packedAt, 50000, uint32_t(container.size()), true));
    EXPECT_EQ(game.entryBytes(2),
              game.expectedEntry(taggedAt, 300, 300, false, kIdxMarkerRawTagged));
    EXPECT_EQ(game.slot(0), alignedUp(2500, a));
    EXPECT_EQ(game.slot(1), alignedUp(container.size(), a));
    EXPECT_EQ(game.slot(2), alignedUp(300, a));
    EXPECT_EQ(game.slot(3), 0u);

    EXPECT_EQ(game.exportNow(0), raw);
    EXPECT_EQ(game.exportNow(1), packed);
    EXPECT_EQ(game.exportNow(2), tagged);
}

TEST_P(ImportEveryKind, ReimportThatFitsGoesInPlaceAtLevelNine) {
    buildMixedGame(game);
    const Bytes raw = mixedData(2500, 11);
    const Bytes packed = mixedData(50000, 12);
    game.putImportFile(L"000000.data", raw);
    game.putImportFile(L"000001.data", packed);
    game.run();
    const Bytes afterFirst = readBytes(game.archivePath(0));
    const uint64_t rawAt = game.entryOffset(0), packedAt = game.entryOffset(1);
    const uint32_t rawSlot = game.slot(0), packedSlot = game.slot(1);

    const Bytes raw2 = mixedData(2400, 21);
    const Bytes packed2 = mixedData(50000, 22);
    game.clearImportFolder();
    game.putImportFile(L"000000.data", raw2);
    game.putImportFile(L"000001.data", packed2);
    EXPECT_EQ(game.run(), game.inPlace(L"000000.data", false) + game.inPlace(L"000001.data", true));

    const Bytes archive = readBytes(game.archivePath(0));
    ASSERT_EQ(archive.size(), afterFirst.size()) << "an in-place import does not grow the file";
    const Bytes container = compressMember(game.dataType(), packed2, game.bigEndian(), 9);
    ASSERT_LE(alignedUp(container.size(), game.alignment()), packedSlot);
    // The file's bytes over the region; the rest of the region keeps what was there.
    EXPECT_EQ(sliceOf(archive, rawAt, raw2.size()), raw2);
    EXPECT_EQ(sliceOf(archive, rawAt + raw2.size(), rawSlot - raw2.size()),
              sliceOf(afterFirst, rawAt + raw2.size(), rawSlot - raw2.size()));
    EXPECT_EQ(sliceOf(archive, packedAt, container.size()), container);
    EXPECT_EQ(streamLevel(archive[packedAt + (game.z54()                        ? 9
                                              : game.dataType() == kDataType357 ? 133
                                                                                : 2053)]),
              9);
    EXPECT_EQ(game.entryBytes(0), game.expectedEntry(rawAt, 2400, 2400, false));
    EXPECT_EQ(game.entryBytes(1),
              game.expectedEntry(packedAt, 50000, uint32_t(container.size()), true));
    EXPECT_EQ(game.slot(0), rawSlot);
    EXPECT_EQ(game.slot(1), packedSlot);
    EXPECT_EQ(game.exportNow(0), raw2);
    EXPECT_EQ(game.exportNow(1), packed2);
}

TEST_P(ImportEveryKind, ReimportThatDoesNotFitIsAppendedAgain) {
    buildMixedGame(game);
    game.putImportFile(L"000000.data", mixedData(2500, 11));
    game.run();
    const Bytes afterFirst = readBytes(game.archivePath(0));
    const uint64_t firstAt = game.entryOffset(0);

    const Bytes larger = mixedData(6000, 31);
    game.putImportFile(L"000000.data", larger);
    EXPECT_EQ(game.run(), game.appended(L"000000.data", false));
    const Bytes archive = readBytes(game.archivePath(0));
    const uint64_t at = afterFirst.size();
    EXPECT_EQ(archive.size(), at + alignedUp(6000, game.alignment()));
    // The earlier region is abandoned as it was.
    EXPECT_EQ(game.protectedBytes(sliceOf(archive, 0, at)), game.protectedBytes(afterFirst));
    EXPECT_EQ(sliceOf(archive, firstAt, 2500), mixedData(2500, 11));
    EXPECT_EQ(game.entryBytes(0), game.expectedEntry(at, 6000, 6000, false));
    EXPECT_EQ(game.slot(0), alignedUp(6000, game.alignment()));
    EXPECT_EQ(game.exportNow(0), larger);
}

TEST_P(ImportEveryKind, FirstImportCompressesAtLevelOne) {
    buildMixedGame(game);
    game.putImportFile(L"1.data", mixedData(40000, 5));
    game.run();
    const Bytes archive = readBytes(game.archivePath(0));
    const uint64_t at = game.entryOffset(1);
    const uint64_t firstStream = game.z54() ? 8 : game.dataType() == kDataType357 ? 132 : 2052;
    EXPECT_EQ(archive.at(at + firstStream), 0x78);
    EXPECT_EQ(streamLevel(archive.at(at + firstStream + 1)), 1);
}

TEST_P(ImportEveryKind, NamesAreEntryNumbersAndOddFilesAreSkipped) {
    game.builder.addRaw(mixedData(800, 1));
    game.builder.addRaw(mixedData(800, 2));
    game.builder.addCompressed(mixedData(9000, 3));
    game.builder.addRaw(mixedData(800, 4));
    game.builder.addUnused(kIdxMarkerUnusedB, 300);
    game.write();
    ASSERT_EQ(game.backup(), 0);
    const Bytes original = readBytes(game.archivePath(0));
    const Bytes first = mixedData(9000, 41), second = mixedData(9000, 42);
    game.putImportFile(L".7.data", mixedData(10, 1));
    game.putImportFile(L"000002.data", first);
    game.putImportFile(L"000003.data", {});
    game.putImportFile(L"000004.data", mixedData(10, 1));
    game.putImportFile(L"2.data", second);
    game.putImportFile(L"2_1.data", mixedData(10, 1));
    game.putImportFile(L"2a.data", mixedData(10, 1));
    platform::createDirectory(game.importFolder() + kSep + L"1.data");
    game.putImportFile(L"0.data", {0x55});
    game.putImportFile(L"00.data", {1, 2, 3, 4});
    game.putImportFile(L"99.data", mixedData(10, 1));
    game.putImportFile(L"readme.data", mixedData(10, 1));
    game.putImportFile(L"-0.data", mixedData(10, 1));
    game.putImportFile(L"3.txt", mixedData(10, 1));

    // 000002.data sorts before 2.data: both address entry 2; the second goes over the region
    // the first one appended, never over the member the backup protects.
    EXPECT_EQ(game.run(), L"0.data 文件的大小无法记录到 Index 文件中，已跳过！\n"
                          L"00.data 文件的大小无法记录到 Index 文件中，已跳过！\n" +
                              game.appended(L"000002.data", true) +
                              L"000003.data 文件为空，已跳过！\n" + kSkipped +
                              game.inPlace(L"2.data", true) +
                              L"99.data 文件的编号超出了 Index 文件的范围，已跳过！\n");
    const Bytes archive = readBytes(game.archivePath(0));
    EXPECT_EQ(game.protectedBytes(sliceOf(archive, 0, original.size())),
              game.protectedBytes(original));
    EXPECT_EQ(game.entryOffset(2), original.size());
    EXPECT_EQ(game.exportNow(2), second);
    for (uint32_t entry : {0u, 1u, 3u})
        EXPECT_EQ(game.exportNow(entry), mixedData(800, entry + 1));
}

TEST_P(ImportEveryKind, DryRunPrintsWhatTheRunWouldDoAndWritesNothing) {
    buildMixedGame(game);
    // A first run, so the dry run meets both kinds of placement.
    game.putImportFile(L"000000.data", mixedData(2500, 11));
    game.run();
    game.clearImportFolder();
    game.putImportFile(L"000000.data", mixedData(2000, 12));  // in place
    game.putImportFile(L"000001.data", mixedData(30000, 13)); // appended
    game.putImportFile(L"1.data", mixedData(30000, 14));      // in place over the line before
    game.putImportFile(L"000002.data", mixedData(9000, 15));
    game.putImportFile(L"000003.data", mixedData(100, 16)); // unused
    const auto before = game.snapshot();

    const std::wstring dryLines = game.run(true);
    EXPECT_EQ(game.snapshot(), before);
    const std::wstring lines = game.run();
    EXPECT_EQ(dryLines, lines);
    EXPECT_EQ(lines, game.inPlace(L"000000.data", false) + game.appended(L"000001.data", true) +
                         game.appended(L"000002.data", false) + kSkipped +
                         game.inPlace(L"1.data", true));
    EXPECT_NE(game.snapshot(), before);
}

TEST_P(ImportEveryKind, RestoreAfterImportsGivesBackTheGame) {
    buildMixedGame(game);
    const auto atBackup = game.snapshot();
    game.putImportFile(L"000000.data", mixedData(2500, 11));
    game.putImportFile(L"000001.data", mixedData(80000, 12));
    game.run();
    game.putImportFile(L"000000.data", mixedData(9999, 13));
    game.run();
    ASSERT_EQ(game.restore(), 0);
    EXPECT_EQ(game.snapshot(), atBackup);
}

TEST_P(ImportEveryKind, SlotBeforeTheBackupEndNeverWritesOverTheOriginal) {
    buildMixedGame(game);
    const Bytes original = readBytes(game.archivePath(0));
    // A record whose slot claims a region while the entry still names the original member.
    Bytes record = game.record();
    putNumber(record, 80, 1 << 20, 4, false);
    ASSERT_TRUE(writeBytes(game.recordPath(), record));
    game.putImportFile(L"000000.data", mixedData(1000, 51));
    EXPECT_EQ(game.run(), game.appended(L"000000.data", false));
    const Bytes archive = readBytes(game.archivePath(0));
    EXPECT_EQ(game.protectedBytes(sliceOf(archive, 0, original.size())),
              game.protectedBytes(original));
    EXPECT_EQ(game.entryOffset(0), original.size());
    EXPECT_EQ(game.slot(0), alignedUp(1000, game.alignment()));
}

TEST_P(ImportEveryKind, EntriesBeyondTheRecordAreSkipped) {
    buildMixedGame(game);
    Bytes record = game.record();
    record.resize(80 + 4 * 2); // slots for entries 0 and 1 only
    ASSERT_TRUE(writeBytes(game.recordPath(), record));
    const auto before = game.snapshot();
    game.putImportFile(L"000002.data", mixedData(100, 1));
    EXPECT_EQ(game.run(), L"000002.data 文件的编号超出了 Index 文件的范围，已跳过！\n");
    EXPECT_EQ(game.snapshot(), before);
}

TEST_P(ImportEveryKind, SetupFailuresChangeNothing) {
    buildMixedGame(game);
    game.putImportFile(L"000000.data", mixedData(100, 1));
    const auto before = game.snapshot();
    struct Case {
        const char* what;
        std::function<void(linkinfo&, cli::ArchiveSelection&)> change;
        std::wstring expected;
    };
    game.select();
    const std::wstring archive = game.archivePath(0);
    const Case cases[] = {
        {"import folder missing",
         [&](linkinfo&, cli::ArchiveSelection& s) { s.importDir = game.location() + L"nowhere"; },
         L"导入目录不存在！\n"},
        {"record missing",
         [&](linkinfo& l, cli::ArchiveSelection&) { l.fileNames[0] = archive + L".other"; },
         L"加载记录文件失败！\n"},
        {"data type not set", [&](linkinfo&, cli::ArchiveSelection& s) { s.dataType = 0; },
         L"错误的游戏数据类型，无法导入！\n"},
        {"too many archive files", [&](linkinfo& l, cli::ArchiveSelection&) { l.fileCount = 11; },
         text::kTooManyArchiveFiles},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        game.select();
        c.change(cli::archiveSelection.linkinfo, cli::archiveSelection);
        OutputCapture output;
        ImportMembers(cli::archiveSelection, archive);
        EXPECT_EQ(output.take(), c.expected);
        EXPECT_EQ(game.snapshot(), before);
    }
    {
        SCOPED_TRACE("archive missing");
        game.select();
        OutputCapture output;
        ImportMembers(cli::archiveSelection, archive + L".gone");
        EXPECT_EQ(output.take(), L"文件“" + archive + L".gone”不存在！\n");
    }
    game.clearImportFolder();
    game.putImportFile(L"notes.txt", mixedData(100, 1));
    EXPECT_EQ(game.run(), L"未找到可以导入的文件！\n");
    EXPECT_EQ(game.snapshot(), before);
}

// ---- A game changed by another program since the backup ----

const std::wstring kChangedSinceBackup =
    L"游戏文件在备份后已被其他程序修改（例如游戏更新），请先重新备份再导入！\n";

// Another program's change of an entry: the stored size of entry 0 (a raw member below the
// saved size) one less, as a game update rewriting the member in place leaves it.
void changeEntryZero(const ImportGame& game) {
    Bytes entry = game.entryBytes(0);
    const size_t sizeAt = game.z54() ? 8 : 16;
    putNumber(entry, sizeAt, readNumber(entry, sizeAt, 4, game.bigEndian()) - 1, 4,
              game.bigEndian());
    const std::wstring holder = game.z54() ? game.archivePath(0) : game.indexPath();
    Bytes index = readBytes(holder);
    std::copy(entry.begin(), entry.end(), index.begin() + (game.z54() ? 16 : 0));
    ASSERT_TRUE(writeBytes(holder, index));
}

// The refusal comes before anything is written, in a dry run too; the index copy is never
// written by an import.
void expectImportRefused(const ImportGame& game) {
    const auto before = game.snapshot();
    const std::wstring copyPath =
        (game.z54() ? game.archivePath(0) : game.indexPath()) + L".idxbak";
    const Bytes copy = readBytes(copyPath);
    for (bool dryRun : {false, true}) {
        SCOPED_TRACE(dryRun ? "dry run" : "run");
        EXPECT_EQ(game.run(dryRun), kChangedSinceBackup);
        EXPECT_EQ(game.snapshot(), before);
        EXPECT_EQ(readBytes(copyPath), copy);
    }
}

TEST_P(ImportEveryKind, GameChangedByAnotherProgramIsRefused) {
    buildMixedGame(game);
    game.putImportFile(L"000001.data", mixedData(4000, 21));
    changeEntryZero(game);
    expectImportRefused(game);
}

TEST_P(ImportEveryKind, ArchiveFileShorterThanItsSavedSizeIsRefused) {
    buildMixedGame(game);
    game.putImportFile(L"000001.data", mixedData(4000, 21));
    Bytes archive = readBytes(game.archivePath(0));
    archive.pop_back();
    ASSERT_TRUE(writeBytes(game.archivePath(0), archive));
    expectImportRefused(game);
}

TEST(ImportZ54Header, AnotherEntryCountIsRefused) {
    for (bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "PS3" : "PC");
        ImportGame game(kDataTypeZ54, bigEndian);
        buildMixedGame(game);
        game.putImportFile(L"000001.data", mixedData(4000, 21));
        Bytes archive = readBytes(game.archivePath(0));
        putNumber(archive, 4, game.builder.entryCount() + 1, 4, bigEndian);
        ASSERT_TRUE(writeBytes(game.archivePath(0), archive));
        expectImportRefused(game);
    }
}

// Entries the import itself moved point at or behind the saved size: a second run and the
// restore go on. A file whose saved size is 0 cannot be checked: the import goes on as well.
TEST_P(ImportEveryKind, ImportsAndUnrecordedSizesAreNoObstacle) {
    buildMixedGame(game);
    const auto atBackup = game.snapshot();
    game.putImportFile(L"000001.data", mixedData(4000, 21));
    ASSERT_EQ(game.run(), game.appended(L"000001.data", true));
    game.clearImportFolder();
    game.putImportFile(L"000000.data", mixedData(5000, 22));
    ASSERT_EQ(game.run(), game.appended(L"000000.data", false));
    ASSERT_EQ(game.restore(), 0);
    EXPECT_EQ(game.snapshot(), atBackup);

    Bytes record = game.record();
    putNumber(record, 0, 0, 8, false);
    ASSERT_TRUE(writeBytes(game.recordPath(), record));
    changeEntryZero(game);
    EXPECT_EQ(game.run(), game.appended(L"000000.data", false));
}

INSTANTIATE_TEST_SUITE_P(Games, ImportEveryKind, ::testing::ValuesIn(allGameKinds()), kindName);

// ---- Index entries of each layout ----

TEST(ImportIndexEntries, Type357MarksCompressedMembersEvenWhenStoredAsLongAsTheFile) {
    ImportGame game(kDataType357, false);
    game.builder.addCompressed(mixedData(5000, 1));
    game.write();
    ASSERT_EQ(game.backup(), 0);
    // 1024 bytes, partly random: some share of random bytes gives a container of exactly 1024.
    Bytes content;
    for (uint32_t random = 600; random < 1024 && content.empty(); ++random) {
        Bytes candidate(1024, 0);
        uint32_t state = 7;
        for (uint32_t i = 0; i < random; ++i)
            candidate[i] = uint8_t((state = state * 1103515245u + 12345u) >> 24);
        if (compressMember(kDataType357, candidate, false, 1).size() == candidate.size())
            content = candidate;
    }
    ASSERT_FALSE(content.empty());
    game.putImportFile(L"0.data", content);
    EXPECT_EQ(game.run(), game.appended(L"0.data", true));
    Bytes entry = game.entryBytes(0);
    EXPECT_EQ(readNumber(entry, 8, 4, false), 1024u);
    EXPECT_EQ(readNumber(entry, 16, 4, false), 1024u);
    EXPECT_EQ(entry[24], 1);
    EXPECT_EQ(game.exportNow(0), content);
}

// A raw file of 1 or 4 bytes would be stored with a size that reads back as unused.
TEST(ImportIndexEntries, RawFileWhoseSizeReadsAsUnusedIsRefused) {
    ImportGame game(kDataTypeZ54, true);
    game.builder.addRaw(mixedData(100, 1));
    game.write();
    ASSERT_EQ(game.backup(), 0);
    const auto before = game.snapshot();
    game.putImportFile(L"0.data", {1, 2, 3, 4});
    EXPECT_EQ(game.run(), L"0.data 文件的大小无法记录到 Index 文件中，已跳过！\n");
    EXPECT_EQ(game.snapshot(), before);
}

// ---- 358 chunk size ----

class Import358ChunkSize : public ::testing::TestWithParam<bool> {
  protected:
    Import358ChunkSize() : game(kDataType358, GetParam()) {}

    // The chunk-size field of the container entry 0 now points at.
    uint32_t newChunkSize() const {
        Bytes archive = readBytes(game.archivePath(0));
        return uint32_t(readNumber(archive, game.entryOffset(0) + 8, 4, GetParam()));
    }
    ImportGame game;
};

TEST_P(Import358ChunkSize, TakesTheChunkSizeOfTheOldMember) {
    const Bytes old = compressMember(kDataType358, mixedData(200000, 1), GetParam(), 9, 65536);
    game.builder.addStored(old, game.compressedMarker(200000), 200000);
    game.write();
    ASSERT_EQ(game.backup(), 0);
    const Bytes content = mixedData(150000, 2);
    game.putImportFile(L"0.data", content);
    EXPECT_EQ(game.run(), game.appended(L"0.data", true));
    EXPECT_EQ(newChunkSize(), 65536u);
    EXPECT_EQ(game.exportNow(0), content);
    const Bytes archive = readBytes(game.archivePath(0));
    EXPECT_EQ(sliceOf(archive, game.entryOffset(0), game.entryStoredSize(0)),
              compressMember(kDataType358, content, GetParam(), 1, 65536));
}

TEST_P(Import358ChunkSize, UnreadableHeaderUsesTheDefaultBySize) {
    struct Case {
        uint32_t fileLength;
        uint32_t expected;
    };
    for (Case c : {Case{262144, 262144}, Case{262145, 524288}}) {
        ImportGame g(kDataType358, GetParam());
        // The old member lies beyond the end of the archive file.
        g.builder.addRaw(mixedData(100, 1));
        g.builder.addEntry({uint64_t(1) << 40, 100, g.compressedMarker(100), 100});
        g.write();
        ASSERT_EQ(g.backup(), 0);
        const Bytes content = mixedData(c.fileLength, 3);
        g.putImportFile(L"1.data", content);
        EXPECT_EQ(g.run(), L"读取压缩参数失败！将使用默认参数\n" + g.appended(L"1.data", true));
        Bytes archive = readBytes(g.archivePath(0));
        EXPECT_EQ(readNumber(archive, g.entryOffset(1) + 8, 4, GetParam()), c.expected);
        EXPECT_EQ(g.exportNow(1), content);
    }
}

TEST_P(Import358ChunkSize, ChunkSizeOfZeroOrAbove16MiBIsUnreadable) {
    for (uint32_t stored : {0u, (16u << 20) + 1}) {
        ImportGame g(kDataType358, GetParam());
        const Bytes data = mixedData(300, 1);
        g.builder.addStored(container358(GetParam(), stored, 300, {storedStream(data)}),
                            g.compressedMarker(300), 300);
        g.write();
        ASSERT_EQ(g.backup(), 0);
        g.putImportFile(L"0.data", mixedData(1000, 2));
        EXPECT_EQ(g.run(), L"读取压缩参数失败！将使用默认参数\n" + g.appended(L"0.data", true));
        Bytes archive = readBytes(g.archivePath(0));
        EXPECT_EQ(readNumber(archive, g.entryOffset(0) + 8, 4, GetParam()), 262144u);
    }
}

TEST_P(Import358ChunkSize, CompressionFailureEndsTheRun) {
    // A chunk size of 1 cuts 200000 bytes into more chunks than a container may hold.
    game.builder.addStored(container358(GetParam(), 1, 300, {storedStream(mixedData(300, 1))}),
                           game.compressedMarker(300), 300);
    game.builder.addRaw(mixedData(100, 2));
    game.write();
    ASSERT_EQ(game.backup(), 0);
    const auto before = game.snapshot();
    game.putImportFile(L"0.data", mixedData(200000, 2));
    game.putImportFile(L"1.data", mixedData(100, 3));
    EXPECT_EQ(game.run(), L"0.data 文件压缩失败！原因：数据长度过大！\n");
    EXPECT_EQ(game.snapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, Import358ChunkSize, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "PS3" : "PC");
                         });

// ---- Z54 offsets ----

TEST(ImportZ54Offsets, ArchiveOffTheUnitIsPaddedBeforeAppending) {
    ImportGame game(kDataTypeZ54, false, 4096);
    game.builder.addRaw(mixedData(5000, 1));
    game.builder.addCompressed(mixedData(9000, 2));
    game.write();
    ASSERT_EQ(game.backup(), 0);
    const uint64_t start = readBytes(game.archivePath(0)).size();
    ASSERT_EQ(start % 4096, 0u);
    // 100 bytes padded to 2048 leave the archive half way into a unit.
    game.putImportFile(L"0.data", mixedData(100, 3));
    game.run();
    EXPECT_EQ(readBytes(game.archivePath(0)).size(), start + 2048);
    game.clearImportFolder();
    game.putImportFile(L"1.data", mixedData(7000, 4));
    EXPECT_EQ(game.run(), game.appended(L"1.data", true));
    const Bytes archive = readBytes(game.archivePath(0));
    EXPECT_EQ(game.entryOffset(1), start + 4096);
    EXPECT_EQ(sliceOf(archive, start + 2048, 2048), Bytes(2048, 0));
    EXPECT_EQ(game.exportNow(0), mixedData(100, 3));
    EXPECT_EQ(game.exportNow(1), mixedData(7000, 4));
}

TEST(ImportZ54Offsets, OffsetUnitOfZeroIsRefused) {
    ImportGame game(kDataTypeZ54, false);
    game.builder.addRaw(mixedData(100, 1));
    game.write();
    ASSERT_EQ(game.backup(), 0);
    Bytes archive = readBytes(game.archivePath(0));
    putNumber(archive, 8, 0, 4, false);
    ASSERT_TRUE(writeBytes(game.archivePath(0), archive));
    const auto before = game.snapshot();
    game.putImportFile(L"0.data", mixedData(100, 2));
    EXPECT_EQ(game.run(), L"Index 中的偏移单位为零，无法导入！\n");
    EXPECT_EQ(game.snapshot(), before);
}

// A count no file could hold is cut to the entries the file has room for: no huge image, and
// an entry number beyond the file is refused.
TEST(ImportZ54Offsets, HeaderCountBeyondTheFileIsCutToTheFile) {
    ImportGame game(kDataTypeZ54, true);
    game.builder.addRaw(mixedData(100, 1));
    game.builder.addRaw(mixedData(100, 2));
    game.write();
    Bytes archive = readBytes(game.archivePath(0));
    putNumber(archive, 4, 0xFFFFFFFF, 4, true);
    ASSERT_TRUE(writeBytes(game.archivePath(0), archive));
    ASSERT_EQ(game.backup(), 0);
    game.putImportFile(L"1.data", mixedData(300, 3));
    game.putImportFile(L"4000000.data", mixedData(300, 4));
    EXPECT_EQ(game.run(), game.appended(L"1.data", false) +
                              L"4000000.data 文件的编号超出了 Index 文件的范围，已跳过！\n");
    EXPECT_EQ(game.exportNow(1), mixedData(300, 3));
}

// ---- Multi-file 357 ----

// Entries 0 and 1 in file 0, 2 in file 1, 3 and 4 in file 2.
void buildThreeFiles(ImportGame& game) {
    game.builder.addRaw(mixedData(500, 1));
    game.builder.addCompressed(mixedData(5000, 2));
    game.builder.startNextFile();
    game.builder.addRaw(mixedData(600, 3));
    game.builder.startNextFile();
    game.builder.addCompressed(mixedData(7000, 4));
    game.builder.addRaw(mixedData(800, 5));
    game.write();
    ASSERT_EQ(game.backup(), 0);
}

TEST(ImportMultiFile357, EachMemberGoesIntoTheFileThatHoldsItsEntry) {
    for (bool bigEndian : {false, true}) {
        ImportGame game(kDataType357, bigEndian);
        buildThreeFiles(game);
        const auto atBackup = game.snapshot();
        const Bytes file0 = readBytes(game.archivePath(0));
        const Bytes file1 = readBytes(game.archivePath(1));
        const Bytes file2 = readBytes(game.archivePath(2));
        game.putImportFile(L"1.data", mixedData(4000, 12));
        game.putImportFile(L"3.data", mixedData(6000, 14));
        game.putImportFile(L"4.data", mixedData(300, 15));
        EXPECT_EQ(game.run(), game.appended(L"1.data", true) + game.appended(L"3.data", true) +
                                  game.appended(L"4.data", false));
        EXPECT_EQ(readBytes(game.archivePath(1)), file1);
        EXPECT_EQ(sliceOf(readBytes(game.archivePath(0)), 0, file0.size()), file0);
        EXPECT_EQ(sliceOf(readBytes(game.archivePath(2)), 0, file2.size()), file2);
        EXPECT_EQ(game.entryOffset(1), file0.size());
        EXPECT_EQ(game.entryOffset(3), file2.size());
        EXPECT_GT(game.entryOffset(4), file2.size());
        EXPECT_EQ(game.exportNow(1), mixedData(4000, 12));
        EXPECT_EQ(game.exportNow(3), mixedData(6000, 14));
        EXPECT_EQ(game.exportNow(4), mixedData(300, 15));
        EXPECT_EQ(game.exportNow(2), mixedData(600, 3));
        EXPECT_EQ(readNumber(game.record(), 8, 8, false), file1.size());
        ASSERT_EQ(game.restore(), 0);
        EXPECT_EQ(game.snapshot(), atBackup);
    }
}

// The saved size an entry is held to is that of the file its split address names: entry 2
// (file 1) at file 1's saved size lies behind it, entry 4 (file 2) at the same offset inside
// file 2's. The import and the restore agree.
TEST(ImportMultiFile357, EntriesAreHeldToTheSavedSizeOfTheirOwnFile) {
    for (bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "PS3" : "PC");
        ImportGame game(kDataType357, bigEndian);
        buildThreeFiles(game);
        const uint64_t saved1 = readBytes(game.archivePath(1)).size();
        ASSERT_LT(saved1, readBytes(game.archivePath(2)).size());
        auto moveEntry = [&](uint32_t entry, uint64_t offset) {
            Bytes index = readBytes(game.indexPath());
            putNumber(index, 32 * size_t(entry), offset, 8, bigEndian);
            ASSERT_TRUE(writeBytes(game.indexPath(), index));
        };
        moveEntry(2, saved1);
        game.putImportFile(L"3.data", mixedData(6000, 14));
        EXPECT_EQ(game.run(), game.appended(L"3.data", true));
        ASSERT_EQ(game.restore(), 0);

        moveEntry(4, saved1);
        const auto before = game.snapshot();
        EXPECT_EQ(game.run(), kChangedSinceBackup);
        EXPECT_EQ(game.restore(), -7);
        EXPECT_EQ(game.snapshot(), before);
    }
}

TEST(ImportMultiFile357, ArchiveFileThatCannotBeOpenedEndsTheRun) {
    ImportGame game(kDataType357, false);
    buildThreeFiles(game);
    game.putImportFile(L"1.data", mixedData(4000, 12));
    game.putImportFile(L"3.data", mixedData(6000, 14));
    game.putImportFile(L"4.data", mixedData(300, 15));
    game.select();
    cli::archiveSelection.linkinfo.fileNames[2] = game.location() + L"Import";
    OutputCapture output;
    ImportMembers(cli::archiveSelection, game.archivePath(0));
    EXPECT_EQ(output.take(), game.appended(L"1.data", true) + L"打开 VOXBANK 文件失败！\n");
}

// ---- Failed writes ----

#ifndef _WIN32
TEST(ImportFailedWrites, ShortDataWriteEndsTheRunAndLeavesIndexAndRecord) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    ImportGame game(kDataType357, true);
    buildThreeFiles(game);
    // /dev/full measures 0 bytes: with a saved size it would be refused as a file that shrank.
    Bytes record = game.record();
    putNumber(record, 16, 0, 8, false);
    ASSERT_TRUE(writeBytes(game.recordPath(), record));
    const Bytes index = readBytes(game.indexPath());
    game.putImportFile(L"3.data", mixedData(6000, 14));
    game.putImportFile(L"4.data", mixedData(300, 15));
    game.select();
    cli::archiveSelection.linkinfo.fileNames[2] = L"/dev/full";
    OutputCapture output;
    ImportMembers(cli::archiveSelection, game.archivePath(0));
    EXPECT_EQ(output.take(), L"导入 3.data 时写入文件“/dev/full”出错！\n");
    EXPECT_EQ(readBytes(game.indexPath()), index);
    EXPECT_EQ(game.record(), record);
}
#endif

// A file made read-only for the test's time; it refuses writes unless the process may write
// anyway (an administrator).
class ReadOnly {
  public:
    explicit ReadOnly(const std::wstring& path) : path_(toPath(path)) {
        std::filesystem::permissions(path_, kWrite, std::filesystem::perm_options::remove);
        refuses_ = !platform::File::open(path, platform::OpenMode::WriteExisting).isOpen();
    }
    ~ReadOnly() {
        std::error_code ec;
        std::filesystem::permissions(path_, kWrite, std::filesystem::perm_options::add, ec);
    }
    bool refusesWrites() const { return refuses_; }

  private:
    static constexpr auto kWrite = std::filesystem::perms::owner_write |
                                   std::filesystem::perms::group_write |
                                   std::filesystem::perms::others_write;
    static std::filesystem::path toPath(const std::wstring& path) {
#ifdef _WIN32
        return std::filesystem::path(path);
#else
        return std::filesystem::path(platform::wideToUtf8(path));
#endif
    }
    std::filesystem::path path_;
    bool refuses_ = false;
};

TEST(ImportFailedWrites, IndexThatCannotBeOpenedEndsTheRunBeforeTheSlot) {
    ImportGame game(kDataType358, false);
    game.builder.addRaw(mixedData(500, 1));
    game.builder.addRaw(mixedData(500, 2));
    game.write();
    ASSERT_EQ(game.backup(), 0);
    const Bytes index = readBytes(game.indexPath());
    const Bytes record = game.record();
    ReadOnly readOnly(game.indexPath());
    if (!readOnly.refusesWrites())
        GTEST_SKIP() << "read-only files are writable for this user";
    game.putImportFile(L"0.data", mixedData(300, 3));
    game.putImportFile(L"1.data", mixedData(300, 4));
    EXPECT_EQ(game.run(), L"导入 0.data 时打开文件“" + game.indexPath() + L"”失败！\n");
    EXPECT_EQ(readBytes(game.indexPath()), index);
    EXPECT_EQ(game.record(), record);
}

TEST(ImportFailedWrites, RecordThatCannotBeWrittenEndsTheRunWithoutSuccessLine) {
    ImportGame game(kDataTypeZ54, true);
    game.builder.addRaw(mixedData(500, 1));
    game.builder.addRaw(mixedData(500, 2));
    game.write();
    ASSERT_EQ(game.backup(), 0);
    const Bytes record = game.record();
    ReadOnly readOnly(game.recordPath());
    if (!readOnly.refusesWrites())
        GTEST_SKIP() << "read-only files are writable for this user";
    game.putImportFile(L"0.data", mixedData(300, 3));
    game.putImportFile(L"1.data", mixedData(300, 4));
    EXPECT_EQ(game.run(), L"导入 0.data 时写入文件“" + game.recordPath() + L"”出错！\n");
    EXPECT_EQ(game.record(), record);
    // The entry already points at the appended data; a later run appends again.
    EXPECT_EQ(game.exportNow(0), mixedData(300, 3));
}

} // namespace
} // namespace karv::test
