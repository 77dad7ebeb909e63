// Start-up and the command line of karvex.
#pragma once

#include <string>
#include <vector>

namespace karv::cli {

// Runs the program for its arguments (the program name first). The exit code: 0, except for
// the archive codes (LIST, VERIFY, EXPORT, IMPORT, BACKUP, RESTORE, SPLITINFO).
int runProgram(const std::vector<std::wstring>& arguments);

} // namespace karv::cli
