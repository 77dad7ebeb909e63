// MODADD, MODDEL, MODS and MODREAPPLY end to end on the Z54 test game (a.bin: a raw member, a
// compressed one and an unused entry; b.bin: one compressed member): mods made by MODMAKE,
// applied, stacked, taken out and applied again after a simulated update, the members read back
// by EXPORT and compared with the mods' files; refusals that leave every file as it was.
#include "boundary/messages.h"
#include "karvcore/mod_ledger.h"
#include "karvcore/mods.h"
#include "mod_games.h"
#include "platform/filesystem.h"
#include "texts.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace karv::test {
namespace {

using Files = std::map<std::wstring, Bytes>; // by package path ("a/000001.data")

const Bytes kA0 = content(3000, 1), kA1 = content(9000, 2), kB0 = content(7000, 3);

std::wstring native(std::wstring path) {
    for (wchar_t& c : path)
        c = c == L'/' ? platform::kPathSeparator : c;
    return path;
}

// Makes mod `name` in mods/<name> from `files` put into game Z's import folder, and takes them
// out of it again.
void makeMod(const ModGames& games, const std::wstring& name, const Files& files) {
    for (const auto& [path, bytes] : files)
        games.edit(L"game/Import/" + path, bytes);
    ProgramRun r = games.run({L"MODMAKE", L"Z", L"mods" + kSep + name});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    for (const auto& [path, bytes] : files)
        EXPECT_TRUE(platform::removeFile(games.game(L"Import" + kSep + native(path))));
}

// Game Z's members as EXPORT writes them (beside the archive files: the game names no folder).
Files exported(const ModGames& games) {
    ProgramRun r = games.run({L"EXPORT", L"Z"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    Files members;
    for (const wchar_t* path : {L"a/000000.data", L"a/000001.data", L"b/000000.data"})
        members[path] = readBytes(games.game(native(path)));
    return members;
}

std::string modLine(const std::wstring& name) {
    return utf8(text::kModQuoteOpen + name + text::kModQuoteClose);
}

// "a.bin 第 1 项：MOD“B”" + what
std::string entryLine(const std::wstring& file, uint32_t entry, const std::wstring& mod,
                      const std::wstring& what) {
    return utf8(file + L" " + text::kModEntryOpen + std::to_wstring(entry) + text::kModEntryClose) +
           modLine(mod) + utf8(what);
}

std::string addedLine(const std::wstring& file, const std::wstring& mods, uint32_t count) {
    return utf8(text::kModAddedOpen + file + text::kModAddedMods + mods + text::kModAddedCount +
                std::to_wstring(count) + text::kModAddedEnd);
}

std::string removedLine(const std::wstring& file, const std::wstring& mod, size_t count) {
    return utf8(text::kModRemovedOpen + file + text::kModRemovedMod + text::kModQuoteOpen + mod +
                text::kModQuoteClose + text::kModRemovedCount + std::to_wstring(count) +
                text::kModRestoredEnd);
}

// MODADD's refusal of a file's step whose findings block it.
std::string conflictLine(const std::wstring& file) {
    return utf8(file + L" " + text::kModAddRefusedBecause + msg::kModConflict + L"\n");
}

const std::string kOverHint = utf8(text::kModOverHint);

// Runs `args` and expects exit code 1, `output` and every file as it was.
void expectRefused(const ModGames& games, const std::vector<std::wstring>& args,
                   const std::string& output) {
    const auto before = games.everything();
    ProgramRun r = games.run(args);
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_EQ(r.output, output);
    EXPECT_EQ(games.everything(), before);
}

TEST(ModCommands, TwoModsGoInTogetherAndAConflictBetweenThemNeedsOver) {
    // PC here; the next test runs the steps on a PS3 game.
    ModGames games(false);
    ASSERT_EQ(games.run({L"BACKUP", L"Z"}).exitCode, 0);
    const Files a = {{L"a/0.data", content(100, 21)}, {L"a/1.data", content(9500, 22)}};
    const Files b = {{L"a/1.data", content(400, 23)}, {L"b/0.data", content(60, 24)}};
    // A is tried in the game first, then the game is given back its originals.
    for (const auto& [path, bytes] : a)
        games.edit(L"game/Import/" + path, bytes);
    ASSERT_EQ(games.run({L"IMPORT", L"Z", L"a.bin"}).exitCode, 0);
    makeMod(games, L"A", a);
    ASSERT_EQ(games.run({L"RESTORE", L"Z"}).exitCode, 0);
    makeMod(games, L"B", b);

    const std::wstring modA = L"mods" + kSep + L"A", modB = L"mods" + kSep + L"B";
    expectRefused(games, {L"MODADD", L"Z", modA, modB},
                  entryLine(L"a.bin", 1, L"B", text::kModSetByEarlier) + modLine(L"A") +
                      utf8(text::kModSetEnd) + conflictLine(L"a.bin") + kOverHint);

    ProgramRun r = games.run({L"MODADD", L"Z", modA, modB, L"--over"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, entryLine(L"a.bin", 1, L"B", text::kModOverEarlier) + modLine(L"A") +
                            utf8(text::kModOverEnd) + addedLine(L"a.bin", L"MOD“A”MOD“B”", 3) +
                            addedLine(L"b.bin", L"MOD“A”MOD“B”", 1));
    EXPECT_EQ(exported(games), (Files{{L"a/000000.data", a.at(L"a/0.data")},
                                      {L"a/000001.data", b.at(L"a/1.data")},
                                      {L"b/000000.data", b.at(L"b/0.data")}}));

    r = games.run({L"MODS", L"Z", L"--json"});
    EXPECT_EQ(r.exitCode, 0);
    const auto mod = [&](const wchar_t* name, std::vector<uint32_t> entries) {
        return nlohmann::json{
            {"name", utf8(name)}, {"folder", utf8(games.mod(name))}, {"entries", entries}};
    };
    // The mods as a vector: a braced list of one would make an object rather than an array.
    const auto file = [](const char* name, const std::vector<nlohmann::json>& mods,
                         const char* overridden) {
        return nlohmann::json{{"name", name},
                              {"mods", nlohmann::json(mods)},
                              {"overridden", nlohmann::json::parse(overridden)},
                              {"outside", nlohmann::json::array()},
                              {"gone", false}};
    };
    EXPECT_EQ(nlohmann::json::parse(r.output),
              (nlohmann::json{{"game", "Z"},
                              {"changed", false},
                              {"files",
                               {file("a.bin", {mod(L"A", {0, 1}), mod(L"B", {1})},
                                     R"([{"entry": 1, "by": "B", "over": ["A"]}])"),
                                file("b.bin", {mod(L"B", {0})}, "[]")}}}));
}

TEST(ModCommands, TakingOutTheMiddleModGivesBackTheLayerBelowAndLeavesImportsAlone) {
    ModGames games(true);
    ASSERT_EQ(games.run({L"BACKUP", L"Z"}).exitCode, 0);
    const Files a = {{L"a/0.data", content(100, 31)},
                     {L"a/1.data", content(200, 32)},
                     {L"b/0.data", content(300, 33)}};
    makeMod(games, L"A", a);
    makeMod(games, L"B", {{L"a/1.data", content(210, 34)}, {L"b/0.data", content(310, 35)}});
    const Bytes c0 = content(320, 36);
    makeMod(games, L"C", {{L"b/0.data", c0}});
    const std::wstring modB = L"mods" + kSep + L"B";

    ASSERT_EQ(games.run({L"MODADD", L"Z", L"mods" + kSep + L"A"}).exitCode, 0);
    expectRefused(games, {L"MODADD", L"Z", modB},
                  entryLine(L"a.bin", 1, L"B", text::kModSetByApplied) + modLine(L"A") +
                      utf8(text::kModSetEnd) + conflictLine(L"a.bin") +
                      entryLine(L"b.bin", 0, L"B", text::kModSetByApplied) + modLine(L"A") +
                      utf8(text::kModSetEnd) + conflictLine(L"b.bin") + kOverHint);
    ASSERT_EQ(games.run({L"MODADD", L"Z", modB, L"--over"}).exitCode, 0);
    ASSERT_EQ(games.run({L"MODADD", L"Z", L"mods" + kSep + L"C", L"--over"}).exitCode, 0);

    expectRefused(games, {L"MODDEL", L"Z", L"X"},
                  utf8(text::kModNotAppliedOpen + std::wstring(L"X") + text::kModNotAppliedEnd));
    ProgramRun r = games.run({L"MODDEL", L"Z", L"B"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, removedLine(L"a.bin", L"B", 1) +
                            utf8(L"b.bin " + std::wstring(text::kModStillOverridden) + L"0" +
                                 text::kModStillOverriddenEnd) +
                            removedLine(L"b.bin", L"B", 0));
    EXPECT_EQ(exported(games), (Files{{L"a/000000.data", a.at(L"a/0.data")},
                                      {L"a/000001.data", a.at(L"a/1.data")},
                                      {L"b/000000.data", c0}}));

    // An import over A's entry 0: MODS and MODDEL leave it to the player.
    const Bytes imported = content(50, 37);
    games.edit(L"game/Import/a/0.data", imported);
    ASSERT_EQ(games.run({L"IMPORT", L"Z", L"a.bin"}).exitCode, 0);
    const std::wstring folderA = games.mod(L"A"), folderC = games.mod(L"C");
    r = games.run({L"MODS", L"Z"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, utf8(L"文件 a.bin：\n"
                             L"  1. MOD“A”（" +
                             folderA +
                             L"）：第 0、1 项\n"
                             L"  第 0 项：已被 MOD 以外的操作（例如导入）修改\n"
                             L"文件 b.bin：\n"
                             L"  1. MOD“A”（" +
                             folderA +
                             L"）：第 0 项\n"
                             L"  2. MOD“C”（" +
                             folderC +
                             L"）：第 0 项\n"
                             L"  第 0 项：MOD“C”覆盖了 MOD“A”\n"));
    r = games.run({L"MODDEL", L"Z", L"A"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, utf8(L"a.bin " + std::wstring(text::kModEntryOpen) + L"0" +
                             text::kModEntryClose + text::kModLeftAlone) +
                            removedLine(L"a.bin", L"A", 1) +
                            utf8(L"b.bin " + std::wstring(text::kModStillOverridden) + L"0" +
                                 text::kModStillOverriddenEnd) +
                            removedLine(L"b.bin", L"A", 0));
    EXPECT_EQ(
        exported(games),
        (Files{{L"a/000000.data", imported}, {L"a/000001.data", kA1}, {L"b/000000.data", c0}}));
}

TEST(ModCommands, BackupWaitsForTheModsAndRestoreTakesThemAllOut) {
    ModGames games(false);
    const std::string a = readFileBytes(games.game(L"a.bin")),
                      b = readFileBytes(games.game(L"b.bin"));
    ASSERT_EQ(games.run({L"BACKUP", L"Z"}).exitCode, 0);
    const Files mod = {{L"a/1.data", content(100, 41)}, {L"b/0.data", content(200, 42)}};
    makeMod(games, L"A", mod);
    ASSERT_EQ(games.run({L"MODADD", L"Z", L"mods" + kSep + L"A"}).exitCode, 0);

    const auto before = games.everything();
    const std::wstring refused =
        text::kBackupFailedBecause + std::wstring(msg::kBackupWithModsApplied) + L"\n";
    ProgramRun r;
    // --force would not help, so it is not what the refusal asks for.
    for (bool force : {true, false}) {
        r = force ? games.run({L"BACKUP", L"Z", L"--force"}) : games.run({L"BACKUP", L"Z"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.output, utf8(text::kCurrentFile + std::wstring(L"a.bin\n") + refused +
                                 text::kCurrentFile + L"b.bin\n" + refused));
        EXPECT_EQ(games.everything(), before);
    }

    ASSERT_EQ(games.run({L"RESTORE", L"Z"}).exitCode, 0);
    EXPECT_EQ(readFileBytes(games.game(L"a.bin")), a);
    EXPECT_EQ(readFileBytes(games.game(L"b.bin")), b);
    EXPECT_FALSE(platform::pathExists(games.game(L"a.bin") + kModLedgerSuffix));
    EXPECT_FALSE(platform::pathExists(games.game(L"b.bin") + kModLedgerSuffix));
    EXPECT_EQ(games.run({L"BACKUP", L"Z", L"--force"}).exitCode, 0);

    // Another copy of the game, without a backup.
    ModGames other(false);
    expectRefused(other, {L"MODADD", L"Z", games.mod(L"A")},
                  utf8(L"a.bin " + std::wstring(text::kModAddNeedsBackup)));
    r = other.run({L"MODADD", L"Z", games.mod(L"A"), L"--backup"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(exported(other), (Files{{L"a/000000.data", kA0},
                                      {L"a/000001.data", mod.at(L"a/1.data")},
                                      {L"b/000000.data", mod.at(L"b/0.data")}}));
}

// A game update that replaces a.bin and b.bin: a.bin's entry 1 has new data, the rest is kept.
void updateGame(const ModGames& games) {
    ArchiveBuilder a(kDataTypeZ54, games.ps3()), b(kDataTypeZ54, games.ps3());
    a.addRaw(kA0);
    a.addCompressed(content(9100, 40));
    a.addUnused();
    b.addCompressed(kB0);
    ASSERT_TRUE(a.write({games.game(L"a.bin")}, L"") && b.write({games.game(L"b.bin")}, L""));
}

TEST(ModCommands, ReapplyActsOnlyWhenAnUpdateTookEveryModOut) {
    for (bool ps3 : {false, true}) {
        ModGames games(ps3);
        SCOPED_TRACE(games.mode());
        ASSERT_EQ(games.run({L"BACKUP", L"Z"}).exitCode, 0);
        const Files a = {{L"a/0.data", content(100, 51)}, {L"a/1.data", content(200, 52)}};
        const Bytes b0 = content(300, 53);
        makeMod(games, L"A", a);
        makeMod(games, L"B", {{L"b/0.data", b0}});
        const auto quiet = [&](const std::wstring& line) {
            const auto before = games.everything();
            ProgramRun r = games.run({L"MODREAPPLY", L"Z"});
            EXPECT_EQ(r.exitCode, 0);
            EXPECT_EQ(r.output, utf8(line));
            EXPECT_EQ(games.everything(), before);
        };
        quiet(text::kModReapplyNoMods);
        ASSERT_EQ(
            games.run({L"MODADD", L"Z", L"mods" + kSep + L"A", L"mods" + kSep + L"B"}).exitCode, 0);
        quiet(text::kModReapplyNothing);

        // Entry 0 holds A's value, entry 1 the original again (16-byte entries after the header).
        const std::string withMods = readFileBytes(games.game(L"a.bin"));
        std::string mixed = withMods;
        const std::string original = readFileBytes(games.game(L"a.bin.idxbak"));
        mixed.replace(32, 16, original, 32, 16);
        ASSERT_TRUE(writeFileBytes(games.game(L"a.bin"), mixed));
        expectRefused(games, {L"MODREAPPLY", L"Z"},
                      utf8(L"a.bin " + std::wstring(text::kModReapplyMixed)));

        updateGame(games);
        const std::map<std::wstring, std::string> kept = {
            {L"a.bin.idxbak", original},
            {L"a.bin.qxdata", readFileBytes(games.game(L"a.bin.qxdata"))},
            {L"a.bin.karvmods", readFileBytes(games.game(L"a.bin.karvmods"))},
            {L"b.bin.idxbak", readFileBytes(games.game(L"b.bin.idxbak"))},
            {L"b.bin.karvmods", readFileBytes(games.game(L"b.bin.karvmods"))}};
        ProgramRun r = games.run({L"MODREAPPLY", L"Z"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.output, utf8(text::kBackupDone) +
                                entryLine(L"a.bin", 1, L"A", text::kModOriginalChangedSkipped) +
                                addedLine(L"a.bin", L"MOD“A”", 1) + utf8(text::kBackupDone) +
                                addedLine(L"b.bin", L"MOD“B”", 1));
        for (const auto& [name, bytes] : kept)
            EXPECT_EQ(readFileBytes(games.game(name + L".old")), bytes) << utf8(name);
        EXPECT_EQ(exported(games), (Files{{L"a/000000.data", a.at(L"a/0.data")},
                                          {L"a/000001.data", content(9100, 40)},
                                          {L"b/000000.data", b0}}));
        r = games.run({L"MODS", L"Z", L"--json"});
        const nlohmann::json state = nlohmann::json::parse(r.output);
        EXPECT_EQ(state["changed"], false);
        EXPECT_EQ(state["files"][0]["mods"][0]["entries"], nlohmann::json::parse("[0]"));
        EXPECT_EQ(state["files"][0]["gone"], false);
    }
}

// A copy of package A in mods/<name> with its manifest's text changed by `edit`.
std::wstring badCopy(const ModGames& games, const std::wstring& name,
                     const std::function<void(std::string&)>& edit) {
    std::string manifest = readFileBytes(games.mod(L"A") + kSep + kModManifestName);
    edit(manifest);
    games.edit(L"mods/" + name + L"/" + kModManifestName, Bytes(manifest.begin(), manifest.end()));
    for (const wchar_t* path : {L"a/000000.data", L"a/000001.data"})
        games.edit(L"mods/" + name + L"/" + path, readBytes(games.mod(L"A") + kSep + native(path)));
    return games.mod(name);
}

void replaceIn(std::string& text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from << " in " << text;
    text.replace(at, from.size(), to);
}

TEST(ModCommands, BadPackagesLedgersAndCommandLinesAreRefusedWithNothingWritten) {
    ModGames games(false);
    ASSERT_EQ(games.run({L"BACKUP", L"Z"}).exitCode, 0);
    makeMod(games, L"A", {{L"a/0.data", content(100, 61)}, {L"a/1.data", content(200, 62)}});
    makeMod(games, L"B", {{L"a/0.data", content(90, 64)}});
    const std::wstring quoted = badCopy(games, L"quoted", [](std::string& m) {
        replaceIn(m, "\"entry\": 1,", "\"entry\": \"1\",");
    });
    const std::wstring outside = badCopy(games, L"outside", [](std::string& m) {
        replaceIn(m, "\"path\": \"a/000001.data\"", "\"path\": \"a/../../A/a/000001.data\"");
    });
    const std::wstring beyond = badCopy(games, L"beyond", [](std::string& m) {
        replaceIn(m, "\"entry\": 1, \"path\": \"a/000001.data\"",
                  "\"entry\": 9, \"path\": \"a/000001.data\"");
    });
    const std::wstring longer = badCopy(games, L"longer", [](std::string&) {});
    games.edit(L"mods/longer/a/000001.data", content(201, 62));
    const std::wstring other = badCopy(games, L"other", [](std::string&) {});
    games.edit(L"mods/other/a/000001.data", content(200, 63));

    const std::string readFailed = utf8(text::kModReadFailedBecause);
    const auto memberLine = [&](const std::wstring& folder, const wchar_t* why) {
        return readFailed + utf8(msg::kModMemberQuote + folder + kSep + L"a" + kSep +
                                 L"000001.data" + why + L"\n");
    };
    expectRefused(games, {L"MODADD", L"Z", quoted},
                  readFailed + utf8(L"mod.json 中第 2 个成员的 entry 类型有误，应为整数！\n"));
    expectRefused(games, {L"MODADD", L"Z", outside},
                  readFailed +
                      utf8(L"mod.json 中第 2 个成员的 path \"a/../../A/a/000001.data\" 无效（" +
                           (msg::kManifestPathValue + std::wstring(L"）！\n"))));
    expectRefused(games, {L"MODADD", L"Z", beyond},
                  entryLine(L"a.bin", 9, L"A", text::kModEntryMissing) + conflictLine(L"a.bin"));
    expectRefused(games, {L"MODADD", L"Z", longer}, memberLine(longer, msg::kModMemberOtherLength));
    expectRefused(games, {L"MODADD", L"Z", other}, memberLine(other, msg::kModMemberOtherHash));

    // A ledger that does not parse.
    ASSERT_EQ(games.run({L"MODADD", L"Z", games.mod(L"A")}).exitCode, 0);
    ASSERT_TRUE(writeFileBytes(games.game(L"a.bin.karvmods"), "{\"format\": 1,"));
    const std::wstring cut = L"MOD 记录不是有效的 JSON 文本（第 1 行有误）！\n";
    expectRefused(games, {L"MODS", L"Z"}, utf8(L"a.bin " + (text::kModsFailedBecause + cut)));
    expectRefused(games, {L"MODADD", L"Z", games.mod(L"B")},
                  utf8(L"a.bin " + (text::kModAddRefusedBecause + cut)));

    // Wrong command lines.
    const auto wrong = [&](const std::vector<std::wstring>& args, const std::wstring& line,
                           const wchar_t* usage) {
        const auto before = games.everything();
        ProgramRun r = games.run(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.output, utf8(text::kCommandWrong + line + text::kUsagePrefix + usage));
        EXPECT_EQ(games.everything(), before);
    };
    wrong({L"MODADD", L"Z"}, text::kCommandMissingFolder, text::kUsageModAdd);
    wrong({L"MODDEL", L"Z"}, text::kCommandMissingModName, text::kUsageModDel);
    wrong({L"MODADD", L"Z", games.mod(L"A"), L"--bogus"},
          text::kCommandUnknownOption + std::wstring(L"--bogus") + text::kCommandQuoteClose,
          text::kUsageModAdd);
    wrong({L"MODS", L"Z", L"--over"},
          text::kCommandOption + std::wstring(L"--over") + text::kCommandNotFor + L"MODS" +
              text::kCommandLineEnd,
          text::kUsageMods);
}

// An intent whose backup fingerprint is not the backup's: the game changed since it was written.
TEST(ModCommands, AnIntentOfAnotherStateOfTheGameIsSetAside) {
    ModGames games(true);
    ASSERT_EQ(games.run({L"BACKUP", L"Z"}).exitCode, 0);
    const std::wstring intent = games.game(L"a.bin") + kModIntentSuffix;
    const std::string size = std::to_string(readFileBytes(games.game(L"a.bin")).size());
    const std::string zeros(32, '0');
    ASSERT_TRUE(writeFileBytes(
        intent, R"({"format": 1, "operation": "MODADD", "mods": ["X"], "backup": ")" + zeros +
                    R"(", "files": [{"file": 0, "size": )" + size + R"(, "from": )" + size +
                    R"(, "hash": ")" + zeros + R"("}], "entries": [], "ledger": {"format": 1,
                    "type": "Z54", "mode": "PS3", "mods": [{"name": "X", "folder": "x"}],
                    "entries": []}})"));
    const std::string bytes = readFileBytes(intent);
    ProgramRun r = games.run({L"MODS", L"Z"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, utf8(text::kModStepOpen + std::wstring(L"MODADD") + text::kModStepColon +
                             L"X" + text::kModStepClose + text::kModStepAside + L"game" + kSep +
                             L"a.bin.karvmods-intent.aside" + text::kModStepAsideEnd +
                             L"文件 a.bin：\n  没有应用 MOD\n文件 b.bin：\n  没有应用 MOD\n"));
    EXPECT_FALSE(platform::pathExists(intent));
    EXPECT_EQ(readFileBytes(intent + L".aside"), bytes);
}

} // namespace
} // namespace karv::test
