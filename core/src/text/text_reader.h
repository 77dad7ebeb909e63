// The text reader: the whole file in memory, cut into lines on demand. UTF-8 (mark EF BB BF
// optional), UCS-2 with a mark (FF FE or FE FF), or a numbered code page.
#pragma once

#include "karvcore/buffer.h"
#include "karvcore/karvcore.h"
#include "karvcore/status.h"

#include <cstdint>
#include <string>

namespace karv {

class TextReader {
  public:
    // Loads the file: PathInaccessible, the load's own failure, TextOddLength, TextMarkMissing
    // (UCS-2), OutOfMemory. A second open starts afresh.
    Status open(const std::wstring& path, uint32_t encoding);
    // The next line without its terminator: EndOfText (no message); TextUndecodable at a byte
    // that cannot start a UTF-8 character (the text before it is delivered); TextConversionFailed
    // when the code page does not convert (the line stays unread).
    Status readLine(std::wstring& line);
    // The same, the line as UTF-8 bytes.
    Status readLineUtf8(std::string& line);
    void close();

  private:
    // Why a line ended: at a terminator (or the end of the data), or at a byte that cannot
    // start a UTF-8 character, where the position stays.
    enum class LineEnd { Complete, BadLead };

    bool atEnd() const { return position >= size; }
    uint32_t remaining() const { return size - position; }
    const uint8_t* at() const { return data.get() + position; }
    // Moves on by up to `count` bytes, never beyond the end: a CR as the last unit or byte
    // takes no partner with it.
    void advance(uint32_t count) { position += count < remaining() ? count : remaining(); }

    std::u16string collectUnits();
    std::string collectBytes();
    LineEnd collectUtf8Characters(std::string& bytes);
    bool codePageLine(std::wstring& text);

    MallocBuffer data;
    bool loaded = false;
    uint32_t encoding = kTextUtf8;
    uint32_t size = 0;
    uint32_t position = 0;
    bool swap = false;
    static constexpr uint32_t unitWidth = 2;
};

} // namespace karv
