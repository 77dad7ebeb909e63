// MODMAKE end to end: packages made from the import folders of test games of each data type and
// byte order, read back with the library's manifest reader and compared byte by byte with the
// edited files and the members the backup saved; refusals that leave every folder as it was.
#include "karvcore/mods.h"
#include "mod_games.h"
#include "platform/filesystem.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace karv::test {
namespace {

ModManifest manifestOf(const std::wstring& folder) {
    const std::string json = readFileBytes(folder + kSep + kModManifestName);
    ModManifest manifest;
    Status read =
        ParseModManifest(reinterpret_cast<const uint8_t*>(json.data()), json.size(), manifest);
    EXPECT_TRUE(read) << utf8(read.message()) << json;
    return manifest;
}

// One edited file and the member it replaces.
struct Edit {
    std::wstring path; // below the game folder
    std::wstring file; // the archive file
    uint32_t entry;
    Bytes original, edited;
};

TEST(ModMake, EachFileIsPinnedToTheMemberTheBackupSavedEvenAfterAnImport) {
    for (bool ps3 : {false, true}) {
        ModGames games(ps3);
        const std::map<std::wstring, std::vector<Edit>> edits = {
            {L"Z",
             {{L"game/Import/a/000000.data", L"a.bin", 0, content(3000, 1), content(100, 21)},
              {L"game/Import/a/1.data", L"a.bin", 1, content(9000, 2), content(9500, 22)},
              {L"game/Import/b/0.data", L"b.bin", 0, content(7000, 3), content(50, 23)}}},
            {L"S",
             {{L"game/Import357/0.data", L"s0.bin", 0, content(5000, 4), content(5200, 24)},
              {L"game/Import357/1.data", L"s0.bin", 1, content(700, 5), content(650, 25)}}},
            {L"E",
             {{L"game/Import358/e0/0.data", L"e0.bin", 0, content(6000, 6), content(6100, 26)},
              {L"game/Import358/e1/1.data", L"e1.bin", 1, content(300, 8), content(330, 27)}}},
        };
        for (const auto& [name, files] : edits) {
            SCOPED_TRACE(games.mode() + L" " + name);
            ASSERT_EQ(games.run({L"BACKUP", name}).exitCode, 0);
            for (const Edit& e : files)
                games.edit(e.path, e.edited);
            // The archive now holds the edits: only the backup still knows the originals.
            ASSERT_EQ(games.run({L"IMPORT", name}).exitCode, 0);
            ProgramRun r = games.run({L"MODMAKE", name, L"mods" + kSep + name + kSep});
            EXPECT_EQ(r.exitCode, 0) << r.output;
            ModManifest m = manifestOf(games.mod(name));
            EXPECT_EQ(m.name, name);
            EXPECT_EQ(m.type, name == L"Z" ? L"Z54" : name == L"S" ? L"357" : L"358");
            EXPECT_EQ(m.mode, games.mode());
            ASSERT_EQ(m.members.size(), files.size());
            std::map<std::wstring, std::wstring> expected;
            for (size_t i = 0; i < files.size(); ++i) {
                const Edit& e = files[i];
                const ModMember& member = m.members[i];
                EXPECT_EQ(member.file, e.file);
                EXPECT_EQ(member.entry, e.entry);
                const int32_t type = name == L"Z"   ? kDataTypeZ54
                                     : name == L"S" ? kDataType357
                                                    : kDataType358;
                EXPECT_EQ(member.path, PackagePathOf(type, e.file, e.entry));
                EXPECT_EQ(member.data.size, e.edited.size());
                EXPECT_EQ(member.data.hash, ModHash(e.edited.data(), e.edited.size()));
                EXPECT_EQ(member.original.size, e.original.size());
                EXPECT_EQ(member.original.hash, ModHash(e.original.data(), e.original.size()));
                expected[member.path] = ModHash(e.edited.data(), e.edited.size());
                EXPECT_EQ(readBytes(games.mod(name) + kSep + member.path), e.edited);
                if (type != kDataType357)
                    expected[member.path.substr(0, member.path.find(L'/') + 1)] = L"";
            }
            std::map<std::wstring, std::wstring> written = tree(games.mod(name));
            expected[kModManifestName] = written[kModManifestName];
            EXPECT_EQ(written, expected); // and nothing else
        }
        // A name given overrides the folder's.
        ProgramRun r =
            games.run({L"MODMAKE", L"Z", L"mods" + kSep + L"other" + kSep, L"--NAME", L"新的 MOD"});
        EXPECT_EQ(r.exitCode, 0) << r.output;
        EXPECT_EQ(manifestOf(games.mod(L"other")).name, L"新的 MOD");
        EXPECT_EQ(r.output.substr(r.output.rfind(utf8(L"制作"))),
                  utf8(L"制作 MOD“新的 MOD”成功！共打包 3 个文件！\n"));
        // Without one, the folder's own name, however the path reaches it.
        r = games.run(
            {L"MODMAKE", L"Z", L"mods" + kSep + L"x" + kSep + L".." + kSep + L"y" + kSep + L"."});
        EXPECT_EQ(r.exitCode, 0) << r.output;
        EXPECT_EQ(manifestOf(games.mod(L"y")).name, L"y");
        EXPECT_FALSE(platform::pathExists(games.mod(L"x")));
    }
}

TEST(ModMake, FilesThatChangeNothingArePassedOverAndListed) {
    ModGames games(false);
    ASSERT_EQ(games.run({L"BACKUP", L"Z"}).exitCode, 0);
    games.edit(L"game/Import/a/0.data", content(3000, 1)); // raw, as stored
    games.edit(L"game/Import/a/1.data", content(9000, 2)); // compressed, as decoded
    games.edit(L"game/Import/a/2.data", content(10, 9));   // an unused entry
    games.edit(L"game/Import/a/9.data", content(10, 9));   // beyond the index
    games.edit(L"game/Import/b/0.data", {});
    const std::map<std::wstring, std::wstring> before = games.everything();
    ProgramRun r = games.run({L"MODMAKE", L"Z", L"mods" + kSep + L"A"});
    EXPECT_EQ(r.exitCode, 1);
    const std::wstring passedOver = L"0.data 文件与原始数据相同，已跳过！\n"
                                    L"1.data 文件与原始数据相同，已跳过！\n"
                                    L"跳过未使用的文件！\n"
                                    L"9.data 文件的编号超出了 Index 文件的范围，已跳过！\n";
    EXPECT_EQ(r.output, utf8(passedOver + L"0.data 文件为空，已跳过！\n未找到可以打包的文件！\n"));
    EXPECT_EQ(games.everything(), before);

    games.edit(L"game/Import/b/0.data", content(1, 9));
    r = games.run({L"MODMAKE", L"Z", L"mods" + kSep + L"A"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, utf8(passedOver + L"打包文件 b/000000.data 成功！\n"
                                          L"制作 MOD“A”成功！共打包 1 个文件！\n"));
    EXPECT_EQ(manifestOf(games.mod(L"A")).members.size(), 1u);
}

TEST(ModMake, RefusalsWriteNothingAndSayWhy) {
    ModGames games(true);
    games.edit(L"game/Import/a/1.data", content(10, 30));
    games.edit(L"game/Import/b/0.data", content(10, 31));
    const std::wstring folder = L"mods" + kSep + L"A";
    const std::string usage =
        utf8(L"用法：karvex PC|PS3 MODMAKE 游戏 MOD文件夹 [--name MOD名称]\n");
    struct Case {
        const char* what;
        std::vector<std::wstring> args;
        int exitCode;
        std::string output;
    };
    const std::string noBackup = utf8(L"未找到备份文件，无法制作 MOD！请先用 BACKUP 备份！\n");
    auto refusals = [&](const std::vector<Case>& cases) {
        const std::map<std::wstring, std::wstring> before = games.everything();
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            ProgramRun r = games.run(c.args);
            EXPECT_EQ(r.exitCode, c.exitCode);
            EXPECT_EQ(r.output, c.output);
            EXPECT_EQ(games.everything(), before);
        }
    };
    refusals({
        {"no folder", {L"MODMAKE", L"Z"}, 2, utf8(L"参数错误：缺少 MOD 文件夹！\n") + usage},
        {"an empty folder",
         {L"MODMAKE", L"Z", L""},
         2,
         utf8(L"参数错误：缺少 MOD 文件夹！\n") + usage},
        {"an empty name",
         {L"MODMAKE", L"Z", folder, L"--name", L""},
         2,
         utf8(L"参数错误：MOD 名称不能为空！\n") + usage},
        {"no backup", {L"MODMAKE", L"Z", folder}, 1, noBackup},
    });
    // One archive file with a backup is not enough when the other has edits too.
    ASSERT_EQ(games.run({L"BACKUP", L"Z", L"a.bin"}).exitCode, 0);
    refusals({{"no backup of b.bin", {L"MODMAKE", L"Z", folder}, 1, noBackup}});

    ASSERT_EQ(games.run({L"BACKUP", L"Z", L"b.bin"}).exitCode, 0);
    games.edit(L"game/Import/a/000001.data", content(10, 32));
    refusals({{"two names of one entry",
               {L"MODMAKE", L"Z", folder},
               1,
               utf8(L"文件 000001.data 与 1.data 对应同一个编号，无法打包！\n")}});
    ASSERT_TRUE(platform::removeFile(games.game(L"Import/a/000001.data")));
    const std::wstring inImport = L"game" + kSep + L"Import" + kSep + L"b" + kSep + L"A";
    refusals(
        {{"a package folder in an import folder",
          {L"MODMAKE", L"Z", inImport},
          1,
          utf8(L"文件夹“" + inImport + L"”是导入文件夹或在导入文件夹中，MOD 不能放在这里！\n")}});

    games.edit(L"mods/A/mod.json", content(1, 0));
    refusals({{"a folder that holds a mod already",
               {L"MODMAKE", L"Z", folder},
               1,
               utf8(L"文件夹“" + folder + L"”中已有 mod.json，不能覆盖另一个 MOD！\n")}});

    // The same file taken for both archive files would give a manifest the reader refuses.
    ASSERT_EQ(games.run({L"BACKUP", L"D"}).exitCode, 0);
    games.edit(L"game/ImportD/d/0.data", content(10, 33));
    refusals({{"one package path twice",
               {L"MODMAKE", L"D", L"mods" + kSep + L"D"},
               1,
               utf8(L"制作 MOD 失败！原因：mod.json 中第 2 个成员与第 1 个成员的 path 相同"
                    L"（d/000000.data）！\n")}});

    // An update of the game: b.bin's entry 0 has another stored size in the saved region.
    std::string bytes = readFileBytes(games.game(L"b.bin"));
    bytes[16 + 8 + 3] = char(uint8_t(bytes[16 + 8 + 3]) - 1);
    ASSERT_TRUE(writeFileBytes(games.game(L"b.bin"), bytes + std::string(4096, '\x11')));
    refusals({{"a game changed by another program",
               {L"MODMAKE", L"Z", L"mods" + kSep + L"B"},
               1,
               utf8(L"游戏文件在备份后已被其他程序修改（例如游戏更新），无法制作 "
                    L"MOD！请先重新备份！\n")}});
}

} // namespace
} // namespace karv::test
