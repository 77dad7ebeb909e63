// The console on Windows: WriteConsoleW on a console (right whatever its code page), UTF-8
// bytes when redirected; the shell's "cls" and "pause".
#include "platform/console.h"
#include "platform/text.h"
#include "platform/token_reader.h"

#include <windows.h>

#include <shellapi.h>
#include <stdlib.h>

namespace karv::platform {
namespace {

constexpr size_t kFlushThreshold = 64 * 1024;
constexpr DWORD kConsoleChunk = 8192;
constexpr wchar_t kEndOfInputKey = 0x1A; // Ctrl+Z at the start of a line ends console input

bool isConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

// Input bytes for the token reader: console text becomes UTF-8, redirected bytes pass as they are.
class InputSource {
  public:
    size_t operator()(char* buffer, size_t capacity) {
        if (pending_.empty() && !refill())
            return 0;
        size_t count = pending_.size() < capacity ? pending_.size() : capacity;
        pending_.copy(buffer, count);
        pending_.erase(0, count);
        return count;
    }

  private:
    bool refill() {
        HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        return isConsole(input) ? refillFromConsole(input) : refillFromStream(input);
    }

    bool refillFromConsole(HANDLE input) {
        wchar_t units[1024];
        DWORD got = 0;
        if (!ReadConsoleW(input, units, 1024, &got, nullptr) || got == 0)
            return false;
        std::wstring text = highSurrogate_ + std::wstring(units, got);
        highSurrogate_.clear();
        if (text[0] == kEndOfInputKey)
            return false;
        // A pair split between two reads is joined on the next one.
        if (text.back() >= 0xD800 && text.back() <= 0xDBFF) {
            highSurrogate_ = text.back();
            text.pop_back();
        }
        pending_ = wideToUtf8(text);
        return !pending_.empty() || refillFromConsole(input);
    }

    bool refillFromStream(HANDLE input) {
        char bytes[4096];
        DWORD got = 0;
        if (!ReadFile(input, bytes, sizeof bytes, &got, nullptr) || got == 0)
            return false;
        pending_.assign(bytes, got);
        return true;
    }

    std::string pending_;
    std::wstring highSurrogate_;
};

struct Console {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    bool outputIsConsole = isConsole(output);
    bool inputIsConsole = isConsole(GetStdHandle(STD_INPUT_HANDLE));
    std::string pending; // redirected output waiting for a flush point
    TokenReader input{InputSource()};

    Console() = default;
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;
    ~Console() { flush(); }

    void writeToConsole(const std::wstring& text) {
        size_t done = 0;
        while (done < text.size()) {
            DWORD count =
                DWORD(text.size() - done < kConsoleChunk ? text.size() - done : kConsoleChunk);
            DWORD put = 0;
            if (!WriteConsoleW(output, text.data() + done, count, &put, nullptr) || put == 0)
                return;
            done += put;
        }
    }

    void flush() {
        size_t done = 0;
        while (done < pending.size()) {
            DWORD put = 0;
            DWORD count = DWORD(pending.size() - done < kFlushThreshold ? pending.size() - done
                                                                        : kFlushThreshold);
            // Nowhere to report a lost console: what cannot be written is dropped.
            if (!WriteFile(output, pending.data() + done, count, &put, nullptr) || put == 0)
                break;
            done += put;
        }
        pending.clear();
    }
};

Console& console() {
    static Console instance;
    return instance;
}

} // namespace

void consoleInit() {
    console();
}

void consoleWrite(const std::wstring& text) {
    Console& c = console();
    if (c.outputIsConsole) {
        c.writeToConsole(text);
        return;
    }
    c.pending += wideToUtf8(text);
    if (c.pending.size() >= kFlushThreshold)
        c.flush();
}

void consoleFlush() {
    console().flush();
}

bool consoleReadToken(std::wstring& token) {
    Console& c = console();
    c.flush();
    return c.input.next(token);
}

bool consoleInputEnded() {
    return console().input.ended();
}

void clearScreen() {
    Console& c = console();
    if (!c.outputIsConsole)
        return;
    _wsystem(L"cls");
}

void pauseConsole() {
    Console& c = console();
    c.flush();
    if (c.inputIsConsole) {
        _wsystem(L"pause");
        return;
    }
    // No console to wait on (a pipe, a file, a test run): show the prompt and go on.
    consoleWrite(std::wstring(kPausePrompt) + L"\n");
    c.flush();
}

std::vector<std::wstring> commandLineArguments(int argc, char** argv) {
    std::vector<std::wstring> arguments;
    int count = 0;
    // argv holds the arguments in the ANSI code page; the wide command line is the real one.
    if (LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            arguments.emplace_back(words[i]);
        LocalFree(words);
        return arguments;
    }
    for (int i = 0; i < argc && argv && argv[i]; ++i) {
        std::wstring word;
        std::string bytes(argv[i]);
        if (!codePageToWide(CP_ACP, bytes.data(), bytes.size(), word))
            word = utf8ToWide(bytes);
        arguments.push_back(word);
    }
    return arguments;
}

} // namespace karv::platform
