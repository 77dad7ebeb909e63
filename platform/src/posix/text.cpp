// Numbered code pages on POSIX: iconv under the name "CP<n>"; UTF-8 is decoded here.
#include "platform/text.h"
#include "unicode.h"

#include <cerrno>
#include <iconv.h>
#include <limits>
#include <memory>
#include <string>

static_assert(sizeof(wchar_t) == 4, "wide text on POSIX holds one character per wchar_t");

namespace karv::platform {
namespace {

// iconv names for Windows code pages whose "CP<n>" name iconv does not know.
struct CodePageName {
    uint32_t number;
    const char* name;
};
constexpr CodePageName kOtherNames[] = {
    {20127, "ASCII"},      {20866, "KOI8-R"},     {21866, "KOI8-U"},      {20936, "GB2312"},
    {54936, "GB18030"},    {51932, "EUC-JP"},     {51949, "EUC-KR"},      {50220, "ISO-2022-JP"},
    {65000, "UTF-7"},      {28591, "ISO-8859-1"}, {28592, "ISO-8859-2"},  {28593, "ISO-8859-3"},
    {28594, "ISO-8859-4"}, {28595, "ISO-8859-5"}, {28596, "ISO-8859-6"},  {28597, "ISO-8859-7"},
    {28598, "ISO-8859-8"}, {28599, "ISO-8859-9"}, {28603, "ISO-8859-13"}, {28605, "ISO-8859-15"},
};

// The wide side of every conversion: UTF-32 in a fixed byte order, whatever wchar_t is.
constexpr const char* kWideSide = "UTF-32LE";

class Converter {
  public:
    Converter(const std::string& to, const std::string& from)
        : cd_(iconv_open(to.c_str(), from.c_str())) {}
    ~Converter() {
        if (valid())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all of the input; false on bytes or characters the other side cannot take.
    bool run(const char* input, size_t count, std::string& out) {
        if (count > std::numeric_limits<size_t>::max() / 4)
            return false;
        out.assign(count * 2 + 16, '\0');
        char* in = const_cast<char*>(input);
        size_t inLeft = count;
        size_t used = 0;
        bool flushing = false;
        for (;;) {
            char* at = &out[used];
            size_t outLeft = out.size() - used;
            // Once the input is used up, one more call ends a shifted state (stateful pages).
            size_t result = flushing ? iconv(cd_, nullptr, nullptr, &at, &outLeft)
                                     : iconv(cd_, &in, &inLeft, &at, &outLeft);
            used = out.size() - outLeft;
            if (result != size_t(-1)) {
                if (flushing) {
                    out.resize(used);
                    return true;
                }
                flushing = true;
                continue;
            }
            if (errno != E2BIG || out.size() > std::numeric_limits<size_t>::max() / 2)
                return false;
            out.resize(out.size() * 2);
        }
    }

  private:
    iconv_t cd_;
};

// Opens the conversion under "CP<n>" first, then under the page's other name.
bool openConverter(uint32_t codePage, bool toWide, std::unique_ptr<Converter>& out) {
    std::string names[2] = {"CP" + std::to_string(codePage), ""};
    for (const CodePageName& other : kOtherNames) {
        if (other.number == codePage)
            names[1] = other.name;
    }
    for (const std::string& name : names) {
        if (name.empty())
            continue;
        out = toWide ? std::make_unique<Converter>(kWideSide, name)
                     : std::make_unique<Converter>(name, kWideSide);
        if (out->valid())
            return true;
    }
    return false;
}

bool utf32ToWide(const std::string& bytes, std::wstring& out) {
    out.clear();
    out.reserve(bytes.size() / 4);
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        const auto* b = reinterpret_cast<const unsigned char*>(&bytes[i]);
        out += wchar_t(char32_t(b[0]) | char32_t(b[1]) << 8 | char32_t(b[2]) << 16 |
                       char32_t(b[3]) << 24);
    }
    return bytes.size() % 4 == 0;
}

// Wide text as UTF-32LE; false when it holds something that is no character.
bool wideToUtf32(const std::wstring& text, std::string& out) {
    out.clear();
    out.reserve(text.size() * 4);
    for (wchar_t w : text) {
        auto c = char32_t(w);
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
            return false;
        for (int shift = 0; shift < 32; shift += 8)
            out += char((c >> shift) & 0xFF);
    }
    return true;
}

} // namespace

bool codePageToWide(uint32_t codePage, const char* bytes, size_t count, std::wstring& out) {
    out.clear();
    if (codePage == kCodePageUtf8) {
        if (detail::decodeUtf8(bytes, count, out))
            return true;
        out.clear();
        return false;
    }
    std::unique_ptr<Converter> converter;
    std::string utf32;
    if (openConverter(codePage, true, converter) && converter->run(bytes, count, utf32) &&
        utf32ToWide(utf32, out))
        return true;
    out.clear();
    return false;
}

bool wideToCodePage(uint32_t codePage, const std::wstring& text, std::string& out) {
    out.clear();
    if (codePage == kCodePageUtf8) {
        if (detail::encodeUtf8(text, out))
            return true;
        out.clear();
        return false;
    }
    std::unique_ptr<Converter> converter;
    std::string utf32;
    if (wideToUtf32(text, utf32) && openConverter(codePage, false, converter) &&
        converter->run(utf32.data(), utf32.size(), out))
        return true;
    out.clear();
    return false;
}

} // namespace karv::platform
