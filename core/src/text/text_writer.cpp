// The text writer: UTF-8 or UCS-2 in either byte order, with the file kept open (normal mode)
// or opened, appended to and closed for every record (LOG mode).
#include "boundary/boundary.h"
#include "boundary/messages.h"
#include "karvcore/karvcore.h"
#include "platform/file.h"
#include "platform/text.h"

#include <limits>
#include <new>

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

class WriteTxtFileQXImpl final : public WriteTxtFileQX {
  public:
    int32_t Open(const std::wstring& path, bool create, uint32_t encoding, bool bigEndian) override;
    int32_t OpenLog(const std::wstring& path, bool create, uint32_t encoding,
                    bool bigEndian) override;
    int32_t Write(const std::wstring& text) override;
    int32_t WriteLog(const std::wstring& text) override;
    int32_t Reopen() override;
    void Close() override;

  private:
    int32_t openFile(const std::wstring& path, bool create, uint32_t newEncoding, bool newBigEndian,
                     bool log);
    int32_t createFile(const std::wstring& path, uint32_t newEncoding, bool newBigEndian,
                       File& out);
    int32_t writeText(File& target, const std::wstring& text);
    int32_t writeLog(const std::wstring& text);
    int32_t reopen();

    File file;
    uint32_t encoding = 0;
    bool open = false;
    bool bigEndian = false;
    bool logMode = false;
    std::wstring path;
};

// Running out of memory is a failure of its own (-10 already means "already open").
constexpr int32_t kOutOfMemoryStatus = -20;

// Runs one operation without letting an exception cross the library boundary.
template <typename Operation> int32_t guarded(Operation operation) {
    return guardCode(operation, kOutOfMemoryStatus);
}

int32_t WriteTxtFileQXImpl::Open(const std::wstring& name, bool create, uint32_t newEncoding,
                                 bool newBigEndian) {
    return guarded([&] { return openFile(name, create, newEncoding, newBigEndian, false); });
}

int32_t WriteTxtFileQXImpl::OpenLog(const std::wstring& name, bool create, uint32_t newEncoding,
                                    bool newBigEndian) {
    return guarded([&] { return openFile(name, create, newEncoding, newBigEndian, true); });
}

// Creates (or empties) the file and writes the UCS-2 mark at once.
int32_t WriteTxtFileQXImpl::createFile(const std::wstring& name, uint32_t newEncoding,
                                       bool newBigEndian, File& out) {
    out = File::open(name, OpenMode::CreateAlways);
    if (!out.isOpen()) {
        SetMessageQX(msg::kCreateFileFailed);
        return -2;
    }
    if (newEncoding == kTextUcs2) {
        const uint8_t mark[2] = {uint8_t(newBigEndian ? 0xFE : 0xFF),
                                 uint8_t(newBigEndian ? 0xFF : 0xFE)};
        if (!out.writeAll(mark, sizeof mark)) {
            out.close();
            SetMessageQX(msg::kWriteBomFailed);
            return -3;
        }
    }
    return 0;
}

int32_t WriteTxtFileQXImpl::openFile(const std::wstring& name, bool create, uint32_t newEncoding,
                                     bool newBigEndian, bool log) {
    if (open) {
        SetMessageQX(msg::kAlreadyOpen);
        return -10;
    }
    if (newEncoding != kTextUtf8 && newEncoding != kTextUcs2) {
        SetMessageQX(msg::kEncodingNotSupported);
        return -1;
    }
    std::wstring stored = beforeNul(name);
    File opened;
    if (create) {
        int32_t status = createFile(stored, newEncoding, newBigEndian, opened);
        if (status != 0)
            return status;
    } else {
        opened = openForAppend(stored);
        if (!opened.isOpen()) {
            SetMessageQX(msg::kOpenFileFailed);
            return -4;
        }
    }
    // LOG mode holds no file between calls; a close that loses the mark is a failed mark.
    if (log && !opened.close()) {
        SetMessageQX(msg::kWriteBomFailed);
        return -3;
    }
    file = std::move(opened);
    path = std::move(stored);
    encoding = newEncoding;
    bigEndian = newBigEndian;
    logMode = log;
    open = true;
    return 0;
}

int32_t WriteTxtFileQXImpl::writeText(File& target, const std::wstring& text) {
    if (!writeBytes(target, encodeText(beforeNul(text), encoding, bigEndian))) {
        SetMessageQX(msg::kWriteFileFailed);
        return -4;
    }
    return 0;
}

int32_t WriteTxtFileQXImpl::Write(const std::wstring& text) {
    if (!open) {
        SetMessageQX(msg::kNotOpen);
        return -11;
    }
    if (logMode) {
        SetMessageQX(msg::kInLogMode);
        return -12;
    }
    return guarded([&] { return writeText(file, text); });
}

int32_t WriteTxtFileQXImpl::writeLog(const std::wstring& text) {
    File target = openForAppend(path);
    if (!target.isOpen()) {
        SetMessageQX(msg::kOpenFileFailed);
        return -4;
    }
    int32_t status = writeText(target, text);
    // The record must be on disk when the call returns: a failing close counts as a failed write.
    if (!target.close() && status == 0) {
        SetMessageQX(msg::kWriteFileFailed);
        status = -4;
    }
    return status;
}

int32_t WriteTxtFileQXImpl::WriteLog(const std::wstring& text) {
    if (!open) {
        SetMessageQX(msg::kNotOpen);
        return -11;
    }
    if (!logMode) {
        SetMessageQX(msg::kNotInLogMode);
        return -12;
    }
    return guarded([&] { return writeLog(text); });
}

int32_t WriteTxtFileQXImpl::Reopen() {
    if (!open) {
        SetMessageQX(msg::kNotOpen);
        return -11;
    }
    if (logMode) {
        SetMessageQX(msg::kInLogMode);
        return -12;
    }
    open = false;
    // Reopening is how callers commit what they wrote; a close that reports lost data says the
    // commit did not happen.
    if (!file.close()) {
        SetMessageQX(msg::kWriteFileFailed);
        return -4;
    }
    return guarded([&] { return reopen(); });
}

int32_t WriteTxtFileQXImpl::reopen() {
    file = openForAppend(path);
    if (!file.isOpen()) {
        SetMessageQX(msg::kOpenFileFailed);
        return -1;
    }
    open = true;
    return 0;
}

void WriteTxtFileQXImpl::Close() {
    if (!open)
        return;
    file.close();
    path.clear();
    open = false;
    bigEndian = false;
    logMode = false;
}

} // namespace
} // namespace karv

WriteTxtFileQX* CreateTxtWriteInterface() {
    return new (std::nothrow) karv::WriteTxtFileQXImpl();
}
