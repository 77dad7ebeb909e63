// Path rules and name matching shared by both systems.
#include "platform/filesystem.h"
#include "platform/text.h"

namespace karv::platform {
namespace {

char16_t foldCase(char16_t c) {
#ifdef _WIN32
    if (c >= u'a' && c <= u'z')
        return char16_t(c - u'a' + u'A');
#endif
    return c;
}

// Greedy matching that returns to the last '*' on a mismatch: linear memory, and at most
// name length x pattern length steps even for hostile patterns.
bool matchUnits(const std::u16string& name, const std::u16string& pattern) {
    size_t n = 0;
    size_t p = 0;
    size_t starAt = std::u16string::npos;
    size_t resumeName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starAt = p++;
            resumeName = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == u'?' || foldCase(pattern[p]) == foldCase(name[n]))) {
            ++p;
            ++n;
        } else if (starAt != std::u16string::npos) {
            p = starAt + 1;
            n = ++resumeName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

} // namespace

bool isPathSeparator(wchar_t c) {
#ifdef _WIN32
    return c == L'\\' || c == L'/';
#else
    return c == L'/';
#endif
}

size_t lastSeparator(const std::wstring& path) {
    for (size_t i = path.size(); i > 0; --i) {
        if (isPathSeparator(path[i - 1]))
            return i - 1;
    }
    return std::wstring::npos;
}

bool matchesPattern(const std::wstring& name, const std::wstring& pattern) {
    // On UTF-16 code units, as the Windows search does: '?' takes one unit, so a character
    // beyond U+FFFF needs two.
    return matchUnits(wideToUtf16(name), wideToUtf16(pattern));
}

} // namespace karv::platform
