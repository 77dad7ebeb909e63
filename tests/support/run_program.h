// Runs a program of the build (karvex, karvsample), as a person would from a shell, and captures
// what it prints.
#pragma once

#include <string>
#include <vector>

namespace karv::test {

struct ProgramRun {
    std::string output; // the bytes written to standard output
    int exitCode = -1;
};

struct RunOptions {
    std::wstring workDir; // current folder of the program; the test's folder when empty
    std::string input;    // bytes fed to standard input
    bool cLocale = false; // run with LANG=C and LC_ALL=C (POSIX)
};

// Runs the program `name` (without ".exe") from the folder of the test program, with the given
// arguments.
ProgramRun runBuildProgram(const std::wstring& name, const std::vector<std::wstring>& arguments,
                           const RunOptions& options = {});

// Runs karvex.
ProgramRun runKarvex(const std::vector<std::wstring>& arguments, const RunOptions& options = {});

// The folder that holds the test program, karvex and the library.
std::wstring programFolder();

// UTF-8 bytes of a wide text, for comparing with captured output.
std::string utf8(const std::wstring& text);

} // namespace karv::test
