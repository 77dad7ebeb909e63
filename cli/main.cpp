#include "command_line.h"
#include "platform/console.h"

int main(int argc, char** argv) {
    return karv::cli::runProgram(karv::platform::commandLineArguments(argc, argv));
}
