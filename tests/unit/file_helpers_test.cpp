// The message channel, the byte-order helpers, the whole-file helpers and the string splitter.
#include "karvcore/buffer.h"
#include "karvcore/files.h"
#include "karvcore/karvcore.h"
#include "platform/fault_injection.h"
#include "platform/filesystem.h"
#include "platform/text.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <functional>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace karv::test {
namespace {

// Must run first in this program: the channel is empty until the first failure.
TEST(MessageChannel, EmptyAtLoadKeptAfterSuccessCutAtNul) {
    EXPECT_EQ(GetMessageQX(), L"");
    TempDir dir;
    uint8_t* data = nullptr;
    uint32_t size = 0;
    EXPECT_FALSE(LoadData(dir.file(L"missing"), data, &size));
    EXPECT_EQ(GetMessageQX(), L"打开文件失败！");
    ASSERT_TRUE(writeFileBytes(dir.file(L"present"), "abc"));
    ASSERT_TRUE(LoadData(dir.file(L"present"), data, &size));
    MallocBuffer owned(data);
    EXPECT_EQ(GetMessageQX(), L"打开文件失败！");

    SetMessageQX(std::wstring(L"前半\0后半", 5));
    EXPECT_EQ(GetMessageQX(), L"前半");
    EXPECT_EQ(GetMessageQX(), L"前半"); // reading leaves it in place
}

TEST(ByteOrder, ReversesOnlyWhenTheFlagsDiffer) {
    // The bytes 00 31 70 7A read as a little-endian number.
    const uint32_t raw = 0x7A703100;
    EXPECT_EQ(Get4Data(raw, true, false), 0x0031707Au);
    EXPECT_EQ(Get4Data(raw, false, true), 0x0031707Au);
    EXPECT_EQ(Get4Data(raw, true, true), raw);
    EXPECT_EQ(Get4Data(raw, false, false), raw);
    EXPECT_EQ(Get2Data(1, false, true), 256);
    EXPECT_EQ(Get2Data(0x1234, true, false), 0x3412);
    EXPECT_EQ(Get2Data(0x1234, true, true), 0x1234);
    EXPECT_EQ(Get8Data(1, true, false), uint64_t(1) << 56);
    EXPECT_EQ(Get8Data(0x0102030405060708ull, false, true), 0x0807060504030201ull);
    EXPECT_EQ(Get8Data(0x0102030405060708ull, false, false), 0x0102030405060708ull);
}

class WholeFiles : public ::testing::Test {
  protected:
    TempDir dir;
    std::string load(const std::wstring& path) {
        uint8_t* data = nullptr;
        uint32_t size = 12345;
        if (!LoadData(path, data, &size))
            return "<failed>";
        MallocBuffer owned(data);
        return std::string(reinterpret_cast<char*>(data), size);
    }
};

TEST_F(WholeFiles, LoadReadsTheWholeFileAndZeroBytesSucceed) {
    std::string content(70000, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = char(i * 31 + 7);
    ASSERT_TRUE(writeFileBytes(dir.file(L"数据.bin"), content));
    EXPECT_EQ(load(dir.file(L"数据.bin")), content);
    ASSERT_TRUE(writeFileBytes(dir.file(L"empty"), ""));
    EXPECT_EQ(load(dir.file(L"empty")), "");
}

TEST_F(WholeFiles, LoadFailureLeavesTheOutArgumentsAlone) {
    uint8_t marker = 0;
    uint8_t* data = &marker;
    uint32_t size = 77;
    EXPECT_FALSE(LoadData(dir.file(L"nothing-here"), data, &size));
    EXPECT_EQ(data, &marker);
    EXPECT_EQ(size, 77u);
    EXPECT_EQ(GetMessageQX(), L"打开文件失败！");
}

TEST_F(WholeFiles, SaveWritesTheSliceCreatesReplacesAndAppends) {
    const uint8_t bytes[] = "0123456789abcdefghij";
    std::wstring path = dir.file(L"out.bin");
    ASSERT_TRUE(writeFileBytes(path, "old content, longer than the new one"));
    ASSERT_TRUE(SaveData(path, bytes, 10, 5, true));
    EXPECT_EQ(readFileBytes(path), "abcde");
    ASSERT_TRUE(SaveData(path, bytes, 0, 3, false));
    EXPECT_EQ(readFileBytes(path), "abcde012");
    ASSERT_TRUE(SaveData(path, bytes, 0, 0, true));
    EXPECT_EQ(readFileBytes(path), "");
}

TEST_F(WholeFiles, SaveFailuresSetTheirMessages) {
    const uint8_t bytes[] = "xyz";
    std::wstring missing = dir.file(L"missing.bin");
    EXPECT_FALSE(SaveData(missing, bytes, 0, 3, false));
    EXPECT_EQ(GetMessageQX(), L"打开文件失败！");
    EXPECT_EQ(FilePathExists(missing), 0);

    std::wstring folder = dir.file(L"folder");
    ASSERT_TRUE(platform::createDirectory(folder));
    EXPECT_FALSE(SaveData(folder, bytes, 0, 3, true));
    EXPECT_EQ(GetMessageQX(), L"创建文件失败！");
    EXPECT_FALSE(
        SaveData(dir.file(L"no-such-folder") + platform::kPathSeparator + L"f", bytes, 0, 3, true));
    EXPECT_EQ(GetMessageQX(), L"创建文件失败！");
}

TEST_F(WholeFiles, PathExistsForFilesFoldersAndPatterns) {
    std::wstring sub = dir.file(L"textures");
    ASSERT_TRUE(platform::createDirectory(sub));
    std::wstring sep(1, platform::kPathSeparator);
    EXPECT_EQ(FilePathExists(sub), 1);
    EXPECT_EQ(FilePathExists(sub + sep + L"*.dds"), 0);
    ASSERT_TRUE(writeFileBytes(sub + sep + L"贴图_0.dds", "DDS "));
    EXPECT_EQ(FilePathExists(sub + sep + L"*.dds"), 1);
    EXPECT_EQ(FilePathExists(sub + sep + L"贴图_?.dds"), 1);
    EXPECT_EQ(FilePathExists(sub + sep + L"贴图_0.dds"), 1);
    EXPECT_EQ(FilePathExists(sub + sep + L"*.data"), 0);
    EXPECT_EQ(FilePathExists(dir.file(L"absent")), 0);
}

// A new file replaces the old one only when all of it is written: whichever operation fails
// (or whichever write goes short), the old bytes stay and no temporary file is left behind. The
// durable replacement also flushes the file and its folder; only a folder that cannot be
// flushed after the rename leaves the new bytes behind a reported failure.
void expectNewBytesOrOldOnes(const std::wstring& path,
                             const std::function<bool(const std::vector<uint8_t>&)>& save,
                             uint64_t leastOperations) {
    platform::FaultSwitch& faults = *KarvFaultSwitchQX();
    const std::string before = "the bytes a failed save must not touch";
    std::vector<uint8_t> data(100000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 7 + (i >> 9));
    const std::string after(data.begin(), data.end());

    ASSERT_TRUE(writeFileBytes(path, before));
    faults.arm(platform::FaultPlan{});
    ASSERT_TRUE(save(data));
    faults.disarm();
    const uint64_t operations = faults.counted();
    ASSERT_GE(operations, leastOperations);

    for (auto effect : {platform::FaultEffect::Fail, platform::FaultEffect::Short}) {
        for (uint64_t k = 1; k <= operations; ++k) {
            SCOPED_TRACE(std::to_string(k) +
                         (effect == platform::FaultEffect::Short ? " short" : ""));
            ASSERT_TRUE(writeFileBytes(path, before));
            platform::FaultPlan plan;
            plan.strikeAt = k;
            plan.effect = effect;
            faults.arm(plan);
            bool saved = save(data);
            faults.disarm();
            const bool lastFlush =
                k == operations && !saved && faults.firstStruckOperation() == platform::kFaultFlush;
            EXPECT_EQ(readFileBytes(path), saved || lastFlush ? after : before);
            EXPECT_EQ(FilePathExists(path + kTemporaryFileSuffix), 0);
            if (!saved) {
                EXPECT_NE(GetMessageQX(), L"");
            }
        }
    }
}

TEST_F(WholeFiles, SaveOverAFileLeavesTheNewBytesOrTheOldOnes) {
    const std::wstring path = dir.file(L"游戏数据.bin");
    expectNewBytesOrOldOnes(
        path,
        [&](const std::vector<uint8_t>& data) {
            return SaveData(path, data.data(), 0, uint32_t(data.size()), true);
        },
        4); // open, write, close, rename
}

TEST_F(WholeFiles, DurableReplacementFlushesAndLeavesTheNewBytesOrTheOldOnes) {
    const std::wstring path = dir.file(L"游戏数据.bin");
    expectNewBytesOrOldOnes(
        path,
        [&](const std::vector<uint8_t>& data) {
            return bool(ReplaceFileDurably(path, data.data(), uint32_t(data.size())));
        },
        6); // open, write, flush, close, rename, folder flush
}

// Files replaced together: whichever operation fails, each file holds its old bytes or its new
// ones and no temporary is left; the files added before a failure in commit() are new.
TEST_F(WholeFiles, FilesReplacedTogetherAreEachOldOrNew) {
    platform::FaultSwitch& faults = *KarvFaultSwitchQX();
    const std::wstring sub = dir.file(L"子目录");
    ASSERT_TRUE(platform::createDirectory(sub));
    const std::vector<std::wstring> paths = {
        dir.file(L"a.data"), sub + platform::kPathSeparator + L"b.data", dir.file(L"新.data")};
    const std::vector<std::string> before = {"old a", "old b", ""};
    const std::vector<std::string> after = {std::string(70000, 'A'), "new b", "new c"};
    auto replaceAll = [&] {
        for (size_t i = 0; i < 2; ++i)
            EXPECT_TRUE(writeFileBytes(paths[i], before[i]));
        platform::removeFile(paths[2]);
        DurableFiles files;
        for (size_t i = 0; i < paths.size(); ++i) {
            const auto* bytes = reinterpret_cast<const uint8_t*>(after[i].data());
            if (!files.add(paths[i], bytes, uint32_t(after[i].size())))
                return false;
        }
        return bool(files.commit());
    };
    faults.arm(platform::FaultPlan{});
    ASSERT_TRUE(replaceAll());
    faults.disarm();
    const uint64_t operations = faults.counted();
    for (uint64_t k = 1; k <= operations; ++k) {
        SCOPED_TRACE(k);
        platform::FaultPlan plan;
        plan.strikeAt = k;
        faults.arm(plan);
        const bool done = replaceAll();
        faults.disarm();
        for (size_t i = 0; i < paths.size(); ++i) {
            const std::string now =
                FilePathExists(paths[i]) ? readFileBytes(paths[i]) : std::string();
            EXPECT_TRUE(now == after[i] || (!done && now == before[i])) << i;
            EXPECT_EQ(FilePathExists(paths[i] + kTemporaryFileSuffix), 0);
        }
    }
}

#ifndef _WIN32
// The replacing file keeps the permissions of the one it replaces.
TEST_F(WholeFiles, SaveKeepsThePermissionsOfTheFileItReplaces) {
    const std::wstring path = dir.file(L"mode.bin");
    ASSERT_TRUE(writeFileBytes(path, "old"));
    const std::string native = platform::wideToUtf8(path);
    ASSERT_EQ(chmod(native.c_str(), 0640), 0);
    const uint8_t bytes[] = "new";
    ASSERT_TRUE(SaveData(path, bytes, 0, 3, true));
    struct stat info;
    ASSERT_EQ(stat(native.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(readFileBytes(path), "new");
}
#endif

TEST(SplitString, AppendsNonEmptyPiecesBetweenAnyDelimiter) {
    using List = std::vector<std::wstring>;
    auto split = [](const std::wstring& text, const std::wstring& delimiters) {
        List pieces;
        SplitString(text, delimiters, pieces);
        return pieces;
    };
    EXPECT_EQ(split(L"a,,b,", L","), (List{L"a", L"b"}));
    EXPECT_EQ(split(L",a", L","), (List{L"a"}));
    EXPECT_EQ(split(L"", L","), List{});
    EXPECT_EQ(split(L"abc", L","), (List{L"abc"}));
    EXPECT_EQ(split(L"abc", L""), (List{L"abc"}));
    EXPECT_EQ(split(L"a;b,c", L",;"), (List{L"a", L"b", L"c"}));
    EXPECT_EQ(split(L"=a=", L"="), (List{L"a"}));
    EXPECT_EQ(split(L"===", L"="), List{});
    EXPECT_EQ(split(L"名称=游戏 一", L"= "), (List{L"名称", L"游戏", L"一"}));

    List existing{L"kept"};
    SplitString(L"x y", L" ", existing);
    EXPECT_EQ(existing, (List{L"kept", L"x", L"y"}));
}

} // namespace
} // namespace karv::test
