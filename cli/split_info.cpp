#include "split_info.h"

#include "game_config.h"
#include "karvcore/formats.h"
#include "karvcore/index_table.h"
#include "program_state.h"

#include <vector>

namespace karv::cli {
namespace {

// Byte positions of the entries after entry 0 whose offset field is 0: the first member of
// every archive file after the first. False when there are more than the archive selection
// can hold (linkinfo's archive files).
bool findBoundaries(const IndexTable& index, std::vector<uint32_t>& boundaries) {
    for (uint32_t entry = 1; entry < index.count(); ++entry) {
        idxinfo info;
        if (!index.entry(entry, info) || info.offset != 0)
            continue;
        if (boundaries.size() == size_t(kMaxArchiveFiles))
            return false;
        // Below the index's length, so it cannot wrap.
        boundaries.push_back(uint32_t(entry * kSplitAddressUnit));
    }
    return true;
}

std::wstring hexDigits(uint32_t value) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring digits;
    do {
        digits.insert(digits.begin(), kDigits[value % 16]);
        value /= 16;
    } while (value != 0);
    return digits;
}

// "0", then "/" and each boundary in lower-case hexadecimal: 0/7a0/1000.
std::wstring splitText(const std::vector<uint32_t>& boundaries) {
    std::wstring text = L"0";
    for (uint32_t position : boundaries) {
        text += L"/";
        text += hexDigits(position);
    }
    return text;
}

bool deriveSplitInfo(int32_t archiveFileCount, gameinfo& game, const std::wstring& indexPath) {
    IndexTable index;
    if (!IndexTable::load(kIndexLayout32, indexPath, archiveSelection.bigEndian, index))
        return false;
    std::vector<uint32_t> boundaries;
    if (!findBoundaries(index, boundaries))
        return false;
    if (int64_t(boundaries.size()) + 1 != int64_t(archiveFileCount))
        return false;
    game.values.insert_or_assign(configKeys[kKeySplitAddresses], splitText(boundaries));
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
