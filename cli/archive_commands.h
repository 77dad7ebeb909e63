// The archive codes of the command line: one archive operation without menus, with an exit
// code (0 done, 1 refused or failed, 2 a wrong command line).
#pragma once

#include "archive_command_line.h"
#include "command_report.h"
#include "game_config.h"

#include <cstdint>
#include <string>
#include <vector>

namespace karv::cli {

// Runs code `code` with the words after it; the data mode has set the selection's byte order
// (the game's record decides it for the operation).
int RunArchiveCommand(ArchiveCode code, const std::vector<std::wstring>& words);
// A wrong data mode before an archive code: "参数：数据模式 错误！" and the usage, exit code 2,
// no "pause".
int RefuseDataModeFor(ArchiveCode code, const std::vector<std::wstring>& words);

// What a command works on once its words have named a game (and maybe a file).
struct CommandTarget {
    const ArchiveCommand& command;
    const CommandReport& report;
    uint32_t gameKey;
    gameinfo& game;
    // The archive files, 0-based, in the game's order: the one named, else every one; a 357
    // game has one archive, {0}.
    std::vector<int32_t> files;
    // Whether the command named its archive (a file given, or a 357 game): then a file with
    // nothing to import is a failure rather than an outcome.
    bool archiveNamed;
};

// LIST, VERIFY and MODMAKE (their own modules).
int ListArchives(const CommandTarget& target);
int VerifyArchives(const CommandTarget& target);
int MakeMod(const CommandTarget& target);
// MODADD, MODDEL, MODS and MODREAPPLY (mod_commands.cpp).
int AddMods(const CommandTarget& target);
int RemoveMods(const CommandTarget& target);
int ShowMods(const CommandTarget& target);
int ReapplyMods(const CommandTarget& target);

} // namespace karv::cli
