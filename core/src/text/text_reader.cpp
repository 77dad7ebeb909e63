// The text reader: the whole file in memory, cut into lines on demand.
//
// The data is untrusted: every step checks the bytes it needs against the size, so a file that
// ends inside a character, a mark or a CR LF pair is read up to its last byte and no further.
#include "text/text_reader.h"

#include "boundary/messages.h"
#include "files/file_helpers.h"
#include "platform/filesystem.h"
#include "platform/text.h"

#include <algorithm>
#include <new>

namespace karv {
namespace {

constexpr uint8_t kCr = 13;
constexpr uint8_t kLf = 10;

// _waccess names one file; Windows file names cannot hold wildcards, so a pattern is never
// accessible, whatever it matches.
bool pathAccessible(const std::wstring& path) {
    if (path.empty() || path.find_first_of(L"*?") != std::wstring::npos)
        return false;
    return platform::pathExists(path);
}

std::wstring beforeNul(const std::wstring& text) {
    return text.substr(0, text.find(L'\0'));
}

Status conversionFailed() {
    return Status::failure(Error::TextConversionFailed, msg::kTextConversionFailed);
}

// How many bytes a UTF-8 character takes by its first byte; 0 when the byte cannot start one.
uint32_t utf8SequenceLength(uint8_t b) {
    if (b < 0x80)
        return 1;
    if (b >= 0xC0 && b <= 0xDF)
        return 2;
    if (b >= 0xE0 && b <= 0xEF)
        return 3;
    if (b >= 0xF0 && b <= 0xF7)
        return 4;
    return 0;
}

} // namespace

Status TextReader::open(const std::wstring& path, uint32_t newEncoding) {
    close();
    std::wstring name = beforeNul(path);
    if (!pathAccessible(name))
        return Status::failure(Error::PathInaccessible, msg::kPathNotAccessible);
    MallocBuffer bytes;
    uint32_t rawSize = 0;
    if (Status loaded = loadWholeFile(name, bytes, rawSize); !loaded)
        return loaded;
    const uint8_t* raw = bytes.get();
    uint32_t start = 0;
    bool bigEndian = false;
    if (newEncoding == kTextUtf8) {
        if (rawSize >= 3 && raw[0] == 0xEF && raw[1] == 0xBB && raw[2] == 0xBF)
            start = 3;
    } else if (newEncoding == kTextUcs2) {
        if (rawSize % unitWidth != 0)
            return Status::failure(Error::TextOddLength, msg::kUcs2OddSize);
        bool little = rawSize >= 2 && raw[0] == 0xFF && raw[1] == 0xFE;
        bigEndian = rawSize >= 2 && raw[0] == 0xFE && raw[1] == 0xFF;
        if (!little && !bigEndian)
            return Status::failure(Error::TextMarkMissing, msg::kUnknownBom);
        start = unitWidth;
    }
    data = std::move(bytes);
    size = rawSize;
    position = start;
    swap = bigEndian;
    encoding = newEncoding;
    loaded = true;
    return Status();
}

// UCS-2: units up to CR (which takes the next unit too) or LF. Size and position are even.
std::u16string TextReader::collectUnits() {
    std::u16string units;
    while (remaining() >= unitWidth) {
        const uint8_t* p = at();
        auto unit = swap ? char16_t(p[0] << 8 | p[1]) : char16_t(p[1] << 8 | p[0]);
        if (unit == kCr) {
            advance(2 * unitWidth);
            break;
        }
        advance(unitWidth);
        if (unit == kLf)
            break;
        units += unit;
    }
    return units;
}

// Code pages and the raw UTF-8 line: bytes up to CR (which takes the next byte too) or LF.
std::string TextReader::collectBytes() {
    std::string bytes;
    while (!atEnd()) {
        uint8_t b = *at();
        if (b == kCr) {
            advance(2);
            break;
        }
        advance(1);
        if (b == kLf)
            break;
        bytes += char(b);
    }
    return bytes;
}

// UTF-8 by whole characters: a character's bytes are taken together, so a terminator byte
// inside one does not end the line. A character cut off by the end of the data keeps the
// bytes that are there, and the conversion marks it as invalid.
TextReader::LineEnd TextReader::collectUtf8Characters(std::string& bytes) {
    while (!atEnd()) {
        uint8_t b = *at();
        if (b == kCr) {
            advance(2);
            return LineEnd::Complete;
        }
        if (b == kLf) {
            advance(1);
            return LineEnd::Complete;
        }
        uint32_t length = std::min(utf8SequenceLength(b), remaining());
        if (length == 0)
            return LineEnd::BadLead;
        bytes.append(reinterpret_cast<const char*>(at()), length);
        advance(length);
    }
    return LineEnd::Complete;
}

// The next line in the open code page. On a failed conversion the line stays unread.
bool TextReader::codePageLine(std::wstring& text) {
    uint32_t lineStart = position;
    std::string bytes = collectBytes();
    // The conversion takes its source up to the first zero byte.
    size_t length = std::min(bytes.size(), bytes.find('\0'));
    if (platform::codePageToWide(encoding, bytes.data(), length, text))
        return true;
    position = lineStart;
    return false;
}

Status TextReader::readLine(std::wstring& line) {
    if (atEnd())
        return Status::failure(Error::EndOfText);
    if (encoding == kTextUcs2) {
        line = beforeNul(platform::utf16ToWide(collectUnits()));
        return Status();
    }
    if (encoding == kTextUtf8) {
        std::string bytes;
        LineEnd end = collectUtf8Characters(bytes);
        line = platform::utf8ToWide(bytes.substr(0, bytes.find('\0')));
        if (end == LineEnd::BadLead)
            return Status::failure(Error::TextUndecodable, msg::kLineBufferTooShort);
        return Status();
    }
    std::wstring text;
    if (!codePageLine(text))
        return conversionFailed();
    line = beforeNul(text);
    return Status();
}

Status TextReader::readLineUtf8(std::string& line) {
    if (atEnd())
        return Status::failure(Error::EndOfText);
    if (encoding == kTextUtf8) {
        std::string bytes = collectBytes();
        line = bytes.substr(0, bytes.find('\0'));
        return Status();
    }
    std::wstring text;
    if (encoding == kTextUcs2) {
        text = platform::utf16ToWide(collectUnits());
    } else if (!codePageLine(text)) {
        return conversionFailed();
    }
    line = platform::wideToUtf8(beforeNul(text));
    return Status();
}

void TextReader::close() {
    if (!loaded)
        return;
    data.reset();
    loaded = false;
    encoding = kTextUtf8;
    size = 0;
    position = 0;
    swap = false;
}

} // namespace karv
