// The split information of a 357 archive spread over several archive files.
#pragma once

#include <cstdint>
#include <string>

namespace karv::cli {

// Derives where each archive file's entries begin from the index file and stores it in game
// `gameKey` of the game table. False when the index cannot be loaded or does not match
// `archiveFileCount`; nothing is changed then.
bool UpdateSplitInfo(int32_t archiveFileCount, uint32_t gameKey, std::wstring indexPath);

} // namespace karv::cli
