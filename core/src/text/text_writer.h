// The text writer: UTF-8 (never a mark) or UCS-2 in either byte order (mark written on
// creation), with the file kept open (normal mode) or opened, appended to and closed for every
// record (LOG mode).
#pragma once

#include "karvcore/status.h"
#include "platform/file.h"

#include <cstdint>
#include <string>

namespace karv {

class TextWriter {
  public:
    // Creates (or empties) the file, or opens an existing one at its end: AlreadyOpen,
    // EncodingUnsupported, FileUncreated, MarkUnwritten, FileUnopened.
    Status open(const std::wstring& path, bool create, uint32_t encoding, bool bigEndian, bool log);
    // Writes the text up to its first NUL, adding no terminator: NotOpen, WrongMode (LOG mode
    // for write, normal mode for writeLog), FileUnopened (writeLog), FileUnwritable.
    Status write(const std::wstring& text);
    Status writeLog(const std::wstring& text);
    // Closes and opens the file again at its end, committing what was written: NotOpen,
    // WrongMode, FileUnwritable (the close reported lost data), FileUnopened (not opened again;
    // the writer is then closed).
    Status reopen();
    void close();

  private:
    Status createFile(const std::wstring& path, uint32_t newEncoding, bool newBigEndian,
                      platform::File& out);
    Status writeText(platform::File& target, const std::wstring& text);

    platform::File file;
    uint32_t encoding = 0;
    bool opened = false;
    bool bigEndian = false;
    bool logMode = false;
    std::wstring path;
};

} // namespace karv
