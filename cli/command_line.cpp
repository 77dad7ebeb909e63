#include "command_line.h"

#include "archive_commands.h"
#include "blob_commands.h"
#include "codec_commands.h"
#include "console.h"
#include "menus.h"
#include "platform/console.h"
#include "platform/text.h"
#include "program_state.h"
#include "texts.h"
#include "texture_commands.h"

namespace karv::cli {
namespace {

using Arguments = std::vector<std::wstring>;

bool parseDataMode(const std::wstring& mode) {
    std::wstring upper = platform::asciiUpper(mode);
    if (upper == L"PC")
        archiveSelection.bigEndian = false;
    else if (upper == L"PS3")
        archiveSelection.bigEndian = true;
    else
        return false;
    return true;
}

// "U" and "C": type and file; a missing argument or an unknown type ends the program silently.
void runCodecCommand(const Arguments& args, bool decompress) {
    if (args.size() < 5)
        return;
    const ContainerKind* kind = FindContainerKindByName(platform::asciiUpper(args[3]));
    if (kind == nullptr)
        return;
    if (decompress)
        decompressFile(*kind, args[4], archiveSelection.bigEndian);
    else
        compressFile(*kind, args[4], archiveSelection.bigEndian);
}

// "ET", "SD" and "MD": one file or folder; a missing argument ends the program silently.
void runFileCommand(const Arguments& args, const std::wstring& code) {
    if (args.size() < 4)
        return;
    if (code == L"ET")
        ExportTextures(archiveSelection, args[3]);
    else if (code == L"SD")
        SplitBlob(archiveSelection, args[3]);
    else
        MergeBlob(args[3]);
}

void runOperation(const Arguments& args) {
    std::wstring code = platform::asciiUpper(args[2]);
    if (code == L"D") {
        archiveSelection.dryRun = true;
        runMenus();
    } else if (code == L"N") {
        runMenus();
    } else if (code == L"U" || code == L"C") {
        runCodecCommand(args, code == L"U");
    } else if (code == L"ET" || code == L"SD" || code == L"MD") {
        runFileCommand(args, code);
    } else if (code == L"IT") {
        // Data file and folder; a missing argument ends the program silently.
        if (args.size() >= 5)
            ImportTextures(archiveSelection, args[3], args[4]);
    } else {
        runMenus();
    }
}

// The archive codes answer with an exit code; every other path ends with 0.
int runArguments(const Arguments& arguments) {
    if (arguments.size() < 3) {
        runMenus();
        return 0;
    }
    const std::optional<ArchiveCode> archiveCode = FindArchiveCode(arguments[2]);
    const Arguments words(arguments.begin() + 3, arguments.end());
    if (!parseDataMode(arguments[1])) {
        if (archiveCode) // a script must never wait for a key
            return RefuseDataModeFor(*archiveCode, words);
        print(text::kBadDataMode);
        platform::pauseConsole();
        return 0;
    }
    if (archiveCode)
        return RunArchiveCommand(*archiveCode, words);
    runOperation(arguments);
    return 0;
}

} // namespace

int runProgram(const Arguments& arguments) {
    resetProgramState();
    platform::consoleInit();
    const int exitCode = runArguments(arguments);
    platform::consoleFlush();
    return exitCode;
}

} // namespace karv::cli
