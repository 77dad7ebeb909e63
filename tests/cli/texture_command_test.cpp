// The commands "ET" and "IT": textures of G1T containers (files of their own or sub-files of
// packed blobs) out as named DDS files and edited DDS files back in, all or nothing. Checked
// by the exact bytes written and printed, and against the DDS tools of libnvtt-bin.
#include "archive_builder.h"
#include "container_builders.h"
#include "g1t_builder.h"
#include "karvcore/karvcore.h"
#include "platform/filesystem.h"
#include "program_state.h"
#include "run_program.h"
#include "temp_dir.h"
#include "texture_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

namespace karv::test {
namespace {

const std::wstring kSep(1, platform::kPathSeparator);
// A folder typed with a separator at its end. "/" on both systems: Windows accepts it too, and
// a quoted argument that ends in a backslash would lose its closing quote there.
const std::wstring kTrailingSep = L"/";
const std::string kExportDone = utf8(L"贴图导出完毕！\n");
const std::string kNotTextureFile = utf8(L"指定的文件不是贴图文件！\n");
const std::string kImportDone = utf8(L"贴图导入完毕！\n");
const std::string kImportFailed = utf8(L"导入贴图失败！\n");
const std::string kNoFilesToImport = utf8(L"未找到可以导入的文件！\n");

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

std::wstring padded(uint32_t number, size_t width) {
    std::wstring digits = std::to_wstring(number);
    return std::wstring(digits.size() < width ? width - digits.size() : 0, L'0') + digits;
}

std::wstring ddsName(uint32_t subFile, uint32_t texture, uint8_t format) {
    return padded(subFile, 5) + L"_" + padded(texture, 6) + L"-" + g1tFormatName(format) + L".dds";
}

std::string exportedLine(uint32_t subFile, uint32_t texture) {
    return utf8(L"贴图 " + padded(subFile, 5) + L"_" + padded(texture, 6) + L" 导出成功！\n");
}

std::string importFailure(const std::wstring& name, const std::wstring& reason) {
    return utf8(L"导入 " + name + L" 文件失败！原因：" + reason + L"\n") + kImportFailed;
}

// A packed blob in the offset-and-size layout: sub-files back to back behind the table.
Bytes blobOf(const std::vector<Bytes>& subFiles, bool bigEndian) {
    ByteWriter w(bigEndian);
    w.u32(uint32_t(subFiles.size()));
    uint32_t position = 4 + 8 * uint32_t(subFiles.size());
    for (const Bytes& s : subFiles) {
        w.u32(position).u32(uint32_t(s.size()));
        position += uint32_t(s.size());
    }
    for (const Bytes& s : subFiles)
        w.raw(s);
    return w.bytes();
}

uint32_t subFileStart(const std::vector<Bytes>& subFiles, size_t subFile) {
    uint32_t position = 4 + 8 * uint32_t(subFiles.size());
    for (size_t i = 0; i < subFile; ++i)
        position += uint32_t(subFiles[i].size());
    return position;
}

std::vector<std::wstring> namesIn(const std::wstring& folder) {
    std::vector<platform::DirectoryEntry> entries;
    std::vector<std::wstring> names;
    platform::listDirectory(folder, L"*", entries);
    for (const auto& e : entries)
        names.push_back(e.name);
    return names;
}

// The DDS file of a texture of a builder, as the export writes it.
Bytes expectedDds(const G1tBuilder& builder, const G1tTexture& t, uint32_t number) {
    return exportedDds(t.format, 1u << t.widthLog2, 1u << t.heightLog2, t.levels,
                       builder.pixels(number));
}

class TextureCommands : public ::testing::Test {
  protected:
    TempDir dir;

    std::string run(const std::vector<std::wstring>& args) {
        RunOptions options;
        options.workDir = dir.path();
        return runKarvex(args, options).output;
    }
    std::wstring write(const std::wstring& name, const Bytes& bytes) {
        std::wstring path = dir.file(name);
        EXPECT_TRUE(writeBytes(path, bytes));
        return path;
    }
    std::wstring folder(const std::wstring& name) {
        std::wstring path = dir.file(name);
        EXPECT_TRUE(platform::createDirectory(path));
        return path;
    }
};

// ---- Export ----

TEST_F(TextureCommands, ExportsEveryFormatWithExactNamesAndBytes) {
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "PS3" : "PC");
        G1tBuilder builder(big);
        std::vector<G1tTexture> textures;
        auto add = [&](uint8_t format, uint8_t w, uint8_t h, uint8_t levels, uint32_t ext = 0,
                       bool shifted = false) {
            G1tTexture t;
            t.format = format;
            t.widthLog2 = w;
            t.heightLog2 = h;
            t.levels = levels;
            t.extensionLength = ext;
            t.shiftedLayout = shifted;
            t.spareNibble = 0xA;
            textures.push_back(t);
            builder.add(t);
        };
        add(kG1tArgb, 3, 2, 5); // ARGB keeps its top level only
        add(kG1tArgbAlt, 1, 1, 1);
        add(kG1tDxt1, 4, 3, 3);
        add(kG1tDxt1Alt, 3, 3, 1, 12);
        add(kG1tDxt3, 3, 4, 2);
        add(kG1tDxt5, 2, 2, 1, 0, true);
        add(0x09, 3, 3, 1); // not supported: reported, the next texture goes on
        add(kG1tDxt5Alt, 3, 3, 2, 8, true);
        add(kG1tBc4, 4, 4, 5);
        add(kG1tBc6h, 3, 3, 1);
        add(kG1tBc7, 4, 4, 5, 4);
        const std::wstring path = write(L"chara.g1t", builder.build());
        const std::wstring out = dir.file(L"chara");

        std::string expectedOutput;
        std::vector<std::wstring> expectedNames;
        for (uint32_t i = 0; i < textures.size(); ++i) {
            if (textures[i].format == 0x09) {
                expectedOutput += utf8(L"贴图 00000_000006 导出失败！尚不支持的贴图类型：0x09\n");
                continue;
            }
            expectedOutput += exportedLine(0, i);
            expectedNames.push_back(ddsName(0, i, textures[i].format));
        }
        EXPECT_EQ(run({big ? L"PS3" : L"PC", L"ET", path}), expectedOutput + kExportDone);
        std::sort(expectedNames.begin(), expectedNames.end());
        EXPECT_EQ(namesIn(out), expectedNames);
        for (uint32_t i = 0; i < textures.size(); ++i) {
            if (textures[i].format == 0x09)
                continue;
            EXPECT_EQ(readBytes(out + kSep + ddsName(0, i, textures[i].format)),
                      expectedDds(builder, textures[i], i))
                << i;
        }
        // Spot checks of the header by hand: 16 x 8 DXT1 with 3 levels, BC7 behind DX10.
        Bytes dxt1 = readBytes(out + kSep + L"00000_000002-DXT1.dds");
        ASSERT_EQ(dxt1.size(), 128u + 64 + 16 + 8);
        EXPECT_EQ(readLe32(dxt1, 8), 0x000A1007u);
        EXPECT_EQ(readLe32(dxt1, 12), 8u);
        EXPECT_EQ(readLe32(dxt1, 16), 16u);
        EXPECT_EQ(readLe32(dxt1, 28), 3u);
        EXPECT_EQ(readLe32(dxt1, 108), 0x401008u);
        Bytes bc7 = readBytes(out + kSep + L"00000_000010-BC7.dds");
        ASSERT_GE(bc7.size(), 148u);
        EXPECT_EQ(readLe32(bc7, 84), 0x30315844u); // "DX10"
        EXPECT_EQ(readLe32(bc7, 128), 98u);
    }
}

TEST_F(TextureCommands, ExportsOnlyTheContainersOfABlob) {
    G1tBuilder first(false), second(false), wrongOrder(true);
    first.add(kG1tDxt1, 3, 3);
    first.add(kG1tDxt5, 2, 3);
    second.add(kG1tBc7, 3, 2);
    wrongOrder.add(kG1tDxt1, 3, 3);
    const std::vector<Bytes> subFiles = {text("plain sub-file"), first.build(), text("GT"),
                                         wrongOrder.build(), second.build()};
    const std::wstring path = write(L"stage.bin", blobOf(subFiles, false));
    const std::wstring out = dir.file(L"stage");
    EXPECT_EQ(run({L"PC", L"ET", path}),
              exportedLine(1, 0) + exportedLine(1, 1) + exportedLine(4, 0) + kExportDone);
    EXPECT_EQ(namesIn(out),
              (std::vector<std::wstring>{L"00001_000000-DXT1.dds", L"00001_000001-DXT5.dds",
                                         L"00004_000000-BC7.dds"}));
    EXPECT_EQ(readBytes(out + kSep + L"00004_000000-BC7.dds"),
              exportedDds(kG1tBc7, 8, 4, 1, second.pixels(0)));

    // PS3 data: a blob in the offset-only layout (3 numbers: two sub-files, the last running
    // to the end of the blob), both sub-files containers.
    G1tBuilder a(true), b(true);
    a.add(kG1tDxt3, 2, 2);
    b.add(kG1tArgb, 1, 2);
    Bytes blobA = a.build(), blobB = b.build();
    ByteWriter w(true);
    w.u32(3).u32(12).u32(12 + uint32_t(blobA.size())).raw(blobA).raw(blobB);
    const std::wstring ps3 = write(L"ps3.bin", w.bytes());
    EXPECT_EQ(run({L"ps3", L"et", ps3}), exportedLine(0, 0) + exportedLine(1, 0) + kExportDone);
    EXPECT_EQ(readBytes(dir.file(L"ps3") + kSep + L"00001_000000-ARGB.dds"),
              exportedDds(kG1tArgb, 2, 4, 1, b.pixels(0)));
}

TEST_F(TextureCommands, FilesWithoutTextures) {
    EXPECT_EQ(run({L"PC", L"ET", dir.file(L"missing.g1t")}), utf8(L"加载文件失败！\n"));

    // A blob without containers: the folder is made first.
    const std::wstring blob = write(L"nothing.bin", blobOf({text("a"), text("bc")}, false));
    EXPECT_EQ(run({L"PC", L"ET", blob}), kNotTextureFile);
    EXPECT_TRUE(platform::isDirectory(dir.file(L"nothing")));

    // Neither magic nor a count: 0x00010001.
    EXPECT_EQ(run({L"PC", L"ET", write(L"odd.bin", {1, 0, 1, 0, 0, 0, 0, 0})}), kNotTextureFile);
    // A PC container read as PS3 data.
    G1tBuilder pc(false);
    pc.add(kG1tDxt1, 2, 2);
    EXPECT_EQ(run({L"PS3", L"ET", write(L"pc.g1t", pc.build())}), kNotTextureFile);
    // Too short for a first word.
    EXPECT_EQ(run({L"PC", L"ET", write(L"short.g1t", text("GT1"))}), kNotTextureFile);
    EXPECT_EQ(run({L"PC", L"ET", write(L"empty.g1t", Bytes())}), kNotTextureFile);
}

TEST_F(TextureCommands, EmptyAndHostileContainers) {
    const std::string none = utf8(L"贴图数量为零！") + kExportDone;
    EXPECT_EQ(run({L"PC", L"ET", write(L"empty.g1t", G1tBuilder(false).build())}), none);

    // A table the container cannot hold: the container does not open and has no textures.
    G1tBuilder builder(false);
    builder.add(kG1tDxt1, 3, 3);
    builder.add(kG1tDxt5, 3, 3);
    Bytes huge = builder.build();
    patchU32(huge, 16, 0x40000000, false);
    EXPECT_EQ(run({L"PC", L"ET", write(L"huge.g1t", huge)}), none);

    // A texture header far outside: that texture fails, the next one goes out.
    Bytes outside = builder.build();
    patchU32(outside, builder.tableOffset(), 0x7FFFFFF0, false);
    EXPECT_EQ(run({L"PC", L"ET", write(L"outside.g1t", outside)}),
              utf8(L"贴图 00000_000000 导出失败！贴图头超出 G1T 数据范围！\n") +
                  exportedLine(0, 1) + kExportDone);
    EXPECT_EQ(namesIn(dir.file(L"outside")), std::vector<std::wstring>{L"00000_000001-DXT5.dds"});
}

TEST_F(TextureCommands, OutputFoldersAndDdsFilesThatCannotBeWritten) {
    G1tBuilder builder(false);
    builder.add(kG1tDxt1, 2, 2);
    builder.add(kG1tDxt5, 2, 2);
    const Bytes container = builder.build();

    // No "." in the name: the folder would be the file itself.
    const std::wstring bare = write(L"chara", container);
    EXPECT_EQ(run({L"PC", L"ET", bare}), exportedLine(0, 0) + exportedLine(0, 1) + kExportDone);
    EXPECT_EQ(namesIn(bare + L"_files").size(), 2u);

    // A bare file name: the folder goes into the current folder.
    write(L"face.tex.g1t", container);
    EXPECT_EQ(run({L"PC", L"ET", L"face.tex.g1t"}),
              exportedLine(0, 0) + exportedLine(0, 1) + kExportDone);
    EXPECT_EQ(readBytes(dir.file(L"face") + kSep + L"00000_000001-DXT5.dds"),
              exportedDds(kG1tDxt5, 4, 4, 1, builder.pixels(1)));

    // A DDS file that cannot be written is a failed texture, not a success.
    const std::wstring path = write(L"blocked.g1t", container);
    ASSERT_TRUE(platform::createDirectory(dir.file(L"blocked")));
    ASSERT_TRUE(platform::createDirectory(dir.file(L"blocked") + kSep + L"00000_000000-DXT1.dds"));
    EXPECT_EQ(run({L"PC", L"ET", path}), utf8(L"贴图 00000_000000 导出失败！创建文件失败！\n") +
                                             exportedLine(0, 1) + kExportDone);
}

// The archive export calls the container export itself: quietly, one folder per member.
TEST_F(TextureCommands, ContainerExportForArchiveMembers) {
    G1tBuilder builder(true);
    builder.add(kG1tDxt1, 2, 2);
    builder.add(kG1tDxt3, 3, 2);
    const Bytes container = builder.build();
    Bytes member = text("lead-in bytes");
    member.insert(member.end(), container.begin(), container.end());

    cli::resetProgramState();
    cli::archiveSelection.bigEndian = true;
    cli::archiveSelection.texturesDir = folder(L"textures");
    cli::ExportContainerTextures(cli::archiveSelection, member.data(), 13,
                                 uint32_t(container.size()), 42, 3, false);
    const std::wstring memberFolder = dir.file(L"textures") + kSep + L"42";
    EXPECT_EQ(namesIn(memberFolder),
              (std::vector<std::wstring>{L"00003_000000-DXT1.dds", L"00003_000001-DXT3.dds"}));
    EXPECT_EQ(readBytes(memberFolder + kSep + L"00003_000001-DXT3.dds"),
              exportedDds(kG1tDxt3, 8, 4, 1, builder.pixels(1)));

    // Dry run: the member folder is made, no DDS file is written.
    cli::archiveSelection.dryRun = true;
    cli::ExportContainerTextures(cli::archiveSelection, member.data(), 13,
                                 uint32_t(container.size()), 7, 0, false);
    EXPECT_TRUE(platform::isDirectory(dir.file(L"textures") + kSep + L"7"));
    EXPECT_TRUE(namesIn(dir.file(L"textures") + kSep + L"7").empty());

    // Member 500000 stands for no member folder.
    cli::archiveSelection.dryRun = false;
    cli::ExportContainerTextures(cli::archiveSelection, member.data(), 13,
                                 uint32_t(container.size()), 500000, 1, false);
    EXPECT_EQ(namesIn(dir.file(L"textures")),
              (std::vector<std::wstring>{L"00001_000000-DXT1.dds", L"00001_000001-DXT3.dds", L"42",
                                         L"7"}));
    cli::resetProgramState();
}

// ---- Round trips ----

TEST_F(TextureCommands, EditedPixelsLandExactlyWhereTheyCameFrom) {
    G1tBuilder a(false), b(false);
    a.add(kG1tDxt1, 3, 3);
    a.add(kG1tDxt5, 4, 4, 2);
    b.add(kG1tArgb, 2, 2);
    b.add(kG1tBc7, 3, 3);
    // Sub-file 0 is a container: its textures carry the prefix 00000_ and go back into it.
    const std::vector<Bytes> subFiles = {a.build(), text("not a container"), b.build()};
    const Bytes original = blobOf(subFiles, false);
    const std::wstring path = write(L"stage.bin", original);
    const std::wstring out = dir.file(L"stage");
    EXPECT_EQ(run({L"PC", L"ET", path}), exportedLine(0, 0) + exportedLine(0, 1) +
                                             exportedLine(2, 0) + exportedLine(2, 1) + kExportDone);
    ASSERT_TRUE(writeBytes(out + kSep + L"readme.txt", text("not a DDS file")));

    // Unchanged files give back the same blob.
    EXPECT_EQ(run({L"PC", L"IT", path, out}), kImportDone);
    EXPECT_EQ(readBytes(path), original);

    const std::wstring dxt5 = out + kSep + L"00000_000001-DXT5.dds";
    const std::wstring bc7 = out + kSep + L"00002_000001-BC7.dds";
    Bytes editedDxt5 = readBytes(dxt5), editedBc7 = readBytes(bc7);
    editedDxt5[128 + 5] ^= 0xFF;
    editedBc7[148] ^= 0x0F;
    editedBc7.back() ^= 0xF0;
    ASSERT_TRUE(writeBytes(dxt5, editedDxt5));
    ASSERT_TRUE(writeBytes(bc7, editedBc7));
    EXPECT_EQ(run({L"PC", L"IT", path, out + kTrailingSep}), kImportDone);

    Bytes expected = original;
    expected[subFileStart(subFiles, 0) + a.dataPos(1) + 5] ^= 0xFF;
    const uint32_t bc7Data = subFileStart(subFiles, 2) + b.dataPos(1);
    expected[bc7Data] ^= 0x0F;
    expected[bc7Data + b.pixels(1).size() - 1] ^= 0xF0;
    EXPECT_EQ(readBytes(path), expected);
}

TEST_F(TextureCommands, Ps3ContainerRoundTrip) {
    G1tBuilder builder(true);
    builder.add(kG1tDxt1, 4, 3, 2);
    G1tTexture shifted;
    shifted.format = kG1tBc4;
    shifted.widthLog2 = 3;
    shifted.heightLog2 = 2;
    shifted.shiftedLayout = true;
    shifted.extensionLength = 10;
    builder.add(shifted);
    const Bytes original = builder.build();
    const std::wstring path = write(L"ps3.g1t", original);
    const std::wstring out = dir.file(L"ps3");
    EXPECT_EQ(run({L"PS3", L"ET", path}), exportedLine(0, 0) + exportedLine(0, 1) + kExportDone);
    const std::wstring bc4 = out + kSep + L"00000_000001-BC4.dds";
    Bytes edited = readBytes(bc4);
    ASSERT_EQ(edited.size(), 128u + 16);
    for (size_t i = 128; i < edited.size(); ++i)
        edited[i] = uint8_t(0xC0 + i);
    ASSERT_TRUE(writeBytes(bc4, edited));
    EXPECT_EQ(run({L"PS3", L"IT", path, out}), kImportDone);
    Bytes expected = original;
    std::copy(edited.begin() + 128, edited.end(), expected.begin() + builder.dataPos(1));
    EXPECT_EQ(readBytes(path), expected);
}

// ---- Import failures: the data file stays as it was ----

TEST_F(TextureCommands, ImportIsAllOrNothing) {
    G1tBuilder builder(false);
    builder.add(kG1tDxt1, 3, 3);
    builder.add(kG1tDxt5, 3, 3);
    const Bytes original = blobOf(
        {text("sub-file 0 is no container"), builder.build(), text("nor is sub-file 2")}, false);
    const std::wstring data = write(L"stage.bin", original);
    // Sorted before every failing file below, so it has gone in when the failure comes.
    Bytes goodPixels = builder.pixels(0);
    goodPixels[0] ^= 0xFF;
    const Bytes good = exportedDds(kG1tDxt1, 8, 8, 1, goodPixels);
    const Bytes dxt5 = exportedDds(kG1tDxt5, 8, 8, 1, builder.pixels(1));
    const std::wstring notDds = L"要导入的文件不是 DDS 文件！";
    const std::wstring wrongSize = L"要导入的 DDS 文件与贴图的尺寸不符！";
    const std::wstring wrongFormat = L"要导入的 DDS 文件与贴图的格式不符！";

    struct Case {
        std::wstring name;
        Bytes content;
        std::string output;
    };
    const std::string badName = utf8(L"无法识别 DDS 文件名！\n") + kImportFailed;
    const std::string notInner =
        utf8(L"指定的二重封包文件中的文件不是贴图文件！\n") + kImportFailed;
    const std::vector<Case> cases = {
        {L"cover.dds", dxt5, badName},
        {L"00001_x-DXT5.dds", dxt5, badName},
        {L"1_2_3-DXT5.dds", dxt5, badName},
        {L"00001_000001-DXT5-copy.dds", dxt5, badName},
        {L"00001_99999999999-DXT5.dds", dxt5, badName},
        {L"00001_000001-DXT5.dds", exportedDds(kG1tDxt5, 16, 8, 1, Bytes(128)),
         importFailure(L"00001_000001-DXT5.dds", wrongSize)},
        {L"00001_000001-DXT5.dds", exportedDds(kG1tDxt1, 8, 8, 1, Bytes(64)),
         importFailure(L"00001_000001-DXT5.dds", wrongFormat)},
        {L"00001_000001-DXT5.dds", Bytes(dxt5.begin(), dxt5.end() - 1),
         importFailure(L"00001_000001-DXT5.dds", L"要导入的文件过小！")},
        {L"00001_000001-DXT5.dds", Bytes(200, 'P'),
         importFailure(L"00001_000001-DXT5.dds", notDds)},
        {L"00001_000002-DXT5.dds", dxt5,
         importFailure(L"00001_000002-DXT5.dds", L"贴图编号超出贴图数量！")},
        {L"00009_000000-DXT1.dds", good, utf8(L"获取封包信息失败！\n") + kImportFailed},
        {L"00002_000000-DXT1.dds", good, notInner},
        {L"00000_000000-DXT1.dds", good, notInner},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(utf8(cases[i].name));
        const std::wstring f = folder(L"case" + std::to_wstring(i));
        ASSERT_TRUE(writeBytes(f + kSep + L"00001_000000-DXT1.dds", good));
        ASSERT_TRUE(writeBytes(f + kSep + cases[i].name, cases[i].content));
        EXPECT_EQ(run({L"PC", L"IT", data, f}), cases[i].output);
        EXPECT_EQ(readBytes(data), original);
    }
    // The good file alone goes in.
    const std::wstring alone = folder(L"alone");
    ASSERT_TRUE(writeBytes(alone + kSep + L"00001_000000-DXT1.dds", good));
    EXPECT_EQ(run({L"PC", L"IT", data, alone}), kImportDone);
    EXPECT_NE(readBytes(data), original);
}

TEST_F(TextureCommands, ImportRefusals) {
    G1tBuilder builder(false);
    builder.add(kG1tDxt1, 3, 3);
    const Bytes container = builder.build();
    const std::wstring single = write(L"single.g1t", container);
    const std::wstring dds = folder(L"dds");
    ASSERT_TRUE(writeBytes(dds + kSep + L"00001_000000-DXT1.dds",
                           exportedDds(kG1tDxt1, 8, 8, 1, builder.pixels(0))));

    EXPECT_EQ(run({L"PC", L"IT", dir.file(L"missing.bin"), dds}), utf8(L"加载 DATA 文件失败！\n"));
    // Sub-file 1 of a file that is a container, not a blob.
    EXPECT_EQ(run({L"PC", L"IT", single, dds}), kNotTextureFile + kImportFailed);

    // No DDS file: an empty folder, a missing one, one whose matches are all passed over.
    EXPECT_EQ(run({L"PC", L"IT", single, folder(L"empty")}), kNoFilesToImport);
    EXPECT_EQ(run({L"PC", L"IT", single, dir.file(L"missing")}), kNoFilesToImport);
    const std::wstring skipped = folder(L"skipped");
    ASSERT_TRUE(writeBytes(skipped + kSep + L".00000_000000-DXT1.dds", text("x")));
    ASSERT_TRUE(platform::createDirectory(skipped + kSep + L"00000_000000-DXT1.dds"));
    EXPECT_EQ(run({L"PC", L"IT", single, skipped}), kNoFilesToImport);

    // A container in the blob that does not open: its reason, not "not open".
    Bytes hostile = container;
    patchU32(hostile, 16, 0x40000000, false);
    const std::wstring blob = write(L"hostile.bin", blobOf({text("zero"), hostile}, false));
    EXPECT_EQ(run({L"PC", L"IT", blob, dds}),
              importFailure(L"00001_000000-DXT1.dds", L"贴图偏移表超出 G1T 数据范围！"));

#ifndef _WIN32
    // A DDS file that cannot be loaded.
    const std::wstring broken = folder(L"broken");
    std::filesystem::create_symlink(utf8(dir.file(L"nowhere")),
                                    utf8(broken + kSep + L"00000_000000-DXT1.dds"));
    EXPECT_EQ(run({L"PC", L"IT", single, broken}), utf8(L"加载 DDS 文件失败！\n") + kImportFailed);
#endif
    EXPECT_EQ(readBytes(single), container);
}

TEST_F(TextureCommands, DataFileThatCannotBeWrittenIsAFailure) {
#ifdef _WIN32
    GTEST_SKIP() << "needs a file-size limit for the child process (POSIX only)";
#else
    G1tBuilder builder(false);
    builder.add(kG1tDxt5, 4, 4);
    const std::wstring data = write(L"big.g1t", builder.build());
    const std::wstring dds = folder(L"dds");
    ASSERT_TRUE(writeBytes(dds + kSep + L"00000_000000-DXT5.dds",
                           exportedDds(kG1tDxt5, 16, 16, 1, builder.pixels(0))));
    // The program may write 64 bytes per file; the data file is larger.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 64;
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    std::string output = run({L"PC", L"IT", data, dds});
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(output, utf8(L"保存 DATA 文件失败！原因：写入数据失败！\n"));
#endif
}

// ---- The DDS tools of libnvtt-bin ----

// Empty when the tool can be run here, else why not.
std::string whyNoTool(const std::string& tool) {
#ifdef _WIN32
    (void)tool;
    return "the DDS tools are Linux programs, which the Windows build under wine cannot start";
#else
    if (std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) != 0)
        return tool + " is not installed (Debian package libnvtt-bin)";
    return "";
#endif
}

std::string shellQuoted(const std::wstring& path) {
    return "'" + utf8(path) + "'";
}

int runTool(const std::string& commandLine) {
    return std::system((commandLine + " >/dev/null 2>&1").c_str());
}

// A 32-bit TGA, origin top left, with a pattern that varies in every channel.
Bytes tgaImage(uint32_t width, uint32_t height) {
    Bytes out = {0,
                 0,
                 2,
                 0,
                 0,
                 0,
                 0,
                 0,
                 0,
                 0,
                 0,
                 0,
                 uint8_t(width),
                 uint8_t(width >> 8),
                 uint8_t(height),
                 uint8_t(height >> 8),
                 32,
                 0x28};
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            out.insert(out.end(), {uint8_t(x * 16 + y), uint8_t(y * 16), uint8_t(255 - x * 8 - y),
                                   uint8_t(128 + x * 4 + y)});
    return out;
}

Bytes repeated(const Bytes& block, size_t times) {
    Bytes out;
    for (size_t i = 0; i < times; ++i)
        out.insert(out.end(), block.begin(), block.end());
    return out;
}

TEST_F(TextureCommands, NvdecompressDecodesTheExportedFiles) {
    if (std::string why = whyNoTool("nvdecompress"); !why.empty())
        GTEST_SKIP() << why;
    // Solid colours, so the decoded image is known whatever the tool's row order.
    struct Solid {
        uint8_t format, widthLog2, heightLog2, levels;
        Bytes block;    // one 4 x 4 block (one pixel for ARGB)
        size_t blocks;  // in all levels
        Bytes expected; // decoded pixel: blue, green, red, alpha
    };
    const std::vector<Solid> solids = {
        {kG1tArgb, 2, 2, 1, {0x10, 0x20, 0x30, 0x40}, 16, {0x10, 0x20, 0x30, 0x40}},
        {kG1tDxt1, 3, 3, 3, {0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0}, 6, {0, 0, 255, 255}},
        {kG1tDxt3,
         3,
         2,
         1,
         {255, 255, 255, 255, 255, 255, 255, 255, 0x1F, 0, 0x1F, 0, 0, 0, 0, 0},
         2,
         {255, 0, 0, 255}},
        {kG1tDxt5,
         3,
         3,
         1,
         {0x80, 0x80, 0, 0, 0, 0, 0, 0, 0xE0, 0x07, 0xE0, 0x07, 0, 0, 0, 0},
         4,
         {0, 255, 0, 0x80}},
    };
    G1tBuilder builder(false);
    for (const Solid& s : solids) {
        G1tTexture t;
        t.format = s.format;
        t.widthLog2 = s.widthLog2;
        t.heightLog2 = s.heightLog2;
        t.levels = s.levels;
        t.pixels = repeated(s.block, s.blocks);
        builder.add(t);
    }
    const std::wstring path = write(L"solid.g1t", builder.build());
    ASSERT_EQ(run({L"PC", L"ET", path}), exportedLine(0, 0) + exportedLine(0, 1) +
                                             exportedLine(0, 2) + exportedLine(0, 3) + kExportDone);
    for (uint32_t i = 0; i < solids.size(); ++i) {
        const Solid& s = solids[i];
        std::wstring dds = dir.file(L"solid") + kSep + ddsName(0, i, s.format);
        SCOPED_TRACE(utf8(dds));
        ASSERT_EQ(runTool("nvdecompress " + shellQuoted(dds)), 0);
        Bytes tga = readBytes(dds.substr(0, dds.size() - 4) + L".tga");
        const uint32_t width = 1u << s.widthLog2, height = 1u << s.heightLog2;
        ASSERT_GE(tga.size(), 18u);
        EXPECT_EQ(tga[2], 2);
        EXPECT_EQ(tga[12] | tga[13] << 8, int(width));
        EXPECT_EQ(tga[14] | tga[15] << 8, int(height));
        ASSERT_EQ(tga[16], 32);
        ASSERT_EQ(tga.size(), 18u + tga[0] + width * height * 4);
        EXPECT_EQ(Bytes(tga.begin() + 18 + tga[0], tga.end()),
                  repeated(s.expected, width * height));
    }
}

TEST_F(TextureCommands, NvcompressFilesImportByteForByte) {
    if (std::string why = whyNoTool("nvcompress"); !why.empty())
        GTEST_SKIP() << why;
    const std::wstring square = write(L"square.tga", tgaImage(16, 16));
    const std::wstring wide = write(L"wide.tga", tgaImage(16, 8));
    struct Made {
        uint8_t format, widthLog2, heightLog2, levels;
        std::string options;
        std::wstring image;
    };
    // Mipmaps down to 1 x 1 by default; the container's own level rule agrees on the levels
    // it has (the wide texture stops before 1 x 1).
    const std::vector<Made> made = {
        {kG1tDxt1, 4, 4, 5, "-bc1", square},  {kG1tDxt3, 4, 4, 5, "-bc2", square},
        {kG1tDxt5, 4, 4, 5, "-bc3", square},  {kG1tBc4, 4, 4, 5, "-bc4", square},
        {kG1tArgb, 4, 4, 1, "-rgb", square},  {kG1tDxt1Alt, 4, 4, 1, "-bc1 -nomips", square},
        {kG1tDxt5Alt, 4, 3, 4, "-bc3", wide},
    };
    G1tBuilder builder(false);
    const std::wstring dds = folder(L"dds");
    for (uint32_t i = 0; i < made.size(); ++i) {
        const Made& m = made[i];
        builder.add(m.format, m.widthLog2, m.heightLog2, m.levels);
        std::wstring out = dds + kSep + ddsName(0, i, m.format);
        ASSERT_EQ(runTool("nvcompress " + m.options + " " + shellQuoted(m.image) + " " +
                          shellQuoted(out)),
                  0)
            << m.options;
    }
    const Bytes original = builder.build();
    const std::wstring data = write(L"made.g1t", original);
    EXPECT_EQ(run({L"PC", L"IT", data, dds}), kImportDone);

    Bytes expected = original;
    for (uint32_t i = 0; i < made.size(); ++i) {
        Bytes file = readBytes(dds + kSep + ddsName(0, i, made[i].format));
        const size_t size = builder.pixels(i).size();
        ASSERT_GE(file.size(), 128 + size) << i;
        auto pixels = file.begin() + 128;
        EXPECT_FALSE(std::equal(pixels, pixels + size, original.begin() + builder.dataPos(i)));
        std::copy(pixels, pixels + size, expected.begin() + builder.dataPos(i));
    }
    EXPECT_EQ(readBytes(data), expected);
}

} // namespace
} // namespace karv::test
