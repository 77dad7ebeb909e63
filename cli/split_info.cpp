#include "split_info.h"

#include "game_config.h"
#include "karvcore/archive.h"
#include "karvcore/formats.h"
#include "karvcore/index_table.h"
#include "program_state.h"

#include <vector>

namespace karv::cli {
namespace {

bool deriveSplitInfo(int32_t archiveFileCount, gameinfo& game, const std::wstring& indexPath) {
    IndexTable index;
    if (!IndexTable::load(kIndexLayout32, indexPath, archiveSelection.bigEndian, index))
        return false;
    std::vector<uint32_t> boundaries;
    if (!FindSplitAddresses(index, boundaries))
        return false;
    if (int64_t(boundaries.size()) + 1 != int64_t(archiveFileCount))
        return false;
    std::vector<uint32_t> addresses = {0};
    addresses.insert(addresses.end(), boundaries.begin(), boundaries.end());
    game.values.insert_or_assign(configKeys[kKeySplitAddresses], SplitAddressText(addresses));
    for (size_t j = 0; j < boundaries.size(); ++j)
        game.splitAddresses[j + 1] = boundaries[j];
    return true;
}

} // namespace

bool UpdateSplitInfo(int32_t archiveFileCount, uint32_t gameKey, std::wstring indexPath) {
    // An unknown game is not added to the table: the write-back would save it as a record.
    auto game = gameTable.find(gameKey);
    if (game == gameTable.end())
        return false;
    return catchOutOfMemory(
        [&] { return deriveSplitInfo(archiveFileCount, game->second, indexPath); },
        [] { return false; });
}

} // namespace karv::cli
