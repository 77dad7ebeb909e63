// The platform layer's files and folders: open modes, 64-bit positions, truncation, borrowed
// handles, the system's reasons for failures, flushes, folder creation, listings in UTF-16
// order and wildcard existence tests.
#include "platform/fault_injection.h"
#include "platform/file.h"
#include "platform/filesystem.h"
#include "platform/flush_ahead.h"
#include "platform/read_ahead.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <winerror.h> // the codes alone: <windows.h> would define `far`
#else
#include <cerrno>
#endif

#include <string>
#include <thread>
#include <vector>

namespace karv::test {
namespace {

using platform::File;
using platform::OpenMode;
using platform::SeekFrom;

constexpr uint64_t kGiB = uint64_t(1) << 30;

std::string readRest(File& file) {
    std::string out;
    char chunk[256];
    uint32_t done = 0;
    while (file.read(chunk, sizeof chunk, done) && done > 0)
        out.append(chunk, done);
    return out;
}

bool writeText(File& file, const std::string& text) {
    return bool(file.writeAll(text.data(), uint32_t(text.size())));
}

class Files : public ::testing::Test {
  protected:
    TempDir dir;
};

TEST_F(Files, ExistingModesRefuseMissingFilesAndCreateNothing) {
    const std::wstring path = dir.file(L"missing.bin");
    EXPECT_FALSE(File::open(path, OpenMode::ReadExisting).isOpen());
    EXPECT_FALSE(File::open(path, OpenMode::WriteExisting).isOpen());
    EXPECT_FALSE(File::open(path, OpenMode::ReadWriteExisting).isOpen());
    EXPECT_FALSE(platform::pathExists(path));
}

TEST_F(Files, CreateAlwaysEmptiesAnExistingFile) {
    const std::wstring path = dir.file(L"data.bin");
    ASSERT_TRUE(writeFileBytes(path, "old contents"));
    File file = File::open(path, OpenMode::CreateAlways);
    ASSERT_TRUE(file.isOpen());
    uint64_t size = 99;
    ASSERT_TRUE(file.size(size));
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(writeText(file, "new"));
    EXPECT_TRUE(file.close());
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(readFileBytes(path), "new");
}

TEST_F(Files, WriteExistingStartsAtZeroAndKeepsTheRest) {
    const std::wstring path = dir.file(L"data.bin");
    ASSERT_TRUE(writeFileBytes(path, "abcdef"));
    File file = File::open(path, OpenMode::WriteExisting);
    ASSERT_TRUE(file.isOpen());
    EXPECT_TRUE(writeText(file, "XY"));
    EXPECT_TRUE(file.close());
    EXPECT_EQ(readFileBytes(path), "XYcdef");
}

TEST_F(Files, AccessIsLimitedToTheMode) {
    const std::wstring path = dir.file(L"data.bin");
    ASSERT_TRUE(writeFileBytes(path, "abc"));
    File reader = File::open(path, OpenMode::ReadExisting);
    ASSERT_TRUE(reader.isOpen());
    uint32_t done = 7;
    EXPECT_FALSE(reader.write("x", 1, done));
    EXPECT_EQ(done, 0u);
    EXPECT_FALSE(reader.writeAll("x", 1));
    reader.close();

    File writer = File::open(dir.file(L"other.bin"), OpenMode::CreateAlways);
    ASSERT_TRUE(writer.isOpen());
    char byte = 0;
    EXPECT_FALSE(writer.read(&byte, 1, done));
    writer.close();
    EXPECT_EQ(readFileBytes(path), "abc");
}

TEST_F(Files, FoldersAndBadNamesDoNotOpen) {
    EXPECT_FALSE(File::open(dir.path(), OpenMode::ReadExisting).isOpen());
    EXPECT_FALSE(File::open(dir.path(), OpenMode::WriteExisting).isOpen());
    // A NUL inside the name must not silently open the shorter name before it.
    ASSERT_TRUE(writeFileBytes(dir.file(L"a"), "x"));
    std::wstring cut = dir.file(L"a");
    cut += L'\0';
    cut += L"b";
    EXPECT_FALSE(File::open(cut, OpenMode::ReadExisting).isOpen());
    EXPECT_FALSE(File::open(cut, OpenMode::CreateAlways).isOpen());
    EXPECT_FALSE(platform::pathExists(cut));
}

TEST_F(Files, ReadAllFailsPastTheEndAndReadAtTheEndGivesNothing) {
    const std::wstring path = dir.file(L"data.bin");
    ASSERT_TRUE(writeFileBytes(path, std::string("\x01\x02\x03\x00\xFF", 5)));
    File file = File::open(path, OpenMode::ReadExisting);
    ASSERT_TRUE(file.isOpen());
    unsigned char bytes[8] = {};
    ASSERT_TRUE(file.readAll(bytes, 5));
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[3], 0);
    EXPECT_EQ(bytes[4], 0xFF);
    uint32_t done = 9;
    EXPECT_TRUE(file.read(bytes, 8, done));
    EXPECT_EQ(done, 0u);
    ASSERT_TRUE(file.seek(2, SeekFrom::Begin));
    EXPECT_FALSE(file.readAll(bytes, 4)); // only 3 bytes left
    EXPECT_TRUE(file.readAll(bytes, 0));
}

TEST_F(Files, SeeksFromEachOrigin) {
    const std::wstring path = dir.file(L"data.bin");
    ASSERT_TRUE(writeFileBytes(path, "0123456789"));
    File file = File::open(path, OpenMode::ReadWriteExisting);
    ASSERT_TRUE(file.isOpen());
    uint64_t at = 0;
    ASSERT_TRUE(file.seek(-3, SeekFrom::End, &at));
    EXPECT_EQ(at, 7u);
    ASSERT_TRUE(file.seek(-2, SeekFrom::Current, &at));
    EXPECT_EQ(at, 5u);
    EXPECT_EQ(readRest(file), "56789");
    ASSERT_TRUE(file.position(at));
    EXPECT_EQ(at, 10u);
    // A position before the start is refused and leaves the position alone.
    EXPECT_FALSE(file.seek(-11, SeekFrom::End));
    EXPECT_FALSE(file.seek(-1, SeekFrom::Begin));
    ASSERT_TRUE(file.position(at));
    EXPECT_EQ(at, 10u);
    ASSERT_TRUE(file.seek(4, SeekFrom::Begin));
    EXPECT_TRUE(writeText(file, "ab"));
    ASSERT_TRUE(file.seek(0, SeekFrom::Begin));
    EXPECT_EQ(readRest(file), "0123ab6789");
}

TEST_F(Files, PositionsBeyondFourGiBAreExact) {
    const std::wstring path = dir.file(L"sparse.bin");
    File file = File::open(path, OpenMode::CreateAlways);
    ASSERT_TRUE(file.isOpen());
    const uint64_t far = 5 * kGiB + 3;
    uint64_t at = 0;
    ASSERT_TRUE(file.seek(int64_t(far), SeekFrom::Begin, &at));
    EXPECT_EQ(at, far);
    ASSERT_TRUE(writeText(file, "tail"));
    uint64_t size = 0;
    ASSERT_TRUE(file.size(size));
    EXPECT_EQ(size, far + 4);
    ASSERT_TRUE(file.position(at));
    EXPECT_EQ(at, far + 4);
    ASSERT_TRUE(file.seek(-int64_t(2 * kGiB), SeekFrom::End, &at));
    EXPECT_EQ(at, 3 * kGiB + 7);
    // Cut just above 4 GiB: a 32-bit size would read as 1.
    ASSERT_TRUE(file.seek(int64_t(4 * kGiB + 1), SeekFrom::Begin));
    ASSERT_TRUE(file.truncate());
    ASSERT_TRUE(file.size(size));
    EXPECT_EQ(size, 4 * kGiB + 1);
    ASSERT_TRUE(file.seek(0, SeekFrom::Begin));
    ASSERT_TRUE(file.truncate());
    EXPECT_TRUE(file.close());

    File reader = File::open(path, OpenMode::ReadWriteExisting);
    ASSERT_TRUE(reader.isOpen());
    ASSERT_TRUE(reader.seek(int64_t(far), SeekFrom::Begin));
    ASSERT_TRUE(writeText(reader, "tail"));
    ASSERT_TRUE(reader.seek(int64_t(far), SeekFrom::Begin));
    EXPECT_EQ(readRest(reader), "tail");
    ASSERT_TRUE(reader.seek(int64_t(far - 2), SeekFrom::Begin));
    char gap[2] = {'x', 'x'};
    ASSERT_TRUE(reader.readAll(gap, 2));
    EXPECT_EQ(std::string(gap, 2), std::string(2, '\0'));
    ASSERT_TRUE(reader.seek(0, SeekFrom::Begin));
    EXPECT_TRUE(reader.truncate());
}

TEST_F(Files, TruncateCutsAtTheCurrentPosition) {
    const std::wstring path = dir.file(L"data.bin");
    ASSERT_TRUE(writeFileBytes(path, "0123456789"));
    File file = File::open(path, OpenMode::WriteExisting);
    ASSERT_TRUE(file.isOpen());
    ASSERT_TRUE(file.seek(4, SeekFrom::Begin));
    ASSERT_TRUE(file.truncate());
    uint64_t size = 0;
    ASSERT_TRUE(file.size(size));
    EXPECT_EQ(size, 4u);
    // Truncating beyond the end makes the file longer, filled with zeros.
    ASSERT_TRUE(file.seek(6, SeekFrom::Begin));
    ASSERT_TRUE(file.truncate());
    EXPECT_TRUE(file.close());
    EXPECT_EQ(readFileBytes(path), std::string("0123\0\0", 6));
}

TEST_F(Files, BorrowedHandlesAreNeverClosed) {
    const std::wstring path = dir.file(L"data.bin");
    File owner = File::open(path, OpenMode::CreateAlways);
    ASSERT_TRUE(owner.isOpen());
    {
        File borrowed = File::borrow(owner.native());
        EXPECT_TRUE(borrowed.isOpen());
        EXPECT_TRUE(writeText(borrowed, "ab"));
    } // destroyed here without closing
    File borrowed = File::borrow(owner.native());
    EXPECT_TRUE(borrowed.close());
    EXPECT_FALSE(borrowed.isOpen());
    EXPECT_TRUE(writeText(owner, "cd"));
    EXPECT_TRUE(owner.close());
    EXPECT_EQ(readFileBytes(path), "abcd");
}

TEST_F(Files, MovesTransferOwnership) {
    const std::wstring path = dir.file(L"data.bin");
    File first = File::open(path, OpenMode::CreateAlways);
    ASSERT_TRUE(first.isOpen());
    File second(std::move(first));
    EXPECT_FALSE(first.isOpen());
    EXPECT_FALSE(first.writeAll("x", 1));
    EXPECT_TRUE(writeText(second, "one"));
    File third;
    third = std::move(second);
    EXPECT_FALSE(second.isOpen());
    EXPECT_TRUE(writeText(third, "two"));
    // Assigning over an open file closes it first, so the new name can be removed at once.
    third = File::open(dir.file(L"other.bin"), OpenMode::CreateAlways);
    EXPECT_TRUE(third.isOpen());
    EXPECT_TRUE(platform::removeFile(path));
    EXPECT_TRUE(third.close());
    EXPECT_TRUE(third.close()); // closing twice is harmless
    uint64_t size = 0;
    EXPECT_FALSE(third.size(size));
    EXPECT_FALSE(third.seek(0, SeekFrom::Begin));
    EXPECT_FALSE(third.truncate());
}

#ifdef _WIN32
constexpr int kMissing = ERROR_FILE_NOT_FOUND;
constexpr int kNotOpen = ERROR_INVALID_HANDLE;
#else
constexpr int kMissing = ENOENT;
constexpr int kNotOpen = EBADF;
#endif

TEST_F(Files, FailuresCarryTheSystemsReason) {
    Status why;
    EXPECT_FALSE(File::open(dir.file(L"missing.bin"), OpenMode::ReadExisting, &why).isOpen());
    EXPECT_FALSE(why);
    EXPECT_EQ(why.systemError(), kMissing);
    // A success clears what an earlier failure left there.
    File file = File::open(dir.file(L"data.bin"), OpenMode::CreateAlways, &why);
    ASSERT_TRUE(file.isOpen());
    EXPECT_TRUE(why);
    EXPECT_EQ(why.systemError(), 0);
    EXPECT_TRUE(file.close());
    EXPECT_EQ(file.flush().systemError(), kNotOpen);
    EXPECT_EQ(file.writeAll("x", 1).systemError(), kNotOpen);
    Status moved = File::replace(dir.file(L"missing.bin"), dir.file(L"data.bin"));
    EXPECT_FALSE(moved);
    EXPECT_EQ(moved.systemError(), kMissing);
    // A read past the end is a failure the system gives no reason for.
    char byte = 0;
    Status ended = File::open(dir.file(L"data.bin"), OpenMode::ReadExisting).readAll(&byte, 1);
    EXPECT_FALSE(ended);
    EXPECT_EQ(ended.systemError(), 0);
}

// The flushes ahead run beside the writes and never change what is written; files without a
// path, files that do not open and files named out of range are passed over.
TEST_F(Files, FlushAheadRunsBesideTheWrites) {
    const std::wstring path = dir.file(L"data.bin");
    File file = File::open(path, OpenMode::CreateAlways);
    ASSERT_TRUE(file.isOpen());
    std::string written;
    {
        platform::FlushAhead ahead({L"", path, dir.file(L"missing.bin")});
        for (int i = 0; i < 200; ++i) {
            const std::string piece(1000 + i, char('a' + i % 26));
            ASSERT_TRUE(writeText(file, piece));
            written += piece;
            ahead.written(size_t(i % 5), platform::FlushAhead::kAheadBytes / 50);
        }
    }
    EXPECT_TRUE(file.flush());
    EXPECT_TRUE(file.close());
    EXPECT_EQ(readFileBytes(path), written);
}

// Reads asked ahead are a hint: ranges without a path, of files not there, past a file's end or
// of any length, reached in any order from two threads, fail nothing and count as no file
// operation, even with every operation striking.
TEST_F(Files, ReadsAskedAheadAreAHintOnly) {
    const std::wstring path = dir.file(L"data.bin");
    ASSERT_TRUE(writeFileBytes(path, std::string(70000, 'x')));
    std::vector<platform::ReadAhead::Range> ranges = {
        {L"", 0, 100},        {path, 0, 70000},          {dir.file(L"missing.bin"), 0, 10},
        {path, 69000, 50000}, {path, UINT64_MAX, 1},     {path, 5, UINT64_MAX},
        {path, 0, 0},         {path, 1u << 20, 1u << 30}};
    platform::FaultPlan plan;
    plan.strikeAt = 1;
    plan.sticky = true;
    platform::faultSwitch().arm(plan);
    {
        platform::ReadAhead ahead(ranges);
        std::thread other([&] {
            for (size_t i = ranges.size() + 2; i-- > 0;)
                ahead.reached(i);
        });
        for (size_t i = 0; i < ranges.size() + 2; ++i)
            ahead.reached(i);
        other.join();
    }
    platform::faultSwitch().disarm();
    EXPECT_EQ(platform::faultSwitch().counted(), 0u);
    EXPECT_EQ(readFileBytes(path), std::string(70000, 'x'));
}

TEST_F(Files, FlushKeepsWhatWasWritten) {
    const std::wstring path = dir.file(L"data.bin");
    File file = File::open(path, OpenMode::CreateAlways);
    ASSERT_TRUE(file.isOpen());
    EXPECT_TRUE(writeText(file, "durable"));
    EXPECT_TRUE(file.flush());
    EXPECT_TRUE(writeText(file, "!"));
    EXPECT_TRUE(file.flush());
    EXPECT_TRUE(file.close());
    EXPECT_EQ(readFileBytes(path), "durable!");
    EXPECT_TRUE(File::flushFolder(dir.path()));
#ifndef _WIN32
    // Windows has nothing to flush in a folder; POSIX opens it and says when it is not there.
    EXPECT_EQ(File::flushFolder(dir.file(L"missing")).systemError(), kMissing);
#endif
}

class Folders : public ::testing::Test {
  protected:
    TempDir dir;
    bool makeFile(const std::wstring& name, const std::string& bytes) {
        File file = File::open(dir.file(name), OpenMode::CreateAlways);
        return file.isOpen() && writeText(file, bytes) && file.close();
    }
    std::vector<std::wstring> names(const std::wstring& folder, const std::wstring& pattern) {
        std::vector<platform::DirectoryEntry> entries;
        EXPECT_TRUE(platform::listDirectory(folder, pattern, entries));
        std::vector<std::wstring> out;
        for (const auto& entry : entries)
            out.push_back(entry.name);
        return out;
    }
};

TEST_F(Folders, CreateOnlyNewFoldersOneLevelDeep) {
    const std::wstring folder = dir.file(L"新建");
    EXPECT_FALSE(platform::isDirectory(folder));
    EXPECT_TRUE(platform::createDirectory(folder));
    EXPECT_TRUE(platform::isDirectory(folder));
    EXPECT_TRUE(platform::pathExists(folder));
    EXPECT_FALSE(platform::createDirectory(folder)); // already there
    EXPECT_FALSE(platform::createDirectory(dir.file(L"a") + platform::kPathSeparator + L"b"));
    ASSERT_TRUE(makeFile(L"file", "x"));
    EXPECT_FALSE(platform::createDirectory(dir.file(L"file")));
    EXPECT_FALSE(platform::isDirectory(dir.file(L"file")));
}

TEST_F(Folders, ListingIsInUtf16OrderWithKindsAndSizes) {
    // U+1F600 is D83D DE00 in UTF-16 and sorts before U+FF21; by code point it sorts after.
    ASSERT_TRUE(makeFile(L"\uFF21.dds", "12"));
    ASSERT_TRUE(makeFile(L"\U0001F600.dds", "1"));
    ASSERT_TRUE(makeFile(L"b.dds", "123"));
    ASSERT_TRUE(makeFile(L"a.dds", ""));
    ASSERT_TRUE(makeFile(L"A.txt", "1234"));
    ASSERT_TRUE(makeFile(L"中.dds", "12345"));
    ASSERT_TRUE(platform::createDirectory(dir.file(L"sub.dds")));
    ASSERT_TRUE(
        makeFile(L"sub.dds" + std::wstring(1, platform::kPathSeparator) + L"inner.dds", "x"));

    std::vector<platform::DirectoryEntry> entries;
    ASSERT_TRUE(platform::listDirectory(dir.path(), L"*", entries));
    const std::vector<std::wstring> expected = {
        L"A.txt", L"a.dds", L"b.dds", L"sub.dds", L"中.dds", L"\U0001F600.dds", L"\uFF21.dds"};
    ASSERT_EQ(entries.size(), expected.size());
    const uint64_t sizes[] = {4, 0, 3, 0, 5, 1, 2};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(entries[i].name, expected[i]) << i;
        EXPECT_EQ(entries[i].size, sizes[i]) << i;
        EXPECT_EQ(entries[i].isDirectory, expected[i] == L"sub.dds") << i;
    }
    EXPECT_EQ(names(dir.path(), L"*.txt"), std::vector<std::wstring>{L"A.txt"});
    EXPECT_EQ(names(dir.path() + platform::kPathSeparator, L"?.dds"),
              (std::vector<std::wstring>{L"a.dds", L"b.dds", L"中.dds", L"\uFF21.dds"}));
    EXPECT_TRUE(names(dir.path(), L"*.none").empty());
}

TEST_F(Folders, ListingAMissingFolderFails) {
    std::vector<platform::DirectoryEntry> entries(1);
    EXPECT_FALSE(platform::listDirectory(dir.file(L"missing"), L"*", entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_TRUE(platform::listDirectory(dir.path(), L"*", entries));
    EXPECT_TRUE(entries.empty());
}

TEST_F(Folders, ExistenceTestsMatchWildcardsInTheLastName) {
    const std::wstring sep(1, platform::kPathSeparator);
    const std::wstring textures = dir.file(L"textures");
    ASSERT_TRUE(platform::createDirectory(textures));
    EXPECT_TRUE(platform::pathExists(textures));
    EXPECT_FALSE(platform::pathExists(textures + sep + L"*.dds"));
    EXPECT_FALSE(platform::pathExists(dir.file(L"missing") + sep + L"*.dds"));
    EXPECT_FALSE(platform::pathExists(L""));

    ASSERT_TRUE(makeFile(L"textures" + sep + L"0001.dds", "DDS "));
    EXPECT_TRUE(platform::pathExists(textures + sep + L"*.dds"));
    EXPECT_TRUE(platform::pathExists(textures + sep + L"000?.dds"));
    EXPECT_TRUE(platform::pathExists(textures + sep + L"0001.dds"));
    EXPECT_FALSE(platform::pathExists(textures + sep + L"*.dd"));
    EXPECT_FALSE(platform::pathExists(textures + sep + L"00?.dds"));
    EXPECT_FALSE(platform::pathExists(textures + sep + L"0002.dds"));
    EXPECT_TRUE(platform::pathExists(dir.file(L"tex*"))); // a folder counts
    EXPECT_TRUE(platform::pathExists(dir.file(L"*")));
}

TEST_F(Folders, RemoveFileRemovesOnce) {
    ASSERT_TRUE(makeFile(L"gone.bin", "x"));
    EXPECT_TRUE(platform::removeFile(dir.file(L"gone.bin")));
    EXPECT_FALSE(platform::pathExists(dir.file(L"gone.bin")));
    EXPECT_FALSE(platform::removeFile(dir.file(L"gone.bin")));
}

TEST(PathRules, SeparatorsOfTheSystem) {
    EXPECT_TRUE(platform::isPathSeparator(L'/'));
    EXPECT_TRUE(platform::isPathSeparator(platform::kPathSeparator));
    EXPECT_FALSE(platform::isPathSeparator(L':'));
    EXPECT_EQ(platform::lastSeparator(L"a/b/c.dds"), 3u);
    EXPECT_EQ(platform::lastSeparator(L"c.dds"), std::wstring::npos);
    EXPECT_EQ(platform::lastSeparator(L""), std::wstring::npos);
    EXPECT_EQ(platform::lastSeparator(L"/"), 0u);
#ifdef _WIN32
    EXPECT_EQ(platform::kPathSeparator, L'\\');
    EXPECT_EQ(platform::lastSeparator(L"C:\\g/a\\b.bin"), 6u);
    EXPECT_EQ(platform::lastSeparator(L"C:\\g\\a/b.bin"), 6u);
#else
    EXPECT_EQ(platform::kPathSeparator, L'/');
    EXPECT_FALSE(platform::isPathSeparator(L'\\'));
    EXPECT_EQ(platform::lastSeparator(L"a/b\\c.bin"), 1u);
#endif
}

} // namespace
} // namespace karv::test
