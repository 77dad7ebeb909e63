#include "console.h"

#include "karvcore/karvcore.h"
#include "platform/console.h"

namespace karv::cli {

void print(const std::wstring& text) { platform::consoleWrite(text); }

void printFailure(const wchar_t* prefix) { print(prefix + GetMessageQX() + L"\n"); }

} // namespace karv::cli
