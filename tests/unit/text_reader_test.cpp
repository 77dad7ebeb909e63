// The text reader: marks, byte orders, line endings, conversions and hostile files.
#include "karvcore/karvcore.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace karv::test {
namespace {

// UTF-16 units as file bytes in the given order.
std::string unitBytes(const std::u16string& units, bool bigEndian) {
    std::string out;
    for (char16_t u : units) {
        char high = char(u >> 8), low = char(u & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    }
    return out;
}

const std::string kMarkLE = "\xFF\xFE";
const std::string kMarkBE = "\xFE\xFF";
const std::string kMarkUtf8 = "\xEF\xBB\xBF";

class TextReader : public ::testing::Test {
  protected:
    TempDir dir;
    std::unique_ptr<ReadTxtFileInMemQX> reader{CreateTxtReadInterface()};

    int32_t open(const std::string& bytes, uint32_t encoding) {
        std::wstring path = dir.file(L"文本.txt");
        EXPECT_TRUE(writeFileBytes(path, bytes));
        return reader->Open(path, encoding);
    }
    // Every line up to the end; a status other than 0 or -1 ends the list with "<status>".
    std::vector<std::wstring> lines() {
        std::vector<std::wstring> out;
        std::wstring line;
        for (int32_t status; (status = reader->ReadLine(line)) != -1;) {
            out.push_back(status == 0 ? line : L"<" + std::to_wstring(status) + L">");
            if (status != 0)
                break;
        }
        return out;
    }
    std::vector<std::string> utf8Lines() {
        std::vector<std::string> out;
        std::string line;
        while (reader->ReadLineUtf8(line) == 0)
            out.push_back(line);
        return out;
    }
};

using Lines = std::vector<std::wstring>;
using ByteLines = std::vector<std::string>;

TEST_F(TextReader, Ucs2InBothOrdersGivesTheSameLines) {
    for (bool big : {false, true}) {
        SCOPED_TRACE(big);
        ASSERT_EQ(open((big ? kMarkBE : kMarkLE) + unitBytes(u"a=1\r\nb=2", big), kTextUcs2), 0);
        EXPECT_EQ(lines(), (Lines{L"a=1", L"b=2"}));
        std::wstring line = L"unchanged";
        EXPECT_EQ(reader->ReadLine(line), -1);
        EXPECT_EQ(line, L"unchanged");
        reader->Close();
    }
}

TEST_F(TextReader, Ucs2SurrogatePairsAndChineseInBothCalls) {
    std::string file = kMarkBE + unitBytes(u"游戏\U0001F600\n\xD800x", true);
    ASSERT_EQ(open(file, kTextUcs2), 0);
    EXPECT_EQ(lines(), (Lines{L"游戏\U0001F600", std::wstring(1, wchar_t(0xD800)) + L"x"}));
    ASSERT_EQ(open(file, kTextUcs2), 0);
    // An unpaired surrogate has no UTF-8 form: it becomes U+FFFD.
    EXPECT_EQ(utf8Lines(),
              (ByteLines{"\xE6\xB8\xB8\xE6\x88\x8F\xF0\x9F\x98\x80", "\xEF\xBF\xBDx"}));
    // A zero unit ends the text of its line; the rest of the line is skipped.
    ASSERT_EQ(open(kMarkLE + unitBytes(std::u16string(u"a\0b\nc", 5), false), kTextUcs2), 0);
    EXPECT_EQ(lines(), (Lines{L"a", L"c"}));
}

TEST_F(TextReader, Ucs2MarkAndSizeAreChecked) {
    struct Case {
        std::string bytes;
        int32_t status;
        const wchar_t* message;
    } cases[] = {
        {std::string("\xFF\xFE\x61\x00\x62", 5), -4, L"文件是 UCS2 格式但字节数不是偶数！"},
        {"\xFF", -4, L"文件是 UCS2 格式但字节数不是偶数！"},
        {"", -3, L"无法识别文件的 BOM！"},
        {std::string("a\0b\0", 4), -3, L"无法识别文件的 BOM！"},
        {"\xFE\xFE", -3, L"无法识别文件的 BOM！"},
        {kMarkUtf8 + "a", -3, L"无法识别文件的 BOM！"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        SetMessageQX(L"");
        EXPECT_EQ(open(c.bytes, kTextUcs2), c.status);
        EXPECT_EQ(GetMessageQX(), c.message);
        std::wstring line;
        EXPECT_EQ(reader->ReadLine(line), -1); // nothing held
    }
    ASSERT_EQ(open(kMarkLE, kTextUcs2), 0);
    EXPECT_EQ(lines(), Lines{});
}

TEST_F(TextReader, LineEndingsInEveryEncoding) {
    // CR takes the following unit with it, whatever it is; LF ends a line alone; the end of
    // the data ends the last line; a CR at the very end takes nothing more.
    const std::u16string text = u"a\r\nb\n\nc\rxd\r\n\r\ne\r";
    const Lines expected{L"a", L"b", L"", L"c", L"d", L"", L"e"};
    std::string narrow;
    for (char16_t u : text)
        narrow += char(u);
    ASSERT_EQ(open(kMarkLE + unitBytes(text, false), kTextUcs2), 0);
    EXPECT_EQ(lines(), expected);
    ASSERT_EQ(open(narrow, kTextUtf8), 0);
    EXPECT_EQ(lines(), expected);
    ASSERT_EQ(open(narrow, 936), 0);
    EXPECT_EQ(lines(), expected);
    ASSERT_EQ(open(narrow, kTextUtf8), 0);
    EXPECT_EQ(utf8Lines(), (ByteLines{"a", "b", "", "c", "d", "", "e"}));
    ASSERT_EQ(open("last", kTextUtf8), 0);
    EXPECT_EQ(lines(), Lines{L"last"});
}

TEST_F(TextReader, Utf8MarkIsOptional) {
    ASSERT_EQ(open(kMarkUtf8 + "k=\xE5\x80\xBC\r\n", kTextUtf8), 0);
    EXPECT_EQ(lines(), Lines{L"k=值"});
    ASSERT_EQ(open("k=\xE5\x80\xBC", kTextUtf8), 0);
    EXPECT_EQ(utf8Lines(), ByteLines{"k=\xE5\x80\xBC"});
    ASSERT_EQ(open(kMarkUtf8, kTextUtf8), 0);
    EXPECT_EQ(lines(), Lines{});
    // A file shorter than the mark is text.
    ASSERT_EQ(open("\xEF\xBB", kTextUtf8), 0);
    EXPECT_EQ(lines(), Lines{L"\xFFFD"});
}

TEST_F(TextReader, Utf8CharactersAreTakenWhole) {
    // The bytes of one character are taken together, even a line feed inside a broken one.
    ASSERT_EQ(open("\xF0\x9F\x98\x80\n\xC3\nx\ny", kTextUtf8), 0);
    EXPECT_EQ(lines(), (Lines{L"\U0001F600", L"\xFFFD\nx", L"y"}));
    // A zero byte ends the text of its line; the rest of the line is skipped.
    ASSERT_EQ(open(std::string("ab\0cd\nef", 8), kTextUtf8), 0);
    EXPECT_EQ(lines(), (Lines{L"ab", L"ef"}));
    ASSERT_EQ(open(std::string("ab\0cd\nef", 8), kTextUtf8), 0);
    EXPECT_EQ(utf8Lines(), (ByteLines{"ab", "ef"}));
}

TEST_F(TextReader, Utf8CutOffAtTheEndNeverReadsPastTheData) {
    for (const char* tail : {"\xE6\xB8", "\xF0\x9F\x98", "\xC3", "\xE6"}) {
        SCOPED_TRACE(testing::PrintToString(tail));
        ASSERT_EQ(open(std::string("a") + tail, kTextUtf8), 0);
        EXPECT_EQ(lines(), Lines{L"a\xFFFD"});
        ASSERT_EQ(open(std::string("a") + tail, kTextUtf8), 0);
        EXPECT_EQ(utf8Lines(), ByteLines{std::string("a") + tail});
    }
}

TEST_F(TextReader, ByteThatCannotStartACharacterStopsReadLine) {
    for (char bad : {'\x80', '\xBF', '\xF8', '\xFF'}) {
        ASSERT_EQ(open(std::string("ab") + bad + "cd\nz", kTextUtf8), 0);
        SetMessageQX(L"");
        std::wstring line;
        EXPECT_EQ(reader->ReadLine(line), -2);
        EXPECT_EQ(line, L"ab");
        EXPECT_EQ(GetMessageQX(), L"字符串缓冲长度不够！");
        // The position stays on the byte: the same result again, with nothing before it.
        EXPECT_EQ(reader->ReadLine(line), -2);
        EXPECT_EQ(line, L"");
        // The byte-exact call does not look at characters and gets past it.
        std::string bytes;
        EXPECT_EQ(reader->ReadLineUtf8(bytes), 0);
        EXPECT_EQ(bytes, std::string(1, bad) + "cd");
        EXPECT_EQ(lines(), Lines{L"z"});
    }
}

TEST_F(TextReader, CodePages) {
    // GBK: 中 D6 D0, 文 CE C4.
    ASSERT_EQ(open("\xD6\xD0\xCE\xC4\r\nA", 936), 0);
    EXPECT_EQ(lines(), (Lines{L"中文", L"A"}));
    ASSERT_EQ(open("\xD6\xD0\xCE\xC4\r\nA", 936), 0);
    EXPECT_EQ(utf8Lines(), (ByteLines{"\xE4\xB8\xAD\xE6\x96\x87", "A"}));
    // Four bytes that take three UTF-8 bytes each: the whole line comes back.
    ASSERT_EQ(open("\x80\x80\x80\x80", 1252), 0);
    EXPECT_EQ(utf8Lines(), ByteLines{"\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"});
}

TEST_F(TextReader, UnknownCodePageFailsTheLineAndKeepsIt) {
    ASSERT_EQ(open("abc\n", 59999), 0);
    SetMessageQX(L"");
    std::wstring line = L"unchanged";
    EXPECT_EQ(reader->ReadLine(line), -3);
    EXPECT_EQ(line, L"unchanged");
    EXPECT_EQ(GetMessageQX(), L"文本编码转换失败！");
    std::string bytes = "unchanged";
    EXPECT_EQ(reader->ReadLineUtf8(bytes), -3);
    EXPECT_EQ(bytes, "unchanged");
}

TEST_F(TextReader, OpenFailures) {
    SetMessageQX(L"");
    EXPECT_EQ(reader->Open(dir.file(L"无"), kTextUtf8), -1);
    EXPECT_EQ(GetMessageQX(), L"文件不存在或无法访问！");
    // A wildcard names no file, even when something matches it.
    ASSERT_TRUE(writeFileBytes(dir.file(L"a.txt"), "x"));
    EXPECT_EQ(reader->Open(dir.file(L"*.txt"), kTextUtf8), -1);
    // A folder exists but cannot be loaded.
    SetMessageQX(L"");
    EXPECT_EQ(reader->Open(dir.path(), kTextUtf8), -2);
    EXPECT_TRUE(GetMessageQX() == L"打开文件失败！" || GetMessageQX() == L"读取数据失败！");
    std::wstring line;
    EXPECT_EQ(reader->ReadLine(line), -1);
}

TEST_F(TextReader, CloseAndReopen) {
    std::wstring line;
    EXPECT_EQ(reader->ReadLine(line), -1); // fresh object
    reader->Close();                       // closing a closed object does nothing
    ASSERT_EQ(open("one\ntwo", kTextUtf8), 0);
    ASSERT_EQ(reader->ReadLine(line), 0);
    reader->Close();
    EXPECT_EQ(reader->ReadLine(line), -1);
    std::string bytes;
    EXPECT_EQ(reader->ReadLineUtf8(bytes), -1);
    // A new file starts from its beginning.
    ASSERT_EQ(open(kMarkLE + unitBytes(u"x", false), kTextUcs2), 0);
    EXPECT_EQ(lines(), Lines{L"x"});
    // Opening an open object starts afresh; a failing open leaves it closed.
    ASSERT_EQ(open("p\nq", kTextUtf8), 0);
    ASSERT_EQ(reader->ReadLine(line), 0);
    ASSERT_EQ(open("r\ns", kTextUtf8), 0);
    EXPECT_EQ(lines(), (Lines{L"r", L"s"}));
    ASSERT_EQ(open("p\nq", kTextUtf8), 0);
    EXPECT_EQ(open("odd", kTextUcs2), -4);
    EXPECT_EQ(reader->ReadLine(line), -1);
}

} // namespace
} // namespace karv::test
