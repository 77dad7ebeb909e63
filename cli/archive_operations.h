// The operations that the menus and the command line share, with the lines they print: the
// checks before an operation, backup, restore and the split-information update. One place, so
// that a command prints exactly what its menu twin prints.
#pragma once

#include "game_config.h"
#include "karvcore/mod_work.h"
#include "program_state.h"

#include <cstdint>

namespace karv::cli {

// The text of the first check before an operation that `game` fails (no location or first
// archive name, no index name where one is needed, too many archive files for one archive);
// null when it passes them. The missing split information is the caller's question.
const wchar_t* GameRefusal(const gameinfo& game);
// A 357 game over several archive files: the one kind of game with split information.
bool IsMultiFile357(const gameinfo& game);
// The index file that the split information is derived from.
std::wstring FirstIndexPath(const gameinfo& game);

// The selection's archive as the mod steps take it.
ModArchive ModArchiveOf(const ArchiveSelection& selection);
// Settles a mod step that a killed process left unfinished on the selection's archive, with a
// line saying what became of it; false (the line printed) when its intent cannot be read, and
// the operation must not go on.
bool SettleModStep(const ArchiveSelection& selection);

// Whether the selection's archive has a backup (its record beside archive file 0).
bool BackupExists(const ArchiveSelection& selection);
// Backs up the selection's archive; prints "备份数据成功！" or the failure with its reason.
bool BackUpSelection(const ArchiveSelection& selection, const gameinfo& game);
// Restores it; prints "恢复数据成功！" or the failure with its reason.
bool RestoreSelection(const ArchiveSelection& selection, const gameinfo& game);
// Derives the split information of game `gameKey`, keeps it and writes the configuration file;
// prints the outcome. The derived information stays in memory even when the file cannot be
// written, and the user is told that it was not made permanent.
bool RefreshSplitInfo(uint32_t gameKey, gameinfo& game);

} // namespace karv::cli
