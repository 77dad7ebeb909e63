// The conversions that need no operating system: UTF-8, UTF-16 and the UTF-16 order.
#include "platform/text.h"
#include "unicode.h"

#include <type_traits>

namespace karv::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr bool kWide16 = sizeof(wchar_t) == 2;

bool isHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}
char32_t joinSurrogates(char32_t high, char32_t low) {
    return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}
char32_t unit(wchar_t c) {
    return static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(c));
}

// The first byte of a UTF-8 sequence: how many bytes follow, the allowed range of the second
// byte (which rules out overlong forms, surrogates and values beyond U+10FFFF) and its payload.
struct LeadByte {
    int trailing = -1; // -1: not a lead byte
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    char32_t bits = 0;
};

LeadByte classifyLead(unsigned char b) {
    if (b < 0x80)
        return {0, 0x80, 0xBF, b};
    if (b >= 0xC2 && b <= 0xDF)
        return {1, 0x80, 0xBF, char32_t(b & 0x1F)};
    if (b == 0xE0)
        return {2, 0xA0, 0xBF, char32_t(b & 0x0F)};
    if (b == 0xED)
        return {2, 0x80, 0x9F, char32_t(b & 0x0F)};
    if (b >= 0xE1 && b <= 0xEF)
        return {2, 0x80, 0xBF, char32_t(b & 0x0F)};
    if (b == 0xF0)
        return {3, 0x90, 0xBF, char32_t(b & 0x07)};
    if (b >= 0xF1 && b <= 0xF3)
        return {3, 0x80, 0xBF, char32_t(b & 0x07)};
    if (b == 0xF4)
        return {3, 0x80, 0x8F, char32_t(b & 0x07)};
    return {};
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// Yields the UTF-16 code units of wide text one by one, as wideToUtf16 would produce them.
class Utf16Units {
  public:
    explicit Utf16Units(const std::wstring& text) : text_(text) {}
    bool next(char16_t& out) {
        if (pendingLow_) {
            out = pendingLow_;
            pendingLow_ = 0;
            return true;
        }
        if (index_ == text_.size())
            return false;
        char32_t c = unit(text_[index_++]);
        if (kWide16 || c < 0x10000) {
            out = char16_t(c);
        } else if (c > 0x10FFFF) {
            out = char16_t(kReplacement);
        } else {
            out = char16_t(0xD800 + ((c - 0x10000) >> 10));
            pendingLow_ = char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
        return true;
    }

  private:
    const std::wstring& text_;
    size_t index_ = 0;
    char16_t pendingLow_ = 0;
};

} // namespace

namespace detail {

void appendCodePoint(std::wstring& out, char32_t c) {
    if (kWide16 && c >= 0x10000) {
        out += wchar_t(0xD800 + ((c - 0x10000) >> 10));
        out += wchar_t(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
        out += wchar_t(c);
    }
}

bool decodeUtf8(const char* bytes, size_t count, std::wstring& out) {
    const auto* in = reinterpret_cast<const unsigned char*>(bytes);
    bool clean = true;
    size_t i = 0;
    while (i < count) {
        LeadByte lead = classifyLead(in[i++]);
        if (lead.trailing < 0) {
            appendCodePoint(out, kReplacement);
            clean = false;
            continue;
        }
        char32_t c = lead.bits;
        int got = 0;
        for (; got < lead.trailing; ++got) {
            if (i == count || in[i] < lead.low || in[i] > lead.high)
                break;
            c = (c << 6) | (in[i++] & 0x3F);
            lead.low = 0x80;
            lead.high = 0xBF;
        }
        if (got < lead.trailing) {
            // The bytes taken so far form one bad sequence; the offending byte starts anew.
            appendCodePoint(out, kReplacement);
            clean = false;
            continue;
        }
        appendCodePoint(out, c);
    }
    return clean;
}

bool encodeUtf8(const std::wstring& text, std::string& out) {
    bool clean = true;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = unit(text[i]);
        if (kWide16 && isHighSurrogate(c) && i + 1 < text.size() &&
            isLowSurrogate(unit(text[i + 1]))) {
            c = joinSurrogates(c, unit(text[++i]));
        } else if (isHighSurrogate(c) || isLowSurrogate(c) || c > 0x10FFFF) {
            c = kReplacement;
            clean = false;
        }
        appendUtf8(out, c);
    }
    return clean;
}

} // namespace detail

std::wstring utf8ToWide(const std::string& bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    detail::decodeUtf8(bytes.data(), bytes.size(), out);
    return out;
}

std::string wideToUtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    detail::encodeUtf8(text, out);
    return out;
}

std::wstring utf16ToWide(const std::u16string& units) {
    std::wstring out;
    out.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        // Unpaired surrogates are kept as they are, so the way back restores the same units.
        if (!kWide16 && isHighSurrogate(c) && i + 1 < units.size() && isLowSurrogate(units[i + 1]))
            c = joinSurrogates(c, units[++i]);
        out += wchar_t(c);
    }
    return out;
}

std::u16string wideToUtf16(const std::wstring& text) {
    std::u16string out;
    out.reserve(text.size());
    Utf16Units units(text);
    char16_t u;
    while (units.next(u))
        out += u;
    return out;
}

int compareUtf16(const std::wstring& a, const std::wstring& b) {
    Utf16Units left(a);
    Utf16Units right(b);
    for (;;) {
        char16_t l = 0;
        char16_t r = 0;
        bool hasLeft = left.next(l);
        bool hasRight = right.next(r);
        if (!hasLeft || !hasRight)
            return int(hasLeft) - int(hasRight);
        if (l != r)
            return l < r ? -1 : 1;
    }
}

std::wstring asciiUpper(const std::wstring& text) {
    std::wstring out(text);
    for (wchar_t& c : out) {
        if (c >= L'a' && c <= L'z')
            c = wchar_t(c - L'a' + L'A');
    }
    return out;
}

} // namespace karv::platform
