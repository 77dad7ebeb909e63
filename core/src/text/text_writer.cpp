// The text writer: UTF-8 or UCS-2 in either byte order, with the file kept open (normal mode)
// or opened, appended to and closed for every record (LOG mode).
#include "text/text_writer.h"

#include "boundary/messages.h"
#include "karvcore/karvcore.h"
#include "platform/text.h"

#include <limits>

namespace karv {
namespace {

using platform::File;
using platform::OpenMode;
using platform::SeekFrom;

std::wstring beforeNul(const std::wstring& text) {
    return text.substr(0, text.find(L'\0'));
}

// The bytes of a text in the file's encoding. UCS-2 is written as UTF-16: a character beyond
// the basic plane becomes a surrogate pair.
std::string encodeText(const std::wstring& text, uint32_t encoding, bool bigEndian) {
    if (encoding == kTextUtf8)
        return platform::wideToUtf8(text);
    std::u16string units = platform::wideToUtf16(text);
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (char16_t unit : units) {
        char high = char(unit >> 8);
        char low = char(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

// One whole write at the current position; a short or failed write is a failure.
bool writeBytes(File& file, const std::string& bytes) {
    if (bytes.size() > std::numeric_limits<uint32_t>::max())
        return false;
    return bool(file.writeAll(bytes.data(), uint32_t(bytes.size())));
}

// Opens an existing file for writing at its end.
File openForAppend(const std::wstring& path) {
    File file = File::open(path, OpenMode::WriteExisting);
    if (file.isOpen() && !file.seek(0, SeekFrom::End))
        return File();
    return file;
}

Status notOpen() {
    return Status::failure(Error::NotOpen, msg::kNotOpen);
}

} // namespace

// Creates (or empties) the file and writes the UCS-2 mark at once.
Status TextWriter::createFile(const std::wstring& name, uint32_t newEncoding, bool newBigEndian,
                              File& out) {
    out = File::open(name, OpenMode::CreateAlways);
    if (!out.isOpen())
        return Status::failure(Error::FileUncreated, msg::kCreateFileFailed);
    if (newEncoding == kTextUcs2) {
        const uint8_t mark[2] = {uint8_t(newBigEndian ? 0xFE : 0xFF),
                                 uint8_t(newBigEndian ? 0xFF : 0xFE)};
        if (!out.writeAll(mark, sizeof mark)) {
            out.close();
            return Status::failure(Error::MarkUnwritten, msg::kWriteBomFailed);
        }
    }
    return Status();
}

Status TextWriter::open(const std::wstring& name, bool create, uint32_t newEncoding,
                        bool newBigEndian, bool log) {
    if (opened)
        return Status::failure(Error::AlreadyOpen, msg::kAlreadyOpen);
    if (newEncoding != kTextUtf8 && newEncoding != kTextUcs2)
        return Status::failure(Error::EncodingUnsupported, msg::kEncodingNotSupported);
    std::wstring stored = beforeNul(name);
    File opening;
    if (create) {
        if (Status created = createFile(stored, newEncoding, newBigEndian, opening); !created)
            return created;
    } else {
        opening = openForAppend(stored);
        if (!opening.isOpen())
            return Status::failure(Error::FileUnopened, msg::kOpenFileFailed);
    }
    // LOG mode holds no file between calls; a close that loses the mark is a failed mark.
    if (log && !opening.close())
        return Status::failure(Error::MarkUnwritten, msg::kWriteBomFailed);
    file = std::move(opening);
    path = std::move(stored);
    encoding = newEncoding;
    bigEndian = newBigEndian;
    logMode = log;
    opened = true;
    return Status();
}

Status TextWriter::writeText(File& target, const std::wstring& text) {
    if (!writeBytes(target, encodeText(beforeNul(text), encoding, bigEndian)))
        return Status::failure(Error::FileUnwritable, msg::kWriteFileFailed);
    return Status();
}

Status TextWriter::write(const std::wstring& text) {
    if (!opened)
        return notOpen();
    if (logMode)
        return Status::failure(Error::WrongMode, msg::kInLogMode);
    return writeText(file, text);
}

Status TextWriter::writeLog(const std::wstring& text) {
    if (!opened)
        return notOpen();
    if (!logMode)
        return Status::failure(Error::WrongMode, msg::kNotInLogMode);
    File target = openForAppend(path);
    if (!target.isOpen())
        return Status::failure(Error::FileUnopened, msg::kOpenFileFailed);
    Status status = writeText(target, text);
    // The record must be on disk when the call returns: a failing close counts as a failed write.
    if (!target.close() && status)
        status = Status::failure(Error::FileUnwritable, msg::kWriteFileFailed);
    return status;
}

Status TextWriter::reopen() {
    if (!opened)
        return notOpen();
    if (logMode)
        return Status::failure(Error::WrongMode, msg::kInLogMode);
    opened = false;
    // Reopening is how callers commit what they wrote; a close that reports lost data says the
    // commit did not happen.
    if (!file.close())
        return Status::failure(Error::FileUnwritable, msg::kWriteFileFailed);
    file = openForAppend(path);
    if (!file.isOpen())
        return Status::failure(Error::FileUnopened, msg::kOpenFileFailed);
    opened = true;
    return Status();
}

void TextWriter::close() {
    if (!opened)
        return;
    file.close();
    path.clear();
    opened = false;
    bigEndian = false;
    logMode = false;
}

} // namespace karv
