// MODMAKE end to end: packages made from the import folders of test games of each data type and
// byte order, read back with the library's manifest reader and compared byte by byte with the
// edited files and the members the backup saved; refusals that leave every folder as it was.
#include "archive_builder.h"
#include "config_file.h"
#include "karvcore/mods.h"
#include "platform/filesystem.h"
#include "run_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace karv::test {
namespace {

const std::wstring kSep(1, platform::kPathSeparator);

Bytes content(size_t size, uint8_t seed) {
    Bytes out(size);
    for (size_t i = 0; i < size; ++i)
        out[i] = uint8_t(seed * 7 + i * 11 + (i >> 8));
    return out;
}

std::wstring hashOf(const std::string& bytes) {
    return ModHash(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// Every file below `folder` by its path there, with its hash (a failure stays readable);
// folders end with "/" and have none.
std::map<std::wstring, std::wstring> tree(const std::wstring& folder) {
    std::map<std::wstring, std::wstring> all;
    std::vector<platform::DirectoryEntry> entries;
    platform::listDirectory(folder, L"*", entries);
    for (const auto& e : entries) {
        if (!e.isDirectory) {
            all[e.name] = hashOf(readFileBytes(folder + kSep + e.name));
            continue;
        }
        all[e.name + L"/"] = L"";
        for (const auto& [path, bytes] : tree(folder + kSep + e.name))
            all[e.name + L"/" + path] = bytes;
    }
    return all;
}

// Three games below "game" in one byte order: "Z" (Z54 over a.bin and b.bin), "S" (357 over
// s0.bin and s1.bin with its split information) and "E" (358 over e0.bin and e1.bin).
class ModGames {
  public:
    explicit ModGames(bool ps3) : mode_(ps3 ? L"PS3" : L"PC") {
        EXPECT_TRUE(platform::createDirectory(dir_.file(L"game")));
        ArchiveBuilder a(kDataTypeZ54, ps3), b(kDataTypeZ54, ps3);
        a.addRaw(content(3000, 1));
        a.addCompressed(content(9000, 2));
        a.addUnused();
        b.addCompressed(content(7000, 3));
        EXPECT_TRUE(a.write({game(L"a.bin")}, L"") && b.write({game(L"b.bin")}, L""));
        ArchiveBuilder s(kDataType357, ps3);
        s.addCompressed(content(5000, 4));
        s.startNextFile();
        s.addRaw(content(700, 5));
        EXPECT_TRUE(s.write({game(L"s0.bin"), game(L"s1.bin")}, game(L"s.idx")));
        ArchiveBuilder e0(kDataType358, ps3), e1(kDataType358, ps3);
        e0.addCompressed(content(6000, 6));
        e1.addRaw(content(800, 7));
        e1.addCompressed(content(300, 8));
        EXPECT_TRUE(e0.write({game(L"e0.bin")}, game(L"e0.idx")) &&
                    e1.write({game(L"e1.bin")}, game(L"e1.idx")));
        // "D": two archive files of one stem, so one import folder and one package folder.
        EXPECT_TRUE(b.write({game(L"d.bin")}, L"") && b.write({game(L"d.dat")}, L""));
        const std::wstring split = L"0/" + hex(s.firstEntryOfFile(1) * 32);
        EXPECT_TRUE(writeFileBytes(
            dir_.file(L"游戏信息.txt"),
            ucs2File(
                record(L"Z", lines(L"Z54", {{kCount, L"2"}, {kNames, L"a.bin/b.bin"}}, L"")) +
                record(L"S", lines(L"357",
                                   {{kIdxNames, L"s.idx"},
                                    {kCount, L"2"},
                                    {kNames, L"s0.bin/s1.bin"},
                                    {kSplit, split}},
                                   L"357")) +
                record(L"E", lines(L"358",
                                   {{kIdxCount, L"2"},
                                    {kIdxNames, L"e0.idx/e1.idx"},
                                    {kCount, L"2"},
                                    {kNames, L"e0.bin/e1.bin"}},
                                   L"358")) +
                record(L"D", lines(L"Z54", {{kCount, L"2"}, {kNames, L"d.bin/d.dat"}}, L"D")))));
    }

    std::wstring game(const std::wstring& name) const { return dir_.file(L"game") + kSep + name; }
    std::wstring mod(const std::wstring& name) const { return dir_.file(L"mods") + kSep + name; }
    const std::wstring& mode() const { return mode_; }

    // Writes a file below the test's folder ("game/Import/a/1.data"), making its folders.
    void edit(const std::wstring& path, const Bytes& bytes) const {
        std::wstring at = dir_.path();
        for (size_t from = 0, cut; (cut = path.find(L'/', from)) != std::wstring::npos;
             from = cut + 1) {
            at += kSep + path.substr(from, cut - from);
            platform::createDirectory(at);
        }
        EXPECT_TRUE(writeBytes(at + kSep + path.substr(path.rfind(L'/') + 1), bytes));
    }

    ProgramRun run(std::vector<std::wstring> args) const {
        args.insert(args.begin(), mode_);
        RunOptions options;
        options.workDir = dir_.path();
        return runKarvex(args, options);
    }

    std::map<std::wstring, std::wstring> everything() const { return tree(dir_.path()); }

  private:
    Lines lines(const std::wstring& type, const Lines& more, const std::wstring& import) const {
        Lines all = {
            {kLocation, L"game"}, {kMode, mode_}, {kType, type}, {kImport, L"Import" + import}};
        all.insert(all.end(), more.begin(), more.end());
        return all;
    }

    static std::wstring hex(uint32_t value) {
        wchar_t text[16];
        swprintf(text, 16, L"%x", value);
        return text;
    }

    TempDir dir_;
    std::wstring mode_;
};

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
