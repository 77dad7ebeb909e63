// The console: wide output, token input, clearing and holding the screen.
#pragma once

#include <string>
#include <vector>

namespace karv::platform {

// The line "pause" prints where the system has no prompt of its own to show.
inline constexpr const wchar_t* kPausePrompt = L"请按任意键继续. . .";

// Prepares the console for wide output (UTF-8 on POSIX whatever the locale; WriteConsoleW on a
// Windows console, UTF-8 when redirected).
void consoleInit();
void consoleWrite(const std::wstring& text);
void consoleFlush();

// Reads one whitespace-delimited token from standard input. False at the end of input.
bool consoleReadToken(std::wstring& token);
// True once standard input has ended.
bool consoleInputEnded();

// "cls": clears the terminal; writes nothing when output is not a terminal.
void clearScreen();
// "pause": prints the prompt line; waits for Enter only when input is a terminal.
void pauseConsole();

// The program's arguments as wide strings (UTF-8 decoded on POSIX).
std::vector<std::wstring> commandLineArguments(int argc, char** argv);

} // namespace karv::platform
