// Text conversion between wide strings and byte encodings.
#pragma once

#include <cstdint>
#include <string>

namespace karv::platform {

inline constexpr uint32_t kCodePageUtf8 = 65001;

// UTF-8 bytes to wide text. Invalid sequences become U+FFFD; never fails.
std::wstring utf8ToWide(const std::string& bytes);
std::string wideToUtf8(const std::wstring& text);

// UTF-16 code units (host order) to wide text and back: on Linux surrogate pairs become one
// wchar_t and are split again on the way back; on Windows the units are copied.
std::wstring utf16ToWide(const std::u16string& units);
std::u16string wideToUtf16(const std::wstring& text);

// Bytes in a numbered code page (65001 is UTF-8, 936 is GBK, ...) to wide text and back.
// False for an unknown code page or bytes the code page cannot represent.
bool codePageToWide(uint32_t codePage, const char* bytes, size_t count, std::wstring& out);
bool wideToCodePage(uint32_t codePage, const std::wstring& text, std::string& out);

// Orders two strings by their UTF-16 code units (the order of the Windows file search),
// on both systems. Negative, zero or positive like wcscmp.
int compareUtf16(const std::wstring& a, const std::wstring& b);

// ASCII letters a-z upper-cased, everything else unchanged.
std::wstring asciiUpper(const std::wstring& text);

} // namespace karv::platform
