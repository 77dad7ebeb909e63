// Printing for the program: everything goes to the console's wide output.
#pragma once

#include "karvcore/status.h"

#include <string>

namespace karv::cli {

void print(const std::wstring& text);
// A failed library call: the program's own text (ending in "失败！原因："), then the library's
// last-error message and a line break.
void printFailure(const wchar_t* prefix);
// The same for a call that answered with a Status: its own message.
void printFailure(const wchar_t* prefix, const Status& status);

// For tests: while a sink is set, print appends to it instead of writing to the console.
void capturePrintsInto(std::wstring* sink);

} // namespace karv::cli
