// The archive export: members out to numbered ".data" files byte for byte for every data type
// and byte order, unused entries skipped, the range clamped to the index, multi-file 357 games
// read file by file, textures found in containers and packed blobs, dry runs that write nothing,
// and every failure ending the run the documented way.
#include "archive_export.h"
#include "archive_test_game.h"
#include "container_builders.h"
#include "g1t_builder.h"
#include "platform/text.h"
#include "texts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace karv::test {
namespace {

using cli::ExportMembers;

const std::wstring kSkipped = L"跳过未使用的文件！\n";

std::set<std::wstring> listNames(const std::wstring& folder) {
    std::vector<platform::DirectoryEntry> entries;
    platform::listDirectory(folder, L"*", entries);
    std::set<std::wstring> names;
    for (const platform::DirectoryEntry& e : entries)
        names.insert(e.name);
    return names;
}

void removeFiles(const std::wstring& folder) {
    for (const std::wstring& name : listNames(folder))
        platform::removeFile(folder + kSep + name);
}

std::wstring successLine(const std::wstring& from, const std::wstring& file) {
    return L"从 " + from + L" 中导出文件 " + file + L" 成功！\n";
}

// The line of every entry in order: the success line, or the skip line of an unused entry.
std::wstring expectedLines(const TestGame& game, const std::vector<uint32_t>& entries,
                           const std::set<uint32_t>& unused = {}) {
    std::wstring out;
    for (uint32_t entry : entries)
        out += unused.count(entry) ? kSkipped
                                   : successLine(game.archivePath(0), game.memberFile(entry));
    return out;
}

// ---- Every data type and byte order ----

class ExportEveryKind : public ::testing::TestWithParam<GameKind> {
  protected:
    ExportEveryKind() : game(GetParam().dataType, GetParam().bigEndian) {}
    TestGame game;
};

TEST_P(ExportEveryKind, WritesEachMemberAsTheReaderGivesItAndSkipsUnusedEntries) {
    const Bytes raw = mixedData(3000, 1);
    const Bytes tagged = mixedData(500, 2);
    const Bytes large = mixedData(70000, 3); // several chunks in every container
    const Bytes small = mixedData(100, 4);
    game.builder.addRaw(raw);
    game.builder.addRaw(tagged, kIdxMarkerRawTagged);
    game.builder.addCompressed(large);
    game.builder.addUnused(kIdxMarkerUnusedA, 4096);
    game.builder.addUnused(kIdxMarkerRaw, 4);
    game.builder.addUnused(kIdxMarkerUnusedB, 100);
    game.builder.addCompressed(small);
    game.write();
    game.select();

    OutputCapture output;
    ExportMembers(cli::archiveSelection, 0, 100, game.archivePath(0), false);

    EXPECT_EQ(output.take(), expectedLines(game, {0, 1, 2, 3, 4, 5, 6}, {3, 4, 5}));
    EXPECT_EQ(readBytes(game.memberFile(0)), raw);
    EXPECT_EQ(readBytes(game.memberFile(1)), tagged);
    EXPECT_EQ(readBytes(game.memberFile(2)), large);
    EXPECT_EQ(readBytes(game.memberFile(6)), small);
    EXPECT_EQ(
        listNames(game.exportFolder()),
        (std::set<std::wstring>{L"000000.data", L"000001.data", L"000002.data", L"000006.data"}));
    // Without textures asked for, no texture folder.
    EXPECT_FALSE(platform::pathExists(game.exportFolder() + kSep + L"Textures"));
    EXPECT_EQ(cli::archiveSelection.texturesDir, game.exportFolder() + kSep + L"Textures");
}

TEST_P(ExportEveryKind, ClampsTheRangeToTheIndex) {
    for (uint8_t i = 0; i < 5; ++i)
        game.builder.addRaw(Bytes(40 + i, uint8_t(0xA0 + i)));
    game.write();
    struct Case {
        uint32_t first, last;
        std::vector<uint32_t> exported;
    };
    const Case cases[] = {
        {1, 3, {1, 2, 3}},
        {3, 100, {3, 4}},
        {4, 2, {2}},
        {2, 2, {2}},
        {7, 9, {}},
        {7, 2, {2}},
        {0, 4, {0, 1, 2, 3, 4}},
        {5, 5, {}},
        {0xFFFFFFFF, 0, {0}},
        {0, 0xFFFFFFFF, {0, 1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + ".." + std::to_string(c.last));
        removeFiles(game.exportFolder());
        game.select();
        OutputCapture output;
        ExportMembers(cli::archiveSelection, c.first, c.last, game.archivePath(0), false);
        EXPECT_EQ(output.take(), expectedLines(game, c.exported));
        std::set<std::wstring> names;
        for (uint32_t entry : c.exported) {
            names.insert(padded6(entry) + L".data");
            EXPECT_EQ(readBytes(game.memberFile(entry)), Bytes(40 + entry, uint8_t(0xA0 + entry)));
        }
        EXPECT_EQ(listNames(game.exportFolder()), names);
    }
}

TEST_P(ExportEveryKind, DryRunPrintsEveryLineButWritesNoFile) {
    G1tBuilder textures(game.bigEndian());
    textures.add(kG1tDxt1, 3, 3);
    game.builder.addCompressed(textures.build());
    game.builder.addRaw(mixedData(900, 5));
    game.builder.addUnused();
    game.write();

    game.select(true);
    OutputCapture output;
    ExportMembers(cli::archiveSelection, 0, 10, game.archivePath(0), true);
    const std::wstring dryLines = output.take();

    // Folders are made, files are not.
    const std::wstring texturesDir = game.exportFolder() + kSep + L"Textures";
    EXPECT_TRUE(platform::isDirectory(game.exportFolder()));
    EXPECT_TRUE(platform::isDirectory(texturesDir));
    EXPECT_TRUE(platform::isDirectory(texturesDir + kSep + L"0"));
    EXPECT_EQ(listNames(game.exportFolder()), std::set<std::wstring>{L"Textures"});
    EXPECT_TRUE(listNames(texturesDir + kSep + L"0").empty());

    game.select(false);
    ExportMembers(cli::archiveSelection, 0, 10, game.archivePath(0), true);
    EXPECT_EQ(output.take(), dryLines);
    EXPECT_EQ(dryLines, expectedLines(game, {0, 1, 2}, {2}));
    EXPECT_EQ(listNames(texturesDir + kSep + L"0"),
              std::set<std::wstring>{L"00000_000000-DXT1.dds"});
}

TEST_P(ExportEveryKind, CorruptMemberPrintsTheReadersMessageAndTheRunGoesOn) {
    // A zlib header followed by bytes that are no deflate stream.
    Bytes broken = {0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x11, 0x22, 0x33};
    ByteWriter container(game.bigEndian());
    if (game.dataType() == kDataType357)
        container.u32(65536).u32(1).u32(50).u32(uint32_t(4 + broken.size())).alignTo(128);
    else if (game.dataType() == kDataType358)
        container.raw({0x7A, 0x70, 0x31, 0x00})
            .u32(50)
            .u32(262144)
            .u32(1)
            .u32(uint32_t(4 + broken.size()))
            .alignTo(2048);
    else
        container.u32(50);
    container.record(broken).u32(0);
    game.builder.addRaw(Bytes(10, 1));
    game.builder.addStored(container.bytes(), game.z54() ? 50 : (game.bigEndian() ? 1u << 24 : 1),
                           50);
    game.builder.addRaw(Bytes(20, 2));
    game.write();
    game.select();

    OutputCapture output;
    ExportMembers(cli::archiveSelection, 0, 2, game.archivePath(0), false);
    EXPECT_EQ(output.take(), successLine(game.archivePath(0), game.memberFile(0)) +
                                 L"解压文件 000001.data 出错！原因：数据解压失败！\n\n" +
                                 successLine(game.archivePath(0), game.memberFile(2)));
    EXPECT_FALSE(platform::pathExists(game.memberFile(1)));
    EXPECT_EQ(readBytes(game.memberFile(2)), Bytes(20, 2));
}

INSTANTIATE_TEST_SUITE_P(Games, ExportEveryKind, ::testing::ValuesIn(allGameKinds()), kindName);

// ---- Archive files and folders ----

// Three archive files split at entries 61 and 128 (split addresses 0x7A0 and 0x1000): every
// member is read from its own file, where its offset counts from that file's start.
TEST(ExportMultiFile357, ReadsEachEntryFromTheFileItsSplitAddressNames) {
    TestGame game(kDataType357, false);
    auto content = [](uint32_t entry) { return mixedData(64 + entry % 7, entry + 10); };
    for (uint32_t entry = 0; entry < 140; ++entry) {
        if (entry == 61 || entry == 128)
            game.builder.startNextFile();
        if (entry % 3 == 0)
            game.builder.addCompressed(content(entry));
        else
            game.builder.addRaw(content(entry));
    }
    game.write();
    game.select();
    ASSERT_EQ(cli::archiveSelection.linkinfo.splitAddress[1], 0x7A0u);
    ASSERT_EQ(cli::archiveSelection.linkinfo.splitAddress[2], 0x1000u);

    OutputCapture output;
    ExportMembers(cli::archiveSelection, 55, 135, game.archivePath(0), false);
    std::vector<uint32_t> entries;
    for (uint32_t entry = 55; entry <= 135; ++entry) {
        entries.push_back(entry);
        EXPECT_EQ(readBytes(game.memberFile(entry)), content(entry)) << entry;
    }
    // Every line names the first archive file, whichever file the member came from.
    EXPECT_EQ(output.take(), expectedLines(game, entries));
}

TEST(ExportMultiFile357, MissingLaterFileEndsTheRunAtItsFirstEntry) {
    TestGame game(kDataType357, true);
    game.builder.addRaw(Bytes(30, 1));
    game.builder.startNextFile();
    game.builder.addRaw(Bytes(30, 2));
    game.builder.startNextFile();
    game.builder.addRaw(Bytes(30, 3));
    game.builder.addRaw(Bytes(30, 4));
    game.write();
    ASSERT_TRUE(platform::removeFile(game.archivePath(2)));
    game.select();

    OutputCapture output;
    ExportMembers(cli::archiveSelection, 0, 3, game.archivePath(0), false);
    EXPECT_EQ(output.take(), expectedLines(game, {0, 1}) + L"打开 VOXBANK 文件失败！\n");
    EXPECT_EQ(listNames(game.exportFolder()),
              (std::set<std::wstring>{L"000000.data", L"000001.data"}));
}

TEST(ExportMultiFile357, RefusesMoreArchiveFilesThanTheDescriptionHolds) {
    TestGame game(kDataType357, false);
    game.builder.addRaw(Bytes(30, 1));
    game.write();
    game.select();
    cli::archiveSelection.linkinfo.fileCount = 11;
    OutputCapture output;
    ExportMembers(cli::archiveSelection, 0, 0, game.archivePath(0), false);
    EXPECT_EQ(output.take(), text::kTooManyArchiveFiles);
    EXPECT_FALSE(platform::pathExists(game.exportRoot()));
}

TEST(ExportFolders, OwnFolderIsTheArchiveNameUpToItsFirstDot) {
    for (const std::wstring name : {L"pack.a.b.bin", L".hidden", L"plain"}) {
        TestGame game(kDataTypeZ54, false);
        game.names = {name};
        game.builder.addRaw(Bytes(12, 7));
        game.write();
        game.select();
        OutputCapture output;
        ExportMembers(cli::archiveSelection, 0, 0, game.archivePath(0), false);
        const std::wstring folder =
            name == L"pack.a.b.bin" ? L"pack" : name; // ".hidden" and "plain" stay whole
        const std::wstring file = game.exportRoot() + kSep + folder + kSep + L"000000.data";
        EXPECT_EQ(output.take(), successLine(game.archivePath(0), file));
        EXPECT_EQ(readBytes(file), Bytes(12, 7));
    }
}

// A re-export writes over the files of the previous one: a longer file must end where the
// member ends, a shorter one must grow to it.
TEST(ExportFolders, ReExportReplacesLongerAndShorterFilesExactly) {
    TestGame game(kDataType358, false);
    const Bytes first = mixedData(5000, 1);
    const Bytes second = mixedData(40, 2);
    game.builder.addCompressed(first);
    game.builder.addRaw(second);
    game.write();
    game.select();
    OutputCapture output;
    ExportMembers(cli::archiveSelection, 0, 1, game.archivePath(0), false);
    ASSERT_TRUE(writeBytes(game.memberFile(0), Bytes(100, 9)));
    ASSERT_TRUE(writeBytes(game.memberFile(1), Bytes(9000, 9)));
    game.select();
    ExportMembers(cli::archiveSelection, 0, 1, game.archivePath(0), false);
    EXPECT_EQ(readBytes(game.memberFile(0)), first);
    EXPECT_EQ(readBytes(game.memberFile(1)), second);
}
// ---- Failures ----

TEST(ExportFailures, MissingArchiveFileIsNamedAndNothingIsMade) {
    for (int32_t type : {kDataTypeZ54, kDataType358}) {
        TestGame game(type, false);
        game.builder.addRaw(Bytes(12, 7));
        game.write();
        game.select();
        ASSERT_TRUE(platform::removeFile(game.archivePath(0)));
        OutputCapture output;
        ExportMembers(cli::archiveSelection, 0, 0, game.archivePath(0), false);
        EXPECT_EQ(output.take(), L"文件“" + game.archivePath(0) + L"”不存在！\n");
        EXPECT_FALSE(platform::pathExists(game.exportRoot()));
    }
}

TEST(ExportFailures, FirstArchiveFileOf357GameThatCannotBeOpened) {
    TestGame game(kDataType357, false);
    game.builder.addRaw(Bytes(12, 7));
    game.write();
    game.select();
    ASSERT_TRUE(platform::removeFile(game.archivePath(0)));
    OutputCapture output;
    ExportMembers(cli::archiveSelection, 0, 0, game.archivePath(0), false);
    EXPECT_EQ(output.take(), L"打开文件失败！\n");
    EXPECT_TRUE(platform::isDirectory(game.exportRoot()));
}

TEST(ExportFailures, IndexThatCannotBeLoadedEndsTheRunQuietly) {
    TestGame game(kDataType358, true);
    game.builder.addRaw(Bytes(12, 7));
    game.write();
    game.select();
    ASSERT_TRUE(platform::removeFile(game.indexPath()));
    OutputCapture output;
    ExportMembers(cli::archiveSelection, 0, 0, game.archivePath(0), false);
    EXPECT_EQ(output.take(), L"");
    EXPECT_TRUE(listNames(game.exportFolder()).empty());
}

TEST(ExportFailures, MemberFileThatCannotBeCreatedEndsTheRun) {
    TestGame game(kDataTypeZ54, false);
    game.builder.addRaw(Bytes(12, 7));
    game.builder.addRaw(Bytes(12, 8));
    game.write();
    // A file where the archive file's folder should be.
    platform::createDirectory(game.exportRoot());
    ASSERT_TRUE(writeBytes(game.exportFolder(), Bytes{1}));
    game.select();
    OutputCapture output;
    ExportMembers(cli::archiveSelection, 0, 1, game.archivePath(0), false);
    EXPECT_EQ(output.take(), L"创建文件失败！\n");
}

#ifndef _WIN32
// A member file that cannot be written whole is reported, removed, and ends the run.
TEST(ExportFailures, ShortWriteEndsTheRunWithoutSuccessLine) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    TestGame game(kDataType358, false);
    game.builder.addRaw(mixedData(5000, 3));
    game.builder.addRaw(Bytes(12, 8));
    game.write();
    platform::createDirectory(game.exportRoot());
    platform::createDirectory(game.exportFolder());
    std::filesystem::create_symlink("/dev/full", platform::wideToUtf8(game.memberFile(0)));
    game.select();
    OutputCapture output;
    ExportMembers(cli::archiveSelection, 0, 1, game.archivePath(0), false);
    EXPECT_EQ(output.take(), L"写入文件“" + game.memberFile(0) + L"”出错！\n");
    EXPECT_FALSE(platform::pathExists(game.memberFile(1)));
}
#endif

// ---- Textures ----

class ExportTextures : public ::testing::TestWithParam<bool> {};

TEST_P(ExportTextures, ContainersAndContainersInBlobsBecomeDdsFiles) {
    const bool bigEndian = GetParam();
    TestGame game(kDataType357, bigEndian);
    G1tBuilder single(bigEndian);
    single.add(kG1tDxt5, 4, 4);
    single.add(kG1tArgb, 2, 3);
    G1tBuilder inner1(bigEndian);
    inner1.add(kG1tDxt1, 3, 3);
    G1tBuilder inner3(bigEndian);
    inner3.add(kG1tBc7, 2, 2);
    inner3.add(kG1tDxt3, 3, 2);

    game.builder.addRaw(single.build());
    game.builder.addCompressed(packedBlob(
        {mixedData(64, 1), inner1.build(), mixedData(16, 2), inner3.build()}, bigEndian));
    game.builder.addRaw({0x47, 0x54}); // too short for a first word
    // First word 3 but no table: searched as a blob, nothing found.
    ByteWriter notBlob(bigEndian);
    notBlob.u32(3).u32(0xFFFFFFF0).u32(7).u32(9);
    game.builder.addRaw(notBlob.bytes());
    // First word above the blob limit: not searched.
    ByteWriter tooMany(bigEndian);
    tooMany.u32(0x10001).raw(inner1.build());
    game.builder.addRaw(tooMany.bytes());
    game.write();
    game.select();

    OutputCapture output;
    ExportMembers(cli::archiveSelection, 0, 4, game.archivePath(0), true);
    EXPECT_EQ(output.take(), expectedLines(game, {0, 1, 2, 3, 4}));

    const std::wstring textures = game.exportFolder() + kSep + L"Textures";
    EXPECT_EQ(listNames(textures), (std::set<std::wstring>{L"0", L"1"}));
    const std::wstring folder0 = textures + kSep + L"0" + kSep;
    const std::wstring folder1 = textures + kSep + L"1" + kSep;
    EXPECT_EQ(listNames(textures + kSep + L"0"),
              (std::set<std::wstring>{L"00000_000000-DXT5.dds", L"00000_000001-ARGB.dds"}));
    EXPECT_EQ(readBytes(folder0 + L"00000_000000-DXT5.dds"),
              exportedDds(kG1tDxt5, 16, 16, 1, single.pixels(0)));
    EXPECT_EQ(readBytes(folder0 + L"00000_000001-ARGB.dds"),
              exportedDds(kG1tArgb, 4, 8, 1, single.pixels(1)));
    EXPECT_EQ(listNames(textures + kSep + L"1"),
              (std::set<std::wstring>{L"00001_000000-DXT1.dds", L"00003_000000-BC7.dds",
                                      L"00003_000001-DXT3.dds"}));
    EXPECT_EQ(readBytes(folder1 + L"00001_000000-DXT1.dds"),
              exportedDds(kG1tDxt1, 8, 8, 1, inner1.pixels(0)));
    EXPECT_EQ(readBytes(folder1 + L"00003_000000-BC7.dds"),
              exportedDds(kG1tBc7, 4, 4, 1, inner3.pixels(0)));
    EXPECT_EQ(readBytes(folder1 + L"00003_000001-DXT3.dds"),
              exportedDds(kG1tDxt3, 8, 4, 1, inner3.pixels(1)));
    // The members themselves are exported too.
    EXPECT_EQ(readBytes(game.memberFile(2)), (Bytes{0x47, 0x54}));
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, ExportTextures, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "PS3" : "PC");
                         });

} // namespace
} // namespace karv::test
