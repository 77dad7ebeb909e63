// The game configuration loader on hostile files: LoadGameConfig must keep every count inside
// the record's lists, and a table written back with SaveGameConfig must load again as the
// same games with the same values.
//
// Input: byte 0 bit 0 = put the UCS-2 mark FF FE in front of the rest (most hostile files
// are meant to reach the records); the rest is the file.
#include "fuzz_support.h"
#include "game_config.h"
#include "karvcore/karvcore.h"

#include <map>
#include <vector>

namespace {

using karv::cli::gameTable;
using karv::cli::LoadGameConfig;
using karv::fuzz::expect;

struct Game {
    std::wstring name;
    std::map<std::wstring, std::wstring> values; // the keys a write-back keeps
    bool operator==(const Game& other) const {
        return name == other.name && values == other.values;
    }
};

std::vector<Game> keptGames() {
    std::vector<Game> games;
    uint32_t number = 1;
    for (const auto& [n, game] : gameTable) {
        expect(n == number++, "games are not numbered 1, 2, 3 ...");
        Game kept{game.name, {}};
        for (const std::wstring& key : karv::cli::configKeys) {
            auto found = game.values.find(key);
            if (found != game.values.end())
                kept.values[key] = found->second;
        }
        games.push_back(std::move(kept));
    }
    return games;
}

void checkRecords() {
    using karv::cli::kGameListCapacity;
    for (const auto& [n, game] : gameTable) {
        expect(game.idxCount <= kGameListCapacity && game.voxbankCount <= kGameListCapacity,
               "a count beyond the lists");
        expect(game.dataType >= 0 && game.dataType <= 3, "a data type that does not exist");
        if (game.values.count(karv::cli::configKeys[karv::cli::kKeyLocation]))
            expect(!game.location.empty(), "a location without its separator");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    karv::fuzz::InputReader in(data, size);
    const bool mark = (in.u8() & 1) != 0;
    karv::fuzz::Bytes file = in.rest();
    if (mark)
        file.insert(file.begin(), {0xFF, 0xFE});
    karv::fuzz::Scratch& scratch = karv::fuzz::Scratch::get();
    const std::wstring path = scratch.write(L"config.txt", file);

    gameTable.clear();
    if (!LoadGameConfig(path)) {
        expect(gameTable.empty(), "a refused file changed the table");
        return 0;
    }
    checkRecords();
    const std::vector<Game> loaded = keptGames();
    const std::wstring copy = scratch.path(L"written.txt");
    scratch.remove(L"written.txt");
    bool saved = karv::cli::SaveGameConfig(copy);
    expect(saved == !loaded.empty(), "the write-back failed");
    if (saved) {
        gameTable.clear();
        expect(LoadGameConfig(copy), "a written-back file does not load");
        expect(keptGames() == loaded, "the write-back changed the games");
    }
    gameTable.clear();
    return 0;
}
