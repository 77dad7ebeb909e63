// Console input split into whitespace-delimited tokens. The system part only supplies bytes
// (UTF-8), so both systems split and decode input the same way.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace karv::platform {

class TokenReader {
  public:
    // Reads up to `capacity` bytes into `buffer`; 0 at the end of the input or on an error.
    using Source = std::function<size_t(char* buffer, size_t capacity)>;

    // Longer tokens are cut to this many bytes; the rest of the token is read and dropped.
    static constexpr size_t kMaxTokenBytes = 64 * 1024;

    explicit TokenReader(Source source);

    // The next token, decoded from UTF-8. False when the input ends before a token starts.
    bool next(std::wstring& token);
    bool ended() const { return ended_; }

    // The "press Enter" of a pause: drops what is buffered of the line already being read, then
    // reads until a line break (or the end of the input).
    void waitForEnter();

  private:
    bool fill();
    bool peek(char& c);

    Source source_;
    std::vector<char> buffer_;
    size_t begin_ = 0;
    size_t end_ = 0;
    bool ended_ = false;
    bool lineOpen_ = false; // part of the current line has been taken, its line break not yet
};

} // namespace karv::platform
