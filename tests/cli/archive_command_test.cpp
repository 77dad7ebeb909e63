// The archive codes end to end: karvex run with a code and its words in a folder holding
// "游戏信息.txt" and the game files. Each code against its menu twin in a second, identical
// folder (the same lines, the same files), the exit codes, refusals that write nothing, and runs
// over every archive file of a game.
#include "archive_builder.h"
#include "config_file.h"
#include "platform/filesystem.h"
#include "run_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <vector>

namespace karv::test {
namespace {

const std::wstring kSep(1, platform::kPathSeparator);
const std::string kPause = utf8(L"请按任意键继续. . .\n");
const std::string kChooseOperation = utf8(L"请选择要执行的操作：");
const std::string kExportLastPrompt = utf8(L"请输入需要提取的文件终止序号：");

Bytes content(size_t size, uint8_t seed) {
    Bytes out(size);
    for (size_t i = 0; i < size; ++i)
        out[i] = uint8_t(seed + i * 13 + (i >> 7));
    return out;
}

// One folder with the configuration and two games below "game": a PC Z54 game over two
// archive files ("Z", game 1) and a PC 357 game over two archive files with its split
// information ("S", game 2), and a third game without it ("T", game 3).
class GameFolder {
  public:
    GameFolder() {
        EXPECT_TRUE(platform::createDirectory(dir_.file(L"game")));
        ArchiveBuilder a(kDataTypeZ54, false);
        a.addRaw(content(3000, 1));
        a.addCompressed(content(90000, 2));
        a.addUnused();
        a.addCompressed(content(500, 3));
        EXPECT_TRUE(a.write({game(L"a.bin")}, L""));
        ArchiveBuilder b(kDataTypeZ54, false);
        b.addCompressed(content(7000, 4));
        EXPECT_TRUE(b.write({game(L"b.bin")}, L""));
        ArchiveBuilder s(kDataType357, false);
        s.addCompressed(content(5000, 5));
        s.startNextFile();
        s.addRaw(content(700, 6));
        EXPECT_TRUE(s.write({game(L"s0.bin"), game(L"s1.bin")}, game(L"s.idx")));
        split_ = L"0/" + hex(s.firstEntryOfFile(1) * 32);
        writeConfig(true);
    }

    void writeConfig(bool withSplitInfo) {
        const std::wstring text = record(L"Z", {{kLocation, L"game"},
                                                {kType, L"Z54"},
                                                {kCount, L"2"},
                                                {kNames, L"a.bin/b.bin"},
                                                {kExport, L"Extracted"},
                                                {kImport, L"Import"}}) +
                                  record(L"S", {{kLocation, L"game"},
                                                {kType, L"357"},
                                                {kIdxNames, L"s.idx"},
                                                {kCount, L"2"},
                                                {kNames, L"s0.bin/s1.bin"},
                                                {kSplit, withSplitInfo ? split_ : L""},
                                                {kImport, L"Import357"}}) +
                                  record(L"T", {{kLocation, L"game"},
                                                {kType, L"357"},
                                                {kIdxNames, L"s.idx"},
                                                {kCount, L"2"},
                                                {kNames, L"s0.bin/s1.bin"},
                                                {kSplit, L""}});
        EXPECT_TRUE(writeFileBytes(dir_.file(L"游戏信息.txt"), ucs2File(text)));
    }

    std::wstring game(const std::wstring& name) const { return dir_.file(L"game") + kSep + name; }
    const std::wstring& path() const { return dir_.path(); }

    ProgramRun run(const std::vector<std::wstring>& args, const std::string& input = "") const {
        RunOptions options;
        options.workDir = dir_.path();
        options.input = input;
        return runKarvex(args, options);
    }

    // Every file of the game folder and of the folders below it that the operations write.
    std::map<std::wstring, std::string> files() const {
        std::map<std::wstring, std::string> all;
        for (const wchar_t* sub :
             {L"", L"/Extracted", L"/Extracted/a", L"/Extracted/b", L"/Import/a"}) {
            for (const auto& [name, bytes] : folderFiles(dir_.file(L"game") + sub))
                all[sub + (L"/" + name)] = bytes;
        }
        all[L"游戏信息.txt"] = readFileBytes(dir_.file(L"游戏信息.txt"));
        return all;
    }

  private:
    static std::wstring hex(uint32_t value) {
        wchar_t text[16];
        swprintf(text, 16, L"%x", value);
        return text;
    }

    TempDir dir_;
    std::wstring split_;
};

// What a menu operation printed: the lines after its last prompt, up to its "pause".
std::string operationLines(const std::string& output, const std::string& lastPrompt) {
    size_t from = output.rfind(lastPrompt);
    if (from == std::string::npos)
        return "<no prompt>";
    from += lastPrompt.size();
    return output.substr(from, output.find(kPause, from) - from);
}

nlohmann::json parsed(const ProgramRun& r) {
    try {
        return nlohmann::json::parse(r.output);
    } catch (const std::exception&) {
        ADD_FAILURE() << "not one JSON document: " << r.output;
        return nlohmann::json::object();
    }
}

TEST(ArchiveCommands, EachCodePrintsAndWritesWhatItsMenuTwinDoes) {
    GameFolder menus, commands;
    struct Twin {
        const char* what;
        std::string answers; // ending at the operation's "pause"; "0" leaves the main menu
        const std::string& lastPrompt;
        std::vector<std::wstring> args;
    };
    const Twin twins[] = {
        {"export",
         "1 1 1 0 3 2\n",
         kChooseOperation,
         {L"PC", L"EXPORT", L"1", L"1", L"--last", L"3"}},
        {"backup", "1 1 3 1\n0\n", kChooseOperation, {L"PC", L"backup", L"Z", L"a.bin"}},
        {"import", "1 1 2\n", kChooseOperation, {L"PC", L"IMPORT", L"1", L"1"}},
        {"restore", "1 1 4 1\n0\n", kChooseOperation, {L"PC", L"RESTORE", L"1", L"1"}},
        {"357 import with a backup",
         "2 2 1\n",
         kChooseOperation,
         {L"PC", L"IMPORT", L"2", L"--backup"}},
        {"357 restore", "2 4 1\n0\n", kChooseOperation, {L"PC", L"RESTORE", L"S"}},
        {"split information", "2 5\n0\n", kChooseOperation, {L"PC", L"SPLITINFO", L"2"}},
        {"export of a 357 game",
         "2 1 0 9 1\n",
         kChooseOperation,
         {L"PC", L"EXPORT", L"2", L"--textures", L"--last", L"9"}},
    };
    for (GameFolder* folder : {&menus, &commands}) {
        ASSERT_TRUE(platform::createDirectory(folder->game(L"Import")));
        ASSERT_TRUE(platform::createDirectory(folder->game(L"Import") + kSep + L"a"));
        ASSERT_TRUE(writeBytes(folder->game(L"Import") + kSep + L"a" + kSep + L"1.data",
                               content(40000, 9)));
        ASSERT_TRUE(platform::createDirectory(folder->game(L"Import357")));
        ASSERT_TRUE(
            writeBytes(folder->game(L"Import357") + kSep + L"000001.data", content(9000, 7)));
    }
    for (const Twin& twin : twins) {
        SCOPED_TRACE(twin.what);
        ProgramRun menu = menus.run({}, twin.answers);
        ProgramRun command = commands.run(twin.args);
        const std::string lines = operationLines(menu.output, twin.lastPrompt);
        EXPECT_NE(lines, "");
        EXPECT_EQ(command.output, lines);
        EXPECT_EQ(command.exitCode, 0);
        EXPECT_EQ(commands.files(), menus.files());
    }
}

struct Refusal {
    const char* what;
    std::vector<std::wstring> args;
    int exitCode;
    std::wstring output; // the whole output; the usage line follows a wrong command line
};

TEST(ArchiveCommands, WrongCommandLinesAndRefusalsWriteNothingAndSayWhy) {
    GameFolder folder;
    ASSERT_EQ(folder.run({L"PC", L"BACKUP", L"2"}).exitCode, 0);
    const std::wstring wrong = L"参数错误：";
    const std::wstring export_ =
        L"用法：karvex PC|PS3 EXPORT 游戏 [文件] [--first 起始序号] [--last 终止序号] [--textures] "
        L"[--dry-run]\n";
    const std::wstring backup = L"用法：karvex PC|PS3 BACKUP 游戏 [文件] [--force]\n";
    const Refusal cases[] = {
        {"no game", {L"PC", L"export"}, 2, wrong + L"缺少游戏的编号或名称！\n" + export_},
        {"unknown game", {L"PC", L"EXPORT", L"4"}, 2, wrong + L"未找到游戏“4”！\n" + export_},
        {"game by a name that is not there",
         {L"PC", L"EXPORT", L"z"},
         2,
         wrong + L"未找到游戏“z”！\n" + export_},
        {"unknown file",
         {L"PC", L"EXPORT", L"1", L"c.bin"},
         2,
         wrong + L"游戏中没有文件“c.bin”！\n" + export_},
        {"file 0", {L"PC", L"EXPORT", L"1", L"0"}, 2, wrong + L"游戏中没有文件“0”！\n" + export_},
        {"a file for a 357 game",
         {L"PC", L"EXPORT", L"2", L"1"},
         2,
         wrong + L"357 类型的游戏只有一个档案，不能指定文件！\n" + export_},
        {"bad number",
         {L"PC", L"EXPORT", L"1", L"--first", L"-1"},
         2,
         wrong + L"“-1”不是有效的数字！\n" + export_},
        {"number too large",
         {L"PC", L"EXPORT", L"1", L"--last", L"2147483648"},
         2,
         wrong + L"“2147483648”不是有效的数字！\n" + export_},
        {"missing number",
         {L"PC", L"EXPORT", L"1", L"--last"},
         2,
         wrong + L"选项“--last”后缺少数字！\n" + export_},
        {"option of another code",
         {L"PC", L"BACKUP", L"1", L"--dry-run"},
         2,
         wrong + L"选项“--dry-run”不能用于 BACKUP！\n" + backup},
        {"option twice",
         {L"PC", L"BACKUP", L"1", L"--force", L"--FORCE"},
         2,
         wrong + L"选项“--FORCE”重复了！\n" + backup},
        {"unknown option",
         {L"PC", L"BACKUP", L"1", L"--all"},
         2,
         wrong + L"未知的选项“--all”！\n" + backup},
        {"a word too many",
         {L"PC", L"BACKUP", L"1", L"1", L"2"},
         2,
         wrong + L"多余的参数“2”！\n" + backup},
        {"split information of a game without it",
         {L"PC", L"SPLITINFO", L"1"},
         2,
         wrong + L"该游戏不是由多个 Voxbank 文件组成的 357 游戏，没有切分信息！\n" +
             L"用法：karvex PC|PS3 SPLITINFO 游戏\n"},
        {"wrong data mode: no pause",
         {L"PS2", L"BACKUP", L"1"},
         2,
         L"参数：数据模式 错误！\n" + backup},
        {"an import without a backup",
         {L"PC", L"IMPORT", L"1", L"a.bin", L"--dry-run"},
         1,
         L"未找到备份文件，不备份无法导入！请先用 BACKUP 备份，或加上 --backup 选项！\n"},
        {"a backup over a backup",
         {L"PC", L"BACKUP", L"2"},
         1,
         L"已存在备份文件！要覆盖它请加上 --force 选项！\n"},
        {"a game without its split information",
         {L"PC", L"RESTORE", L"3"},
         1,
         L"未指定 Voxbank 文件的切分信息，请先用 SPLITINFO 更新该信息！\n"},
        {"a restore without a backup",
         {L"PC", L"RESTORE", L"1", L"2"},
         1,
         L"恢复数据失败！原因：加载备份文件失败！\n"},
    };
    const std::map<std::wstring, std::string> before = folder.files();
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.what);
        ProgramRun r = folder.run(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.output, utf8(c.output));
        EXPECT_EQ(folder.files(), before);
    }

    // Without the configuration file there is nothing to work on.
    TempDir empty;
    RunOptions options;
    options.workDir = empty.path();
    ProgramRun r = runKarvex({L"PC", L"LIST", L"1"}, options);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, utf8(L"加载游戏信息文件“游戏信息.txt”失败！\n"));

    // The described codes keep exit code 0 on every path.
    EXPECT_EQ(folder.run({L"PC", L"U", L"Z54"}).exitCode, 0);
    EXPECT_EQ(folder.run({L"PS2", L"U"}).exitCode, 0);
    EXPECT_EQ(folder.run({L"PC", L"LISTS"}, "0\n").exitCode, 0);
}

TEST(ArchiveCommands, WithJsonEveryAnswerIsOneDocument) {
    GameFolder folder;
    struct Case {
        std::vector<std::wstring> args;
        int exitCode;
        std::wstring error;
    };
    const Case cases[] = {
        {{L"PC", L"LIST", L"--json"}, 2, L"参数错误：缺少游戏的编号或名称！"},
        {{L"PC", L"VERIFY", L"1", L"--json", L"--bogus"}, 2, L"参数错误：未知的选项“--bogus”！"},
        {{L"PS2", L"LIST", L"1", L"--JSON"}, 2, L"参数：数据模式 错误！"},
        {{L"PC", L"LIST", L"3", L"--json"},
         1,
         L"未指定 Voxbank 文件的切分信息，请先用 SPLITINFO 更新该信息！"},
    };
    for (const Case& c : cases) {
        ProgramRun r = folder.run(c.args);
        SCOPED_TRACE(r.output);
        EXPECT_EQ(r.exitCode, c.exitCode);
        const nlohmann::json document = nlohmann::json::parse(r.output);
        EXPECT_EQ(document.at("error").get<std::string>(), utf8(c.error));
        EXPECT_EQ(document.at("exit").get<int>(), c.exitCode);
        EXPECT_EQ(document.contains("usage"), c.exitCode == 2);
    }
}

TEST(ArchiveCommands, ANameThatDoesNotConvertIsReplacedInTheDocument) {
    // A lone surrogate in the configuration's game name, and an archive that is not there.
    TempDir dir;
    ASSERT_TRUE(writeFileBytes(
        dir.file(L"游戏信息.txt"),
        ucs2File(record(std::wstring(L"坏") + wchar_t(0xD800) + L"名", {{kLocation, L"game"},
                                                                        {kType, L"358"},
                                                                        {kIdxNames, L"x.idx"},
                                                                        {kCount, L"1"},
                                                                        {kNames, L"x.bin"}}))));
    RunOptions options;
    options.workDir = dir.path();
    ProgramRun r = runKarvex({L"PC", L"LIST", L"1", L"--json"}, options);
    EXPECT_EQ(r.exitCode, 1);
    const nlohmann::json list = parsed(r);
    EXPECT_EQ(list["game"], utf8(L"坏\uFFFD名"));
    ASSERT_EQ(list["files"].size(), 1u);
    EXPECT_TRUE(list["files"][0]["size"].is_null());
    EXPECT_TRUE(list["files"][0]["error"].is_string());
}

TEST(ArchiveCommands, WithoutAFileEveryArchiveFileIsDoneAndOneFailureDoesNotStopTheRun) {
    GameFolder folder;
    ASSERT_TRUE(platform::createDirectory(folder.game(L"Import")));
    ASSERT_TRUE(platform::createDirectory(folder.game(L"Import") + kSep + L"a"));
    ASSERT_TRUE(
        writeBytes(folder.game(L"Import") + kSep + L"a" + kSep + L"3.data", content(800, 1)));

    // b.bin has no import folder: an outcome, since the command named no file.
    ProgramRun r = folder.run({L"PC", L"IMPORT", L"Z", L"--backup"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, utf8(L"正在操作的文件：a.bin\n备份数据成功！\n向 game" + kSep +
                             L"a.bin 中添加压缩文件 3.data 成功！\n正在操作的文件：b.bin\n"
                             L"备份数据成功！\n导入目录不存在！\n"));
    // Named, the same file is a failure.
    EXPECT_EQ(folder.run({L"PC", L"IMPORT", L"Z", L"b.bin"}).exitCode, 1);

    // The export goes on past a file that cannot be opened and reports it.
    ASSERT_TRUE(platform::removeFile(folder.game(L"a.bin")));
    r = folder.run({L"PC", L"EXPORT", L"1"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, utf8(L"正在操作的文件：a.bin\n文件“game" + kSep +
                             L"a.bin”不存在！\n正在操作的文件：b.bin\n从 game" + kSep +
                             L"b.bin 中导出文件 game" + kSep + L"Extracted" + kSep + L"b" + kSep +
                             L"000000.data 成功！\n"));
}

std::string hexBytes(const Bytes& bytes, size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < count && i < bytes.size(); ++i)
        out += std::string{digits[bytes[i] >> 4], digits[bytes[i] & 15]};
    return out;
}

TEST(ArchiveCommands, ListTellsWhatEachEntryIsAndWhichWereImported) {
    GameFolder folder;
    const std::string archive = readFileBytes(folder.game(L"a.bin"));
    nlohmann::json list = parsed(folder.run({L"PC", L"LIST", L"1", L"a.bin", L"--json"}));
    EXPECT_EQ(list["game"], "Z");
    EXPECT_EQ(list["type"], "Z54");
    EXPECT_EQ(list["mode"], "PC");
    ASSERT_EQ(list["files"].size(), 1u);
    EXPECT_EQ(list["files"][0], nlohmann::json::parse(R"({"name": "a.bin", "backup": false,
        "backup_size": null, "size": )" + std::to_string(archive.size()) +
                                                      "}"));
    const nlohmann::json& entries = list["entries"];
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0]["storage"], "raw");
    EXPECT_EQ(entries[0]["size"], 3000);
    EXPECT_EQ(entries[0]["stored"], 3000);
    EXPECT_EQ(entries[0]["content"], "other");
    EXPECT_EQ(entries[0]["magic"], hexBytes(content(3000, 1), 4));
    EXPECT_EQ(entries[1]["storage"], "Z54");
    EXPECT_EQ(entries[1]["size"], 90000);
    EXPECT_EQ(entries[1]["magic"], hexBytes(content(90000, 2), 4));
    EXPECT_EQ(entries[2],
              nlohmann::json::parse(R"({"file": "a.bin", "entry": 2, "storage": "unused"})"));
    EXPECT_TRUE(entries[3]["imported"].is_null());

    // After an import the entry points behind the size the backup saved.
    ASSERT_TRUE(platform::createDirectory(folder.game(L"Import")));
    ASSERT_TRUE(platform::createDirectory(folder.game(L"Import") + kSep + L"a"));
    ASSERT_TRUE(
        writeBytes(folder.game(L"Import") + kSep + L"a" + kSep + L"3.data", content(800, 1)));
    ASSERT_EQ(folder.run({L"PC", L"IMPORT", L"1", L"1", L"--backup"}).exitCode, 0);
    list = parsed(folder.run({L"PC", L"LIST", L"Z", L"--json"}));
    ASSERT_EQ(list["files"].size(), 2u);
    EXPECT_EQ(list["files"][0]["backup"], true);
    EXPECT_EQ(list["files"][0]["backup_size"], archive.size());
    EXPECT_EQ(list["files"][1]["backup_size"], nullptr);
    ASSERT_EQ(list["entries"].size(), 5u);
    EXPECT_EQ(list["entries"][0]["imported"], false);
    EXPECT_EQ(list["entries"][3]["imported"], true);
    EXPECT_EQ(list["entries"][3]["size"], 800);
    EXPECT_EQ(list["entries"][4]["file"], "b.bin");
    EXPECT_EQ(list["entries"][4]["imported"], nullptr);

    // Lines: the files, a header, one line per entry, the summary.
    ProgramRun r = folder.run({L"PC", L"LIST", L"1", L"1"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output.substr(0, r.output.find('\n') + 1),
              utf8(L"文件 a.bin：" + std::to_wstring(readFileBytes(folder.game(L"a.bin")).size()) +
                   L" 字节，备份时 " + std::to_wstring(archive.size()) + L" 字节\n"));
    EXPECT_NE(r.output.find(utf8(L"2\ta.bin\t-\t-\t-\t未使用\t-\t-\n")), std::string::npos);
    EXPECT_TRUE(r.output.size() > 0 &&
                r.output.rfind(utf8(L"列出完毕：共 4 项，未使用 1 项！\n")) ==
                    r.output.size() - utf8(L"列出完毕：共 4 项，未使用 1 项！\n").size());
}

// The archive a.bin with the stored bytes of entry `entry` changed at `at` (behind its offset).
void damageMember(const GameFolder& folder, uint32_t entry, uint32_t at) {
    std::string bytes = readFileBytes(folder.game(L"a.bin"));
    const uint32_t unit = uint8_t(bytes[8]) | uint8_t(bytes[9]) << 8 | uint8_t(bytes[10]) << 16;
    const uint32_t offset = uint8_t(bytes[16 + 16 * entry]) | uint8_t(bytes[17 + 16 * entry]) << 8;
    for (uint32_t i = 0; i < 64; ++i)
        bytes[offset * unit + at + i] = char(0xA5);
    ASSERT_TRUE(writeFileBytes(folder.game(L"a.bin"), bytes));
}

TEST(ArchiveCommands, ADamagedMemberIsListedAndEveryProblemVerified) {
    GameFolder folder;
    nlohmann::json verify = parsed(folder.run({L"PC", L"VERIFY", L"1", L"--json"}));
    EXPECT_EQ(verify, nlohmann::json::parse(R"({"game": "Z", "ok": true, "checked": 4,
        "unused": 1, "problems": []})"));
    damageMember(folder, 1, 4); // the first record's length and stream
    damageMember(folder, 3, 4);

    nlohmann::json list = parsed(folder.run({L"PC", L"LIST", L"1", L"1", L"--json"}));
    EXPECT_EQ(list["entries"][1]["content"], "damaged");
    EXPECT_EQ(list["entries"][2]["storage"], "unused");
    EXPECT_EQ(folder.run({L"PC", L"LIST", L"1", L"1", L"--json"}).exitCode, 0);

    ProgramRun r = folder.run({L"PC", L"VERIFY", L"1", L"1", L"--json"});
    EXPECT_EQ(r.exitCode, 1);
    verify = parsed(r);
    EXPECT_EQ(verify["ok"], false);
    EXPECT_EQ(verify["checked"], 3);
    ASSERT_EQ(verify["problems"].size(), 2u);
    for (int k : {0, 1}) {
        EXPECT_EQ(verify["problems"][k]["file"], "a.bin");
        EXPECT_EQ(verify["problems"][k]["kind"], "decode");
    }
    EXPECT_EQ(verify["problems"][0]["entry"], 1);
    EXPECT_EQ(verify["problems"][1]["entry"], 3);
    r = folder.run({L"PC", L"VERIFY", L"1", L"1"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output.rfind(utf8(L"a.bin 第 1 项："), 0), 0u) << r.output;
    EXPECT_NE(r.output.find(utf8(L"检查完毕：已检查 3 项，未使用 1 项，发现 2 个问题！\n")),
              std::string::npos);
}

TEST(ArchiveCommands, AGameChangedByAnotherProgramIsReportedAndNeitherRestoredNorImported) {
    GameFolder folder;
    ASSERT_EQ(folder.run({L"PC", L"BACKUP", L"1", L"1"}).exitCode, 0);
    // An update: data appended, and entry 0 changed in the old region (its stored size).
    std::string bytes = readFileBytes(folder.game(L"a.bin")) + std::string(4096, '\x11');
    bytes[16 + 8] = char(uint8_t(bytes[16 + 8]) - 1);
    ASSERT_TRUE(writeFileBytes(folder.game(L"a.bin"), bytes));
    ASSERT_TRUE(platform::createDirectory(folder.game(L"Import")));
    ASSERT_TRUE(platform::createDirectory(folder.game(L"Import") + kSep + L"a"));
    ASSERT_TRUE(
        writeBytes(folder.game(L"Import") + kSep + L"a" + kSep + L"3.data", content(800, 1)));
    const std::map<std::wstring, std::string> before = folder.files();

    nlohmann::json verify = parsed(folder.run({L"PC", L"VERIFY", L"1", L"1", L"--json"}));
    ASSERT_EQ(verify["problems"].size(), 1u) << verify.dump();
    EXPECT_EQ(verify["problems"][0]["kind"], "changed");
    EXPECT_EQ(verify["problems"][0]["entry"], 0);
    ProgramRun r = folder.run({L"PC", L"RESTORE", L"1", L"1"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output.rfind(utf8(L"恢复数据失败！原因：游戏文件在备份后已被其他程序修改"), 0), 0u)
        << r.output;
    r = folder.run({L"PC", L"IMPORT", L"1", L"1"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output,
              utf8(L"游戏文件在备份后已被其他程序修改（例如游戏更新），请先重新备份再导入！\n"));
    EXPECT_EQ(folder.files(), before);
}

} // namespace
} // namespace karv::test
