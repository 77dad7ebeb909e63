// Backup, an import, an export, another import and a restore on a generated game with the k-th
// file operation failing, for every k the sequence performs: in turn a failed operation, a
// short write, and a disk that is gone from the k-th operation on; with one thread, and with
// two (the export reading and the import compressing ahead). Whatever fails:
//  - a backup reported as done has written the right files;
//  - a file the import reports as imported reads back as what was imported;
//  - a member the export reports as exported is in its file, and no other member file is left;
//  - a restore reported as done gives the game byte for byte as it was at the backup, and
//    after a failed one a second restore (the fault gone) does;
//  - nothing is imported into a game whose backup cannot be restored.
// The backup's flushes are operations of their own: a failed one is a failed backup.
// The configuration write-back is held to the same standard: the new text or the old one.
// One count runs over the program's file layer and the library's, which share the switch.
#include "archive_export.h"
#include "archive_import.h"
#include "archive_test_game.h"
#include "game_config.h"
#include "karvcore/formats.h"
#include "karvcore/tuning.h"
#include "library_faults.h"
#include "platform/fault_injection.h"
#include "platform/file.h"
#include "platform/filesystem.h"
#include "platform/text.h"
#include "texts.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace karv::test {
namespace {

using platform::FaultEffect;
using platform::FaultPlan;
using platform::FaultSwitch;

// The library's switch, shared by this program's file layer.
// Stops the count while the test looks at the files; goes on where it stopped.
class Paused {
  public:
    Paused() { libraryFaults().pause(); }
    ~Paused() { libraryFaults().resume(); }
    Paused(const Paused&) = delete;
    Paused& operator=(const Paused&) = delete;
};

Bytes pattern(size_t length, uint8_t seed) {
    Bytes out(length);
    for (size_t i = 0; i < length; ++i)
        out[i] = uint8_t(seed + i * 13 + (i >> 7));
    return out;
}

std::wstring memberName(uint32_t entry) {
    return padded6(entry) + L".data";
}

// What one run of the import is asked to put in.
using Imports = std::map<uint32_t, Bytes>;

// One game and the whole sequence on it.
class Sequence {
  public:
    explicit Sequence(GameKind kind) : kind_(kind), game_(kind.dataType, kind.bigEndian) {
        game_.builder.addRaw(pattern(700, 1));
        game_.builder.addCompressed(pattern(6000, 2));
        game_.builder.addUnused();
        game_.builder.addRaw(pattern(300, 3), kIdxMarkerRawTagged);
        if (kind.dataType == kDataType357) {
            game_.builder.startNextFile();
            game_.builder.addRaw(pattern(500, 4));
            game_.builder.addCompressed(pattern(9000, 5));
        }
        game_.write();
        original_ = gameBytes();
    }

    // The whole sequence under `plan`; the findings go to gtest.
    void run(const FaultPlan& plan);
    uint64_t counted() const { return libraryFaults().counted(); }
    int32_t backupStatus() const { return backupStatus_; }
    const std::vector<std::pair<const char*, uint64_t>>& phases() const { return phases_; }

  private:
    std::map<std::wstring, Bytes> gameBytes() const {
        std::map<std::wstring, Bytes> out;
        for (const std::wstring& f : game_.gameFiles())
            out[f] = readBytes(f);
        return out;
    }
    // Both runs import the entries of both archive files (357), the second with other bytes of
    // the same sizes, so that it writes over the regions the first appended.
    Imports importsOfRun(int run) const;
    void checkBackup(int32_t status) const;
    void runImport(const Imports& imports);
    void runExport();
    Bytes memberNow(uint32_t entry) const;
    void checkRestore(int32_t status) const;

    GameKind kind_;
    TestGame game_;
    std::map<std::wstring, Bytes> original_;
    std::vector<std::pair<const char*, uint64_t>> phases_;
    bool anyImported_ = false;
    int32_t backupStatus_ = 0;
};

Imports Sequence::importsOfRun(int run) const {
    Imports imports;
    uint8_t seed = uint8_t(run * 50);
    imports[0] = pattern(650, seed + 1);
    imports[1] = pattern(6000, seed + 2);
    imports[2] = pattern(100, seed + 3); // an unused entry: skipped
    if (kind_.dataType == kDataType357) {
        imports[4] = pattern(480, seed + 4);
        imports[5] = pattern(9000, seed + 5);
    }
    return imports;
}

void Sequence::checkBackup(int32_t status) const {
    if (status != 0)
        return;
    Paused paused;
    Bytes index = game_.builder.index();
    Bytes table = game_.z54() ? Bytes(index.begin() + 16, index.end()) : index;
    std::wstring copy = (game_.z54() ? game_.archivePath(0) : game_.indexPath()) + L".idxbak";
    EXPECT_TRUE(readBytes(copy) == table) << "a backup reported as done saved another table";
    Bytes record = game_.record();
    ASSERT_EQ(record.size(), 80 + 4 * size_t(game_.builder.entryCount()))
        << "a backup reported as done wrote a short record";
    for (size_t f = 0; f < game_.builder.fileCount(); ++f)
        EXPECT_EQ(readNumber(record, 8 * f, 8, false), game_.builder.archive(f).size())
            << "a backup reported as done saved a wrong size";
}

// Entry `entry` as the game reads it now, through its index.
Bytes Sequence::memberNow(uint32_t entry) const {
    Paused paused;
    std::unique_ptr<VoxbankQX> reader(CreateVoxbankInterface(kind_.dataType, kind_.bigEndian));
    if (!reader || reader->LoadIndex(game_.z54() ? game_.archivePath(0) : game_.indexPath()) == 0)
        return {};
    game_.select();
    size_t file = size_t(ArchiveFileOf(cli::archiveSelection.linkinfo, entry).value_or(0));
    platform::File archive =
        platform::File::open(game_.archivePath(file), platform::OpenMode::ReadExisting);
    uint8_t* data = nullptr;
    uint32_t length = 0;
    if (!archive.isOpen() || reader->ReadMember(archive.native(), entry, data, &length, false) != 0)
        return {};
    Bytes member(data, data + length);
    std::free(data);
    return member;
}

void Sequence::runImport(const Imports& imports) {
    {
        Paused paused;
        game_.clearImportFolder();
        for (const auto& [entry, bytes] : imports)
            game_.putImportFile(memberName(entry), bytes);
        game_.select();
    }
    OutputCapture capture;
    cli::ImportMembers(cli::archiveSelection, game_.archivePath(0));
    const std::wstring printed = capture.take();
    const std::wstring path = game_.archivePath(0);
    for (const auto& [entry, bytes] : imports) {
        bool done = false;
        for (const wchar_t* action :
             {text::kImportedCompressedInPlace, text::kImportedCompressedAppended,
              text::kImportedRawInPlace, text::kImportedRawAppended}) {
            std::wstring line =
                text::kImportLineTo + path + action + memberName(entry) + text::kLineSucceeded;
            done = done || printed.find(line) != std::wstring::npos;
        }
        if (!done)
            continue;
        anyImported_ = true;
        EXPECT_TRUE(memberNow(entry) == bytes)
            << "entry " << entry << " was reported as imported but reads otherwise; printed:\n"
            << platform::wideToUtf8(printed);
    }
}

void Sequence::runExport() {
    {
        Paused paused;
        std::vector<platform::DirectoryEntry> old;
        platform::listDirectory(game_.exportFolder(), L"*", old);
        for (const platform::DirectoryEntry& e : old)
            platform::removeFile(game_.exportFolder() + kSep + e.name);
        game_.select();
    }
    OutputCapture capture;
    cli::ExportMembers(cli::archiveSelection, 0, 100, game_.archivePath(0), false);
    const std::wstring printed = capture.take();
    Paused paused;
    for (uint32_t entry = 0; entry < game_.builder.entryCount(); ++entry) {
        const std::wstring file = game_.memberFile(entry);
        const bool done = printed.find(text::kExportLineMember + file + text::kLineSucceeded) !=
                          std::wstring::npos;
        if (done)
            EXPECT_TRUE(readBytes(file) == memberNow(entry))
                << "member " << entry << " was reported as exported but its file differs";
        else
            EXPECT_FALSE(platform::pathExists(file))
                << "member " << entry << " was not reported as exported but has a file";
    }
}

void Sequence::checkRestore(int32_t status) const {
    Paused paused;
    if (status == 0) {
        EXPECT_TRUE(gameBytes() == original_) << "a restore reported as done left the game changed";
        return;
    }
    int32_t again = game_.restore();
    if (again == 0) {
        EXPECT_TRUE(gameBytes() == original_)
            << "a second restore after a failed one left the game changed";
        return;
    }
    // No usable backup: then nothing may have been imported either.
    EXPECT_FALSE(anyImported_) << "files were imported into a game that cannot be restored";
    EXPECT_TRUE(gameBytes() == original_) << "a game without a backup was changed";
}

void Sequence::run(const FaultPlan& plan) {
    libraryFaults().arm(plan);
    backupStatus_ = game_.backup();
    phases_.push_back({"backup", counted()});
    checkBackup(backupStatus_);
    runImport(importsOfRun(1));
    phases_.push_back({"import 1", counted()});
    runExport();
    phases_.push_back({"export", counted()});
    runImport(importsOfRun(2));
    phases_.push_back({"import 2", counted()});
    int32_t restoreStatus = game_.restore();
    phases_.push_back({"restore", counted()});
    libraryFaults().disarm();
    checkRestore(restoreStatus);
}

const char* phaseOf(const std::vector<std::pair<const char*, uint64_t>>& phases, uint64_t k) {
    for (const auto& [name, end] : phases)
        if (k <= end)
            return name;
    return "?";
}

struct Trial {
    GameKind kind;
    FaultEffect effect;
    uint32_t operations;
    bool sticky;
    unsigned threads;
};

std::string trialName(const ::testing::TestParamInfo<Trial>& info) {
    const Trial& t = info.param;
    std::wstring game = typeName(t.kind.dataType, t.kind.bigEndian);
    std::string name(game.begin(), game.end());
    name += t.threads == 1 ? "_1Thread" : "_" + std::to_string(t.threads) + "Threads";
    if (t.effect == FaultEffect::Short)
        return name + "_ShortWrite";
    return name + (t.sticky ? "_DiskGone" : "_Fail");
}

class FaultInjection : public ::testing::TestWithParam<Trial> {
  protected:
    void SetUp() override { SetWorkerCount(GetParam().threads); }
    void TearDown() override { SetWorkerCount(0); }
};

// Every operation of a fault-free sequence fails in turn.
TEST_P(FaultInjection, EveryOperationFailingInTurn) {
    const Trial& trial = GetParam();
    FaultPlan count;
    count.operations = trial.operations;
    uint64_t total = 0;
    {
        Sequence clean(trial.kind);
        clean.run(count);
        ASSERT_FALSE(HasFailure()) << "the sequence fails without a fault";
        total = clean.counted();
    }
    ASSERT_GT(total, 10u);
    std::map<std::string, uint64_t> points;
    uint64_t backupFlushes = 0;
    for (uint64_t k = 1; k <= total && !HasFailure(); ++k) {
        SCOPED_TRACE("fault at operation " + std::to_string(k));
        Sequence sequence(trial.kind);
        FaultPlan plan = count;
        plan.strikeAt = k;
        plan.effect = trial.effect;
        plan.sticky = trial.sticky;
        sequence.run(plan);
        // The sequence is the same on every run, so operation k exists every time.
        ASSERT_GE(libraryFaults().struck(), 1u);
        const FaultSwitch& s = libraryFaults();
        std::wstring path = s.firstStruckPath();
        size_t cut = platform::lastSeparator(path);
        std::string file =
            platform::wideToUtf8(cut == std::wstring::npos ? path : path.substr(cut + 1));
        // A folder flush names the game's folder, another one on each run.
        if (platform::isDirectory(path))
            file = "(folder)";
        std::string phase = phaseOf(sequence.phases(), k);
        points[phase + " " + platform::faultOperationName(s.firstStruckOperation()) + " " + file]++;
        if (phase == "backup" && s.firstStruckOperation() == platform::kFaultFlush) {
            ++backupFlushes;
            EXPECT_EQ(sequence.backupStatus(), -5) << "a backup not on the disk was reported";
        }
    }
    // The backup flushes its two files before they are closed and their folder after each
    // rename, and the switch reached every one of those flushes.
    if (trial.operations & platform::kFaultFlush) {
        EXPECT_EQ(backupFlushes, 4u);
    }
    // The fault points met, for the record of the test run.
    std::printf("%llu operations; fault points (phase, operation, file: times):\n",
                static_cast<unsigned long long>(total));
    for (const auto& [point, times] : points)
        std::printf("  %s: %llu\n", point.c_str(), static_cast<unsigned long long>(times));
}

std::vector<Trial> trials() {
    std::vector<Trial> out;
    for (GameKind kind : {GameKind{kDataType357, false}, GameKind{kDataTypeZ54, true},
                          GameKind{kDataType358, false}}) {
        out.push_back({kind, FaultEffect::Fail, platform::kFaultAll, false, 1});
        out.push_back({kind, FaultEffect::Fail, platform::kFaultAll, false, 2});
        out.push_back({kind, FaultEffect::Short, platform::kFaultWrite, false, 2});
        out.push_back({kind, FaultEffect::Fail, platform::kFaultAll, true, 2});
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(Games, FaultInjection, ::testing::ValuesIn(trials()), trialName);

// The write-back of the game configuration with each of its file operations failing in turn
// (and each write going short): it reports success only when the new text is in the file and
// flushed, and otherwise the file holds its previous bytes.
TEST(FaultInjectionConfig, WriteBackLeavesTheNewTextOrThePreviousOne) {
    TempDir dir;
    const std::wstring path = dir.file(L"游戏信息.txt");
    const Bytes previous = {0xFF, 0xFE, '#', 0, 'A', 0, '\r', 0, '\n', 0};
    cli::gameTable.clear();
    cli::gameTable[1].name = L"甲";
    cli::gameTable[1].values[cli::configKeys[cli::kKeyDataMode]] = L"PS3";
    cli::gameTable[2].name = L"乙";
    cli::gameTable[2].values[cli::configKeys[cli::kKeyExportPath]] = std::wstring(3000, L'x');

    ASSERT_TRUE(writeBytes(path, previous));
    FaultPlan count;
    libraryFaults().arm(count);
    ASSERT_TRUE(cli::SaveGameConfig(path));
    libraryFaults().disarm();
    const uint64_t total = libraryFaults().counted();
    const Bytes written = readBytes(path);
    ASSERT_GT(total, 5u);

    for (FaultEffect effect : {FaultEffect::Fail, FaultEffect::Short}) {
        for (uint64_t k = 1; k <= total; ++k) {
            SCOPED_TRACE("fault at operation " + std::to_string(k));
            ASSERT_TRUE(writeBytes(path, previous));
            FaultPlan plan;
            plan.strikeAt = k;
            plan.effect = effect;
            libraryFaults().arm(plan);
            bool saved = cli::SaveGameConfig(path);
            libraryFaults().disarm();
            // A folder that cannot be flushed after the rename leaves the new text in place,
            // but not surely on the disk: that is reported as a failure.
            const bool folderFlush =
                libraryFaults().firstStruckOperation() == platform::kFaultFlush;
            const Bytes now = readBytes(path);
            EXPECT_TRUE(saved ? now == written : now == previous || (folderFlush && now == written))
                << (saved ? "reported as written" : "reported as failed") << " after a "
                << platform::faultOperationName(libraryFaults().firstStruckOperation());
        }
    }
    cli::gameTable.clear();
}

// The switch itself: counting, striking the k-th operation only, going short, the lost disk.
class FaultSwitchTest : public ::testing::Test {
  protected:
    TempDir dir;
    void TearDown() override { libraryFaults().disarm(); }
};

TEST_F(FaultSwitchTest, StrikesOnlyTheCountedOperation) {
    const std::wstring path = dir.file(L"f.bin");
    FaultPlan plan;
    plan.operations = platform::kFaultWrite;
    plan.strikeAt = 2;
    libraryFaults().arm(plan);
    platform::File file = platform::File::open(path, platform::OpenMode::CreateAlways);
    ASSERT_TRUE(file.isOpen()); // opens are not counted by this plan
    const uint8_t bytes[4] = {1, 2, 3, 4};
    EXPECT_TRUE(file.writeAll(bytes, 4));
    EXPECT_FALSE(file.writeAll(bytes, 4));
    EXPECT_TRUE(file.writeAll(bytes, 4));
    EXPECT_TRUE(file.close());
    libraryFaults().disarm();
    EXPECT_EQ(libraryFaults().counted(), 3u);
    EXPECT_EQ(libraryFaults().struck(), 1u);
    EXPECT_EQ(libraryFaults().firstStruckOperation(), platform::kFaultWrite);
    EXPECT_EQ(libraryFaults().firstStruckPath(), path);
    EXPECT_TRUE(readBytes(path) == Bytes({1, 2, 3, 4, 1, 2, 3, 4}));
}

TEST_F(FaultSwitchTest, ShortWriteMovesHalfAndWriteAllFinishes) {
    const std::wstring path = dir.file(L"f.bin");
    platform::File file = platform::File::open(path, platform::OpenMode::CreateAlways);
    FaultPlan plan;
    plan.operations = platform::kFaultWrite;
    plan.strikeAt = 1;
    plan.effect = FaultEffect::Short;
    libraryFaults().arm(plan);
    const Bytes bytes = pattern(10, 7);
    uint32_t done = 99;
    EXPECT_TRUE(file.write(bytes.data(), 10, done));
    EXPECT_EQ(done, 5u);
    plan.strikeAt = 1;
    libraryFaults().arm(plan);
    // writeAll repeats a short write until everything is out.
    EXPECT_TRUE(file.writeAll(bytes.data() + 5, 5));
    libraryFaults().disarm();
    file.close();
    EXPECT_TRUE(readBytes(path) == bytes);
}

TEST_F(FaultSwitchTest, AShortWriteOfOneByteMovesNothingAndWriteAllFails) {
    platform::File file =
        platform::File::open(dir.file(L"f.bin"), platform::OpenMode::CreateAlways);
    FaultPlan plan;
    plan.operations = platform::kFaultWrite;
    plan.strikeAt = 1;
    plan.effect = FaultEffect::Short;
    plan.sticky = true;
    libraryFaults().arm(plan);
    const uint8_t byte = 1;
    EXPECT_FALSE(file.writeAll(&byte, 1));
}

TEST_F(FaultSwitchTest, StickyFaultsFailEveryLaterOperation) {
    const std::wstring path = dir.file(L"f.bin");
    ASSERT_TRUE(writeBytes(path, pattern(64, 1)));
    FaultPlan plan;
    plan.strikeAt = 2;
    plan.sticky = true;
    libraryFaults().arm(plan);
    platform::File file = platform::File::open(path, platform::OpenMode::ReadWriteExisting);
    ASSERT_TRUE(file.isOpen());
    uint8_t buffer[8];
    EXPECT_FALSE(file.readAll(buffer, 8));
    EXPECT_FALSE(file.seek(0, platform::SeekFrom::Begin));
    uint64_t size = 0;
    EXPECT_FALSE(file.size(size));
    EXPECT_FALSE(file.truncate());
    EXPECT_FALSE(file.close());
    EXPECT_FALSE(platform::File::open(path, platform::OpenMode::ReadExisting).isOpen());
    libraryFaults().disarm();
    EXPECT_EQ(libraryFaults().struck(), 6u);
    // Nothing happened to the file, and the handle was released all the same.
    EXPECT_TRUE(readBytes(path) == pattern(64, 1));
    EXPECT_TRUE(platform::removeFile(path));
}

// Each struck operation carries the switch's own reason, which no healthy disk gives, so a
// report tells an injected failure from a real one.
TEST_F(FaultSwitchTest, StruckOperationsCarryTheSwitchReason) {
    const std::wstring path = dir.file(L"f.bin");
    ASSERT_TRUE(writeBytes(path, pattern(16, 1)));
    const int struck = platform::struckSystemError();
    EXPECT_NE(struck, 0);
    FaultPlan plan;
    plan.strikeAt = 1;
    plan.sticky = true;
    libraryFaults().arm(plan);
    Status opened;
    EXPECT_FALSE(platform::File::open(path, platform::OpenMode::ReadExisting, &opened).isOpen());
    EXPECT_FALSE(opened);
    EXPECT_EQ(opened.systemError(), struck);
    EXPECT_EQ(platform::File::replace(path, path + L"2").systemError(), struck);
    EXPECT_EQ(platform::File::flushFolder(dir.path()).systemError(), struck);
    libraryFaults().disarm();
    EXPECT_EQ(libraryFaults().struck(), 3u);

    platform::File file = platform::File::open(path, platform::OpenMode::ReadWriteExisting);
    ASSERT_TRUE(file.isOpen());
    libraryFaults().arm(plan);
    uint8_t buffer[8];
    uint32_t done = 0;
    EXPECT_EQ(file.readAll(buffer, 8).systemError(), struck);
    EXPECT_EQ(file.write(buffer, 8, done).systemError(), struck);
    uint64_t at = 0;
    EXPECT_EQ(file.position(at).systemError(), struck);
    EXPECT_EQ(file.flush().systemError(), struck);
    EXPECT_EQ(file.close().systemError(), struck);
    libraryFaults().disarm();
    EXPECT_EQ(libraryFaults().struck(), 5u);
    EXPECT_EQ(libraryFaults().firstStruckOperation(), platform::kFaultRead);
    EXPECT_TRUE(readBytes(path) == pattern(16, 1));
}

TEST_F(FaultSwitchTest, LibraryOperationsCountOnTheSameSwitch) {
    const std::wstring path = dir.file(L"f.bin");
    const Bytes bytes = pattern(32, 9);
    FaultPlan plan;
    plan.operations = platform::kFaultOpen;
    plan.strikeAt = 2;
    libraryFaults().arm(plan);
    // The first open is this program's, the second the library's.
    EXPECT_TRUE(platform::File::open(dir.file(L"none"), platform::OpenMode::CreateAlways).isOpen());
    EXPECT_FALSE(SaveData(path, bytes.data(), 0, uint32_t(bytes.size()), true));
    EXPECT_EQ(GetMessageQX(), L"创建文件失败！");
    EXPECT_TRUE(SaveData(path, bytes.data(), 0, uint32_t(bytes.size()), true));
    libraryFaults().disarm();
    EXPECT_EQ(libraryFaults().counted(), 3u);
    EXPECT_TRUE(readBytes(path) == bytes);
}

} // namespace
} // namespace karv::test
