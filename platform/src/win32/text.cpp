// Numbered code pages on Windows: MultiByteToWideChar and WideCharToMultiByte, refusing what
// the page cannot represent. UTF-8 is decoded by the portable code, as on POSIX.
#include "platform/text.h"
#include "unicode.h"

#include <windows.h>

#include <climits>

namespace karv::platform {
namespace {

// Some code pages (UTF-7, the ISO-2022 family, ...) take no flags; they are asked again without.
bool flagsRefused() {
    DWORD error = GetLastError();
    return error == ERROR_INVALID_FLAGS || error == ERROR_INVALID_PARAMETER;
}

int toWide(uint32_t codePage, DWORD flags, const char* bytes, int count, wchar_t* out,
           int capacity) {
    return MultiByteToWideChar(codePage, flags, bytes, count, out, capacity);
}

bool decode(uint32_t codePage, const char* bytes, int count, std::wstring& out) {
    DWORD flags = MB_ERR_INVALID_CHARS;
    int needed = toWide(codePage, flags, bytes, count, nullptr, 0);
    if (needed <= 0 && flagsRefused()) {
        flags = 0;
        needed = toWide(codePage, flags, bytes, count, nullptr, 0);
    }
    if (needed <= 0)
        return false;
    out.resize(size_t(needed));
    return toWide(codePage, flags, bytes, count, &out[0], needed) == needed;
}

// One WideCharToMultiByte request; `strict` asks for no best-fit characters and reports the
// use of the default character.
int fromWide(uint32_t codePage, bool strict, const std::wstring& text, char* out, int capacity,
             BOOL* usedDefault) {
    return WideCharToMultiByte(codePage, strict ? WC_NO_BEST_FIT_CHARS : 0, text.data(),
                               int(text.size()), out, capacity, nullptr,
                               strict ? usedDefault : nullptr);
}

bool encode(uint32_t codePage, const std::wstring& text, std::string& out) {
    bool strict = true;
    BOOL usedDefault = FALSE;
    int needed = fromWide(codePage, strict, text, nullptr, 0, &usedDefault);
    if (needed <= 0 && flagsRefused()) {
        strict = false;
        needed = fromWide(codePage, strict, text, nullptr, 0, &usedDefault);
    }
    if (needed <= 0 || usedDefault)
        return false;
    out.resize(size_t(needed));
    return fromWide(codePage, strict, text, &out[0], needed, &usedDefault) == needed &&
           !usedDefault;
}

} // namespace

bool codePageToWide(uint32_t codePage, const char* bytes, size_t count, std::wstring& out) {
    out.clear();
    bool ok;
    if (codePage == kCodePageUtf8)
        ok = detail::decodeUtf8(bytes, count, out);
    else if (count == 0)
        ok = IsValidCodePage(codePage) != 0; // the conversion calls refuse empty input
    else
        ok = count <= size_t(INT_MAX) && decode(codePage, bytes, int(count), out);
    if (!ok)
        out.clear();
    return ok;
}

bool wideToCodePage(uint32_t codePage, const std::wstring& text, std::string& out) {
    out.clear();
    bool ok;
    if (codePage == kCodePageUtf8)
        ok = detail::encodeUtf8(text, out);
    else if (text.empty())
        ok = IsValidCodePage(codePage) != 0;
    else
        ok = text.size() <= size_t(INT_MAX) && encode(codePage, text, out);
    if (!ok)
        out.clear();
    return ok;
}

} // namespace karv::platform
