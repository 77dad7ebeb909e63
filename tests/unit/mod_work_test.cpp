// Mods on a game through the library: two packages stacked and taken off one at a time with every
// member compared to what it should be, every refusal leaving every file as it was, and a step
// cut off at every file operation (and, natively, by a signal) ending fully in or fully out once
// the next step settles it.
#include "archive_import.h"
#include "archive_test_game.h"
#include "boundary/messages.h"
#include "container_builders.h"
#include "karvcore/mod_work.h"
#include "karvcore/tuning.h"
#include "library_faults.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#endif

namespace karv::test {
namespace {

using platform::FaultPlan;

class ModGame : public TestGame {
  public:
    using TestGame::TestGame;

    ModArchive archive() const {
        select();
        const cli::ArchiveSelection& s = cli::archiveSelection;
        return {s.dataType, s.bigEndian,   s.blockAlignment,
                s.linkinfo, s.archivePath, s.archiveName};
    }
    // Every entry as the export reads it now (empty for one it cannot give).
    std::vector<Bytes> members() const {
        select();
        ExportRequest request{dataType(),     bigEndian(), cli::archiveSelection.linkinfo,
                              archivePath(0), 0,           UINT32_MAX};
        ArchiveExport reader(request);
        EXPECT_TRUE(reader.open());
        std::vector<Bytes> out;
        ExportedMember m;
        while (reader.next(m))
            out.push_back(m.status ? Bytes(m.data, m.data + m.length) : Bytes());
        return out;
    }
    std::wstring copyPath() const { return (z54() ? archivePath(0) : indexPath()) + L".idxbak"; }
    std::wstring ledgerPath() const { return archivePath(0) + L".karvmods"; }
    std::wstring intentPath() const { return archivePath(0) + L".karvmods-intent"; }
    // The game's files and ours beside them, with their bytes ("" for one that is not there).
    std::map<std::wstring, Bytes> everything() const {
        std::map<std::wstring, Bytes> out = snapshot();
        for (const std::wstring& path : {ledgerPath(), intentPath(), copyPath()})
            out[path] = platform::pathExists(path) ? readBytes(path) : Bytes{'-'};
        return out;
    }
    void putBack(const std::map<std::wstring, Bytes>& files) const {
        for (const auto& [path, bytes] : files) {
            if (bytes == Bytes{'-'})
                platform::removeFile(path);
            else
                ASSERT_TRUE(writeBytes(path, bytes));
        }
    }

    // A package in `folder` that sets each entry to its bytes, pinned to `originals`.
    std::wstring package(const std::wstring& name, const std::map<uint32_t, Bytes>& data,
                         const std::vector<Bytes>& originals) const {
        const std::wstring folder = location() + name;
        platform::createDirectory(folder);
        ModManifest manifest;
        manifest.name = name;
        manifest.type = dataType() == kDataType357 ? L"357" : z54() ? L"Z54" : L"358";
        manifest.mode = bigEndian() ? L"PS3" : L"PC";
        for (const auto& [entry, bytes] : data) {
            ModMember m;
            m.file = archiveName(0);
            m.entry = entry;
            m.path = padded6(entry) + L".data";
            m.data = {uint32_t(bytes.size()), ModHash(bytes.data(), bytes.size())};
            const Bytes& original = originals.at(entry);
            m.original = {uint32_t(original.size()), ModHash(original.data(), original.size())};
            EXPECT_TRUE(writeBytes(folder + kSep + m.path, bytes));
            manifest.members.push_back(m);
        }
        const std::string json = WriteModManifest(manifest);
        EXPECT_TRUE(writeBytes(folder + kSep + L"mod.json", Bytes(json.begin(), json.end())));
        return folder;
    }
    ModPackage read(const std::wstring& folder) const {
        ModPackage package;
        EXPECT_TRUE(ReadModPackage(folder, package).ok());
        return package;
    }
    Status add(const std::vector<const ModPackage*>& packages, ModAddOptions options = {},
               std::vector<ModFinding>* findings = nullptr) const {
        ModAddition addition(archive(), packages, options);
        Status checked = addition.check();
        if (findings != nullptr)
            *findings = addition.findings();
        return checked ? addition.apply() : checked;
    }
    Status remove(const std::wstring& name, ModRemoval* out = nullptr) const {
        ModRemoval removal;
        Status status = RemoveMod(archive(), name, removal);
        if (out != nullptr)
            *out = removal;
        return status;
    }
    IntentSettlement settle() const {
        IntentSettlement settled;
        EXPECT_TRUE(SettleModIntent(archive(), settled).ok());
        return settled;
    }
    // The archive and index files alone, as the game holds them.
    std::map<std::wstring, Bytes> gameBytes() const {
        std::map<std::wstring, Bytes> out;
        for (const std::wstring& f : gameFiles())
            out[f] = readBytes(f);
        return out;
    }
    // After whatever a cut-off step left, a full restore still gives back `pristine`.
    void expectRestoredTo(const std::map<std::wstring, Bytes>& pristine) const {
        ASSERT_EQ(restore(), 0);
        EXPECT_TRUE(gameBytes() == pristine);
        EXPECT_FALSE(platform::pathExists(ledgerPath()));
    }
    std::vector<std::wstring> appliedMods() const {
        ModsState state;
        EXPECT_TRUE(InspectMods(archive(), state).ok());
        std::vector<std::wstring> names;
        for (const ModLedgerMod& m : state.ledger.mods)
            names.push_back(m.name);
        return names;
    }
};

// Five members of every kind in one archive file; the 357 game spreads them over two.
class ModsEveryKind : public ::testing::TestWithParam<GameKind> {
  protected:
    ModsEveryKind() : game(GetParam().dataType, GetParam().bigEndian) {
        game.builder.addRaw(mixedData(3000, 1));
        game.builder.addCompressed(mixedData(70000, 2));
        game.builder.addUnused();
        if (game.dataType() == kDataType357)
            game.builder.startNextFile();
        game.builder.addRaw(mixedData(700, 3), kIdxMarkerRawTagged);
        game.builder.addCompressed(mixedData(20000, 4));
        game.write();
        originals = game.members();
        pristine = game.gameBytes();
        EXPECT_EQ(game.backup(), 0);
        a = game.package(L"A", {{0, mixedData(4000, 10)}, {1, mixedData(50000, 11)}}, originals);
        b = game.package(L"B", {{1, mixedData(9000, 12)}, {4, mixedData(30000, 13)}}, originals);
    }
    ModGame game;
    std::vector<Bytes> originals;
    std::map<std::wstring, Bytes> pristine;
    std::wstring a, b;
};

TEST_P(ModsEveryKind, StackedModsComeOffOneAtATime) {
    const ModPackage pa = game.read(a), pb = game.read(b);
    // B over A's entry 1 is a conflict unless the later one is to win; nothing is written.
    const auto before = game.everything();
    std::vector<ModFinding> findings;
    EXPECT_EQ(game.add({&pa, &pb}, {}, &findings).error(), Error::ModConflict);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].kind, ModFinding::kSetByEarlier);
    EXPECT_EQ(findings[0].entry, 1u);
    EXPECT_EQ(findings[0].holder, L"A");
    EXPECT_TRUE(game.everything() == before);

    ASSERT_TRUE(game.add({&pa}).ok());
    EXPECT_EQ(game.add({&pb}).error(), Error::ModConflict); // A holds entry 1
    EXPECT_EQ(game.add({&pa}).error(), Error::ModAlreadyApplied);
    ModAddOptions over;
    over.over = true;
    ASSERT_TRUE(game.add({&pb}, over).ok());
    std::vector<Bytes> expected = originals;
    expected[0] = mixedData(4000, 10);
    expected[1] = mixedData(9000, 12);
    expected[4] = mixedData(30000, 13);
    EXPECT_TRUE(game.members() == expected);
    for (uint32_t entry : {0u, 1u, 4u})
        EXPECT_EQ(game.slot(entry), 0u) << entry;
    EXPECT_EQ(game.appliedMods(), (std::vector<std::wstring>{L"A", L"B"}));
    EXPECT_EQ(game.backup(), -8); // would take the mods' data as the original

    // A comes off under B: entry 0 back to the original, entry 1 stays B's.
    ModRemoval removal;
    ASSERT_TRUE(game.remove(L"A", &removal).ok());
    EXPECT_EQ(removal.restored, std::vector<uint32_t>{0});
    EXPECT_EQ(removal.dropped, std::vector<uint32_t>{1});
    expected[0] = originals[0];
    EXPECT_TRUE(game.members() == expected);
    EXPECT_EQ(game.remove(L"A").error(), Error::ModNotApplied);
    ASSERT_TRUE(game.remove(L"B").ok());
    EXPECT_TRUE(game.members() == originals);
    EXPECT_TRUE(game.appliedMods().empty());

    // A restore cuts the dead data away and the ledger with it.
    ASSERT_TRUE(game.add({&pa}).ok());
    ASSERT_EQ(game.restore(), 0);
    EXPECT_FALSE(platform::pathExists(game.ledgerPath()));
    EXPECT_TRUE(game.members() == originals);
    EXPECT_TRUE(game.snapshot() == [&] {
        auto files = before;
        files.erase(game.ledgerPath());
        files.erase(game.intentPath());
        files.erase(game.copyPath());
        return files;
    }());
}

// A pin of the stored bytes that the game's do not match (another tool's, or a game that stores
// the member otherwise) leaves the decoded pin to decide.
TEST_P(ModsEveryKind, AStoredPinThatDoesNotMatchLeavesItToTheDecodedPin) {
    ModPackage pb = game.read(b);
    for (ModMember& member : pb.manifest.members)
        member.stored = ModMemberPin{member.original.size / 2, std::wstring(32, L'0')};
    ModPackage wrong = pb;
    wrong.manifest.name = L"B2";
    wrong.manifest.members[0].original.hash = std::wstring(32, L'1');
    std::vector<ModFinding> findings;
    EXPECT_EQ(game.add({&wrong}, {}, &findings).error(), Error::ModConflict);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].kind, ModFinding::kOriginalChanged);
    ASSERT_TRUE(game.add({&pb}).ok());
    std::vector<Bytes> withB = originals;
    withB[1] = mixedData(9000, 12);
    withB[4] = mixedData(30000, 13);
    EXPECT_TRUE(game.members() == withB);
}

TEST_P(ModsEveryKind, RefusalsWriteNothing) {
    // An entry an import changed is changed outside the mods; --over wins over it.
    ASSERT_TRUE(writeBytes(game.importFolder() + kSep + L"000004.data", mixedData(10, 9)));
    game.select();
    {
        OutputCapture quiet;
        cli::ImportMembers(cli::archiveSelection, game.archivePath(0));
    }
    const auto before = game.everything();
    const ModPackage pb = game.read(b);
    std::vector<ModFinding> findings;
    EXPECT_EQ(game.add({&pb}, {}, &findings).error(), Error::ModConflict);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].kind, ModFinding::kChangedOutside);
    EXPECT_TRUE(game.everything() == before);

    // A pin that no longer matches the original, and an entry the game does not have.
    std::vector<Bytes> wrong = originals;
    wrong[0][5] ^= 1;
    wrong.push_back(mixedData(5, 5));
    const ModPackage pc = game.read(game.package(L"C", {{0, mixedData(2, 1)}}, wrong));
    const ModPackage pd = game.read(game.package(L"D", {{5, mixedData(2, 2)}}, wrong));
    EXPECT_EQ(game.add({&pc}, {}, &findings).error(), Error::ModConflict);
    EXPECT_EQ(findings.at(0).kind, ModFinding::kOriginalChanged);
    EXPECT_EQ(game.add({&pd}, {}, &findings).error(), Error::ModConflict);
    EXPECT_EQ(findings.at(0).kind, ModFinding::kEntryMissing);
    EXPECT_TRUE(game.everything() == before);

    // A member file that is not the manifest's, a ledger that does not read, a leftover intent.
    Bytes damaged = readBytes(a + kSep + L"000001.data");
    damaged[7] ^= 1;
    ASSERT_TRUE(writeBytes(a + kSep + L"000001.data", damaged));
    ModPackage package;
    EXPECT_EQ(ReadModPackage(a, package).error(), Error::ModMemberMismatch);
    const ModPackage pe = game.read(game.package(L"E", {{0, mixedData(5, 3)}}, originals));
    ASSERT_TRUE(writeBytes(game.ledgerPath(), Bytes{'{', '}'}));
    EXPECT_EQ(game.add({&pe}).error(), Error::ModLedgerInvalid);
    platform::removeFile(game.ledgerPath());
    ASSERT_TRUE(writeBytes(game.intentPath(), Bytes{'[', ']'}));
    EXPECT_EQ(game.add({&pe}).error(), Error::ModIntentPending);
    IntentSettlement settled;
    EXPECT_EQ(SettleModIntent(game.archive(), settled).error(), Error::ModIntentInvalid);
    platform::removeFile(game.intentPath());
    EXPECT_TRUE(game.everything() == before);
}

// The member files are checked on every worker; the answer is the first bad one in the manifest's
// order whatever the thread count, and a package whose files are whole reads.
TEST(ModPackages, TheFirstBadMemberIsTheAnswerForAnyThreadCount) {
    ModGame game(kDataTypeZ54, false);
    game.builder.addRaw(mixedData(100, 1));
    game.write();
    std::map<uint32_t, Bytes> data;
    for (uint32_t entry = 0; entry < 12; ++entry)
        data[entry] = mixedData(3000 + 500 * entry, 20 + entry);
    const std::wstring folder = game.package(L"M", data, std::vector<Bytes>(12, Bytes{1}));
    Bytes third = data[3];
    third[100] ^= 1;
    ASSERT_TRUE(writeBytes(folder + kSep + L"000003.data", third));
    platform::removeFile(folder + kSep + L"000008.data");
    auto answer = [&] {
        ModPackage package;
        return ReadModPackage(folder, package);
    };
    for (unsigned threads : {1u, 2u, 5u}) {
        SCOPED_TRACE(threads);
        SetWorkerCount(threads);
        const Status status = answer();
        EXPECT_EQ(status.error(), Error::ModMemberMismatch);
        EXPECT_NE(status.message().find(L"000003.data" + std::wstring(msg::kModMemberOtherHash)),
                  std::wstring::npos)
            << status.message();
    }
    ASSERT_TRUE(writeBytes(folder + kSep + L"000003.data", data[3]));
    EXPECT_NE(answer().message().find(L"000008.data" + std::wstring(msg::kModMemberMissing)),
              std::wstring::npos);
    ASSERT_TRUE(writeBytes(folder + kSep + L"000008.data", data[8]));
    EXPECT_TRUE(answer().ok());
    SetWorkerCount(0);
}

// The step stopped at the n-th file operation (every one after it failing, as a process killed
// there would leave the files), then settled: the mod is fully in or fully out.
TEST_P(ModsEveryKind, CutOffAtEveryFileOperationEndsFullyInOrOut) {
    // Dead data of an earlier mod behind the saved end, and a ledger, as a step finds them.
    const ModPackage pa = game.read(a);
    ASSERT_TRUE(game.add({&pa}).ok());
    ASSERT_TRUE(game.remove(L"A").ok());
    const auto start = game.everything();
    const ModPackage pb = game.read(b);
    std::vector<Bytes> withB = originals;
    withB[1] = mixedData(9000, 12);
    withB[4] = mixedData(30000, 13);
    // A step cut off with its intent written and its ledger not yet comes back in: the
    // intent's hashes of what it appended are those of the bytes on the disk.
    bool sawIn = false, sawOut = false, sawRolledForward = false;
    int moments = 0;
    for (uint64_t strike = 1;; ++strike) {
        SCOPED_TRACE(strike);
        game.putBack(start);
        ModAddition addition(game.archive(), {&pb}, {});
        ASSERT_TRUE(addition.check().ok());
        FaultPlan plan;
        plan.strikeAt = strike;
        plan.sticky = true;
        libraryFaults().arm(plan);
        const bool done = addition.apply().ok();
        libraryFaults().disarm();
        const uint64_t struck = libraryFaults().struck();
        const Bytes ledger = readBytes(game.ledgerPath());
        const bool onlyIntent =
            platform::pathExists(game.intentPath()) &&
            std::string(ledger.begin(), ledger.end()).find("\"B\"") == std::string::npos;
        game.settle();
        EXPECT_FALSE(platform::pathExists(game.intentPath()));
        const std::vector<Bytes> now = game.members();
        const bool in = now == withB && game.appliedMods() == std::vector<std::wstring>{L"B"};
        const bool out = now == originals && game.appliedMods().empty();
        EXPECT_TRUE(in || out);
        EXPECT_TRUE(!done || in);
        sawIn |= in;
        sawOut |= out;
        sawRolledForward |= in && onlyIntent;
        game.expectRestoredTo(pristine);
        if (struck == 0)
            break;
        ++moments;
    }
    EXPECT_TRUE(sawIn && sawOut && sawRolledForward);
    // The same for taking a mod out.
    game.putBack(start);
    ASSERT_TRUE(game.add({&pb}).ok());
    const auto applied = game.everything();
    for (uint64_t strike = 1;; ++strike) {
        SCOPED_TRACE(strike);
        game.putBack(applied);
        FaultPlan plan;
        plan.strikeAt = strike;
        plan.sticky = true;
        libraryFaults().arm(plan);
        game.remove(L"B");
        libraryFaults().disarm();
        const uint64_t struck = libraryFaults().struck();
        game.settle();
        const std::vector<Bytes> now = game.members();
        EXPECT_TRUE((now == withB && game.appliedMods().size() == 1) ||
                    (now == originals && game.appliedMods().empty()));
        game.expectRestoredTo(pristine);
        if (struck == 0)
            break;
        ++moments;
    }
    std::printf("MODADD and MODDEL cut off at %d file operations in all, each ending fully in or "
                "out\n",
                moments);
}

// A data set aside: the game changed after the step stopped (a restore came between), so the
// intent is never applied.
TEST_P(ModsEveryKind, AnIntentOfAnotherGameIsSetAside) {
    const ModPackage pa = game.read(a);
    ModAddition addition(game.archive(), {&pa}, {});
    ASSERT_TRUE(addition.check().ok());
    // Stopped once the intent is durable: the first rename after the data is flushed.
    FaultPlan plan;
    plan.operations = platform::kFaultRename;
    plan.strikeAt = 2; // the intent's own rename passes, the ledger's does not
    plan.sticky = true;
    libraryFaults().arm(plan);
    EXPECT_FALSE(addition.apply().ok());
    libraryFaults().disarm();
    ASSERT_TRUE(platform::pathExists(game.intentPath()));
    ASSERT_EQ(game.restore(), 0);
    const IntentSettlement settled = game.settle();
    EXPECT_EQ(settled.kind, IntentSettlement::kSetAside);
    EXPECT_EQ(settled.mods, std::vector<std::wstring>{L"A"});
    EXPECT_TRUE(platform::pathExists(settled.asidePath));
    EXPECT_TRUE(game.members() == originals);
    EXPECT_TRUE(game.appliedMods().empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, ModsEveryKind, ::testing::ValuesIn(allGameKinds()), kindName);

#ifndef _WIN32
// A child process killed by a signal at moments spread over the step: the next step finds the
// mod fully in or fully out.
TEST(ModsKilled, AChildKilledMidStepLeavesTheModFullyInOrOut) {
    ModGame game(kDataType358, false);
    for (uint32_t i = 0; i < 40; ++i)
        game.builder.addCompressed(mixedData(20000, i));
    game.write();
    const std::vector<Bytes> originals = game.members();
    const std::map<std::wstring, Bytes> pristine = game.gameBytes();
    ASSERT_EQ(game.backup(), 0);
    std::map<uint32_t, Bytes> data;
    for (uint32_t i = 0; i < 40; i += 2)
        data[i] = mixedData(60000, 100 + i);
    const ModPackage package = game.read(game.package(L"K", data, originals));
    std::vector<Bytes> withK = originals;
    for (const auto& [entry, bytes] : data)
        withK[entry] = bytes;
    const auto start = game.everything();
    // One run unkilled tells how long the step takes; the kills are spread over that.
    auto runChild = [&](std::optional<std::chrono::microseconds> killAfter) {
        const pid_t child = fork();
        EXPECT_GE(child, 0);
        if (child == 0) {
            SetWorkerCount(1); // the parent's worker threads are not in the child
            ModAddition addition(game.archive(), {&package}, {});
            _exit(addition.check() && addition.apply() ? 0 : 1);
        }
        if (killAfter) {
            std::this_thread::sleep_for(*killAfter);
            kill(child, SIGKILL);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return status;
    };
    game.putBack(start);
    const auto began = std::chrono::steady_clock::now();
    ASSERT_EQ(runChild(std::nullopt), 0);
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - began);
    int in = 0, out = 0;
    for (int k = 0; k <= 24; ++k) {
        SCOPED_TRACE(k);
        game.putBack(start);
        runChild(took * k / 20);
        game.settle();
        const std::vector<Bytes> now = game.members();
        const bool isIn = now == withK && game.appliedMods() == std::vector<std::wstring>{L"K"};
        const bool isOut = now == originals && game.appliedMods().empty();
        EXPECT_TRUE(isIn || isOut);
        in += isIn;
        out += isOut;
        game.expectRestoredTo(pristine);
    }
    std::printf("A child killed 25 times over %lld us: %d times fully in, %d fully out\n",
                static_cast<long long>(took.count()), in, out);
    EXPECT_GT(in, 0);
    EXPECT_GT(out, 0);
}
#endif

} // namespace
} // namespace karv::test
