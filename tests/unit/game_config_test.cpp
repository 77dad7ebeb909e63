// The game configuration file: the file format, every conversion of a key's text, and the
// write-back as UCS-2 little-endian.
#include "game_config.h"
#include "karvcore/karvcore.h"
#include "platform/filesystem.h"
#include "temp_dir.h"
#include "texts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

namespace karv::test {
namespace {

using cli::gameinfo;
using cli::gameTable;

const std::string kMarkLE = "\xFF\xFE";
const std::string kMarkBE = "\xFE\xFF";
const std::wstring kSep(1, platform::kPathSeparator);

// Basic-plane text as UCS-2 bytes in the given order, without a mark.
std::string units(const std::wstring& text, bool bigEndian = false) {
    std::string out;
    for (wchar_t c : text) {
        char high = char((uint32_t(c) >> 8) & 0xFF), low = char(uint32_t(c) & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    }
    return out;
}

std::string fileLE(const std::wstring& text) {
    return kMarkLE + units(text);
}

class GameConfig : public ::testing::Test {
  protected:
    TempDir dir;
    std::wstring path = dir.file(L"游戏信息.txt");

    void SetUp() override { gameTable.clear(); }
    void TearDown() override { gameTable.clear(); }

    bool load(const std::string& bytes) {
        EXPECT_TRUE(writeFileBytes(path, bytes));
        return cli::LoadGameConfig(path);
    }
    // One record "#G" with the given lines (CR LF after each), loaded; game 1.
    const gameinfo& loadRecord(const std::wstring& lines) {
        EXPECT_TRUE(load(fileLE(L"#G\r\n" + lines)));
        EXPECT_EQ(gameTable.size(), 1u);
        return gameTable[1];
    }
    // The key texts as the file holds them, independent of the program's table.
    static std::wstring key(int index) {
        static const wchar_t* const keys[] = {
            L"Voxbank 位置", L"数据模式",       L"Voxbank 类型", L"IDX 文件数量", L"IDX 文件名",
            L"Voxbank 数量", L"Voxbank 文件名", L"Voxbank 地址", L"导出路径",     L"导入路径"};
        return keys[index];
    }
    static std::wstring line(int index, const std::wstring& value) {
        return key(index) + L"=" + value + L"\r\n";
    }
};

using Values = std::map<std::wstring, std::wstring>;

// ---- File format ----

TEST_F(GameConfig, RecordsRunFromOneHashLineToTheNext) {
    ASSERT_TRUE(load(fileLE(L"free comment\r\nk=before any record\r\n\r\n"
                            L"# 游戏 A \r\n"
                            L"a=1\r\n"
                            L"\r\n"
                            L"b=2\r\n"
                            L"#\r\n"
                            L"\r\n"
                            L"##x\r\n"
                            L"c=3")));
    ASSERT_EQ(gameTable.size(), 3u);
    EXPECT_EQ(gameTable[1].name, L" 游戏 A "); // untrimmed
    EXPECT_EQ(gameTable[1].values, (Values{{L"a", L"1"}, {L"b", L"2"}}));
    EXPECT_EQ(gameTable[2].name, L"");
    EXPECT_TRUE(gameTable[2].values.empty());
    EXPECT_EQ(gameTable[3].name, L"#x");
    EXPECT_EQ(gameTable[3].values, (Values{{L"c", L"3"}})); // last line without terminator
}

TEST_F(GameConfig, LinesSplitOnEqualsWithEmptyPiecesDropped) {
    const gameinfo& game = loadRecord(L"plain=value\r\n"
                                      L"no separator\r\n"
                                      L"k=v=w\r\n"
                                      L"=lead=trail=\r\n"
                                      L"double==v\r\n"
                                      L"===\r\n"
                                      L"=\r\n"
                                      L"twice=old\r\n"
                                      L"twice=new\r\n"
                                      L" spaced = x \r\n"
                                      L"after=still read\r\n");
    EXPECT_EQ(game.values, (Values{{L"plain", L"value"},
                                   {L"no separator", L""},
                                   {L"k", L""},
                                   {L"lead", L"trail"},
                                   {L"double", L"v"},
                                   {L"twice", L"new"},
                                   {L" spaced ", L" x "},
                                   {L"after", L"still read"}}));
}

TEST_F(GameConfig, LineEndingsOfEitherKindAndBothByteOrders) {
    std::wstring text = L"#A\nk=1\r\n#B\n\nk=2";
    ASSERT_TRUE(load(kMarkBE + units(text, true)));
    ASSERT_EQ(gameTable.size(), 2u);
    EXPECT_EQ(gameTable[1].values, (Values{{L"k", L"1"}}));
    EXPECT_EQ(gameTable[2].values, (Values{{L"k", L"2"}}));
    gameTable.clear();
    ASSERT_TRUE(load(fileLE(text)));
    EXPECT_EQ(gameTable[2].name, L"B");
}

TEST_F(GameConfig, FileWithoutRecordsLoadsEmptyAndIsNeverWrittenBack) {
    std::string bytes = fileLE(L"only\r\ncomments=here\r\n");
    ASSERT_TRUE(load(bytes));
    EXPECT_TRUE(gameTable.empty());
    EXPECT_FALSE(cli::SaveGameConfig(path));
    EXPECT_EQ(readFileBytes(path), bytes);

    ASSERT_TRUE(load(kMarkLE)); // the mark alone
    EXPECT_TRUE(gameTable.empty());
}

TEST_F(GameConfig, RefusedFilesLeaveTheTableAsItWas) {
    gameTable[1].name = L"kept";
    EXPECT_FALSE(cli::LoadGameConfig(dir.file(L"missing.txt")));
    EXPECT_FALSE(cli::LoadGameConfig(dir.path()));         // a folder
    EXPECT_FALSE(cli::LoadGameConfig(dir.file(L"*.txt"))); // nothing matches yet
    EXPECT_FALSE(load(units(L"#A\r\nk=1\r\n")));           // no mark
    EXPECT_EQ(GetMessageQX(), L"无法识别文件的 BOM！");
    EXPECT_FALSE(load(""));                      // empty: no mark either
    EXPECT_FALSE(load(fileLE(L"#A\r\n") + "x")); // odd size
    EXPECT_EQ(GetMessageQX(), L"文件是 UCS2 格式但字节数不是偶数！");
    EXPECT_FALSE(load("\xEF\xBB\xBF#A\r\nk=1\r\n")); // UTF-8 is not accepted
    ASSERT_EQ(gameTable.size(), 1u);
    EXPECT_EQ(gameTable[1].name, L"kept");
    EXPECT_TRUE(gameTable[1].values.empty());
}

// ---- Conversions, one key at a time ----

TEST_F(GameConfig, AbsentKeysKeepTheFreshValues) {
    const gameinfo& game = loadRecord(L"unknown=1\r\n");
    EXPECT_EQ(game.location, L"");
    EXPECT_FALSE(game.bigEndian);
    EXPECT_EQ(game.dataType, 0);
    EXPECT_EQ(game.idxCount, 1);
    EXPECT_EQ(game.voxbankCount, 0);
    EXPECT_FALSE(game.splitInfoMissing);
    EXPECT_EQ(game.exportPath, L"");
    EXPECT_EQ(game.importPath, L"");
    for (int i = 0; i < cli::kGameListCapacity; ++i) {
        EXPECT_EQ(game.idxNames[size_t(i)], L"");
        EXPECT_EQ(game.voxbankNames[size_t(i)], L"");
        EXPECT_EQ(game.splitAddresses[size_t(i)], 0u);
    }
    EXPECT_EQ(game.values, (Values{{L"unknown", L"1"}}));
}

TEST_F(GameConfig, LocationEndsWithExactlyOneSeparator) {
    const std::wstring folder = L"games" + kSep + L"示例";
    struct Case {
        std::wstring value, location;
    } cases[] = {
        {folder, folder + kSep},      {folder + kSep, folder + kSep},
        {L"", L"." + kSep}, // an empty value names the working directory
#ifdef _WIN32
        {L"D:/games/", L"D:/games/"}, // either separator is accepted
        {L"D:/games", L"D:/games\\"},
#endif
    };
    for (const Case& c : cases) {
        gameTable.clear();
        const gameinfo& game = loadRecord(line(cli::kKeyLocation, c.value));
        EXPECT_EQ(game.location, c.location) << c.value;
        EXPECT_EQ(game.values.at(key(cli::kKeyLocation)), c.value); // the raw text stays
    }
}

TEST_F(GameConfig, DataModeIsUpperCasedInPlace) {
    struct Case {
        std::wstring value;
        bool bigEndian;
        std::wstring stored;
    } cases[] = {
        {L"ps3", true, L"PS3"}, {L"pS3", true, L"PS3"},    {L"PS3", true, L"PS3"},
        {L"pc", false, L"PC"},  {L"PS3 ", false, L"PS3 "}, {L"xbox", false, L"XBOX"},
        {L"", false, L""},      {L"ｐs3", false, L"ｐS3"}, // only ASCII letters change
    };
    for (const Case& c : cases) {
        gameTable.clear();
        const gameinfo& game = loadRecord(line(cli::kKeyDataMode, c.value));
        EXPECT_EQ(game.bigEndian, c.bigEndian) << c.value;
        EXPECT_EQ(game.values.at(key(cli::kKeyDataMode)), c.stored) << c.value;
    }
}

TEST_F(GameConfig, DataTypeComparesCaseSensitivelyAndDefaultsTo357) {
    struct Case {
        std::wstring value;
        int32_t dataType;
    } cases[] = {
        {L"357", 1},  {L"Z54", 2},  {L"358", 3}, {L"z54", 1},
        {L" Z54", 1}, {L"Z54 ", 1}, {L"", 1},    {L"359", 1},
    };
    for (const Case& c : cases) {
        gameTable.clear();
        EXPECT_EQ(loadRecord(line(cli::kKeyDataType, c.value)).dataType, c.dataType) << c.value;
    }
}

TEST_F(GameConfig, CountsReadLikeStreamExtraction) {
    struct Case {
        std::wstring value;
        int32_t idxCount, voxbankCount;
    } cases[] = {
        {L"3", 3, 3},
        {L"  7", 7, 7},
        {L"2abc", 2, 2},
        {L"abc", 0, 0},
        {L"", 1, 0},
        {L"   ", 1, 0},
        {L"+4", 4, 4},
        {L"007", 7, 7},
        {L"-2", -2, -2},
        {L"100", 100, 100},
        // More than the record holds counts as no list at all.
        {L"101", 0, 0},
        {L"2147483647", 0, 0},
        {L"99999999999", 0, 0},
    };
    for (const Case& c : cases) {
        gameTable.clear();
        const gameinfo& game =
            loadRecord(line(cli::kKeyIdxCount, c.value) + line(cli::kKeyVoxbankCount, c.value));
        EXPECT_EQ(game.idxCount, c.idxCount) << c.value;
        EXPECT_EQ(game.voxbankCount, c.voxbankCount) << c.value;
    }
    // A blank before "=" makes another key: the count stays at its fresh value.
    gameTable.clear();
    const gameinfo& game = loadRecord(L"Voxbank 数量 =3\r\nIDX 文件数量 =3\r\n");
    EXPECT_EQ(game.voxbankCount, 0);
    EXPECT_EQ(game.idxCount, 1);
}

TEST_F(GameConfig, NameListsTakeEffectOnlyWhenTheyMatchTheirCount) {
    // Lists may stand before their counts.
    const gameinfo& game =
        loadRecord(line(cli::kKeyIdxNames, L"a.idx//b.idx/") +
                   line(cli::kKeyVoxbankNames, L"x.bin/y.bin/z.bin") +
                   line(cli::kKeyIdxCount, L"2") + line(cli::kKeyVoxbankCount, L"3"));
    EXPECT_EQ(game.idxNames[0], L"a.idx");
    EXPECT_EQ(game.idxNames[1], L"b.idx");
    EXPECT_EQ(game.idxNames[2], L"");
    EXPECT_EQ(game.voxbankNames[0], L"x.bin");
    EXPECT_EQ(game.voxbankNames[2], L"z.bin");

    struct Case {
        std::wstring lines;
        std::wstring firstIdx, firstVoxbank;
    } cases[] = {
        // The index count defaults to 1, the archive count to 0.
        {line(cli::kKeyIdxNames, L"only.idx") + line(cli::kKeyVoxbankNames, L"v.bin"), L"only.idx",
         L""},
        {line(cli::kKeyIdxCount, L"2") + line(cli::kKeyIdxNames, L"a/b/c"), L"", L""},
        {line(cli::kKeyIdxCount, L"0") + line(cli::kKeyIdxNames, L"a"), L"", L""},
        {line(cli::kKeyIdxCount, L"1") + line(cli::kKeyIdxNames, L"///"), L"", L""},
        {line(cli::kKeyIdxCount, L"1") + line(cli::kKeyIdxNames, L""), L"", L""},
        {line(cli::kKeyVoxbankCount, L"-1") + line(cli::kKeyVoxbankNames, L"v.bin"), L"", L""},
    };
    for (const Case& c : cases) {
        gameTable.clear();
        const gameinfo& g = loadRecord(c.lines);
        EXPECT_EQ(g.idxNames[0], c.firstIdx) << c.lines;
        EXPECT_EQ(g.voxbankNames[0], c.firstVoxbank) << c.lines;
    }
}

// Lists as long as the record holds are taken; longer ones never write beyond it.
TEST_F(GameConfig, ListsBeyondTheRecordAreRefusedWithoutHarm) {
    auto list = [](int count) {
        std::wstring out;
        for (int i = 0; i < count; ++i)
            out += std::to_wstring(i + 1) + L"/";
        return out;
    };
    const gameinfo& full =
        loadRecord(line(cli::kKeyIdxCount, L"100") + line(cli::kKeyIdxNames, list(100)) +
                   line(cli::kKeyVoxbankCount, L"100") + line(cli::kKeyVoxbankNames, list(100)) +
                   line(cli::kKeySplitAddresses, list(100)));
    EXPECT_EQ(full.idxNames[99], L"100");
    EXPECT_EQ(full.voxbankNames[99], L"100");
    EXPECT_EQ(full.splitAddresses[99], 0x100u);

    for (std::wstring count : {L"101", L"150", L"-1", L"0"}) {
        gameTable.clear();
        const gameinfo& game =
            loadRecord(line(cli::kKeyIdxCount, count) + line(cli::kKeyIdxNames, list(101)) +
                       line(cli::kKeyVoxbankCount, count) + line(cli::kKeyVoxbankNames, list(150)) +
                       line(cli::kKeySplitAddresses, list(101)) + L"after=read\r\n");
        EXPECT_LE(game.idxCount, cli::kGameListCapacity);
        EXPECT_LE(game.voxbankCount, cli::kGameListCapacity);
        EXPECT_EQ(game.idxNames[0], L"") << count;
        EXPECT_EQ(game.voxbankNames[0], L"") << count;
        EXPECT_EQ(game.splitAddresses[0], 0u) << count;
        EXPECT_EQ(game.values.at(L"after"), L"read");
    }
}

TEST_F(GameConfig, SplitAddressesAreHexadecimalPieces) {
    const gameinfo& game = loadRecord(line(cli::kKeySplitAddresses, L"1A/ff/ 10/zz/FFFFFFFF/ /7g") +
                                      line(cli::kKeyVoxbankCount, L"7"));
    const uint32_t expected[] = {0x1A, 0xFF, 0x10, 0, 0xFFFFFFFF, 0, 7};
    for (size_t i = 0; i < 7; ++i)
        EXPECT_EQ(game.splitAddresses[i], expected[i]) << i;
    EXPECT_FALSE(game.splitInfoMissing);

    struct Case {
        std::wstring lines;
        bool missing;
    } cases[] = {
        {line(cli::kKeyVoxbankCount, L"2") + line(cli::kKeySplitAddresses, L""), true},
        {line(cli::kKeyVoxbankCount, L"2") + key(cli::kKeySplitAddresses) + L"\r\n", true},
        {line(cli::kKeyVoxbankCount, L"2") + line(cli::kKeySplitAddresses, L"1/2/3"), false},
        {line(cli::kKeySplitAddresses, L"1"), false}, // no archive count
        {line(cli::kKeyVoxbankCount, L"2"), false},   // no split-address key
    };
    for (const Case& c : cases) {
        gameTable.clear();
        const gameinfo& g = loadRecord(c.lines);
        EXPECT_EQ(g.splitInfoMissing, c.missing) << c.lines;
        EXPECT_EQ(g.splitAddresses[0], 0u) << c.lines;
        EXPECT_EQ(g.splitAddresses[1], 0u) << c.lines;
    }
}

TEST_F(GameConfig, EmptyFoldersGetTheirDefaultsButAbsentOnesStayEmpty) {
    const gameinfo& empty =
        loadRecord(line(cli::kKeyExportPath, L"") + line(cli::kKeyImportPath, L""));
    EXPECT_EQ(empty.exportPath, L"Extracted");
    EXPECT_EQ(empty.importPath, L"Import");
    EXPECT_EQ(empty.values.at(key(cli::kKeyExportPath)), L""); // written back empty

    gameTable.clear();
    const gameinfo& given =
        loadRecord(line(cli::kKeyExportPath, L"导出") + line(cli::kKeyImportPath, L"in" + kSep));
    EXPECT_EQ(given.exportPath, L"导出");
    EXPECT_EQ(given.importPath, L"in" + kSep);

    gameTable.clear();
    const gameinfo& absent = loadRecord(L"");
    EXPECT_EQ(absent.exportPath, L"");
    EXPECT_EQ(absent.importPath, L"");
}

TEST_F(GameConfig, ParseGameValueTouchesOnlyTheKeyItIsGiven) {
    gameinfo game;
    game.values[key(cli::kKeyDataMode)] = L"ps3";
    game.values[key(cli::kKeyExportPath)] = L"";
    cli::ParseGameValue(game, cli::kKeyExportPath);
    EXPECT_EQ(game.exportPath, L"Extracted");
    EXPECT_FALSE(game.bigEndian);
    cli::ParseGameValue(game, -1);
    cli::ParseGameValue(game, 10);
    cli::ParseGameValue(game, cli::kKeyLocation); // not in values
    EXPECT_EQ(game.location, L"");
    EXPECT_EQ(game.values.at(key(cli::kKeyDataMode)), L"ps3");
    cli::ParseGameValue(game, cli::kKeyDataMode);
    EXPECT_TRUE(game.bigEndian);

    // A count set beyond the record by a caller still never fills past it.
    game.voxbankCount = 101;
    std::wstring many;
    for (int i = 0; i < 101; ++i)
        many += L"n/";
    game.values[key(cli::kKeyVoxbankNames)] = many;
    cli::ParseGameValue(game, cli::kKeyVoxbankNames);
    EXPECT_EQ(game.voxbankNames[0], L"");
}

// ---- Write-back ----

TEST_F(GameConfig, WriteBackKeepsRawValuesInKeyOrderAsUcs2LittleEndian) {
    std::wstring input = L"comment line\r\n"
                         L"#游戏 一\r\n"
                         L"导入路径=\r\n"
                         L"unknown=dropped\r\n"
                         L"数据模式=ps3\r\n"
                         L"Voxbank 类型=z54\r\n"
                         L"Voxbank 位置=D:" +
                         kSep +
                         L"游戏\r\n"
                         L"IDX 文件数量=7x\r\n"
                         L"IDX 文件数量=2\r\n"
                         L"IDX 文件名\r\n"
                         L"===\r\n"
                         L"\r\n"
                         L"#二\n"
                         L"Voxbank 地址\n"
                         L"Voxbank 数量=2\n"
                         L"导出路径=out\n";
    ASSERT_TRUE(load(kMarkBE + units(input, true)));
    ASSERT_TRUE(cli::SaveGameConfig(path));
    std::wstring expected = L"#游戏 一\r\n"
                            L"Voxbank 位置=D:" +
                            kSep +
                            L"游戏\r\n"
                            L"数据模式=PS3\r\n"
                            L"Voxbank 类型=z54\r\n"
                            L"IDX 文件数量=2\r\n"
                            L"IDX 文件名=\r\n"
                            L"导入路径=\r\n"
                            L"#二\r\n"
                            L"Voxbank 数量=2\r\n"
                            L"Voxbank 地址=\r\n"
                            L"导出路径=out\r\n";
    std::string bytes = readFileBytes(path);
    EXPECT_EQ(bytes.substr(0, 6), std::string("\xFF\xFE#\0\x38\x6E", 6)); // mark, "#游"
    EXPECT_EQ(bytes, fileLE(expected));

    // What was written reads back to the same table, less the unknown key.
    std::map<uint32_t, gameinfo> saved = gameTable;
    EXPECT_EQ(saved[1].values.erase(L"unknown"), 1u);
    gameTable.clear();
    ASSERT_TRUE(cli::LoadGameConfig(path));
    ASSERT_EQ(gameTable.size(), 2u);
    EXPECT_EQ(gameTable[1].values, saved[1].values);
    EXPECT_EQ(gameTable[2].values, saved[2].values);
    EXPECT_TRUE(gameTable[1].bigEndian);
    EXPECT_EQ(gameTable[1].dataType, 1);
    EXPECT_TRUE(gameTable[2].splitInfoMissing);
}

TEST_F(GameConfig, WriteBackCarriesAnUpdatedSplitAddressText) {
    ASSERT_TRUE(load(fileLE(L"#A\r\nVoxbank 数量=2\r\nVoxbank 地址=\r\n#B\r\n")));
    // What the split-information update does to a record.
    gameTable[1].values[key(cli::kKeySplitAddresses)] = L"0/1A2B";
    gameTable[1].splitInfoMissing = false;
    ASSERT_TRUE(cli::SaveGameConfig(path));
    EXPECT_EQ(readFileBytes(path),
              fileLE(L"#A\r\nVoxbank 数量=2\r\nVoxbank 地址=0/1A2B\r\n#B\r\n"));
    gameTable.clear();
    ASSERT_TRUE(cli::LoadGameConfig(path));
    EXPECT_EQ(gameTable[1].splitAddresses[1], 0x1A2Bu);
    EXPECT_FALSE(gameTable[1].splitInfoMissing);
}

TEST_F(GameConfig, TheDefaultFileIsTheOneInTheWorkingDirectory) {
    namespace fs = std::filesystem;
    fs::path before = fs::current_path();
    fs::current_path(fs::path(dir.path()));
    ASSERT_TRUE(writeFileBytes(path, fileLE(L"#A\r\nk=v\r\n数据模式=pc\r\n")));
    bool loaded = cli::LoadGameConfig(text::kGameConfigFile);
    bool saved = cli::SaveGameConfig();
    fs::current_path(before);
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(saved);
    EXPECT_EQ(readFileBytes(path), fileLE(L"#A\r\n数据模式=PC\r\n"));
}

TEST_F(GameConfig, AFileThatCannotBeCreatedIsReportedAndTheTableKept) {
    gameTable[1].name = L"A";
    std::wstring nowhere = dir.file(L"missing") + kSep + L"游戏信息.txt";
    EXPECT_FALSE(cli::SaveGameConfig(nowhere));
    EXPECT_EQ(GetMessageQX(), L"创建文件失败！");
    EXPECT_FALSE(platform::pathExists(nowhere));
    EXPECT_FALSE(cli::SaveGameConfig(dir.path())); // a folder
    EXPECT_EQ(gameTable.at(1).name, L"A");
}

#ifndef _WIN32
// A write that fails after the file was emptied (here: the file-size limit) puts the previous
// bytes back, so a failure leaves the user's file as it was.
TEST_F(GameConfig, AFailedWritePutsThePreviousFileBack) {
    std::string before = fileLE(L"#A\r\nVoxbank 地址=\r\n");
    ASSERT_TRUE(load(before));
    gameTable[1].values[key(cli::kKeySplitAddresses)] = std::wstring(400, L'F');

    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = 256;
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool saved = cli::SaveGameConfig(path);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(saved);
    EXPECT_EQ(GetMessageQX(), L"写入文件失败！");
    EXPECT_EQ(readFileBytes(path), before);
}
#endif

} // namespace
} // namespace karv::test
