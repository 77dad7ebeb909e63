// Start-up and the command line of karvex.
#pragma once

#include <string>
#include <vector>

namespace karv::cli {

// Runs the program for its arguments (the program name first). Always returns 0.
int runProgram(const std::vector<std::wstring>& arguments);

} // namespace karv::cli
