#include "platform/token_reader.h"
#include "platform/text.h"

#include <utility>

namespace karv::platform {
namespace {

constexpr size_t kChunk = 4096;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

TokenReader::TokenReader(Source source) : source_(std::move(source)), buffer_(kChunk) {}

bool TokenReader::fill() {
    if (ended_)
        return false;
    size_t got = source_(buffer_.data(), buffer_.size());
    if (got == 0 || got > buffer_.size()) {
        ended_ = true;
        return false;
    }
    begin_ = 0;
    end_ = got;
    return true;
}

bool TokenReader::peek(char& c) {
    if (begin_ == end_ && !fill())
        return false;
    c = buffer_[begin_];
    return true;
}

bool TokenReader::next(std::wstring& token) {
    token.clear();
    char c = 0;
    while (peek(c) && isSpace(c)) {
        ++begin_;
        lineOpen_ = c != '\n';
    }
    std::string bytes;
    // The delimiter stays unread, so a pause can tell the rest of this line from the next one.
    while (peek(c) && !isSpace(c)) {
        ++begin_;
        lineOpen_ = true;
        if (bytes.size() < kMaxTokenBytes)
            bytes += c;
    }
    if (bytes.empty())
        return false;
    token = utf8ToWide(bytes);
    return true;
}

void TokenReader::waitForEnter() {
    if (lineOpen_) {
        while (begin_ < end_ && buffer_[begin_] != '\n')
            ++begin_;
        if (begin_ < end_)
            ++begin_;
        lineOpen_ = false;
    }
    char c = 0;
    while (peek(c)) {
        ++begin_;
        if (c == '\n')
            return;
    }
}

} // namespace karv::platform
