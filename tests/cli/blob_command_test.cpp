// The commands "SD" and "MD": packed blobs split into numbered sub-files and folders of
// ".data" files merged into new blobs, checked by the exact bytes written and printed.
#include "archive_builder.h"
#include "container_builders.h"
#include "karvcore/karvcore.h"
#include "platform/filesystem.h"
#include "run_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace karv::test {
namespace {

const std::wstring kSep(1, platform::kPathSeparator);
// A folder typed with a separator at its end. "/" on both systems: Windows accepts it too, and
// a quoted argument that ends in a backslash would lose its closing quote there.
const std::wstring kTrailingSep = L"/";
const std::string kSplitDone = utf8(L"文件拆分完毕！\n");
const std::string kSplitPartly = utf8(L"文件拆分完毕！但是部分文件未能保存！\n");
const std::string kNothingSplit = utf8(L"未拆分出任何文件！\n");
const std::string kMergeDone = utf8(L"文件合并完毕！\n");
const std::string kNoFilesToMerge = utf8(L"未找到可以合并的文件！\n");

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// The offset-and-size layout as the merge writes it: the sub-files back to back behind the
// table, then the zeros that round each size up to a multiple of 4.
Bytes mergedBlob(const std::vector<Bytes>& subFiles, bool bigEndian = false) {
    ByteWriter w(bigEndian);
    w.u32(uint32_t(subFiles.size()));
    uint32_t position = 4 + 8 * uint32_t(subFiles.size());
    size_t padding = 0;
    for (const Bytes& s : subFiles) {
        w.u32(position).u32(uint32_t(s.size()));
        position += uint32_t(s.size());
        padding += alignedTo(s.size(), 4) - s.size();
    }
    for (const Bytes& s : subFiles)
        w.raw(s);
    return w.zerosTo(w.bytes().size() + padding).bytes();
}

// The offset-only layout: N = sub-files + 1, the starts of the sub-files after the count; the
// last one runs to the end of the blob.
Bytes offsetOnlyBlob(const std::vector<Bytes>& subFiles, bool bigEndian) {
    ByteWriter w(bigEndian);
    uint32_t count = uint32_t(subFiles.size()) + 1;
    w.u32(count);
    uint32_t position = 4 * count;
    for (const Bytes& s : subFiles) {
        w.u32(position);
        position += uint32_t(s.size());
    }
    for (const Bytes& s : subFiles)
        w.raw(s);
    return w.bytes();
}

std::vector<std::wstring> namesIn(const std::wstring& folder) {
    std::vector<platform::DirectoryEntry> entries;
    std::vector<std::wstring> names;
    platform::listDirectory(folder, L"*", entries);
    for (const auto& e : entries)
        names.push_back(e.name);
    return names;
}

std::string splitLine(const std::wstring& path) {
    return utf8(L"文件 " + path + L" 拆分成功！\n");
}

std::string splitLines(const std::wstring& folder, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i)
        out += splitLine(folder + kSep + L"0000" + std::to_wstring(i) + L".data");
    return out;
}

class BlobCommands : public ::testing::Test {
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

TEST_F(BlobCommands, SplitThenMergeGivesBackTheBlob) {
    const std::vector<Bytes> subFiles = {text("first"), text("8 bytes!"), Bytes(),
                                         text("thirteen byte"), Bytes(4096, 0xA5)};
    const Bytes blob = mergedBlob(subFiles);
    const std::wstring path = write(L"角色.bin", blob);
    const std::wstring out = dir.file(L"角色");

    EXPECT_EQ(run({L"PC", L"SD", path}), splitLines(out, 5) + kSplitDone);
    ASSERT_EQ(namesIn(out).size(), 5u);
    for (size_t i = 0; i < subFiles.size(); ++i)
        EXPECT_EQ(readBytes(out + kSep + L"0000" + std::to_wstring(i) + L".data"), subFiles[i]);

    EXPECT_EQ(run({L"PC", L"MD", out}), kMergeDone);
    EXPECT_EQ(readBytes(out + kSep + L"角色.mdata"), blob);
    // The first output does not match "*.data": merging again replaces it with the same bytes.
    EXPECT_EQ(run({L"pc", L"md", out + kTrailingSep}), kMergeDone);
    EXPECT_EQ(readBytes(out + kSep + L"角色.mdata"), blob);
    EXPECT_EQ(namesIn(out).size(), 6u);
}

TEST_F(BlobCommands, SplitsBothLayoutsInPs3Order) {
    const std::vector<Bytes> subFiles = {text("alpha"), text("bravo charlie"), text("d")};
    const std::wstring pairs = write(L"pairs.bin", mergedBlob(subFiles, true));
    EXPECT_EQ(run({L"PS3", L"SD", pairs}), splitLines(dir.file(L"pairs"), 3) + kSplitDone);
    for (size_t i = 0; i < subFiles.size(); ++i)
        EXPECT_EQ(readBytes(dir.file(L"pairs") + kSep + L"0000" + std::to_wstring(i) + L".data"),
                  subFiles[i]);

    // Four numbers: three sub-files, the last one running to the end of the blob.
    const std::wstring offsets = write(L"offsets.bin", offsetOnlyBlob(subFiles, true));
    const std::wstring out = dir.file(L"offsets");
    EXPECT_EQ(run({L"PS3", L"SD", offsets}), splitLines(out, 3) + kSplitDone);
    for (size_t i = 0; i < subFiles.size(); ++i)
        EXPECT_EQ(readBytes(out + kSep + L"0000" + std::to_wstring(i) + L".data"), subFiles[i]);
    EXPECT_EQ(namesIn(out).size(), 3u);

    // The merge writes the offset-and-size layout, little-endian, whatever the data mode.
    EXPECT_EQ(run({L"PS3", L"MD", out}), kMergeDone);
    EXPECT_EQ(readBytes(out + kSep + L"offsets.mdata"), mergedBlob(subFiles, false));

    // The same blob in the other byte order is no blob: its count is far too large.
    EXPECT_EQ(run({L"PC", L"SD", offsets}), utf8(L"文件数量太多，可能不是封包文件！\n"));
}

TEST_F(BlobCommands, MergeTakesDataFilesInCodeUnitOrder) {
    const std::wstring chara = folder(L"chara");
    ASSERT_TRUE(writeBytes(chara + kSep + L"中.data", text("cjk")));
    ASSERT_TRUE(writeBytes(chara + kSep + L"a.data", text("seven b")));
    ASSERT_TRUE(writeBytes(chara + kSep + L"B.data", text("five!")));
    ASSERT_TRUE(writeBytes(chara + kSep + L"0.data", Bytes()));
    // Passed over: other extensions, hidden names, folders.
    ASSERT_TRUE(writeBytes(chara + kSep + L"notes.txt", text("x")));
    ASSERT_TRUE(writeBytes(chara + kSep + L".hidden.data", text("x")));
    ASSERT_TRUE(platform::createDirectory(chara + kSep + L"sub.data"));

    EXPECT_EQ(run({L"PS3", L"MD", chara + kTrailingSep}), kMergeDone);
    // 4 + 4 x 8 = 36; "0" empty, "B" 5, "a" 7, "中" 3; sizes rounded: 0 + 8 + 8 + 4.
    const Bytes expected = {4,   0,   0,   0,                                           // count
                            36,  0,   0,   0,   0,   0,   0,   0,                       // 0.data
                            36,  0,   0,   0,   5,   0,   0,   0,                       // B.data
                            41,  0,   0,   0,   7,   0,   0,   0,                       // a.data
                            48,  0,   0,   0,   3,   0,   0,   0,                       // 中.data
                            'f', 'i', 'v', 'e', '!', 's', 'e', 'v', 'e', 'n', ' ', 'b', // data
                            'c', 'j', 'k', 0,   0,   0,   0,   0}; // 3 + 1 + 1 zeros of rounding
    EXPECT_EQ(readBytes(chara + kSep + L"chara.mdata"), expected);

    // The example of two files of 5 and 7 bytes: 36 bytes.
    const std::wstring two = folder(L"two");
    ASSERT_TRUE(writeBytes(two + kSep + L"00000.data", text("12345")));
    ASSERT_TRUE(writeBytes(two + kSep + L"00001.data", text("abcdefg")));
    EXPECT_EQ(run({L"PC", L"MD", two}), kMergeDone);
    EXPECT_EQ(readBytes(two + kSep + L"two.mdata"), mergedBlob({text("12345"), text("abcdefg")}));
    EXPECT_EQ(readBytes(two + kSep + L"two.mdata").size(), 36u);
}

TEST_F(BlobCommands, MergeFailuresWriteNothing) {
    const std::wstring empty = folder(L"empty");
    EXPECT_EQ(run({L"PC", L"MD", empty}), kNoFilesToMerge);
    EXPECT_EQ(run({L"PC", L"MD", dir.file(L"missing")}), kNoFilesToMerge);

    // Every match passed over: nothing to merge, and no output.
    const std::wstring skipped = folder(L"skipped");
    ASSERT_TRUE(writeBytes(skipped + kSep + L".x.data", text("hidden")));
    ASSERT_TRUE(platform::createDirectory(skipped + kSep + L"d.data"));
    EXPECT_EQ(run({L"PC", L"MD", skipped}), kNoFilesToMerge);
    EXPECT_EQ(FilePathExists(skipped + kSep + L"skipped.mdata"), 0);

    // A folder path without a name of its own gives no output name.
    EXPECT_EQ(run({L"PC", L"MD", kSep + kSep}), utf8(L"无法从文件夹路径得到合并文件名！\n"));

    // The output cannot be created: a failure, not "done".
    const std::wstring blocked = folder(L"blocked");
    ASSERT_TRUE(writeBytes(blocked + kSep + L"00000.data", text("data")));
    ASSERT_TRUE(platform::createDirectory(blocked + kSep + L"blocked.mdata"));
    EXPECT_EQ(run({L"PC", L"MD", blocked}), utf8(L"文件合并失败！原因：创建文件失败！\n"));

#ifndef _WIN32
    // A listed file that cannot be loaded stops the merge before anything is written.
    const std::wstring broken = folder(L"broken");
    ASSERT_TRUE(writeBytes(broken + kSep + L"00000.data", text("data")));
    std::filesystem::create_symlink(utf8(dir.file(L"nowhere")),
                                    utf8(broken + kSep + L"00001.data"));
    EXPECT_EQ(run({L"PC", L"MD", broken}), utf8(L"加载文件失败！\n文件合并失败！\n"));
    EXPECT_EQ(FilePathExists(broken + kSep + L"broken.mdata"), 0);
#endif
}

TEST_F(BlobCommands, SplitOfOddAndHostileBlobs) {
    EXPECT_EQ(run({L"PC", L"SD", dir.file(L"missing.bin")}), utf8(L"加载文件失败！\n"));
    EXPECT_EQ(FilePathExists(dir.file(L"missing")), 0);

    // Too short for a count, or a count of 0: the folder is made, nothing is split.
    for (const Bytes& content : {Bytes(), Bytes{1, 0, 0}, Bytes{0, 0, 0, 0}}) {
        std::wstring path = write(L"short.bin", content);
        EXPECT_EQ(run({L"PC", L"SD", path}), kNothingSplit) << content.size();
        EXPECT_TRUE(platform::isDirectory(dir.file(L"short")));
        EXPECT_TRUE(namesIn(dir.file(L"short")).empty());
    }

    ByteWriter tooMany(false);
    tooMany.u32(0x10001).u32(0x80004).zerosTo(64);
    EXPECT_EQ(run({L"PC", L"SD", write(L"many.bin", tooMany.bytes())}),
              utf8(L"文件数量太多，可能不是封包文件！\n"));
    EXPECT_TRUE(namesIn(dir.file(L"many")).empty());

    // Sub-file 1 runs past the end, sub-file 2 starts at the end: both passed over silently.
    ByteWriter hostile(false);
    hostile.u32(3).u32(28).u32(4).u32(30).u32(8).u32(36).u32(1).raw(text("goodXXXX"));
    const std::wstring bad = write(L"hostile.bin", hostile.bytes());
    const std::wstring out = dir.file(L"hostile");
    EXPECT_EQ(run({L"PC", L"SD", bad}), splitLine(out + kSep + L"00000.data") + kSplitDone);
    EXPECT_EQ(namesIn(out), std::vector<std::wstring>{L"00000.data"});
    EXPECT_EQ(readBytes(out + kSep + L"00000.data"), text("good"));

    // A sub-file that cannot be written is reported and the others still go out.
    const std::wstring blob = write(L"three.bin", mergedBlob({text("a"), text("b"), text("c")}));
    const std::wstring three = folder(L"three");
    ASSERT_TRUE(platform::createDirectory(three + kSep + L"00001.data"));
    EXPECT_EQ(run({L"PC", L"SD", blob}),
              splitLine(three + kSep + L"00000.data") +
                  utf8(L"文件 " + three + kSep + L"00001.data 拆分失败！原因：创建文件失败！\n") +
                  splitLine(three + kSep + L"00002.data") + kSplitPartly);
    EXPECT_EQ(readBytes(three + kSep + L"00002.data"), text("c"));
}

TEST_F(BlobCommands, OutputFolderNamesNeverClashWithTheInput) {
    const Bytes blob = mergedBlob({text("one"), text("two")});
    // No "." in the name: the folder would be the file itself.
    const std::wstring bare = write(L"blob", blob);
    EXPECT_EQ(run({L"PC", L"SD", bare}), splitLines(bare + L"_files", 2) + kSplitDone);
    EXPECT_EQ(readBytes(bare + L"_files" + kSep + L"00001.data"), text("two"));

    // A name starting with ".".
    const std::wstring hidden = write(L".blob.bin", blob);
    EXPECT_EQ(run({L"PC", L"SD", hidden}), splitLines(hidden + L"_files", 2) + kSplitDone);

    // The stem ends at the first "."; a path without a separator works in the current folder.
    write(L"a.b.c", blob);
    EXPECT_EQ(run({L"PC", L"SD", L"a.b.c"}), splitLines(L"a", 2) + kSplitDone);
    EXPECT_EQ(readBytes(dir.file(L"a") + kSep + L"00000.data"), text("one"));
}

} // namespace
} // namespace karv::test
