// What the fuzz targets share: a reader that cuts the input into the pieces a target needs,
// a scratch folder for parsers that read files, and a check that ends the run loudly.
//
// Every target keeps its input layout in the comment at its top; make_seeds.cpp writes seeds
// in the same layouts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace karv::fuzz {

using Bytes = std::vector<uint8_t>;

// Reads numbers and pieces off the front of the input; past the end every number is 0 and
// every piece empty, so any input is a valid one.
class InputReader {
  public:
    InputReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t u8() { return left() >= 1 ? data_[pos_++] : (pos_ = size_, 0); }
    uint16_t u16() { return uint16_t(u8() | u8() << 8); }
    uint32_t u32() { return uint32_t(u16()) | uint32_t(u16()) << 16; }
    // Up to `count` bytes.
    Bytes take(size_t count);
    // A piece preceded by its 16-bit length.
    Bytes piece() { return take(u16()); }
    Bytes rest() { return take(left()); }
    size_t left() const { return size_ - pos_; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// A folder of this process for the files a parser reads; removed at exit.
class Scratch {
  public:
    static Scratch& get();
    // The full path of `name` in the folder.
    std::wstring path(const std::wstring& name) const;
    // Writes the file whole (replacing it); ends the run when that fails, since the target
    // could test nothing then.
    std::wstring write(const std::wstring& name, const Bytes& bytes) const;
    // The same for a name from the input, which the system may refuse.
    bool tryWrite(const std::wstring& name, const Bytes& bytes) const;
    // The file's bytes; `exists` false when it cannot be read.
    Bytes read(const std::wstring& name, bool* exists = nullptr) const;
    void remove(const std::wstring& name) const;
    // The file's size; 0 when it cannot be measured.
    uint64_t size(const std::wstring& name) const;

  private:
    Scratch();
    std::wstring folder_;
};

// Reads every byte of a block, so a block shorter than it claims is a sanitizer report.
void touch(const uint8_t* bytes, size_t count);

// Ends the run with a report when `ok` is false: a broken promise of the code under test.
void expect(bool ok, const char* what);

} // namespace karv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
