// How a game record and a chosen archive file become the selection the operations work on: the
// rule the menus follow before every operation, and the tests with them.
#pragma once

#include "game_config.h"
#include "karvcore/archive.h"
#include "program_state.h"

#include <cstdint>

namespace karv::cli {

// The values of a record that place its archive.
GameArchives archivesOf(const gameinfo& game);

// The selection for archive file `fileIndex` (0-based; a 357 game has one archive) of `game`:
// its byte order, data type, append alignment, linkinfo, archive file and the export root and
// import folder. The texture folder is left empty and `dryRun` is the caller's.
ArchiveSelection SelectArchive(const gameinfo& game, int32_t fileIndex, bool dryRun);

} // namespace karv::cli
