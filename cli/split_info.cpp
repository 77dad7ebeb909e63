#include "split_info.h"

#include "game_config.h"
#include "karvcore/karvcore.h"
#include "malloc_buffer.h"
#include "program_state.h"

#include <cstring>
#include <new>
#include <vector>

namespace karv::cli {
namespace {

constexpr uint32_t kEntrySize = 32;
// linkinfo and the archive selection hold ten archive files; more boundaries are refused.
constexpr size_t kMaxBoundaries = 10;

// Byte positions of the entries after entry 0 whose offset field is 0: the first member of
// every archive file after the first. False when there are more than the list can hold.
bool findBoundaries(const uint8_t* index, uint32_t size, bool bigEndian,
                    std::vector<uint32_t>& boundaries) {
    uint32_t count = size / kEntrySize;
    for (uint32_t entry = 1; entry < count; ++entry) {
        uint64_t raw;
        std::memcpy(&raw, index + size_t(entry) * kEntrySize, sizeof raw);
        if (Get8Data(raw, bigEndian, false) != 0)
            continue;
        if (boundaries.size() == kMaxBoundaries)
            return false;
        boundaries.push_back(entry * kEntrySize); // below size, so it cannot wrap
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
    uint8_t* raw = nullptr;
    uint32_t size = 0;
    if (!LoadData(indexPath, raw, &size))
        return false;
    MallocBuffer index(raw);
    std::vector<uint32_t> boundaries;
    if (!findBoundaries(index.get(), size, archiveSelection.bigEndian, boundaries))
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
    try {
        return deriveSplitInfo(archiveFileCount, game->second, indexPath);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace karv::cli
