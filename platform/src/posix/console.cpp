// The console on POSIX: UTF-8 out whatever the locale, tokens in, ANSI clear, Enter to go on.
#include "platform/console.h"
#include "platform/text.h"
#include "platform/token_reader.h"

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace karv::platform {
namespace {

constexpr size_t kFlushThreshold = 64 * 1024;

size_t readStandardInput(char* buffer, size_t capacity) {
    for (;;) {
        ssize_t got = ::read(STDIN_FILENO, buffer, capacity);
        if (got >= 0)
            return size_t(got);
        if (errno != EINTR)
            return 0;
    }
}

// Output is held until a flush point; the object's end at exit is the last one.
struct Console {
    std::string pending;
    TokenReader input{readStandardInput};
    bool outputIsTerminal = isatty(STDOUT_FILENO) == 1;
    bool inputIsTerminal = isatty(STDIN_FILENO) == 1;

    Console() = default;
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;
    ~Console() { flush(); }

    void flush() {
        size_t done = 0;
        while (done < pending.size()) {
            ssize_t put = ::write(STDOUT_FILENO, pending.data() + done, pending.size() - done);
            if (put < 0 && errno == EINTR)
                continue;
            // Nowhere to report a lost console: what cannot be written is dropped.
            if (put <= 0)
                break;
            done += size_t(put);
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
    // A reader that goes away (a closed pipe) must not end the program with a signal.
    std::signal(SIGPIPE, SIG_IGN);
    console();
}

void consoleWrite(const std::wstring& text) {
    Console& c = console();
    c.pending += wideToUtf8(text);
    if (c.pending.size() >= kFlushThreshold ||
        (c.outputIsTerminal && text.find(L'\n') != std::wstring::npos))
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
    if (!c.outputIsTerminal)
        return;
    c.pending += "\033[H\033[2J";
    c.flush();
}

void pauseConsole() {
    Console& c = console();
    c.pending += wideToUtf8(kPausePrompt);
    c.pending += '\n';
    c.flush();
    // Piped input holds only the menu answers: a pause there consumes nothing.
    if (c.inputIsTerminal)
        c.input.waitForEnter();
}

std::vector<std::wstring> commandLineArguments(int argc, char** argv) {
    std::vector<std::wstring> arguments;
    for (int i = 0; i < argc && argv && argv[i]; ++i)
        arguments.push_back(utf8ToWide(argv[i]));
    return arguments;
}

} // namespace karv::platform
