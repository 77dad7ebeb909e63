// Text conversion of the platform layer: UTF-8 (valid and broken), UTF-16 surrogates, numbered
// code pages, the UTF-16 order and the name patterns of directory searches.
#include "platform/filesystem.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>

namespace karv::test {
namespace {

using namespace karv::platform;

const std::wstring kFffd(1, L'\uFFFD');

std::wstring replacements(size_t count) {
    std::wstring out;
    for (size_t i = 0; i < count; ++i)
        out += kFffd;
    return out;
}

TEST(Utf8, DecodesEveryLengthAndRoundTrips) {
    // A (1 byte), e-acute (2), 中 (3), U+1F600 (4), and the edges of each length.
    const std::string bytes = "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"
                              "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80"
                              "\xF4\x8F\xBF\xBF";
    const std::wstring text = L"A\u00E9\u4E2D\U0001F600\u007F\u0080\u07FF\u0800\uFFFF"
                              L"\U00010000\U0010FFFF";
    EXPECT_EQ(utf8ToWide(bytes), text);
    EXPECT_EQ(wideToUtf8(text), bytes);
    EXPECT_EQ(utf8ToWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
    EXPECT_EQ(utf8ToWide(""), L"");
    EXPECT_EQ(wideToUtf8(L""), "");
}

TEST(Utf8, EachBrokenSequenceBecomesOneReplacement) {
    struct Case {
        std::string bytes;
        std::wstring text;
    };
    const Case cases[] = {
        {"\x80", kFffd},                       // stray continuation byte
        {"\xBF\x80", replacements(2)},         // two of them
        {"\xC3", kFffd},                       // cut at the end
        {"\xE4\xB8", kFffd},                   // cut after two of three
        {"\xE4\xB8\x41", kFffd + L"A"},        // cut by an ASCII byte ('A')
        {"\xF0\x9F\x98", kFffd},               // cut after three of four
        {"\xC0\xAF", replacements(2)},         // overlong '/'
        {"\xC1\xBF", replacements(2)},         // overlong
        {"\xE0\x80\xAF", replacements(3)},     // overlong three-byte form
        {"\xF0\x80\x80\xAF", replacements(4)}, // overlong four-byte form
        {"\xED\xA0\x80", replacements(3)},     // encoded surrogate D800
        {"\xED\xBF\xBF", replacements(3)},     // encoded surrogate DFFF
        {"\xF4\x90\x80\x80", replacements(4)}, // beyond U+10FFFF
        {"\xF5\x80", replacements(2)},         // no such lead byte
        {"\xFE\xFF", replacements(2)},
        {"a\xE4\xB8\xE4\xB8\xADz", L"a" + kFffd + L"\u4E2Dz"}, // good sequence right after
        {"\xF0\x9F\xF0\x9F\x98\x80", kFffd + L"\U0001F600"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf8ToWide(c.bytes), c.text) << testing::PrintToString(c.bytes);
        std::wstring strict = L"left over";
        EXPECT_FALSE(codePageToWide(kCodePageUtf8, c.bytes.data(), c.bytes.size(), strict));
        EXPECT_EQ(strict, L"");
    }
}

TEST(Utf8, UnpairedSurrogatesAndOutOfRangeValuesEncodeAsReplacement) {
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(wideToUtf8(std::wstring(1, wchar_t(0xD83D))), fffd);
    EXPECT_EQ(wideToUtf8(L"a" + std::wstring(1, wchar_t(0xDE00)) + L"b"), "a" + fffd + "b");
    std::string strict;
    EXPECT_FALSE(wideToCodePage(kCodePageUtf8, std::wstring(1, wchar_t(0xDC00)), strict));
    EXPECT_TRUE(wideToCodePage(kCodePageUtf8, L"\u4E2D\U0001F600", strict));
    EXPECT_EQ(strict, "\xE4\xB8\xAD\xF0\x9F\x98\x80");
#ifndef _WIN32
    EXPECT_EQ(wideToUtf8(std::wstring(1, wchar_t(0x110000))), fffd);
    EXPECT_EQ(wideToUtf8(std::wstring(1, wchar_t(-1))), fffd);
#endif
}

TEST(Utf16, SurrogatePairsJoinAndSplitAgain) {
    const std::u16string units = u"A\xD83D\xDE00\x4E2D";
    const std::wstring text = utf16ToWide(units);
    EXPECT_EQ(text, L"A\U0001F600\u4E2D");
    EXPECT_EQ(text.size(), sizeof(wchar_t) == 2 ? 4u : 3u);
    EXPECT_EQ(wideToUtf16(text), units);
    EXPECT_EQ(wideToUtf16(L"\U0010FFFF"), u"\xDBFF\xDFFF");
    EXPECT_EQ(wideToUtf16(L"\U00010000"), u"\xD800\xDC00");
}

TEST(Utf16, UnpairedUnitsSurviveTheRoundTrip) {
    const std::u16string cases[] = {
        u"\xD83D", // high at the end
        u"\xD83D"
        u"A",            // high before a letter
        u"\xDE00\xD83D", // the pair the wrong way round
        u"\xD83D\xD83D\xDE00",
    };
    for (const std::u16string& units : cases) {
        EXPECT_EQ(wideToUtf16(utf16ToWide(units)), units);
    }
#ifndef _WIN32
    EXPECT_EQ(utf16ToWide(u"\xD83D\xD83D\xDE00"), std::wstring(1, wchar_t(0xD83D)) + L"\U0001F600");
    EXPECT_EQ(wideToUtf16(std::wstring(1, wchar_t(0x110000))), u"\xFFFD");
#endif
}

TEST(CodePages, ChineseRoundTripsThroughCodePage936) {
    // 中文测试 in GBK, with ASCII around it.
    const std::string gbk = "A\xD6\xD0\xCE\xC4\xB2\xE2\xCA\xD4.txt";
    std::wstring text;
    ASSERT_TRUE(codePageToWide(936, gbk.data(), gbk.size(), text));
    EXPECT_EQ(text, L"A中文测试.txt");
    std::string back;
    ASSERT_TRUE(wideToCodePage(936, text, back));
    EXPECT_EQ(back, gbk);
}

TEST(CodePages, BytesAndCharactersOutsideThePageFail) {
    std::wstring text = L"left over";
    const std::string cutLead = "\xD6\xD0\xD6"; // a lead byte without its trail byte
    EXPECT_FALSE(codePageToWide(936, cutLead.data(), cutLead.size(), text));
    EXPECT_EQ(text, L"");
    std::string bytes = "left over";
    EXPECT_FALSE(wideToCodePage(936, L"\u4E2D\U0001F600", bytes));
    EXPECT_EQ(bytes, "");
    EXPECT_FALSE(wideToCodePage(936, L"\u0E01", bytes)); // Thai
    EXPECT_FALSE(wideToCodePage(936, std::wstring(1, wchar_t(0xD800)), bytes));
}

TEST(CodePages, SingleBytePage1252) {
    const std::string bytes = "\x80\xE9\x41";
    std::wstring text;
    ASSERT_TRUE(codePageToWide(1252, bytes.data(), bytes.size(), text));
    EXPECT_EQ(text, L"\u20AC\u00E9A");
    std::string back;
    ASSERT_TRUE(wideToCodePage(1252, text, back));
    EXPECT_EQ(back, bytes);
}

TEST(CodePages, UnknownNumbersFailWithoutHarm) {
    std::wstring text;
    const std::string bytes = "abc";
    EXPECT_FALSE(codePageToWide(12345, bytes.data(), bytes.size(), text));
    EXPECT_FALSE(codePageToWide(12345, bytes.data(), 0, text));
    EXPECT_FALSE(codePageToWide(0xFFFFFFFFu, bytes.data(), bytes.size(), text));
    std::string out;
    EXPECT_FALSE(wideToCodePage(12345, L"abc", out));
    EXPECT_FALSE(wideToCodePage(12345, L"", out));
    // Empty text in a real page is simply empty.
    EXPECT_TRUE(codePageToWide(936, bytes.data(), 0, text));
    EXPECT_EQ(text, L"");
    EXPECT_TRUE(wideToCodePage(936, L"", out));
    EXPECT_EQ(out, "");
}

TEST(CodePages, Utf8PageDecodesWithoutAnyConverter) {
    const std::string bytes = "\xE4\xB8\xAD\xF0\x9F\x98\x80";
    std::wstring text;
    ASSERT_TRUE(codePageToWide(kCodePageUtf8, bytes.data(), bytes.size(), text));
    EXPECT_EQ(text, L"\u4E2D\U0001F600");
    std::string back;
    ASSERT_TRUE(wideToCodePage(kCodePageUtf8, text, back));
    EXPECT_EQ(back, bytes);
}

int sign(int value) {
    return (value > 0) - (value < 0);
}

TEST(Utf16Order, ComparesCodeUnitsNotCodePoints) {
    // D83D DE00 < FF21 although U+1F600 > U+FF21.
    EXPECT_EQ(sign(compareUtf16(L"\U0001F600", L"\uFF21")), -1);
    EXPECT_EQ(sign(compareUtf16(L"\uFF21", L"\U0001F600")), 1);
    EXPECT_EQ(sign(compareUtf16(L"\uE000", L"\U0010FFFF")), 1);
    EXPECT_EQ(sign(compareUtf16(L"\uD7FF", L"\U00010000")), -1);
    EXPECT_EQ(sign(compareUtf16(L"\U0001F600", L"\U0001F601")), -1);
    EXPECT_EQ(sign(compareUtf16(L"A", L"a")), -1);
    EXPECT_EQ(sign(compareUtf16(L"ab", L"abc")), -1);
    EXPECT_EQ(sign(compareUtf16(L"abc", L"ab")), 1);
    EXPECT_EQ(compareUtf16(L"中文", L"中文"), 0);
    EXPECT_EQ(compareUtf16(L"", L""), 0);
}

TEST(AsciiUpper, OnlyAsciiLettersChange) {
    EXPECT_EQ(asciiUpper(L"abz.Dds-09_中é\U0001F600"), L"ABZ.DDS-09_中é\U0001F600");
    EXPECT_EQ(asciiUpper(L""), L"");
}

TEST(NamePatterns, StarsAndQuestionMarks) {
    EXPECT_TRUE(matchesPattern(L"0001.dds", L"*.dds"));
    EXPECT_TRUE(matchesPattern(L".dds", L"*.dds"));
    EXPECT_TRUE(matchesPattern(L"a.b.dds", L"*.dds"));
    EXPECT_FALSE(matchesPattern(L"a.ddsx", L"*.dds"));
    EXPECT_FALSE(matchesPattern(L"a.dds.bak", L"*.dds"));
    EXPECT_TRUE(matchesPattern(L"", L"*"));
    EXPECT_TRUE(matchesPattern(L"", L""));
    EXPECT_FALSE(matchesPattern(L"x", L""));
    EXPECT_TRUE(matchesPattern(L"abc", L"a?c"));
    EXPECT_FALSE(matchesPattern(L"ac", L"a?c"));
    EXPECT_TRUE(matchesPattern(L"abcbd", L"a*b*d"));
    EXPECT_TRUE(matchesPattern(L"中文.data", L"??.data"));
    EXPECT_TRUE(matchesPattern(L"12.data", L"*?.data"));
    EXPECT_FALSE(matchesPattern(L".data", L"*?.data"));
    // '?' takes one UTF-16 unit: a character beyond U+FFFF needs two, on both systems.
    EXPECT_FALSE(matchesPattern(L"\U0001F600", L"?"));
    EXPECT_TRUE(matchesPattern(L"\U0001F600", L"??"));
}

TEST(NamePatterns, CaseFollowsTheSystem) {
#ifdef _WIN32
    EXPECT_TRUE(matchesPattern(L"A.DDS", L"*.dds"));
    EXPECT_TRUE(matchesPattern(L"a.dds", L"A.DD?"));
#else
    EXPECT_FALSE(matchesPattern(L"A.DDS", L"*.dds"));
    EXPECT_FALSE(matchesPattern(L"a.dds", L"A.DD?"));
#endif
    EXPECT_FALSE(matchesPattern(L"\u00C9", L"\u00E9")); // beyond ASCII, case always counts
}

TEST(NamePatterns, HostilePatternsFinishQuickly) {
    const std::wstring name(20000, L'a');
    std::wstring pattern;
    for (int i = 0; i < 200; ++i)
        pattern += L"*a";
    EXPECT_FALSE(matchesPattern(name, pattern + L"*b"));
    EXPECT_TRUE(matchesPattern(name, pattern + L"*"));
}

} // namespace
} // namespace karv::test
