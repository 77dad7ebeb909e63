// How an archive command answers: lines on the console, or with --json one JSON document on
// standard output and nothing else, a refusal included.
#pragma once

#include <string>

namespace karv::cli {

// Exit codes of the archive commands.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;       // refused, failed, or a member or file failed
inline constexpr int kExitWrongCommand = 2; // the command line is wrong

class CommandReport {
  public:
    explicit CommandReport(bool json) : json_(json) {}
    bool json() const { return json_; }

    // A refusal: its lines, or {"error": the first line, "exit": code}. Returns the code.
    int refuse(const std::wstring& lines, int exitCode) const;
    // A wrong command line: the line that says what is wrong and the line of how the command
    // is written (the JSON document has it as "usage"). Returns kExitWrongCommand.
    int wrongCommandLine(const std::wstring& line, const std::wstring& usage) const;

  private:
    bool json_;
};

} // namespace karv::cli
