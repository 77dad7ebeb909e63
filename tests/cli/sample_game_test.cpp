// The sample-game generator (tools/karvsample): the same bytes on every run, a configuration
// file the program reads as intended, and archives whose every member the library reads back,
// with the texture containers, packed blobs, unused entries and split points they promise.
#include "game_config.h"
#include "karvcore/buffer.h"
#include "karvcore/karvcore.h"
#include "platform/file.h"
#include "platform/filesystem.h"
#include "platform/text.h"
#include "run_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace karv::test {
namespace {

using cli::gameinfo;
using cli::gameTable;

constexpr uint32_t kG1tMagic = 0x47315447;
const std::wstring kSep(1, platform::kPathSeparator);

using ToolRun = ProgramRun;

// Runs the generator in `workDir` and captures what it prints.
ToolRun runTool(const std::wstring& workDir, const std::vector<std::wstring>& args) {
    RunOptions options;
    options.workDir = workDir;
    return runBuildProgram(L"karvsample", args, options);
}

// Every file under `folder`, by path relative to it, with its bytes.
void collectFiles(const std::wstring& folder, const std::wstring& relative,
                  std::map<std::wstring, std::string>& out) {
    std::vector<platform::DirectoryEntry> entries;
    ASSERT_TRUE(platform::listDirectory(folder, L"*", entries));
    for (const auto& e : entries) {
        std::wstring path = folder + kSep + e.name;
        if (e.isDirectory)
            collectFiles(path, relative + e.name + L"/", out);
        else
            out[relative + e.name] = readFileBytes(path);
    }
}

uint32_t readNumber(const uint8_t* at, bool bigEndian) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= uint32_t(at[i]) << (bigEndian ? 24 - 8 * i : 8 * i);
    return value;
}

uint64_t readNumber64(const std::string& bytes, size_t at, bool bigEndian) {
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i)
        value |= uint64_t(uint8_t(bytes.at(at + i))) << (bigEndian ? 56 - 8 * i : 8 * i);
    return value;
}

// What reading every entry of one archive file found.
struct Census {
    int raw = 0, compressed = 0, unused = 0, containers = 0, blobsWithContainers = 0;
    int textures = 0;
    std::vector<std::string> members; // by entry; empty for unused entries
};

bool isContainer(const uint8_t* data, uint32_t length, bool bigEndian) {
    return length >= 4 && readNumber(data, bigEndian) == kG1tMagic;
}

// Opens a container and exports every texture; the number of textures exported.
int exportTextures(const uint8_t* data, uint32_t offset, uint32_t length, bool bigEndian) {
    GT1GDataQX* g1t = CreateGT1GDataInterface();
    uint32_t count = 0;
    int exported = 0;
    EXPECT_EQ(g1t->OpenData(data, offset, length, &count, bigEndian), 0) << utf8(GetMessageQX());
    for (uint32_t t = 0; t < count; ++t) {
        uint8_t* dds = nullptr;
        uint32_t ddsLength = 0;
        std::wstring format;
        EXPECT_EQ(g1t->ExportTexture(data, dds, &ddsLength, &format, false, 0), 0)
            << utf8(GetMessageQX());
        if (ddsLength > 0) {
            MallocBuffer owned(dds);
            EXPECT_EQ(std::memcmp(dds, "DDS ", 4), 0);
            ++exported;
        }
    }
    delete g1t;
    return exported;
}

// Counts the containers among a packed blob's sub-files.
int blobContainers(const uint8_t* data, uint32_t length, bool bigEndian, Census& census) {
    if (length < 4 || readNumber(data, bigEndian) == 0 || readNumber(data, bigEndian) > 0x10000)
        return 0;
    int found = 0;
    for (uint32_t s = 0; s < readNumber(data, bigEndian); ++s) {
        uint32_t start = 0, size = 0;
        if (GetData_Offset(data, length, s, &start, &size, bigEndian) != 0)
            continue;
        if (isContainer(data + start, size, bigEndian)) {
            ++found;
            census.textures += exportTextures(data, start, size, bigEndian);
        }
    }
    return found;
}

void inspectMember(const uint8_t* data, uint32_t length, bool bigEndian, Census& census) {
    if (isContainer(data, length, bigEndian)) {
        ++census.containers;
        census.textures += exportTextures(data, 0, length, bigEndian);
    } else if (blobContainers(data, length, bigEndian, census) > 0) {
        ++census.blobsWithContainers;
    }
}

// Reads entries [first, end) of an index through the archive interface from one archive file.
void readEntries(int32_t type, bool bigEndian, const std::wstring& indexPath,
                 const std::wstring& archivePath, uint32_t first, uint32_t end, Census& census) {
    VoxbankQX* reader = CreateVoxbankInterface(type, bigEndian);
    uint32_t count = reader->LoadIndex(indexPath);
    ASSERT_GT(count, 0u) << utf8(GetMessageQX());
    end = std::min(end, count);
    platform::File archive = platform::File::open(archivePath, platform::OpenMode::ReadExisting);
    ASSERT_TRUE(archive.isOpen());
    idxinfo info;
    uint8_t* table = nullptr;
    uint32_t unit = 0;
    ASSERT_EQ(LoadIndexData(type, indexPath, table, &unit, bigEndian), count);
    MallocBuffer ownedTable(table);
    for (uint32_t e = first; e < end; ++e) {
        uint8_t* data = nullptr;
        uint32_t length = 0;
        int32_t status = reader->ReadMember(archive.native(), e, data, &length, false);
        GetIndexInfo(type, table, unit, bigEndian, e, &info);
        if (status == -2) {
            ++census.unused;
            census.members.emplace_back();
            continue;
        }
        ASSERT_EQ(status, 0) << "entry " << e << ": " << utf8(GetMessageQX());
        MallocBuffer owned(data);
        bool raw = info.marker == 0 || info.marker == 0x43535442;
        ++(raw ? census.raw : census.compressed);
        census.members.emplace_back(reinterpret_cast<char*>(data), length);
        inspectMember(data, length, bigEndian, census);
    }
    delete reader;
}

class SampleGame : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        run_ = new ToolRun(runTool(dir_->path(), {L"game"}));
        gameTable.clear();
        loaded_ = cli::LoadGameConfig(dir_->path() + kSep + L"game" + kSep + L"游戏信息.txt");
        games_ = new std::map<uint32_t, gameinfo>(gameTable);
    }
    static void TearDownTestSuite() {
        delete games_;
        delete run_;
        delete dir_;
        gameTable.clear();
    }

    static std::wstring folder() { return dir_->path() + kSep + L"game"; }
    // The game's folder: its location is relative to the folder of the configuration file.
    static std::wstring location(const gameinfo& game) { return folder() + kSep + game.location; }
    static const gameinfo& game(uint32_t number) { return games_->at(number); }

    static TempDir* dir_;
    static ToolRun* run_;
    static bool loaded_;
    static std::map<uint32_t, gameinfo>* games_;
};

TempDir* SampleGame::dir_ = nullptr;
ToolRun* SampleGame::run_ = nullptr;
bool SampleGame::loaded_ = false;
std::map<uint32_t, gameinfo>* SampleGame::games_ = nullptr;

TEST_F(SampleGame, WritesSixGamesAndAConfigurationTheProgramReads) {
    ASSERT_EQ(run_->exitCode, 0) << run_->output;
    ASSERT_TRUE(loaded_);
    ASSERT_EQ(games_->size(), 6u);
    const int32_t types[] = {1, 1, 2, 2, 3, 3};
    for (uint32_t n = 1; n <= 6; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(game(n).dataType, types[n - 1]);
        EXPECT_EQ(game(n).bigEndian, n % 2 == 0);
        EXPECT_EQ(game(n).exportPath, L"Extracted");
        EXPECT_EQ(game(n).importPath, L"Import");
        EXPECT_EQ(game(n).location.back(), platform::kPathSeparator);
        for (int32_t f = 0; f < game(n).voxbankCount; ++f)
            EXPECT_TRUE(platform::pathExists(location(game(n)) + game(n).voxbankNames[f]));
    }
    EXPECT_EQ(game(1).voxbankCount, 3);
    EXPECT_EQ(game(1).idxNames[0], L"VOXBANK.IDX");
    EXPECT_FALSE(game(1).splitInfoMissing);
    EXPECT_TRUE(game(2).splitInfoMissing);
    EXPECT_EQ(game(3).voxbankCount, 2);
    EXPECT_EQ(game(3).idxNames[0], L""); // Z54 keeps its index in the archive file
    EXPECT_EQ(game(5).idxNames[1], L"VOXPACK_B.IDX");
    // The file is UCS-2 little-endian with its mark, lines ending in CR LF.
    std::string config = readFileBytes(folder() + kSep + L"游戏信息.txt");
    ASSERT_GE(config.size(), 4u);
    EXPECT_EQ(config.substr(0, 2), "\xFF\xFE");
    EXPECT_NE(config.find(std::string("\r\0\n\0", 4)), std::string::npos);
}

TEST_F(SampleGame, WritesTheSameBytesOnEveryRun) {
    TempDir other;
    ASSERT_EQ(runTool(other.path(), {L"game"}).exitCode, 0);
    std::map<std::wstring, std::string> first, second;
    collectFiles(folder(), L"", first);
    collectFiles(other.path() + kSep + L"game", L"", second);
    EXPECT_EQ(first.size(), 18u); // the configuration, 11 archive files, 6 index files
    ASSERT_EQ(first.size(), second.size());
    for (const auto& [name, bytes] : first) {
        SCOPED_TRACE(utf8(name));
        EXPECT_TRUE(bytes == second[name]);
    }
    // Another seed makes other members.
    TempDir third;
    ASSERT_EQ(runTool(third.path(), {L"--seed", L"7", L"game"}).exitCode, 0);
    std::map<std::wstring, std::string> reseeded;
    collectFiles(third.path() + kSep + L"game", L"", reseeded);
    EXPECT_NE(reseeded[L"样例游戏/Z54-PC/VOXDATA_A.BIN"], first[L"样例游戏/Z54-PC/VOXDATA_A.BIN"]);
}

// The split addresses of the 357 PC game name the entries whose offset is 0, as the
// split-information update would find them; the PS3 game has the same layout without them.
TEST_F(SampleGame, SplitAddressesMatchTheIndex) {
    for (uint32_t n : {1u, 2u}) {
        SCOPED_TRACE(n);
        const gameinfo& g = game(n);
        std::string index = readFileBytes(location(g) + g.idxNames[0]);
        std::vector<uint32_t> boundaries = {0};
        for (size_t e = 1; e < index.size() / 32; ++e)
            if (readNumber64(index, 32 * e, g.bigEndian) == 0)
                boundaries.push_back(uint32_t(32 * e));
        ASSERT_EQ(boundaries.size(), 3u);
        for (size_t f = 0; f < 3; ++f)
            EXPECT_EQ(game(1).splitAddresses[f], boundaries[f]);
    }
    EXPECT_EQ(game(1).splitAddresses[1], 0x180u);
    EXPECT_EQ(game(1).splitAddresses[2], 0x260u);
}

// Every entry of every archive file reads back; each archive file holds raw, compressed and
// unused entries, and each game texture containers and blobs holding containers.
TEST_F(SampleGame, EveryMemberOfEveryGameReadsBack) {
    for (uint32_t n = 1; n <= 6; ++n) {
        const gameinfo& g = game(n);
        Census total;
        for (int32_t f = 0; f < g.voxbankCount; ++f) {
            SCOPED_TRACE(std::to_string(n) + " file " + std::to_string(f));
            std::wstring archive = location(g) + g.voxbankNames[f];
            std::wstring index = g.dataType == 2   ? archive
                                 : g.dataType == 3 ? location(g) + g.idxNames[f]
                                                   : location(g) + g.idxNames[0];
            // Both 357 games share one layout; the PC game names its split points.
            uint32_t first = g.dataType == 1 ? game(1).splitAddresses[f] / 32 : 0;
            uint32_t end = g.dataType == 1 && f < 2 ? game(1).splitAddresses[f + 1] / 32 : 1000;
            Census census;
            readEntries(g.dataType, g.bigEndian, index, archive, first, end, census);
            EXPECT_GT(census.raw, 0);
            EXPECT_GT(census.compressed, 0);
            EXPECT_GT(census.unused, 0);
            ASSERT_FALSE(census.members.empty());
            EXPECT_EQ(census.members[0].rfind("# 角色参数表\n编号=0001 名称=", 0), 0u);
            total.containers += census.containers;
            total.blobsWithContainers += census.blobsWithContainers;
            total.textures += census.textures;
        }
        EXPECT_GE(total.containers, 2) << n;
        EXPECT_GE(total.blobsWithContainers, 2) << n;
        EXPECT_GE(total.textures, 10) << n;
    }
}

// Index entries byte for byte: the 357 PS3 index in big-endian order, compressed entries
// flagged by the byte 1 at 24, unused ones by their marker; members start at multiples of 256.
TEST_F(SampleGame, IndexEntriesAreLaidOutAsTheImportWritesThem) {
    const gameinfo& g = game(2);
    std::string index = readFileBytes(location(g) + g.idxNames[0]);
    ASSERT_EQ(index.size() % 32, 0u);
    // Entry 0: a compressed table at offset 0; entry 3: unused; entry 10: three raw bytes.
    EXPECT_EQ(index.substr(0, 8), std::string(8, '\0'));
    EXPECT_EQ(index.substr(24, 8), std::string("\x01\0\0\0\0\0\0\0", 8));
    EXPECT_EQ(index.substr(3 * 32 + 24, 4), std::string("\x38\x00\x08\x00", 4));
    EXPECT_EQ(index.substr(3 * 32 + 16, 4), std::string(4, '\0'));
    EXPECT_EQ(index.substr(10 * 32 + 8, 4), std::string("\0\0\0\x03", 4));
    EXPECT_EQ(index.substr(10 * 32 + 16, 4), std::string("\0\0\0\x03", 4));
    EXPECT_EQ(index.substr(10 * 32 + 24, 4), std::string(4, '\0'));
    std::string archive = readFileBytes(location(g) + g.voxbankNames[0]);
    uint64_t tiny = readNumber64(index, 10 * 32, true);
    EXPECT_EQ(tiny % 256, 0u);
    EXPECT_EQ(archive.substr(size_t(tiny), 4), std::string("ok\n\0", 4));
    EXPECT_EQ(archive.size() % 256, 0u);
}

// A Z54 archive: header (0, count, unit 2048, 0), offsets in units, the raw member tagged
// 0x43535442 and compressed members carrying their decompressed size as the marker.
TEST_F(SampleGame, Z54ArchivesCarryTheirIndex) {
    const gameinfo& g = game(4);
    std::string archive = readFileBytes(location(g) + g.voxbankNames[0]);
    ASSERT_GE(archive.size(), 16u + 16 * 12);
    EXPECT_EQ(archive.substr(0, 16), std::string("\0\0\0\0\0\0\0\x0c\0\0\x08\0\0\0\0\0", 16));
    EXPECT_EQ(archive.substr(16 + 6 * 16 + 12, 4), "CSTB");
    EXPECT_EQ(archive.size() % 2048, 0u);
    // Entry 0 starts behind the table, at the first unit; its container begins with the
    // decompressed size, which is also the entry's marker.
    EXPECT_EQ(readNumber64(archive, 16, true), 1u);
    EXPECT_EQ(archive.substr(2048, 4), archive.substr(16 + 12, 4));
}

TEST_F(SampleGame, BenchmarkGameHasTheAskedSizeAndReadsBack) {
    TempDir bench;
    ToolRun run = runTool(bench.path(), {L"--size", L"6", L"--type", L"358", L"--ps3", L"out"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    gameTable.clear();
    ASSERT_TRUE(cli::LoadGameConfig(bench.path() + kSep + L"out" + kSep + L"游戏信息.txt"));
    ASSERT_EQ(gameTable.size(), 1u);
    gameinfo g = gameTable[1];
    gameTable.clear();
    EXPECT_EQ(g.dataType, 3);
    EXPECT_TRUE(g.bigEndian);
    EXPECT_EQ(g.exportPath, g.importPath);
    std::wstring base = bench.path() + kSep + L"out" + kSep + g.location;
    uint64_t size = 0;
    platform::File archive =
        platform::File::open(base + g.voxbankNames[0], platform::OpenMode::ReadExisting);
    ASSERT_TRUE(archive.isOpen() && archive.size(size));
    EXPECT_GT(size, 4u << 20); // about 6 MiB: the generator estimates what compression saves
    EXPECT_LT(size, 9u << 20);
    Census census;
    readEntries(3, true, base + g.idxNames[0], base + g.voxbankNames[0], 0, 100000, census);
    EXPECT_GT(census.members.size(), 10u);
    EXPECT_GT(census.raw, 0);
    EXPECT_GT(census.compressed, 0);
}

TEST_F(SampleGame, RefusesBadArgumentsAndUnwritableFolders) {
    TempDir scratch;
    const std::string usage = utf8(L"用法：karvsample");
    for (std::vector<std::wstring> args : {std::vector<std::wstring>{},
                                           {L"--size", L"0", L"x"},
                                           {L"--type", L"Z55", L"x"},
                                           {L"--level", L"10", L"x"},
                                           {L"a", L"b"},
                                           {L"--size"}}) {
        ToolRun run = runTool(scratch.path(), args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.output.rfind(usage, 0), 0u) << run.output;
    }
    ASSERT_TRUE(writeFileBytes(scratch.file(L"blocked"), "a file, not a folder"));
    ToolRun run = runTool(scratch.path(), {L"blocked" + kSep + L"game"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find(utf8(L"无法创建文件夹")), std::string::npos) << run.output;
}

} // namespace
} // namespace karv::test
