// karvex with the library's worker count set first, for bench-e2e.sh to run the program with
// one thread and with the default count: karvex_threads <threads> <karvex's arguments>.
// (karvex itself reads no setting from outside its command line.)
#include "command_line.h"
#include "karvcore/tuning.h"
#include "platform/console.h"

#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    karv::SetWorkerCount(unsigned(std::strtoul(argv[1], nullptr, 10)));
    std::vector<std::wstring> arguments = karv::platform::commandLineArguments(argc, argv);
    arguments.erase(arguments.begin() + 1);
    return karv::cli::runProgram(arguments);
}
