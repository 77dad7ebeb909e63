#include "console.h"

#include "karvcore/karvcore.h"
#include "platform/console.h"

namespace karv::cli {
namespace {

// Set by tests to read what the program prints.
std::wstring* captureSink = nullptr;

} // namespace

void print(const std::wstring& text) {
    if (captureSink != nullptr)
        captureSink->append(text);
    else
        platform::consoleWrite(text);
}

void printFailure(const wchar_t* prefix) {
    print(prefix + GetMessageQX() + L"\n");
}

void printFailure(const wchar_t* prefix, const Status& status) {
    print(prefix + status.message() + L"\n");
}

void capturePrintsInto(std::wstring* sink) {
    captureSink = sink;
}

} // namespace karv::cli
