// The text writer: bytes on disk per encoding and order, both modes, every refusal, and round
// trips through the reader.
#include "karvcore/karvcore.h"
#include "platform/filesystem.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace karv::test {
namespace {

class TextWriter : public ::testing::Test {
  protected:
    TempDir dir;
    std::wstring path = dir.file(L"游戏信息.txt");
    std::unique_ptr<WriteTxtFileQX> writer{CreateTxtWriteInterface()};

    // Status and message of one call, compared together.
    static std::pair<int32_t, std::wstring> failure(int32_t status) {
        return {status, GetMessageQX()};
    }
    std::string written() {
        writer->Close();
        return readFileBytes(path);
    }
};

using Failure = std::pair<int32_t, std::wstring>;

TEST_F(TextWriter, Ucs2WritesTheMarkAndUnitsInTheChosenOrder) {
    ASSERT_EQ(writer->Open(path, true, kTextUcs2, false), 0);
    EXPECT_EQ(writer->Open(path, true, kTextUcs2, false), -10); // the file is untouched
    ASSERT_EQ(writer->Write(L"a=1\r\n"), 0);
    EXPECT_EQ(written(), std::string("\xFF\xFE"
                                     "a\0=\0"
                                     "1\0\r\0\n\0",
                                     12));

    ASSERT_EQ(writer->Open(path, true, kTextUcs2, true), 0);
    ASSERT_EQ(writer->Write(L"值\U0001F600"), 0);
    EXPECT_EQ(written(), std::string("\xFE\xFF\x50\x3C\xD8\x3D\xDE\x00", 8));

    ASSERT_EQ(writer->Open(path, true, kTextUcs2, false), 0);
    ASSERT_EQ(writer->Write(L"\U0001F600"), 0);
    EXPECT_EQ(written(), std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6));
}

TEST_F(TextWriter, Utf8WritesNoMarkAndStopsAtNul) {
    ASSERT_EQ(writer->Open(path, true, kTextUtf8, true), 0);
    EXPECT_EQ(writer->Write(L""), 0);
    EXPECT_EQ(writer->Write(std::wstring(L"中\U0001F600\n") + L'\0' + L"tail"), 0);
    EXPECT_EQ(written(), "\xE4\xB8\xAD\xF0\x9F\x98\x80\n");
}

TEST_F(TextWriter, CreateReplacesOpenExistingAppendsWithoutMark) {
    ASSERT_TRUE(writeFileBytes(path, "old content"));
    ASSERT_EQ(writer->Open(path, true, kTextUtf8, false), 0);
    EXPECT_EQ(written(), "");
    ASSERT_TRUE(writeFileBytes(path, "AB"));
    ASSERT_EQ(writer->Open(path, false, kTextUcs2, true), 0);
    ASSERT_EQ(writer->Write(L"C"), 0);
    EXPECT_EQ(written(), std::string("AB\0C", 4));

    SetMessageQX(L"");
    std::wstring missing = dir.file(L"missing.txt");
    EXPECT_EQ(failure(writer->Open(missing, false, kTextUcs2, false)),
              Failure(-4, L"打开文件失败！"));
    EXPECT_FALSE(platform::pathExists(missing));
    EXPECT_EQ(failure(writer->Open(dir.file(L"no/such.txt"), true, kTextUtf8, false)),
              Failure(-2, L"创建文件失败！"));
    EXPECT_EQ(failure(writer->Write(L"x")), Failure(-11, L"尚未打开文件！"));
}

TEST_F(TextWriter, StatesRefuseWhatTheyDoNotAllow) {
    EXPECT_EQ(failure(writer->Write(L"x")), Failure(-11, L"尚未打开文件！"));
    SetMessageQX(L"");
    EXPECT_EQ(failure(writer->WriteLog(L"x")), Failure(-11, L"尚未打开文件！"));
    SetMessageQX(L"");
    EXPECT_EQ(failure(writer->Reopen()), Failure(-11, L"尚未打开文件！"));
    for (uint32_t encoding : {936u, 0u, 1200u, 65000u}) {
        EXPECT_EQ(failure(writer->Open(path, true, encoding, false)),
                  Failure(-1, L"不支持的编码格式！"));
        EXPECT_EQ(failure(writer->OpenLog(path, true, encoding, false)),
                  Failure(-1, L"不支持的编码格式！"));
    }
    EXPECT_FALSE(platform::pathExists(path));

    ASSERT_EQ(writer->Open(path, true, kTextUtf8, false), 0);
    EXPECT_EQ(failure(writer->WriteLog(L"x")), Failure(-12, L"当前不是 LOG 模式！"));
    EXPECT_EQ(failure(writer->OpenLog(path, true, kTextUtf8, false)),
              Failure(-10, L"已经打开过文件了！"));
    writer->Close();
    writer->Close();

    ASSERT_EQ(writer->OpenLog(path, true, kTextUtf8, false), 0);
    EXPECT_EQ(failure(writer->Write(L"x")), Failure(-12, L"当前是 LOG 模式！"));
    SetMessageQX(L"");
    EXPECT_EQ(failure(writer->Reopen()), Failure(-12, L"当前是 LOG 模式！"));
    EXPECT_EQ(failure(writer->Open(path, true, kTextUtf8, false)),
              Failure(-10, L"已经打开过文件了！"));
    EXPECT_EQ(written(), "");
}

TEST_F(TextWriter, LogModeHoldsNoFileBetweenRecords) {
    ASSERT_EQ(writer->OpenLog(path, true, kTextUcs2, true), 0);
    EXPECT_EQ(readFileBytes(path), "\xFE\xFF");
    ASSERT_EQ(writer->WriteLog(L"a\n"), 0);
    EXPECT_EQ(readFileBytes(path), std::string("\xFE\xFF\0a\0\n", 6));
    // Free between calls: another writer can add to it, and it can be removed.
    ASSERT_TRUE(SaveData(path, reinterpret_cast<const uint8_t*>("\0b"), 0, 2, false));
    ASSERT_EQ(writer->WriteLog(L"c"), 0);
    EXPECT_EQ(readFileBytes(path), std::string("\xFE\xFF\0a\0\n\0b\0c", 10));
    ASSERT_TRUE(platform::removeFile(path));
    EXPECT_EQ(failure(writer->WriteLog(L"d")), Failure(-4, L"打开文件失败！"));
    EXPECT_FALSE(platform::pathExists(path));
    // Still open in LOG mode: the file back in place takes the next record.
    ASSERT_TRUE(writeFileBytes(path, ""));
    EXPECT_EQ(writer->WriteLog(L"e"), 0);
    EXPECT_EQ(written(), std::string("\0e", 2));
    // An existing file gets no mark when opened for LOG mode.
    ASSERT_EQ(writer->OpenLog(path, false, kTextUcs2, false), 0);
    EXPECT_EQ(writer->WriteLog(L"f"), 0);
    EXPECT_EQ(written(), std::string("\0ef\0", 4));
}

TEST_F(TextWriter, ReopenCommitsAndKeepsAppending) {
    ASSERT_EQ(writer->Open(path, true, kTextUcs2, false), 0);
    ASSERT_EQ(writer->Write(L"1"), 0);
    ASSERT_EQ(writer->Reopen(), 0);
    EXPECT_EQ(readFileBytes(path), std::string("\xFF\xFE"
                                               "1\0",
                                               4));
    ASSERT_EQ(writer->Write(L"2"), 0);
    writer.reset(); // destroying an open writer closes its file
    EXPECT_EQ(readFileBytes(path), std::string("\xFF\xFE"
                                               "1\0"
                                               "2\0",
                                               6));
}

TEST_F(TextWriter, ReopenOfAVanishedFileLeavesTheWriterClosed) {
    ASSERT_EQ(writer->Open(path, true, kTextUtf8, false), 0);
    if (!platform::removeFile(path))
        GTEST_SKIP() << "the system keeps an open file from being removed";
    EXPECT_EQ(failure(writer->Reopen()), Failure(-1, L"打开文件失败！"));
    SetMessageQX(L"");
    EXPECT_EQ(failure(writer->Write(L"x")), Failure(-11, L"尚未打开文件！"));
    EXPECT_EQ(writer->Open(path, true, kTextUtf8, false), 0);
}

#ifndef _WIN32
// A device that takes no byte: every write fails.
TEST_F(TextWriter, FailingWritesAreReported) {
    const std::wstring full = L"/dev/full";
    if (!platform::pathExists(full))
        GTEST_SKIP() << "no /dev/full";
    EXPECT_EQ(failure(writer->Open(full, true, kTextUcs2, false)), Failure(-3, L"写入 BOM 失败！"));
    EXPECT_EQ(failure(writer->OpenLog(full, true, kTextUcs2, false)),
              Failure(-3, L"写入 BOM 失败！"));
    ASSERT_EQ(writer->Open(full, false, kTextUtf8, false), 0);
    SetMessageQX(L"");
    EXPECT_EQ(failure(writer->Write(L"x")), Failure(-4, L"写入文件失败！"));
    EXPECT_EQ(writer->Write(L""), 0); // still open
    writer->Close();
    ASSERT_EQ(writer->OpenLog(full, false, kTextUcs2, false), 0);
    SetMessageQX(L"");
    EXPECT_EQ(failure(writer->WriteLog(L"x")), Failure(-4, L"写入文件失败！"));
}
#endif

// What the writer writes, the reader gives back line by line, in every encoding.
TEST(TextRoundTrip, WriterToReader) {
    TempDir dir;
    const std::wstring text =
        L"#游戏\r\nVoxbank 位置=D:\\数据\\\n\r\n\U0001F600=\U00010000\U0010FFFF";
    const std::vector<std::wstring> expected{L"#游戏", L"Voxbank 位置=D:\\数据\\", L"",
                                             L"\U0001F600=\U00010000\U0010FFFF"};
    struct Setting {
        uint32_t encoding;
        bool bigEndian;
    };
    for (Setting s :
         {Setting{kTextUcs2, false}, Setting{kTextUcs2, true}, Setting{kTextUtf8, false}}) {
        SCOPED_TRACE(testing::Message() << s.encoding << " " << s.bigEndian);
        std::wstring path = dir.file(L"往返.txt");
        std::unique_ptr<WriteTxtFileQX> writer(CreateTxtWriteInterface());
        ASSERT_EQ(writer->Open(path, true, s.encoding, s.bigEndian), 0);
        ASSERT_EQ(writer->Write(text), 0);
        writer->Close();

        std::unique_ptr<ReadTxtFileInMemQX> reader(CreateTxtReadInterface());
        ASSERT_EQ(reader->Open(path, s.encoding), 0);
        std::vector<std::wstring> lines;
        std::wstring line;
        while (reader->ReadLine(line) == 0)
            lines.push_back(line);
        EXPECT_EQ(lines, expected);

        ASSERT_EQ(reader->Open(path, s.encoding), 0);
        std::string bytes;
        ASSERT_EQ(reader->ReadLineUtf8(bytes), 0);
        EXPECT_EQ(bytes, "#\xE6\xB8\xB8\xE6\x88\x8F");
    }
}

} // namespace
} // namespace karv::test
