#include "run_program.h"

#include "temp_dir.h"

#include "platform/filesystem.h"
#include "platform/text.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <climits>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace karv::test {
namespace {

#ifdef _WIN32
std::wstring quote(const std::wstring& s) {
    return L"\"" + s + L"\"";
}
// The program's runtime reads backslashes before a quote as escaping it: trailing ones are
// doubled, so that "mods\A\" stays one argument and keeps its separator.
std::wstring quoteArgument(const std::wstring& s) {
    const size_t kept = s.find_last_not_of(L'\\');
    const size_t trailing = s.size() - (kept == std::wstring::npos ? 0 : kept + 1);
    return quote(s + std::wstring(trailing, L'\\'));
}
const wchar_t* kProgramSuffix = L".exe";
// cmd's status when it could not start the program at all. Under wine on a loaded machine it
// now and then fails to start one that is there; a program that is really missing fails the
// same way every time, so trying again hides nothing.
constexpr int kProgramNotStarted = 9009;
constexpr int kStartAttempts = 3;
#else
std::wstring quote(const std::wstring& s) {
    std::wstring out = L"'";
    for (wchar_t c : s)
        out += c == L'\'' ? std::wstring(L"'\\''") : std::wstring(1, c);
    return out + L"'";
}
std::wstring quoteArgument(const std::wstring& s) {
    return quote(s);
}
const wchar_t* kProgramSuffix = L"";
constexpr int kProgramNotStarted = 127; // the shell's "command not found"
constexpr int kStartAttempts = 1;
#endif

std::wstring inputFilePath(const std::wstring& folder) {
    return folder + platform::kPathSeparator + L"karvex-test-input.txt";
}

std::wstring buildCommand(const std::wstring& name, const std::vector<std::wstring>& arguments,
                          const RunOptions& options, const std::wstring& inputFile) {
    std::wstring command;
#ifdef _WIN32
    if (!options.workDir.empty())
        command += L"cd /d " + quote(options.workDir) + L" && ";
#else
    if (!options.workDir.empty())
        command += L"cd " + quote(options.workDir) + L" && ";
    if (options.cLocale)
        command += L"LANG=C LC_ALL=C ";
#endif
    command += quote(programFolder() + platform::kPathSeparator + name + kProgramSuffix);
    for (const auto& a : arguments)
        command += L" " + quoteArgument(a);
    command += L" < " + quote(inputFile);
    return command;
}

std::string readAll(FILE* pipe) {
    std::string output;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    return output;
}

// Runs the command line through the shell, with its output read back; false when no shell
// could be started.
bool runCommand(const std::wstring& command, ProgramRun& run) {
    fflush(nullptr);
#ifdef _WIN32
    FILE* pipe = _wpopen(command.c_str(), L"rb");
#else
    FILE* pipe = popen(platform::wideToUtf8(command).c_str(), "r");
#endif
    if (!pipe)
        return false;
    run.output = readAll(pipe);
#ifdef _WIN32
    run.exitCode = _pclose(pipe);
#else
    int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return true;
}

} // namespace

std::wstring programFolder() {
#ifdef _WIN32
    wchar_t path[MAX_PATH * 4];
    DWORD n = GetModuleFileNameW(nullptr, path, DWORD(std::size(path)));
    std::wstring full(path, n);
#else
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path);
    std::wstring full = platform::utf8ToWide(std::string(path, n > 0 ? size_t(n) : 0));
#endif
    size_t cut = platform::lastSeparator(full);
    return cut == std::wstring::npos ? std::wstring(L".") : full.substr(0, cut);
}

std::string utf8(const std::wstring& text) {
    return platform::wideToUtf8(text);
}

ProgramRun runBuildProgram(const std::wstring& name, const std::vector<std::wstring>& arguments,
                           const RunOptions& options) {
    std::wstring folder = options.workDir.empty() ? programFolder() : options.workDir;
    std::wstring inputFile = inputFilePath(folder);
    ProgramRun run;
    if (!writeFileBytes(inputFile, options.input))
        return run;
    std::wstring command = buildCommand(name, arguments, options, inputFile);
    // Under wine on a loaded machine the shell itself now and then cannot be started either.
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        if (runCommand(command, run) && run.exitCode != kProgramNotStarted)
            break;
    }
    platform::removeFile(inputFile);
    return run;
}

ProgramRun runKarvex(const std::vector<std::wstring>& arguments, const RunOptions& options) {
    return runBuildProgram(L"karvex", arguments, options);
}

} // namespace karv::test
