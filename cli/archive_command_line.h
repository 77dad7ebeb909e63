// The command line of the archive codes (LIST, VERIFY, EXPORT, IMPORT, BACKUP, RESTORE,
// SPLITINFO): which words are codes and options, and what a command asks for. Reading the words
// needs nothing but the words; which game and file they name is for the runner to find out.
#pragma once

#include "game_config.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace karv::cli {

enum class ArchiveCode {
    List,
    Verify,
    Export,
    Import,
    Backup,
    Restore,
    SplitInfo,
    ModMake,
    ModAdd,
    ModDel,
    Mods,
    ModReapply,
};

// The code an operation word names (upper-cased as the described codes are); nothing for any
// other word.
std::optional<ArchiveCode> FindArchiveCode(const std::wstring& word);
// The code as the command line spells it ("LIST").
const wchar_t* ArchiveCodeName(ArchiveCode code);
// How the command is written, as a line.
std::wstring ArchiveCodeUsage(ArchiveCode code);

struct ArchiveCommand {
    ArchiveCode code = ArchiveCode::List;
    std::wstring game;                 // a number as the main menu shows it, or a name
    std::optional<std::wstring> file;  // a number as the file menu shows it, or a name
    std::wstring folder;               // MODMAKE: the package folder
    std::vector<std::wstring> folders; // MODADD: the package folders, in order
    std::optional<std::wstring> name;  // MODMAKE --name; MODDEL: the mod
    std::optional<uint32_t> first, last;
    bool textures = false;
    bool dryRun = false;
    bool backup = false;
    bool force = false;
    bool over = false;
    bool json = false;
};

// Reads the words after the code. False with the line that says what is wrong (without the
// usage) for a wrong command line: a missing game or folder, an unknown option or one the code
// does not take, an option given twice, a missing or bad number or value, a word too many.
bool ParseArchiveCommand(ArchiveCode code, const std::vector<std::wstring>& words,
                         ArchiveCommand& command, std::wstring& wrong);
// Whether the answer is to be one JSON document: a code that takes --json and the option among
// its words, whatever else is wrong with them.
bool WantsJson(ArchiveCode code, const std::vector<std::wstring>& words);

// A whole number as the menus take one: decimal digits only, at most 2^31 - 1.
bool ParseMenuNumber(const std::wstring& word, uint32_t& value);

// The game a word names in `games`: its number in the main menu (a word of digits is always a
// number), or else its exact name.
bool FindGameKey(const std::map<uint32_t, gameinfo>& games, const std::wstring& word,
                 uint32_t& key);
// The archive file (0-based) a word names: its number in the file menu, or else its exact name.
bool FindArchiveFile(const gameinfo& game, const std::wstring& word, int32_t& file);

} // namespace karv::cli
