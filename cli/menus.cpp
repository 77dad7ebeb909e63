#include "menus.h"

#include "archive_export.h"
#include "archive_import.h"
#include "archive_operations.h"
#include "console.h"
#include "files.h"
#include "game_config.h"
#include "karvcore/formats.h"
#include "platform/console.h"
#include "platform/filesystem.h"
#include "program_state.h"
#include "selection.h"
#include "split_info.h"
#include "texts.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace karv::cli {
namespace {

constexpr int32_t kNotANumber = -1;

enum class Next { MainMenu, GameScreen, OperationMenu, End };

// An answer, or nothing once the console input has ended.
using Answer = std::optional<int32_t>;

struct MenuState {
    uint32_t gameKey = 0;  // 0 while the main menu is shown
    int32_t fileIndex = 0; // 0-based, into the game's archive file names
};

// ---- Number input ----

// A token of decimal digits as a number. Anything else, and a number too large for a signed
// 32-bit value, is -1, which lies outside every menu's range.
int32_t tokenValue(const std::wstring& token) {
    if (token.empty())
        return kNotANumber;
    int64_t value = 0;
    for (wchar_t c : token) {
        if (c < L'0' || c > L'9')
            return kNotANumber;
        value = value * 10 + (c - L'0');
        if (value > std::numeric_limits<int32_t>::max())
            return kNotANumber;
    }
    return int32_t(value);
}

// Asks until the answer lies within [low, high]; wrong answers repeat the prompt silently.
Answer ReadChoice(const wchar_t* prompt, int32_t low, int32_t high) {
    for (;;) {
        print(prompt);
        std::wstring token;
        if (!platform::consoleReadToken(token))
            return std::nullopt;
        int32_t value = tokenValue(token);
        if (value != kNotANumber && value >= low && value <= high)
            return value;
    }
}

// ---- Screens ----

void printBanner() {
    print(text::kBannerTitle);
    print(std::wstring(text::kBannerVersion) + text::kProgramVersion + text::kBannerAuthor);
    print(text::kMenuSeparator);
}

void printItem(uint32_t number, const std::wstring& label) {
    print(std::to_wstring(number) + text::kMenuItemDot + label + L"\n");
}

Next backToMainMenu() {
    platform::clearScreen();
    return Next::MainMenu;
}

Next pauseThenMainMenu() {
    platform::pauseConsole();
    return backToMainMenu();
}

Next refuse(const wchar_t* message) {
    print(message);
    return pauseThenMainMenu();
}

// ---- Checks and preparation before an operation ----

// Asks whether to derive the missing split information now. Nothing means the operation goes
// on (whatever the update's outcome); a value is where the menus go instead.
std::optional<Next> offerSplitInfoUpdate(const MenuState& state, const gameinfo& game) {
    print(text::kSplitInfoQuestion);
    print(text::kSplitInfoChoices);
    Answer answer = ReadChoice(text::kChooseOperation, 0, 1);
    if (!answer)
        return Next::End;
    if (*answer == 0)
        return backToMainMenu();
    if (UpdateSplitInfo(game.voxbankCount, state.gameKey, FirstIndexPath(game)))
        SaveGameConfig();
    return std::nullopt;
}

// The checks before operations 1 to 5. Nothing means the operation may run.
std::optional<Next> checkGame(const MenuState& state, const gameinfo& game) {
    if (const wchar_t* refusal = GameRefusal(game))
        return refuse(refusal);
    if (IsMultiFile357(game) && game.splitInfoMissing)
        return offerSplitInfoUpdate(state, game);
    return std::nullopt;
}

// ---- Operations ----

Next exportOperation() {
    const int32_t kAnyEntry = std::numeric_limits<int32_t>::max();
    Answer first = ReadChoice(text::kExportFirstPrompt, 0, kAnyEntry);
    if (!first)
        return Next::End;
    Answer last = ReadChoice(text::kExportLastPrompt, 0, kAnyEntry);
    if (!last)
        return Next::End;
    print(text::kTextureQuestion);
    print(text::kTextureChoices);
    Answer textures = ReadChoice(text::kChooseOperation, 0, 2);
    if (!textures)
        return Next::End;
    if (*textures == 0)
        return backToMainMenu();
    ExportMembers(archiveSelection, uint32_t(*first), uint32_t(*last), archiveSelection.archivePath,
                  *textures == 1);
    platform::pauseConsole();
    return Next::End;
}

Next importOperation(const gameinfo& game) {
    if (!BackupExists(archiveSelection)) {
        print(text::kNoBackupQuestion);
        print(text::kBackupNotice);
        print(text::kBackupChoices);
        Answer answer = ReadChoice(text::kChooseOperation, 0, 1);
        if (!answer)
            return Next::End;
        if (*answer == 0)
            return backToMainMenu();
        if (!BackUpSelection(archiveSelection, game))
            return pauseThenMainMenu();
    }
    ImportMembers(archiveSelection, archiveSelection.archivePath);
    platform::pauseConsole();
    return Next::End;
}

Next backupOperation(const gameinfo& game) {
    bool overwrite = BackupExists(archiveSelection);
    print(overwrite ? text::kBackupExistsQuestion : text::kBackupQuestion);
    print(text::kBackupNotice);
    print(overwrite ? text::kOverwriteChoices : text::kBackupChoices);
    Answer answer = ReadChoice(text::kChooseOperation, 0, 1);
    if (!answer)
        return Next::End;
    if (*answer == 0)
        return backToMainMenu();
    BackUpSelection(archiveSelection, game);
    return pauseThenMainMenu();
}

Next restoreOperation(const gameinfo& game) {
    print(text::kRestoreQuestion);
    print(text::kRestoreNotice);
    print(text::kRestoreChoices);
    Answer answer = ReadChoice(text::kChooseOperation, 0, 1);
    if (!answer)
        return Next::End;
    if (*answer == 0)
        return backToMainMenu();
    RestoreSelection(archiveSelection, game);
    return pauseThenMainMenu();
}

Next splitInfoOperation(const MenuState& state, gameinfo& game) {
    RefreshSplitInfo(state.gameKey, game);
    return pauseThenMainMenu();
}

Next runOperation(const MenuState& state, int32_t operation) {
    gameinfo& game = gameTable[state.gameKey];
    // The checks may derive the split information, with the game's byte order; the selection is
    // taken again once they have passed.
    archiveSelection = SelectArchive(game, state.fileIndex, archiveSelection.dryRun);
    if (std::optional<Next> instead = checkGame(state, game))
        return *instead;
    archiveSelection = SelectArchive(game, state.fileIndex, archiveSelection.dryRun);
    switch (operation) {
    case 1:
        return exportOperation();
    case 2:
        return importOperation(game);
    case 3:
        return backupOperation(game);
    case 4:
        return restoreOperation(game);
    default:
        return splitInfoOperation(state, game);
    }
}

// The items and the choice of the operation menu; a 357 game reaches them from the game
// screen directly, since it has no file menu.
Next operationChoice(const MenuState& state, const gameinfo& game) {
    print(text::kOperationItems);
    bool offerSplitInfo = IsMultiFile357(game);
    if (offerSplitInfo)
        print(text::kSplitInfoItem);
    print(text::kMenuSeparator);
    Answer operation = ReadChoice(text::kChooseOperation, 0, offerSplitInfo ? 5 : 4);
    if (!operation)
        return Next::End;
    if (*operation != 0)
        return runOperation(state, *operation);
    if (ArchiveSpansFiles(game.dataType))
        return backToMainMenu();
    return Next::GameScreen; // which clears the screen itself
}

void printGameHeader(const gameinfo& game) {
    printBanner();
    print(text::kCurrentGame + game.name + L"\n");
}

Next operationMenu(const MenuState& state) {
    const gameinfo& game = gameTable[state.gameKey];
    platform::clearScreen();
    printGameHeader(game);
    print(text::kCurrentFile + game.voxbankNames[size_t(state.fileIndex)] + L"\n");
    print(text::kMenuSeparator);
    print(text::kMenuBack);
    return operationChoice(state, game);
}

Next gameScreen(MenuState& state) {
    const gameinfo& game = gameTable[state.gameKey];
    platform::clearScreen();
    state.fileIndex = 0;
    printGameHeader(game);
    print(text::kMenuSeparator);
    print(text::kMenuBack);
    if (ArchiveSpansFiles(game.dataType))
        return operationChoice(state, game);
    for (int32_t k = 1; k <= game.voxbankCount; ++k)
        printItem(uint32_t(k), game.voxbankNames[size_t(k - 1)]);
    print(text::kMenuSeparator);
    Answer file = ReadChoice(text::kChooseFile, 0, game.voxbankCount);
    if (!file)
        return Next::End;
    if (*file == 0)
        return backToMainMenu();
    state.fileIndex = *file - 1;
    return Next::OperationMenu;
}

// Drawn without clearing: whoever returns here has cleared the screen.
Next mainMenu(MenuState& state) {
    state.gameKey = 0;
    printBanner();
    print(text::kMenuQuit);
    for (const auto& [number, game] : gameTable)
        printItem(number, game.name);
    print(text::kMenuSeparator);
    Answer game = ReadChoice(text::kChooseGame, 0, int32_t(gameTable.size()));
    if (!game || *game == 0)
        return Next::End;
    state.gameKey = uint32_t(*game);
    return Next::GameScreen;
}

} // namespace

void runMenus() {
    // Without a readable game configuration file there is nothing to choose from: end quietly.
    if (!LoadGameConfig(text::kGameConfigFile))
        return;
    MenuState state;
    Next next = Next::MainMenu;
    while (next != Next::End) {
        switch (next) {
        case Next::MainMenu:
            next = mainMenu(state);
            break;
        case Next::GameScreen:
            next = gameScreen(state);
            break;
        case Next::OperationMenu:
            next = operationMenu(state);
            break;
        case Next::End:
            break;
        }
    }
}

} // namespace karv::cli
