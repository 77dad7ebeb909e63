// The exported text interfaces, ReadTxtFileInMemQX and WriteTxtFileQX, over the library's
// TextReader and TextWriter.
#include "boundary/boundary.h"
#include "boundary/exported_codes.h"
#include "karvcore/karvcore.h"
#include "text/text_reader.h"
#include "text/text_writer.h"

#include <new>

namespace {

using karv::Exported;
using karv::guardMemory;
using karv::report;

class ReadTxtFileInMemQXImpl final : public ReadTxtFileInMemQX {
  public:
    int32_t Open(const std::wstring& path, uint32_t encoding) override {
        return report(Exported::TextReaderOpen,
                      guardMemory([&] { return reader.open(path, encoding); }));
    }
    int32_t ReadLine(std::wstring& line) override {
        return report(Exported::TextReaderLine, guardMemory([&] { return reader.readLine(line); }));
    }
    int32_t ReadLineUtf8(std::string& line) override {
        return report(Exported::TextReaderLine,
                      guardMemory([&] { return reader.readLineUtf8(line); }));
    }
    void Close() override { reader.close(); }

  private:
    karv::TextReader reader;
};

class WriteTxtFileQXImpl final : public WriteTxtFileQX {
  public:
    int32_t Open(const std::wstring& path, bool create, uint32_t encoding,
                 bool bigEndian) override {
        return openIn(path, create, encoding, bigEndian, false);
    }
    int32_t OpenLog(const std::wstring& path, bool create, uint32_t encoding,
                    bool bigEndian) override {
        return openIn(path, create, encoding, bigEndian, true);
    }
    int32_t Write(const std::wstring& text) override {
        return report(Exported::TextWriter, guardMemory([&] { return writer.write(text); }));
    }
    int32_t WriteLog(const std::wstring& text) override {
        return report(Exported::TextWriter, guardMemory([&] { return writer.writeLog(text); }));
    }
    int32_t Reopen() override {
        return report(Exported::TextWriterReopen, guardMemory([&] { return writer.reopen(); }));
    }
    void Close() override { writer.close(); }

  private:
    int32_t openIn(const std::wstring& path, bool create, uint32_t encoding, bool bigEndian,
                   bool log) {
        return report(Exported::TextWriter, guardMemory([&] {
                          return writer.open(path, create, encoding, bigEndian, log);
                      }));
    }

    karv::TextWriter writer;
};

} // namespace

ReadTxtFileInMemQX* CreateTxtReadInterface() {
    return new (std::nothrow) ReadTxtFileInMemQXImpl();
}

WriteTxtFileQX* CreateTxtWriteInterface() {
    return new (std::nothrow) WriteTxtFileQXImpl();
}
