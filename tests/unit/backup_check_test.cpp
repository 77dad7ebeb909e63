// CheckBackup: the archive against its backup for every data type and byte order. The saved
// sizes and entry count as the record and the index copy give them, every finding in file and
// entry order, entries held to the saved size of the file their split address names, and the
// backup files that do not fit reported as such rather than failing.
#include "archive_import.h"
#include "archive_test_game.h"
#include "container_builders.h"

#include <gtest/gtest.h>

#include <tuple>

namespace karv::test {
namespace {

using Finding = std::tuple<BackupFinding::Kind, int32_t, std::optional<uint32_t>>;
using Kind = BackupFinding;

std::vector<Finding> findingsOf(const BackupState& state) {
    std::vector<Finding> out;
    for (const BackupFinding& f : state.findings)
        out.emplace_back(f.kind, f.file, f.entry);
    return out;
}

class CheckedGame : public TestGame {
  public:
    using TestGame::TestGame;

    std::wstring indexHolder() const { return z54() ? archivePath(0) : indexPath(); }
    std::wstring copyPath() const { return indexHolder() + L".idxbak"; }

    BackupState check(Status* outcome = nullptr) const {
        select();
        BackupState state;
        Status status = CheckBackup(dataType(), cli::archiveSelection.linkinfo, archivePath(0),
                                    bigEndian(), state);
        EXPECT_TRUE(outcome != nullptr || status.ok()) << int(status.error());
        if (outcome != nullptr)
            *outcome = status;
        return state;
    }
    std::vector<uint64_t> sizes() const {
        std::vector<uint64_t> out;
        for (size_t f = 0; f < builder.fileCount(); ++f)
            out.push_back(readBytes(archivePath(f)).size());
        return out;
    }
    // Entry `entry` pointing at `offset` bytes (Z54: in units), as another program may leave it.
    void moveEntry(uint32_t entry, uint64_t offset) const {
        Bytes index = readBytes(indexHolder());
        const size_t at = z54() ? 16 + 16 * size_t(entry) : 32 * size_t(entry);
        putNumber(index, at, z54() ? offset / builder.offsetUnit() : offset, 8, bigEndian());
        ASSERT_TRUE(writeBytes(indexHolder(), index));
    }
    void setSavedSize(size_t file, uint64_t size) const {
        Bytes rec = record();
        putNumber(rec, 8 * file, size, 8, false);
        ASSERT_TRUE(writeBytes(recordPath(), rec));
    }
    std::wstring import(const std::wstring& name, const Bytes& bytes) const {
        clearImportFolder();
        putImportFile(name, bytes);
        select();
        OutputCapture output;
        cli::ImportMembers(cli::archiveSelection, archivePath(0));
        return output.take();
    }
};

class CheckEveryKind : public ::testing::TestWithParam<GameKind> {
  protected:
    CheckEveryKind() : game(GetParam().dataType, GetParam().bigEndian) {
        game.builder.addRaw(mixedData(3000, 1));
        game.builder.addCompressed(mixedData(20000, 2));
        game.builder.addUnused();
        game.builder.addRaw(mixedData(700, 3), kIdxMarkerRawTagged);
        game.write();
    }
    CheckedGame game;
};

TEST_P(CheckEveryKind, WithoutABackupThereIsNothingToCompare) {
    BackupState state = game.check();
    EXPECT_FALSE(state.exists);
    EXPECT_EQ(state.savedSizes, std::vector<uint64_t>{0});
    EXPECT_EQ(state.savedEntries, 0u);
    EXPECT_TRUE(state.findings.empty());
    EXPECT_FALSE(state.changedByOtherProgram());
    // Without a backup the index is not even read.
    platform::removeFile(game.indexHolder());
    EXPECT_FALSE(game.check().exists);
}

// A fresh backup and the import's own entries (appended, then over their region) match; the
// restore then gives the game back.
TEST_P(CheckEveryKind, FreshBackupAndImportsFindNothing) {
    const std::vector<uint64_t> sizes = game.sizes();
    ASSERT_EQ(game.backup(), 0);
    const auto atBackup = game.snapshot();
    BackupState state = game.check();
    EXPECT_TRUE(state.exists);
    EXPECT_EQ(state.savedSizes, sizes);
    EXPECT_EQ(state.savedEntries, 4u);
    EXPECT_TRUE(state.findings.empty());

    ASSERT_NE(game.import(L"000001.data", mixedData(9000, 7)), L"");
    ASSERT_NE(game.import(L"000000.data", mixedData(2000, 8)), L"");
    ASSERT_NE(game.import(L"000001.data", mixedData(8000, 9)), L"");
    ASSERT_GE(game.entryOffset(1), sizes[0]);
    state = game.check();
    EXPECT_TRUE(state.findings.empty());
    EXPECT_EQ(state.savedSizes, sizes); // the sizes at backup time, not now
    ASSERT_EQ(game.restore(), 0);
    EXPECT_EQ(game.snapshot(), atBackup);
}

TEST_P(CheckEveryKind, EveryEntryBelowItsSavedSizeIsFound) {
    ASSERT_EQ(game.backup(), 0);
    const uint64_t saved = game.sizes()[0];
    const uint64_t unit = game.z54() ? 2048 : 256;
    game.moveEntry(3, 0);
    game.moveEntry(0, saved - unit);
    game.moveEntry(1, saved); // at the saved size: where an import appends
    BackupState state = game.check();
    EXPECT_EQ(findingsOf(state),
              (std::vector<Finding>{{Kind::kEntryChanged, 0, 0u}, {Kind::kEntryChanged, 0, 3u}}));
    EXPECT_TRUE(state.changedByOtherProgram());

    // Not recorded: every differing entry is unrecorded, none is a change.
    game.setSavedSize(0, 0);
    state = game.check();
    EXPECT_EQ(state.savedSizes, std::vector<uint64_t>{0});
    EXPECT_EQ(findingsOf(state), (std::vector<Finding>{{Kind::kSizeUnrecorded, 0, 0u},
                                                       {Kind::kSizeUnrecorded, 0, 1u},
                                                       {Kind::kSizeUnrecorded, 0, 3u}}));
    EXPECT_FALSE(state.changedByOtherProgram());
}

TEST_P(CheckEveryKind, ShorterArchiveFileIsAChange) {
    ASSERT_EQ(game.backup(), 0);
    Bytes archive = readBytes(game.archivePath(0));
    archive.pop_back();
    ASSERT_TRUE(writeBytes(game.archivePath(0), archive));
    BackupState state = game.check();
    EXPECT_EQ(findingsOf(state), (std::vector<Finding>{{Kind::kFileShorter, 0, std::nullopt}}));
    EXPECT_TRUE(state.changedByOtherProgram());
}

// Backup files that do not fit are a misfit, never a failure: the sizes still tell a file that
// shrank, and the entries are not compared with a table that does not fit.
TEST_P(CheckEveryKind, BackupFilesThatDoNotFitAreAMisfit) {
    ASSERT_EQ(game.backup(), 0);
    const std::vector<uint64_t> sizes = game.sizes();
    const Bytes copy = readBytes(game.copyPath());
    const Bytes record = game.record();
    game.moveEntry(0, 0);
    const std::vector<Finding> misfit = {{Kind::kBackupMisfit, 0, std::nullopt}};
    auto expectMisfit = [&](const char* what, const std::vector<uint64_t>& savedSizes) {
        SCOPED_TRACE(what);
        BackupState state = game.check();
        EXPECT_TRUE(state.exists);
        EXPECT_EQ(state.savedSizes, savedSizes);
        EXPECT_EQ(findingsOf(state), misfit);
        EXPECT_FALSE(state.changedByOtherProgram());
    };
    platform::removeFile(game.copyPath());
    expectMisfit("copy missing", sizes);
    ASSERT_TRUE(writeBytes(game.copyPath(), Bytes(copy.begin(), copy.end() - 1)));
    expectMisfit("copy not whole entries", sizes);
    ASSERT_TRUE(writeBytes(game.copyPath(), copy));
    ASSERT_TRUE(writeBytes(game.recordPath(), Bytes(record.begin(), record.end() - 4)));
    expectMisfit("a slot missing", sizes);
    ASSERT_TRUE(writeBytes(game.recordPath(), Bytes(record.begin(), record.begin() + 79)));
    expectMisfit("sizes cut short", {0});
    ASSERT_TRUE(writeBytes(game.recordPath(), Bytes()));
    expectMisfit("record emptied", {0});

    ASSERT_TRUE(writeBytes(game.recordPath(), record));
    platform::removeFile(game.copyPath());
    Bytes archive = readBytes(game.archivePath(0));
    archive.pop_back();
    ASSERT_TRUE(writeBytes(game.archivePath(0), archive));
    BackupState state = game.check();
    EXPECT_EQ(findingsOf(state), (std::vector<Finding>{{Kind::kBackupMisfit, 0, std::nullopt},
                                                       {Kind::kFileShorter, 0, std::nullopt}}));
    EXPECT_TRUE(state.changedByOtherProgram());
}

TEST_P(CheckEveryKind, IndexThatCannotBeLoadedIsAFailure) {
    ASSERT_EQ(game.backup(), 0);
    Status status;
    if (game.z54()) {
        Bytes archive = readBytes(game.archivePath(0));
        putNumber(archive, 8, 0, 4, game.bigEndian());
        ASSERT_TRUE(writeBytes(game.archivePath(0), archive));
        game.check(&status);
        EXPECT_EQ(status.error(), Error::IndexUnitZero);
        platform::removeFile(game.archivePath(0));
        game.check(&status);
        EXPECT_EQ(status.error(), Error::IndexUnopened);
    } else {
        ASSERT_TRUE(writeBytes(game.indexPath(), Bytes(31, 0)));
        game.check(&status);
        EXPECT_EQ(status.error(), Error::IndexHoldsNoEntry);
        platform::removeFile(game.indexPath());
        game.check(&status);
        EXPECT_EQ(status.error(), Error::IndexUnloadable);
    }
    game.select();
    linkinfo link = cli::archiveSelection.linkinfo;
    link.fileCount = 11;
    BackupState state;
    status = CheckBackup(game.dataType(), link, game.archivePath(0), game.bigEndian(), state);
    if (game.z54())
        EXPECT_NE(status.error(), Error::TooManyFiles); // Z54 has one file whatever the count
    else
        EXPECT_EQ(status.error(), Error::TooManyFiles);
}

INSTANTIATE_TEST_SUITE_P(Games, CheckEveryKind, ::testing::ValuesIn(allGameKinds()), kindName);

TEST(CheckZ54Header, AnotherEntryCountIsAChange) {
    for (bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "PS3" : "PC");
        CheckedGame game(kDataTypeZ54, bigEndian);
        for (int n = 0; n < 3; ++n)
            game.builder.addRaw(mixedData(1000, uint8_t(n)));
        game.write();
        ASSERT_EQ(game.backup(), 0);
        const Bytes original = readBytes(game.archivePath(0));
        for (uint32_t count : {4u, 2u}) {
            Bytes archive = original;
            putNumber(archive, 4, count, 4, bigEndian);
            ASSERT_TRUE(writeBytes(game.archivePath(0), archive));
            BackupState state = game.check();
            EXPECT_EQ(state.savedEntries, 3u);
            EXPECT_EQ(findingsOf(state),
                      (std::vector<Finding>{{Kind::kCountChanged, 0, std::nullopt}}));
            EXPECT_TRUE(state.changedByOtherProgram());
        }
    }
}

// Three files of growing saved sizes: each entry is held to the saved size of the file its split
// address names, and the findings come file by file, a file's own first.
TEST(Check357, EntriesAreHeldToTheirOwnFileAndReportedInOrder) {
    CheckedGame game(kDataType357, true);
    game.builder.addRaw(mixedData(256, 1)); // entry 0, file 0: 256 bytes
    game.builder.startNextFile();
    game.builder.addRaw(mixedData(1024, 2)); // entry 1, file 1: 1024 bytes
    game.builder.startNextFile();
    game.builder.addRaw(mixedData(2048, 3)); // entries 2 and 3, file 2: 2304 bytes
    game.builder.addRaw(mixedData(256, 4));
    game.write();
    ASSERT_EQ(game.backup(), 0);
    ASSERT_EQ(game.sizes(), (std::vector<uint64_t>{256, 1024, 2304}));
    game.moveEntry(0, 512);  // behind file 0's size, inside the others'
    game.moveEntry(1, 768);  // inside file 1's size, behind file 0's
    game.moveEntry(3, 1536); // inside file 2's size, behind file 1's
    Bytes index = readBytes(game.indexPath());
    putNumber(index, 2 * 32 + 16, 2047, 4, true); // entry 2: another stored size
    ASSERT_TRUE(writeBytes(game.indexPath(), index));
    BackupState state = game.check();
    EXPECT_EQ(state.savedSizes, (std::vector<uint64_t>{256, 1024, 2304}));
    EXPECT_EQ(findingsOf(state), (std::vector<Finding>{{Kind::kEntryChanged, 1, 1u},
                                                       {Kind::kEntryChanged, 2, 2u},
                                                       {Kind::kEntryChanged, 2, 3u}}));

    // A file that shrank comes before the entries of its file; an unrecorded file's entries
    // are unrecorded.
    Bytes file2 = readBytes(game.archivePath(2));
    file2.resize(2000);
    ASSERT_TRUE(writeBytes(game.archivePath(2), file2));
    game.setSavedSize(1, 0);
    state = game.check();
    EXPECT_EQ(findingsOf(state), (std::vector<Finding>{{Kind::kSizeUnrecorded, 1, 1u},
                                                       {Kind::kFileShorter, 2, std::nullopt},
                                                       {Kind::kEntryChanged, 2, 2u},
                                                       {Kind::kEntryChanged, 2, 3u}}));

    // An index that gained an entry no longer fits the copy; the entries both have are still
    // compared.
    index = readBytes(game.indexPath());
    index.resize(index.size() + 32, 0);
    ASSERT_TRUE(writeBytes(game.indexPath(), index));
    file2.resize(2400, 0);
    ASSERT_TRUE(writeBytes(game.archivePath(2), file2));
    state = game.check();
    EXPECT_EQ(findingsOf(state), (std::vector<Finding>{{Kind::kBackupMisfit, 0, std::nullopt},
                                                       {Kind::kSizeUnrecorded, 1, 1u},
                                                       {Kind::kEntryChanged, 2, 2u},
                                                       {Kind::kEntryChanged, 2, 3u}}));
}

} // namespace
} // namespace karv::test
