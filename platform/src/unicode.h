// UTF-8 coding shared by the portable conversions and the code-page layer of both systems.
#pragma once

#include <cstddef>
#include <string>

namespace karv::platform::detail {

// Appends one code point to wide text (as a surrogate pair where wchar_t holds 16 bits).
void appendCodePoint(std::wstring& out, char32_t codePoint);

// Appends the text of UTF-8 `bytes`; each maximal invalid subsequence becomes one U+FFFD.
// False when anything had to be replaced.
bool decodeUtf8(const char* bytes, size_t count, std::wstring& out);

// Appends `text` as UTF-8; unpaired surrogates and values beyond U+10FFFF become U+FFFD.
// False when anything had to be replaced.
bool encodeUtf8(const std::wstring& text, std::string& out);

} // namespace karv::platform::detail
