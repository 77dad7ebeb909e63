// The game configuration file "游戏信息.txt": one record per game, read into the game table when
// the menus start and written back after the split information of a game has been refreshed.
#pragma once

#include "texts.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>

namespace karv::cli {

// Room for index names, archive names and split addresses in one record.
inline constexpr int32_t kGameListCapacity = 100;

// Positions in configKeys: values are converted, and written back, in this order.
enum ConfigKey : int {
    kKeyLocation = 0,
    kKeyDataMode = 1,
    kKeyDataType = 2,
    kKeyIdxCount = 3,
    kKeyIdxNames = 4,
    kKeyVoxbankCount = 5,
    kKeyVoxbankNames = 6,
    kKeySplitAddresses = 7,
    kKeyExportPath = 8,
    kKeyImportPath = 9,
    kConfigKeyCount = 10,
};

extern const std::array<std::wstring, kConfigKeyCount> configKeys;

struct gameinfo {
    std::wstring name;
    std::wstring location; // ends with a separator once converted
    bool bigEndian = false;
    int32_t dataType = 0; // 0 not given, 1 = 357, 2 = Z54, 3 = 358
    // Counts are never above kGameListCapacity, so loops over them stay inside the lists.
    int32_t idxCount = 1;
    std::array<std::wstring, kGameListCapacity> idxNames;
    int32_t voxbankCount = 0;
    std::array<std::wstring, kGameListCapacity> voxbankNames;
    bool splitInfoMissing = false;
    std::array<uint32_t, kGameListCapacity> splitAddresses{};
    std::wstring exportPath;
    std::wstring importPath;
    // Every key and raw value read for this record; the write-back writes these texts.
    std::map<std::wstring, std::wstring> values;
};

// The games of the configuration file, numbered from 1 in file order.
extern std::map<uint32_t, gameinfo> gameTable;

// Fills gameTable from the file. False (gameTable untouched) when the file does not exist, the
// text reader refuses it, or reading stops before the end of the data.
bool LoadGameConfig(const std::wstring& path);

// Converts the text of configKeys[key] in game.values into the record's fields. A key that is
// not in values, or an index outside 0..9, changes nothing.
void ParseGameValue(gameinfo& game, int key);

// Writes every record of gameTable back as UCS-2 little-endian, replacing the file. True only
// when the whole text is on the disk in the file's place; an empty table writes nothing and
// gives false. When the new text cannot be written, the file keeps its previous bytes.
bool SaveGameConfig(const std::wstring& path = text::kGameConfigFile);

} // namespace karv::cli
