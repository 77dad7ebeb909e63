// The text reader on hostile files in each encoding: UTF-8 (mark optional), UCS-2 in either
// byte order, and code pages (GBK and a single-byte one), read with ReadLine and ReadLineUtf8.
// Every call ends: the lines never outnumber the bytes, a failure is never followed by more
// lines, and the end of the data is reported again and again.
//
// Input: byte 0 = encoding (bits 0-1: UTF-8, UCS-2, 936, 1252), which call reads the lines
// (bit 2: ReadLineUtf8, bit 3: both in turn); the rest is the file.
#include "fuzz_support.h"
#include "karvcore/karvcore.h"

#include <memory>

namespace {

using karv::fuzz::expect;

constexpr uint32_t kEncodings[] = {kTextUtf8, kTextUcs2, 936, 1252};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    karv::fuzz::InputReader in(data, size);
    const uint8_t mode = in.u8();
    const uint32_t encoding = kEncodings[mode & 3];
    const bool utf8Lines = (mode & 4) != 0;
    const bool alternate = (mode & 8) != 0;
    const karv::fuzz::Bytes file = in.rest();
    const std::wstring path = karv::fuzz::Scratch::get().write(L"text", file);

    std::unique_ptr<ReadTxtFileInMemQX> reader(CreateTxtReadInterface());
    expect(reader != nullptr, "no reader");
    int32_t status = reader->Open(path, encoding);
    expect(status == 0 || status == -3 || status == -4, "undocumented open status");
    if (status != 0) {
        std::wstring line;
        expect(reader->ReadLine(line) == -1, "a refused file has lines");
        return 0;
    }
    // Each line takes at least one byte, and the end may give one empty line more.
    size_t lines = 0;
    for (;;) {
        bool asUtf8 = alternate ? lines % 2 == 1 : utf8Lines;
        std::wstring wide;
        std::string narrow;
        status = asUtf8 ? reader->ReadLineUtf8(narrow) : reader->ReadLine(wide);
        if (status != 0)
            break;
        expect(++lines <= file.size() + 1, "more lines than bytes");
    }
    expect(status == -1 || status == -2 || status == -3, "undocumented line status");
    // A stop stays a stop: the position does not move past the bad data.
    std::wstring again;
    int32_t next = reader->ReadLine(again);
    expect(status == -1 ? next == -1 : next < 0, "reading went on after a failure or the end");
    reader->Close();
    expect(reader->ReadLine(again) == -1, "a closed reader has lines");
    return 0;
}
