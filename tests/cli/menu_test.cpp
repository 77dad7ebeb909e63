// The interactive menus end to end: karvex reads its answers from piped input in a folder
// holding "游戏信息.txt" and the game files; the printed bytes, the backup files, the restored
// game and the written-back configuration are compared byte by byte.
#include "archive_builder.h"
#include "config_file.h"
#include "platform/filesystem.h"
#include "run_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

namespace karv::test {
namespace {

const std::wstring kSep(1, platform::kPathSeparator);

// ---- Expected screens ----

const std::string kSeparator = std::string(61, '=') + "\n";
const std::string kPause = utf8(L"请按任意键继续. . .\n");
const std::string kChooseGame = utf8(L"请选择要操作的游戏：");
const std::string kChooseFile = utf8(L"请选择要操作的文件：");
const std::string kChooseOperation = utf8(L"请选择要执行的操作：");
const std::string kBack = utf8(L"0. 返回上一级菜单\n");
const std::string kBackupNotice = utf8(L"注意：在备份前请尽可能确保游戏数据未修改过！\n");
const std::string kBackupQuestion = utf8(L"该操作将会生成备份文件，是否立即备份？\n") +
                                    kBackupNotice + utf8(L"1. 备份\n") + kBack + kChooseOperation;
const std::string kOverwriteQuestion = utf8(L"已存在备份文件，是否覆盖？\n") + kBackupNotice +
                                       utf8(L"1. 覆盖\n") + kBack + kChooseOperation;
const std::string kBackupFirstQuestion =
    utf8(L"未找到备份文件，是否立即备份？（不备份无法导入！）\n") + kBackupNotice +
    utf8(L"1. 备份\n") + kBack + kChooseOperation;
const std::string kRestoreQuestion =
    utf8(L"该操作会将 VOXBANK "
         L"恢复至备份时的状态，是否继续？\n注意：该操作不可逆！恢复前请想清楚！\n1. 恢复\n") +
    kBack + kChooseOperation;
const std::string kSplitQuestion =
    utf8(L"未指定 Voxbank 文件的切分信息，要立刻更新该信息吗？\n1. 更新\n") + kBack +
    kChooseOperation;
const std::string kBackupDone = utf8(L"备份数据成功！\n");
const std::string kRestoreDone = utf8(L"恢复数据成功！\n");
const std::string kSplitDone = utf8(L"更新 Voxbank 文件的切分信息成功！\n");
const std::string kSplitFailed = utf8(L"更新 Voxbank 文件的切分信息失败！\n");

std::string banner() {
    return utf8(L"Orvane系列 VOXBANK 导入&导出工具\n版本：v0.430 By Tamsk\n\n\n") + kSeparator;
}

std::string mainMenu(const std::vector<std::wstring>& games) {
    std::string out = banner() + utf8(L"0. 退出\n");
    for (size_t k = 0; k < games.size(); ++k)
        out += std::to_string(k + 1) + ". " + utf8(games[k]) + "\n";
    return out + kSeparator + kChooseGame;
}

std::string gameHeader(const std::wstring& game) {
    return banner() + utf8(L"正在操作的游戏：" + game + L"\n");
}

std::string operationItems(bool splitItem) {
    return utf8(L"1. 导出数据\n2. 导入数据\n3. 备份数据\n4. 恢复数据\n") +
           (splitItem ? utf8(L"5. 更新 Voxbank 文件的切分信息\n") : "") + kSeparator +
           kChooseOperation;
}

// A 357 game has no file menu: its game screen offers the operations.
std::string operations357(const std::wstring& game, bool splitItem) {
    return gameHeader(game) + kSeparator + kBack + operationItems(splitItem);
}

std::string fileMenu(const std::wstring& game, const std::vector<std::wstring>& files) {
    std::string out = gameHeader(game) + kSeparator + kBack;
    for (size_t k = 0; k < files.size(); ++k)
        out += std::to_string(k + 1) + ". " + utf8(files[k]) + "\n";
    return out + kSeparator + kChooseFile;
}

std::string operationMenu(const std::wstring& game, const std::wstring& file) {
    return gameHeader(game) + utf8(L"正在操作的文件：" + file + L"\n") + kSeparator + kBack +
           operationItems(false);
}

std::string le64(uint64_t value) {
    std::string out;
    for (int i = 0; i < 8; ++i)
        out += char((value >> (8 * i)) & 0xFF);
    return out;
}

Bytes member(size_t size, uint8_t seed) {
    Bytes out(size);
    for (size_t i = 0; i < size; ++i)
        out[i] = uint8_t(seed + i * 7 + (i >> 5));
    return out;
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class Menus : public ::testing::Test {
  protected:
    TempDir dir;
    std::wstring gameFolder = dir.file(L"game");
    std::wstring configPath = dir.file(L"游戏信息.txt");

    void SetUp() override { ASSERT_TRUE(platform::createDirectory(gameFolder)); }

    std::wstring game(const std::wstring& name) const { return gameFolder + kSep + name; }

    bool writeConfig(const std::wstring& text) {
        return writeFileBytes(configPath, ucs2File(text));
    }

    ProgramRun run(const std::string& input, std::vector<std::wstring> args = {}) {
        RunOptions options;
        options.workDir = dir.path();
        options.input = input;
        return runKarvex(args, options);
    }
};

// ---- Screens and number input ----

TEST_F(Menus, ScreensNavigationAndNumberInput) {
    ASSERT_TRUE(writeConfig(L"说明：此行在第一个游戏之前\r\n" +
                            record(L"甲 游戏", {{kLocation, gameFolder},
                                                {kType, L"Z54"},
                                                {kCount, L"2"},
                                                {kNames, L"one.bin/two.x.bin"}}) +
                            record(L"乙", {{kLocation, gameFolder}, {kType, L"357"}})));
    const std::vector<std::wstring> games = {L"甲 游戏", L"乙"};
    // Main menu: rejected tokens repeat the prompt silently; 002 is 2. The 357 game has no file
    // menu and no item 5; its 0 goes back to the main menu. The Z54 game's file menu rejects 3;
    // its operation menu rejects 5 and goes back to the file menu.
    ProgramRun r = run("abc 2a -1 +3 3 99999999999 002\n5 0\n1 3 2 5 0 0 0");
    std::string expected = mainMenu(games);
    for (int i = 0; i < 6; ++i)
        expected += kChooseGame;
    expected += operations357(L"乙", false) + kChooseOperation;
    expected += mainMenu(games);
    expected += fileMenu(L"甲 游戏", {L"one.bin", L"two.x.bin"}) + kChooseFile;
    expected += operationMenu(L"甲 游戏", L"two.x.bin") + kChooseOperation;
    expected += fileMenu(L"甲 游戏", {L"one.bin", L"two.x.bin"});
    expected += mainMenu(games);
    EXPECT_EQ(r.output, expected);
    EXPECT_EQ(r.exitCode, 0);
}

TEST_F(Menus, WithoutAUsableConfigurationTheProgramEndsQuietly) {
    // No file.
    ProgramRun r = run("1\n");
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(r.exitCode, 0);
    // No byte-order mark.
    ASSERT_TRUE(writeFileBytes(configPath, ucs2File(record(L"G", {})).substr(2)));
    r = run("1\n", {L"PC", L"N"});
    EXPECT_EQ(r.output, "");
    // No game: only "0. 退出", and every other number is asked again.
    ASSERT_TRUE(writeConfig(L"只有说明\r\n"));
    r = run("1 0", {L"ps3", L"d"});
    EXPECT_EQ(r.output, mainMenu({}) + kChooseGame);
    EXPECT_EQ(r.exitCode, 0);
}

TEST_F(Menus, EndOfInputAtEveryPromptEndsQuietly) {
    ArchiveBuilder z54(kDataTypeZ54, false);
    z54.addRaw(member(100, 1));
    ASSERT_TRUE(z54.write({game(L"z.bin")}, L""));
    const std::string config = ucs2File(
        record(L"Z",
               {{kLocation, gameFolder}, {kType, L"Z54"}, {kCount, L"1"}, {kNames, L"z.bin"}}) +
        record(L"S", {{kLocation, gameFolder},
                      {kType, L"357"},
                      {kIdxNames, L"s.idx"},
                      {kCount, L"3"},
                      {kNames, L"s0/s1/s2"},
                      {kSplit, L""}}));
    ASSERT_TRUE(writeFileBytes(configPath, config));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", kChooseGame},
        {"1", kChooseFile},
        {"1 1", kChooseOperation},
        {"1 1 1", utf8(L"请输入需要提取的文件起始序号：")},
        {"1 1 1 0", utf8(L"请输入需要提取的文件终止序号：")},
        {"1 1 1 0 0", utf8(L"1. 提取\n2. 不提取\n") + kBack + kChooseOperation},
        {"1 1 2", kBackupFirstQuestion},
        {"1 1 3", kBackupQuestion},
        {"1 1 4", kRestoreQuestion},
        {"2", operationItems(true)},
        {"2 3", kSplitQuestion},
    };
    for (const auto& [input, lastPrompt] : cases) {
        SCOPED_TRACE(input);
        ProgramRun r = run(input);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_TRUE(endsWith(r.output, lastPrompt)) << r.output;
    }
    // Nothing was backed up, exported or written back along the way.
    EXPECT_FALSE(platform::pathExists(game(L"z.bin.qxdata")));
    EXPECT_FALSE(platform::pathExists(game(L"z")));
    EXPECT_EQ(readFileBytes(configPath), config);
}

// ---- Backup and restore ----

std::string hex(uint32_t value) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), digits[value % 16]);
        value /= 16;
    } while (value);
    return out;
}

// One game of the backup and restore run.
struct BackupCase {
    std::wstring name;
    std::string reach;                  // answers from the main menu to the operation prompt
    std::string screens;                // what those answers show
    std::vector<std::wstring> archives; // files whose sizes the record holds, file 0 first
    std::wstring index;                 // 357/358 index file; empty for Z54
    uint32_t entries = 0;
    uint32_t growth = 256; // what an import would append (Z54: a whole unit)
};

// What an import does to a game: data behind each archive's end, a patched index entry, a slot.
void simulateImport(const BackupCase& c, const std::wstring& folder) {
    for (const std::wstring& name : c.archives) {
        std::string bytes = readFileBytes(folder + kSep + name);
        ASSERT_TRUE(writeFileBytes(folder + kSep + name, bytes + std::string(c.growth, '\xAB')));
    }
    std::wstring indexPath = folder + kSep + (c.index.empty() ? c.archives[0] : c.index);
    std::string index = readFileBytes(indexPath);
    size_t entry0 = c.index.empty() ? 16 : 0;
    index.replace(entry0, 8, "\x11\x22\x33\x44\x55\x66\x77\x08", 8);
    ASSERT_TRUE(writeFileBytes(indexPath, index));
    std::wstring recordPath = folder + kSep + c.archives[0] + L".qxdata";
    std::string record = readFileBytes(recordPath);
    ASSERT_GE(record.size(), 84u);
    record.replace(80, 4, "\x00\x01\x00\x00", 4);
    ASSERT_TRUE(writeFileBytes(recordPath, record));
}

TEST_F(Menus, BackupThenRestoreForEveryTypeAndByteOrder) {
    ArchiveBuilder a(kDataType357, false);
    a.addRaw(member(300, 1));
    a.addCompressed(member(5000, 2));
    a.startNextFile();
    a.addRaw(member(700, 3));
    a.addUnused();
    a.addCompressed(member(9000, 4));
    a.startNextFile();
    a.addRaw(member(40, 5));
    ASSERT_TRUE(a.write({game(L"a0.bin"), game(L"a1.bin"), game(L"a2.bin")}, game(L"a.idx")));
    ArchiveBuilder b(kDataType357, true);
    b.addCompressed(member(3000, 6));
    b.addRaw(member(10, 7));
    ASSERT_TRUE(b.write({game(L"b.bin")}, game(L"b.idx")));
    ArchiveBuilder z0(kDataTypeZ54, false), z1(kDataTypeZ54, false), z(kDataTypeZ54, true);
    z0.addRaw(member(90, 8));
    z1.addCompressed(member(7000, 9));
    z1.addRaw(member(60, 10), kIdxMarkerRawTagged);
    z1.addUnused();
    z.addRaw(member(2100, 11));
    z.addCompressed(member(4000, 12));
    ASSERT_TRUE(z0.write({game(L"z0.bin")}, L""));
    ASSERT_TRUE(z1.write({game(L"z1.bin")}, L""));
    ASSERT_TRUE(z.write({game(L"z.bin")}, L""));
    ArchiveBuilder c0(kDataType358, false), c1(kDataType358, false), d(kDataType358, true);
    c0.addRaw(member(500, 13));
    c1.addCompressed(member(300000, 14));
    c1.addRaw(member(1000, 15));
    d.addCompressed(member(8000, 16));
    ASSERT_TRUE(c0.write({game(L"c0.bin")}, game(L"c0.idx")));
    ASSERT_TRUE(c1.write({game(L"c1.bin")}, game(L"c1.idx")));
    ASSERT_TRUE(d.write({game(L"d.bin")}, game(L"d.idx")));

    auto splitText = [&] {
        std::string text =
            "0/" + hex(a.firstEntryOfFile(1) * 32) + "/" + hex(a.firstEntryOfFile(2) * 32);
        return std::wstring(text.begin(), text.end());
    };
    auto common = [&](const std::wstring& mode, const std::wstring& type) {
        return Lines{{kLocation, gameFolder}, {kMode, mode}, {kType, type}};
    };
    Lines g1 = common(L"PC", L"357");
    g1.insert(g1.end(), {{kIdxNames, L"a.idx"},
                         {kCount, L"3"},
                         {kNames, L"a0.bin/a1.bin/a2.bin"},
                         {kSplit, splitText()}});
    Lines g2 = common(L"PS3", L"357");
    g2.insert(g2.end(), {{kIdxNames, L"b.idx"}, {kCount, L"1"}, {kNames, L"b.bin"}});
    Lines g3 = common(L"PC", L"Z54");
    g3.insert(g3.end(), {{kCount, L"2"}, {kNames, L"z0.bin/z1.bin"}});
    Lines g4 = common(L"ps3", L"Z54");
    g4.insert(g4.end(), {{kCount, L"1"}, {kNames, L"z.bin"}});
    Lines g5 = common(L"PC", L"358");
    g5.insert(g5.end(), {{kIdxCount, L"2"},
                         {kIdxNames, L"c0.idx/c1.idx"},
                         {kCount, L"2"},
                         {kNames, L"c0.bin/c1.bin"}});
    Lines g6 = common(L"PS3", L"358");
    g6.insert(g6.end(), {{kIdxNames, L"d.idx"}, {kCount, L"1"}, {kNames, L"d.bin"}});
    const std::vector<std::wstring> names = {L"357 PC",  L"357 PS3", L"Z54 PC",
                                             L"Z54 PS3", L"358 PC",  L"358 PS3"};
    ASSERT_TRUE(writeConfig(record(names[0], g1) + record(names[1], g2) + record(names[2], g3) +
                            record(names[3], g4) + record(names[4], g5) + record(names[5], g6)));

    const std::vector<BackupCase> cases = {
        {names[0],
         "1 ",
         operations357(names[0], true),
         {L"a0.bin", L"a1.bin", L"a2.bin"},
         L"a.idx",
         a.entryCount()},
        {names[1], "2 ", operations357(names[1], false), {L"b.bin"}, L"b.idx", b.entryCount()},
        {names[2],
         "3 2 ",
         fileMenu(names[2], {L"z0.bin", L"z1.bin"}) + operationMenu(names[2], L"z1.bin"),
         {L"z1.bin"},
         L"",
         z1.entryCount(),
         2048},
        {names[3],
         "4 1 ",
         fileMenu(names[3], {L"z.bin"}) + operationMenu(names[3], L"z.bin"),
         {L"z.bin"},
         L"",
         z.entryCount(),
         2048},
        {names[4],
         "5 2 ",
         fileMenu(names[4], {L"c0.bin", L"c1.bin"}) + operationMenu(names[4], L"c1.bin"),
         {L"c1.bin"},
         L"c1.idx",
         c1.entryCount()},
        {names[5],
         "6 1 ",
         fileMenu(names[5], {L"d.bin"}) + operationMenu(names[5], L"d.bin"),
         {L"d.bin"},
         L"d.idx",
         d.entryCount()},
    };
    const std::map<std::wstring, std::string> original = folderFiles(gameFolder);

    std::string input, expected = mainMenu(names);
    for (const BackupCase& c : cases) {
        input += c.reach + "3 1\n";
        expected += c.screens + kBackupQuestion + kBackupDone + kPause + mainMenu(names);
    }
    ProgramRun r = run(input + "0\n");
    EXPECT_EQ(r.output, expected);

    // The index copies and the records: archive sizes, then one empty slot per entry.
    std::map<std::wstring, std::string> backedUp = original;
    for (const BackupCase& c : cases) {
        SCOPED_TRACE(utf8(c.name));
        std::string sizes;
        for (size_t i = 0; i < 10; ++i)
            sizes += le64(i < c.archives.size() ? original.at(c.archives[i]).size() : 0);
        std::wstring recordName = c.archives[0] + L".qxdata";
        EXPECT_EQ(readFileBytes(game(recordName)), sizes + std::string(4 * c.entries, '\0'));
        std::wstring copyName = (c.index.empty() ? c.archives[0] : c.index) + L".idxbak";
        std::string table = c.index.empty() ? original.at(c.archives[0]).substr(16, 16 * c.entries)
                                            : original.at(c.index);
        EXPECT_EQ(readFileBytes(game(copyName)), table);
        backedUp[recordName] = readFileBytes(game(recordName));
        backedUp[copyName] = table;
    }
    // Nothing else was written: the other files of the Z54 and 358 games have no backup.
    EXPECT_EQ(folderFiles(gameFolder), backedUp);

    for (const BackupCase& c : cases)
        simulateImport(c, gameFolder);
    ASSERT_NE(folderFiles(gameFolder), backedUp);

    // Asked again, the backup offers to overwrite; 0 and the restore's 0 change nothing.
    input = cases[0].reach + "3 0 " + cases[0].reach + "4 0\n";
    expected = mainMenu(names) + cases[0].screens + kOverwriteQuestion + mainMenu(names) +
               cases[0].screens + kRestoreQuestion + mainMenu(names);
    for (const BackupCase& c : cases) {
        input += c.reach + "4 1\n";
        expected += c.screens + kRestoreQuestion + kRestoreDone + kPause + mainMenu(names);
    }
    r = run(input + "0\n");
    EXPECT_EQ(r.output, expected);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(folderFiles(gameFolder), backedUp);
}

// ---- Checks before an operation ----

TEST_F(Menus, ChecksAndFailuresReturnToTheMainMenu) {
    ArchiveBuilder z(kDataTypeZ54, false);
    z.addRaw(member(64, 1));
    ASSERT_TRUE(z.write({game(L"z.bin")}, L""));
    ArchiveBuilder m(kDataType357, false);
    m.addRaw(member(64, 2));
    m.addRaw(member(64, 3));
    ASSERT_TRUE(writeBytes(game(L"m.idx"), m.index()));
    ASSERT_TRUE(writeBytes(game(L"m0.bin"), m.archive()));
    std::wstring elevenNames;
    for (int i = 0; i < 11; ++i)
        elevenNames += (i ? L"/f" : L"f") + std::to_wstring(i);
    const std::vector<std::wstring> names = {L"无位置",     L"名单不符",   L"无索引",
                                             L"Z54 无索引", L"十一个文件", L"缺文件"};
    ASSERT_TRUE(writeConfig(
        record(names[0], {{kType, L"Z54"}, {kCount, L"1"}, {kNames, L"z.bin"}}) +
        record(names[1], {{kLocation, gameFolder},
                          {kType, L"358"},
                          {kIdxNames, L"c.idx"},
                          {kCount, L"2"},
                          {kNames, L"c.bin"}}) +
        record(names[2],
               {{kLocation, gameFolder}, {kType, L"358"}, {kCount, L"1"}, {kNames, L"c.bin"}}) +
        record(names[3],
               {{kLocation, gameFolder}, {kType, L"Z54"}, {kCount, L"1"}, {kNames, L"z.bin"}}) +
        record(names[4], {{kLocation, gameFolder},
                          {kType, L"357"},
                          {kIdxNames, L"f.idx"},
                          {kCount, L"11"},
                          {kNames, elevenNames}}) +
        record(names[5], {{kLocation, gameFolder},
                          {kType, L"357"},
                          {kIdxNames, L"m.idx"},
                          {kCount, L"2"},
                          {kNames, L"m0.bin/m1.bin"},
                          {kSplit, L"0/20"},
                          {kImport, L"导入"}})));
    ASSERT_TRUE(platform::createDirectory(game(L"导入")));
    const std::map<std::wstring, std::string> original = folderFiles(gameFolder);
    const std::string noLocation = utf8(L"未指定游戏的路径或 Voxbank 文件名\n");
    const std::string main = mainMenu(names);

    ProgramRun r = run("1 1 3\n2 1 1\n3 1 4\n4 1 4 1\n5 1\n5 5\n6 3 1\n6 2 1\n0\n");
    std::string expected = main;
    expected += fileMenu(names[0], {L"z.bin"}) + operationMenu(names[0], L"z.bin") + noLocation +
                kPause + main;
    // A list that does not match its count leaves the names empty.
    expected +=
        fileMenu(names[1], {L"", L""}) + operationMenu(names[1], L"") + noLocation + kPause + main;
    expected += fileMenu(names[2], {L"c.bin"}) + operationMenu(names[2], L"c.bin") +
                utf8(L"未指定游戏的 IDX 文件名\n") + kPause + main;
    // A Z54 game needs no index name: the restore runs and the library finds no backup.
    expected += fileMenu(names[3], {L"z.bin"}) + operationMenu(names[3], L"z.bin") +
                kRestoreQuestion + utf8(L"恢复数据失败！原因：加载备份文件失败！\n") + kPause +
                main;
    const std::string tooMany = utf8(L"Voxbank 文件数量超过 10 个，无法操作该游戏！\n");
    expected += operations357(names[4], true) + tooMany + kPause + main;
    expected += operations357(names[4], true) + tooMany + kPause + main;
    const std::string backupFailed = utf8(L"备份数据失败！原因：打开 Voxbank 文件失败！\n");
    expected += operations357(names[5], true) + kBackupQuestion + backupFailed + kPause + main;
    // An import whose backup fails does not start.
    expected += operations357(names[5], true) + kBackupFirstQuestion + backupFailed + kPause + main;
    EXPECT_EQ(r.output, expected);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(folderFiles(gameFolder), original);
}

// ---- Export and import ----

const std::string kFirstPrompt = utf8(L"请输入需要提取的文件起始序号：");
const std::string kLastPrompt = utf8(L"请输入需要提取的文件终止序号：");
const std::string kTextureQuestion =
    utf8(L"是否一并提取 data 文件中的 dds 贴图\n1. 提取\n2. 不提取\n") + kBack + kChooseOperation;

std::string exportLine(const std::wstring& archive, const std::wstring& file) {
    return utf8(L"从 " + archive + L" 中导出文件 " + file + L" 成功！\n");
}

std::string asString(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

TEST_F(Menus, ExportAsksForTheRangeAndEndsTheProgram) {
    ArchiveBuilder z(kDataTypeZ54, false);
    z.addRaw(member(100, 1));
    z.addUnused();
    z.addCompressed(member(3000, 2));
    ASSERT_TRUE(writeBytes(game(L"one.bin"), Bytes(64, 1)));
    ASSERT_TRUE(z.write({game(L"y.x.bin")}, L""));
    const std::vector<std::wstring> names = {L"Z"};
    ASSERT_TRUE(writeConfig(record(names[0], {{kLocation, gameFolder},
                                              {kType, L"Z54"},
                                              {kCount, L"2"},
                                              {kNames, L"one.bin/y.x.bin"},
                                              {kExport, L"导出"}})));
    const std::string screens = mainMenu(names) + fileMenu(names[0], {L"one.bin", L"y.x.bin"}) +
                                operationMenu(names[0], L"y.x.bin");

    // 0 at the texture question goes back without exporting.
    ProgramRun r = run("1 2 1 0 0 0\n0\n");
    EXPECT_EQ(r.output, screens + kFirstPrompt + kLastPrompt + kTextureQuestion + mainMenu(names));
    EXPECT_FALSE(platform::pathExists(game(L"导出")));

    // Negative, non-numeric and beyond-32-bit numbers are asked again; the rest of the input
    // is never read.
    r = run("1 2 1 -1 4294967296 x 0 5 3 2\n1 2 3 1\n");
    const std::wstring folder = game(L"导出") + kSep + L"y" + kSep;
    EXPECT_EQ(r.output, screens + kFirstPrompt + kFirstPrompt + kFirstPrompt + kFirstPrompt +
                            kLastPrompt + kTextureQuestion + kChooseOperation +
                            exportLine(game(L"y.x.bin"), folder + L"000000.data") +
                            utf8(L"跳过未使用的文件！\n") +
                            exportLine(game(L"y.x.bin"), folder + L"000002.data") + kPause);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(readFileBytes(folder + L"000000.data"), asString(member(100, 1)));
    EXPECT_EQ(readFileBytes(folder + L"000002.data"), asString(member(3000, 2)));
    EXPECT_FALSE(platform::pathExists(folder + L"000001.data"));
    EXPECT_FALSE(platform::pathExists(folder + L"Textures"));
    EXPECT_FALSE(platform::pathExists(game(L"y.x.bin.qxdata")));
}

TEST_F(Menus, SplitInformationDerivedBeforeAnExportChoosesTheArchiveFiles) {
    ArchiveBuilder a(kDataType357, false);
    for (uint32_t i = 0; i < 131; ++i) {
        if (i == 61 || i == 128)
            a.startNextFile();
        a.addRaw(member(40, uint8_t(i)));
    }
    ASSERT_TRUE(a.write({game(L"a0"), game(L"a1"), game(L"a2")}, game(L"a.idx")));
    ASSERT_TRUE(writeConfig(record(L"甲", {{kLocation, gameFolder},
                                           {kType, L"357"},
                                           {kIdxNames, L"a.idx"},
                                           {kCount, L"3"},
                                           {kNames, L"a0/a1/a2"},
                                           {kSplit, L""},
                                           {kExport, L"导出"}})));
    ProgramRun r = run("1 1 1 60 62 1\n");
    const std::wstring folder = game(L"导出") + kSep;
    std::string lines;
    for (const wchar_t* file : {L"000060.data", L"000061.data", L"000062.data"})
        lines += exportLine(game(L"a0"), folder + file);
    EXPECT_EQ(r.output, mainMenu({L"甲"}) + operations357(L"甲", true) + kSplitQuestion +
                            kFirstPrompt + kLastPrompt + kTextureQuestion + lines + kPause);
    for (uint32_t i : {60u, 61u, 62u})
        EXPECT_EQ(readFileBytes(folder + L"0000" + std::to_wstring(i) + L".data"),
                  asString(member(40, uint8_t(i))));
    EXPECT_NE(readFileBytes(configPath).find(ucs2File(L"Voxbank 地址=0/7a0/1000\r\n").substr(2)),
              std::string::npos);
}

TEST_F(Menus, ImportBacksUpFirstAndUsesTheFolderOfTheArchiveFile) {
    ArchiveBuilder z(kDataTypeZ54, true);
    z.addRaw(member(100, 1));
    z.addCompressed(member(3000, 2));
    ASSERT_TRUE(z.write({game(L"y.x.bin")}, L""));
    ArchiveBuilder s(kDataType357, false);
    s.addRaw(member(100, 3));
    ASSERT_TRUE(s.write({game(L"s.bin")}, game(L"s.idx")));
    const std::vector<std::wstring> names = {L"Z", L"S"};
    ASSERT_TRUE(writeConfig(record(names[0], {{kLocation, gameFolder},
                                              {kMode, L"PS3"},
                                              {kType, L"Z54"},
                                              {kCount, L"1"},
                                              {kNames, L"y.x.bin"},
                                              {kImport, L"导入"}}) +
                            record(names[1], {{kLocation, gameFolder},
                                              {kType, L"357"},
                                              {kIdxNames, L"s.idx"},
                                              {kCount, L"1"},
                                              {kNames, L"s.bin"},
                                              {kImport, L"导入357"}})));
    // Z54: the archive file's own folder under the import folder; 357: the folder itself.
    ASSERT_TRUE(platform::createDirectory(game(L"导入")));
    ASSERT_TRUE(platform::createDirectory(game(L"导入") + kSep + L"y"));
    ASSERT_TRUE(platform::createDirectory(game(L"导入357")));
    ASSERT_TRUE(writeBytes(game(L"导入") + kSep + L"y" + kSep + L"0.data", member(300, 9)));
    ASSERT_TRUE(writeBytes(game(L"导入357") + kSep + L"0.data", member(30, 8)));
    const std::map<std::wstring, std::string> original = folderFiles(gameFolder);
    const std::string zScreens =
        mainMenu(names) + fileMenu(names[0], {L"y.x.bin"}) + operationMenu(names[0], L"y.x.bin");
    const std::string appended =
        utf8(L"向 " + game(L"y.x.bin") + L" 中添加未压缩文件 0.data 成功！\n");

    // Declining the backup returns to the main menu; accepting it imports at once.
    ProgramRun r = run("1 1 2 0\n1 1 2 1\n0\n");
    EXPECT_EQ(r.output, zScreens + kBackupFirstQuestion + mainMenu(names) +
                            fileMenu(names[0], {L"y.x.bin"}) + operationMenu(names[0], L"y.x.bin") +
                            kBackupFirstQuestion + kBackupDone + appended + kPause);
    EXPECT_TRUE(platform::pathExists(game(L"y.x.bin.qxdata")));

    // With a backup there is no question; the same file now fits its region.
    r = run("1 1 2\n");
    EXPECT_EQ(r.output, zScreens +
                            utf8(L"向 " + game(L"y.x.bin") + L" 中导入未压缩文件 0.data 成功！\n") +
                            kPause);

    r = run("2 2 1\n");
    EXPECT_EQ(r.output, mainMenu(names) + operations357(names[1], false) + kBackupFirstQuestion +
                            kBackupDone +
                            utf8(L"向 " + game(L"s.bin") + L" 中添加未压缩文件 0.data 成功！\n") +
                            kPause);

    // The restores put both games back.
    r = run("1 1 4 1\n2 4 1\n0\n");
    EXPECT_EQ(r.output, zScreens + kRestoreQuestion + kRestoreDone + kPause + mainMenu(names) +
                            operations357(names[1], false) + kRestoreQuestion + kRestoreDone +
                            kPause + mainMenu(names));
    for (const wchar_t* name : {L"y.x.bin", L"s.bin", L"s.idx"})
        EXPECT_EQ(readFileBytes(game(name)), original.at(name)) << utf8(name);
}

// A game update after the backup rewrote a member where the game had it and grew its file: the
// import and the restore refuse through the menus, and no file changes.
TEST_F(Menus, ImportAndRestoreRefuseAGameChangedSinceItsBackup) {
    ArchiveBuilder s(kDataType357, true);
    s.addRaw(member(500, 1));
    s.startNextFile();
    s.addCompressed(member(6000, 2));
    s.addRaw(member(300, 3));
    ASSERT_TRUE(s.write({game(L"s0.bin"), game(L"s1.bin")}, game(L"s.idx")));
    const std::vector<std::wstring> names = {L"S"};
    const std::string splitText = "0/" + hex(s.firstEntryOfFile(1) * 32);
    const std::wstring split(splitText.begin(), splitText.end());
    ASSERT_TRUE(writeConfig(record(names[0], {{kLocation, gameFolder},
                                              {kMode, L"PS3"},
                                              {kType, L"357"},
                                              {kIdxNames, L"s.idx"},
                                              {kCount, L"2"},
                                              {kNames, L"s0.bin/s1.bin"},
                                              {kSplit, split},
                                              {kImport, L"导入"}})));
    ASSERT_TRUE(platform::createDirectory(game(L"导入")));
    ASSERT_TRUE(writeBytes(game(L"导入") + kSep + L"2.data", member(200, 9)));
    ProgramRun r = run("1 3 1\n0\n");
    ASSERT_EQ(r.output, mainMenu(names) + operations357(names[0], true) + kBackupQuestion +
                            kBackupDone + kPause + mainMenu(names));

    // Entry 1 (file 1) rewritten at its offset with another stored size; file 1 grew.
    Bytes index = readBytes(game(L"s.idx"));
    index[32 + 16 + 3] ^= 1;
    ASSERT_TRUE(writeBytes(game(L"s.idx"), index));
    Bytes file1 = readBytes(game(L"s1.bin"));
    file1.insert(file1.end(), 512, 0x77);
    ASSERT_TRUE(writeBytes(game(L"s1.bin"), file1));
    const std::map<std::wstring, std::string> changed = folderFiles(gameFolder);

    // The import ends the program, as after any import.
    r = run("1 2\n");
    EXPECT_EQ(
        r.output,
        mainMenu(names) + operations357(names[0], true) +
            utf8(L"游戏文件在备份后已被其他程序修改（例如游戏更新），请先重新备份再导入！\n") +
            kPause);
    EXPECT_EQ(folderFiles(gameFolder), changed);
    r = run("1 4 1\n0\n");
    EXPECT_EQ(r.output, mainMenu(names) + operations357(names[0], true) + kRestoreQuestion +
                            utf8(L"恢复数据失败！原因：游戏文件在备份后已被其他程序修改（例如游戏"
                                 L"更新），恢复备份会损坏游戏文件！\n") +
                            kPause + mainMenu(names));
    EXPECT_EQ(folderFiles(gameFolder), changed);
}

// ---- Split information ----

// An index of three archive files whose second and third begin at entries 61 and 128.
Bytes threeFileIndex(bool bigEndian) {
    std::vector<IndexEntry> entries;
    for (uint64_t i = 0; i < 150; ++i) {
        uint64_t first = i < 61 ? 0 : i < 128 ? 61 : 128;
        entries.push_back({(i - first) * 256, 200, kIdxMarkerRaw, 200});
    }
    return indexFile32(entries, bigEndian);
}

TEST_F(Menus, SplitInformationIsDerivedAndWrittenBack) {
    ASSERT_TRUE(writeBytes(game(L"a.idx"), threeFileIndex(false)));
    ASSERT_TRUE(writeBytes(
        game(L"b.idx"),
        indexFile32({{0, 9, 0, 9}, {256, 9, 0, 9}, {512, 9, 0, 9}, {0, 9, 0, 9}, {256, 9, 0, 9}},
                    true)));
    // Keys in the order the write-back uses, so only the changes show.
    auto lines = [&](const std::wstring& mode, const std::wstring& index, const std::wstring& count,
                     const std::wstring& files) {
        return Lines{{kLocation, gameFolder}, {kMode, mode},   {kType, L"357"},
                     {kIdxNames, index},      {kCount, count}, {kNames, files}};
    };
    Lines g1 = lines(L"PC", L"a.idx", L"3", L"a0/a1/a2");
    g1.push_back({kExport, L"导出"});
    Lines g2 = lines(L"ps3", L"b.idx", L"2", L"b0/b1");
    g2.push_back({kSplit, L""});
    Lines g3 = lines(L"PC", L"a.idx", L"4", L"a0/a1/a2/a3");
    Lines g4 = lines(L"PC", L"missing.idx", L"2", L"x0/x1");
    Lines withUnknownKey = g3;
    withUnknownKey.insert(withUnknownKey.begin() + 2, {L"未知", L"x"});
    const std::vector<std::wstring> names = {L"甲", L"乙", L"丙", L"丁"};
    ASSERT_TRUE(writeConfig(L"说明行\r\n" + record(names[0], g1) + record(names[1], g2) +
                            record(names[2], withUnknownKey) + record(names[3], g4)));
    const std::string main = mainMenu(names);
    auto screen = [&](size_t game) { return operations357(names[game], true); };

    ProgramRun r = run("1 5\n"     // derived and saved
                       "2 3 1 0\n" // asked first: updated silently, then the backup dialog
                       "2 4 0\n"   // asked again, since only option 5 clears the mark
                       "2 5 1\n"   // asked, then option 5 itself
                       "2 4 0\n"   // no longer asked
                       "3 5\n"     // 4 files but 3 in the index
                       "4 5\n"     // no index file
                       "0\n");
    std::string expected = main + screen(0) + kSplitDone + kPause + main;
    expected += screen(1) + kSplitQuestion + kBackupQuestion + main;
    expected += screen(1) + kSplitQuestion + main;
    expected += screen(1) + kSplitQuestion + kSplitDone + kPause + main;
    expected += screen(1) + kRestoreQuestion + main;
    expected += screen(2) + kSplitFailed + kPause + main;
    expected += screen(3) + kSplitFailed + kPause + main;
    EXPECT_EQ(r.output, expected);

    // Comments and unknown keys are dropped, the data mode is upper-cased, the split text is
    // added where the key was missing and replaced where it was empty.
    Lines w1 = lines(L"PC", L"a.idx", L"3", L"a0/a1/a2");
    w1.insert(w1.end(), {{kSplit, L"0/7a0/1000"}, {kExport, L"导出"}});
    Lines w2 = lines(L"PS3", L"b.idx", L"2", L"b0/b1");
    w2.push_back({kSplit, L"0/60"});
    EXPECT_EQ(readFileBytes(configPath), ucs2File(record(names[0], w1) + record(names[1], w2) +
                                                  record(names[2], g3) + record(names[3], g4)));
}

#ifndef _WIN32
TEST_F(Menus, ASplitInformationThatCannotBeSavedIsReportedAndKeptInMemory) {
    ASSERT_TRUE(writeBytes(game(L"a.idx"), threeFileIndex(false)));
    const std::string config = ucs2File(record(L"甲", {{kLocation, gameFolder},
                                                       {kType, L"357"},
                                                       {kIdxNames, L"a.idx"},
                                                       {kCount, L"3"},
                                                       {kNames, L"a0/a1/a2"},
                                                       {kSplit, L""}}));
    ASSERT_TRUE(writeFileBytes(configPath, config));

    // Files may not grow beyond the configuration's size: its write-back fails.
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = config.size();
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ProgramRun r = run("1 5 1\n1 4 0\n0\n");
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousHandler);

    const std::string main = mainMenu({L"甲"});
    const std::string screen = operations357(L"甲", true);
    // The update holds in memory: the question is not asked again.
    EXPECT_EQ(r.output, main + screen + kSplitQuestion + kSplitFailed + kPause + main + screen +
                            kRestoreQuestion + main);
    EXPECT_EQ(readFileBytes(configPath), config);
}
#endif

} // namespace
} // namespace karv::test
