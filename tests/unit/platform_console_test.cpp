// Console input as the platform layer splits it: whitespace-delimited UTF-8 tokens from any
// chunking of the input, the end of input, and the Enter a pause waits for.
#include "platform/token_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace karv::test {
namespace {

using platform::TokenReader;

// Hands out the input in the given pieces, one piece per read request at most.
struct ChunkedInput {
    std::vector<std::string> pieces;
    size_t next = 0;
    size_t offset = 0;
    size_t requests = 0;
    size_t operator()(char* buffer, size_t capacity) {
        ++requests;
        if (next == pieces.size())
            return 0;
        const std::string& piece = pieces[next];
        size_t count = std::min(capacity, piece.size() - offset);
        std::memcpy(buffer, piece.data() + offset, count);
        offset += count;
        if (offset == piece.size()) {
            ++next;
            offset = 0;
        }
        return count;
    }
};

std::vector<std::string> byteByByte(const std::string& text) {
    std::vector<std::string> out;
    for (char c : text)
        out.emplace_back(1, c);
    return out;
}

std::vector<std::wstring> allTokens(TokenReader& reader) {
    std::vector<std::wstring> out;
    std::wstring token;
    while (reader.next(token))
        out.push_back(token);
    return out;
}

const std::string kInput = "  12 abc\n\xE4\xB8\xAD\xE6\x96\x87\t-3\r\n\v\f\n007";
const std::vector<std::wstring> kTokens = {L"12", L"abc", L"中文", L"-3", L"007"};

TEST(ConsoleTokens, SplitTheSameWhateverTheChunks) {
    TokenReader whole(ChunkedInput{{kInput}});
    EXPECT_EQ(allTokens(whole), kTokens);
    EXPECT_TRUE(whole.ended());

    TokenReader bytes(ChunkedInput{byteByByte(kInput)});
    EXPECT_FALSE(bytes.ended());
    EXPECT_EQ(allTokens(bytes), kTokens);
    EXPECT_TRUE(bytes.ended());
}

TEST(ConsoleTokens, EndOfInputIsFinal) {
    auto source = std::make_shared<ChunkedInput>(ChunkedInput{{" \n\t"}});
    TokenReader reader([source](char* b, size_t n) { return (*source)(b, n); });
    std::wstring token = L"stale";
    EXPECT_FALSE(reader.next(token));
    EXPECT_EQ(token, L"");
    EXPECT_TRUE(reader.ended());
    const size_t requests = source->requests;
    EXPECT_FALSE(reader.next(token));
    EXPECT_EQ(source->requests, requests); // no read after the end was seen

    TokenReader empty(ChunkedInput{});
    EXPECT_FALSE(empty.next(token));
    EXPECT_TRUE(empty.ended());
}

TEST(ConsoleTokens, BrokenUtf8AndOverlongTokens) {
    std::string input = "\xFF"
                        "1 ";
    input += std::string(TokenReader::kMaxTokenBytes + 100, '9');
    input += " 2";
    TokenReader reader(ChunkedInput{{input}});
    std::wstring token;
    ASSERT_TRUE(reader.next(token));
    EXPECT_EQ(token, L"\uFFFD1");
    ASSERT_TRUE(reader.next(token));
    EXPECT_EQ(token, std::wstring(TokenReader::kMaxTokenBytes, L'9'));
    ASSERT_TRUE(reader.next(token));
    EXPECT_EQ(token, L"2");
    EXPECT_FALSE(reader.next(token));
}

// A terminal delivers one line per read.
TEST(ConsolePause, EnterEndsThePauseAndTheAnsweredLineDoesNotCount) {
    TokenReader reader(ChunkedInput{{"1\n", "\n", "2\n"}});
    std::wstring token;
    ASSERT_TRUE(reader.next(token));
    EXPECT_EQ(token, L"1");
    reader.waitForEnter(); // takes the empty line, not the rest of "1\n"
    ASSERT_TRUE(reader.next(token));
    EXPECT_EQ(token, L"2");
    EXPECT_FALSE(reader.next(token));
}

TEST(ConsolePause, TheRestOfTheAnsweredLineIsDropped) {
    TokenReader reader(ChunkedInput{{"1 extra words\n", "anything\n", "3\n"}});
    std::wstring token;
    ASSERT_TRUE(reader.next(token));
    reader.waitForEnter();
    ASSERT_TRUE(reader.next(token));
    EXPECT_EQ(token, L"3");
}

TEST(ConsolePause, FirstThingAndAtTheEndOfInput) {
    TokenReader reader(ChunkedInput{{"\n", "5\n"}});
    reader.waitForEnter();
    std::wstring token;
    ASSERT_TRUE(reader.next(token));
    EXPECT_EQ(token, L"5");
    reader.waitForEnter(); // the input ends while waiting: returns at once
    EXPECT_TRUE(reader.ended());
    EXPECT_FALSE(reader.next(token));
}

} // namespace
} // namespace karv::test
