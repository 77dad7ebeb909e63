// The words of the archive codes: whatever the words, the parser either answers with a command
// that holds only what its code takes, or with a line that says what is wrong; a command
// written out again reads back the same; numbers and names find only what is there.
//
// Input: byte 0 = the code (modulo the count of codes); the rest are the words, UTF-8, separated
// by zero bytes.
#include "archive_command_line.h"
#include "fuzz_support.h"
#include "platform/text.h"

#include <string>
#include <vector>

namespace {

using karv::cli::ArchiveCode;
using karv::cli::ArchiveCommand;
using karv::fuzz::expect;

const ArchiveCode kCodes[] = {
    ArchiveCode::List,   ArchiveCode::Verify,  ArchiveCode::Export,    ArchiveCode::Import,
    ArchiveCode::Backup, ArchiveCode::Restore, ArchiveCode::SplitInfo, ArchiveCode::ModMake,
    ArchiveCode::ModAdd, ArchiveCode::ModDel,  ArchiveCode::Mods,      ArchiveCode::ModReapply};
constexpr size_t kCodeCount = sizeof kCodes / sizeof kCodes[0];

std::vector<std::wstring> wordsOf(const karv::fuzz::Bytes& bytes) {
    std::vector<std::wstring> words;
    std::string word;
    for (uint8_t b : bytes) {
        if (b != 0) {
            word += char(b);
            continue;
        }
        words.push_back(karv::platform::utf8ToWide(word));
        word.clear();
    }
    if (!word.empty())
        words.push_back(karv::platform::utf8ToWide(word));
    return words;
}

// The command as words that ask for exactly it.
std::vector<std::wstring> written(const ArchiveCommand& c) {
    std::vector<std::wstring> words{c.game};
    if (c.file)
        words.push_back(*c.file);
    if (c.code == ArchiveCode::ModMake)
        words.push_back(c.folder);
    words.insert(words.end(), c.folders.begin(), c.folders.end());
    if (c.name && c.code == ArchiveCode::ModDel)
        words.push_back(*c.name);
    else if (c.name)
        words.insert(words.end(), {L"--name", *c.name});
    if (c.first)
        words.insert(words.end(), {L"--first", std::to_wstring(*c.first)});
    if (c.last)
        words.insert(words.end(), {L"--last", std::to_wstring(*c.last)});
    for (const auto& [set, name] : {std::pair{c.textures, L"--textures"},
                                    {c.dryRun, L"--dry-run"},
                                    {c.backup, L"--backup"},
                                    {c.force, L"--force"},
                                    {c.over, L"--over"},
                                    {c.json, L"--json"}}) {
        if (set)
            words.push_back(name);
    }
    return words;
}

bool same(const ArchiveCommand& a, const ArchiveCommand& b) {
    return a.code == b.code && a.game == b.game && a.file == b.file && a.folder == b.folder &&
           a.name == b.name && a.first == b.first && a.last == b.last && a.textures == b.textures &&
           a.dryRun == b.dryRun && a.backup == b.backup && a.force == b.force && a.json == b.json &&
           a.folders == b.folders && a.over == b.over;
}

void checkOptions(const ArchiveCommand& c) {
    const ArchiveCode code = c.code;
    expect(!(c.first || c.last || c.textures) || code == ArchiveCode::Export,
           "an export option on another code");
    expect(!c.dryRun || code == ArchiveCode::Export || code == ArchiveCode::Import,
           "--dry-run on a code without it");
    expect(!c.backup || code == ArchiveCode::Import || code == ArchiveCode::ModAdd,
           "--backup on another code");
    expect(!c.over || code == ArchiveCode::ModAdd, "--over on another code");
    expect(c.folders.empty() == (code != ArchiveCode::ModAdd), "folders for another code");
    expect(!c.force || code == ArchiveCode::Backup, "--force on another code");
    expect(!c.json || code == ArchiveCode::List || code == ArchiveCode::Verify ||
               code == ArchiveCode::Mods,
           "--json on another code");
    const bool takesFile = code == ArchiveCode::List || code == ArchiveCode::Verify ||
                           code == ArchiveCode::Export || code == ArchiveCode::Import ||
                           code == ArchiveCode::Backup || code == ArchiveCode::Restore;
    expect(!c.file || takesFile, "a file for a code that takes none");
    expect(!c.name || code == ArchiveCode::ModMake || code == ArchiveCode::ModDel,
           "a name for another code");
    expect(c.name.has_value() || code != ArchiveCode::ModDel, "MODDEL without its name");
    expect(c.folder.empty() || code == ArchiveCode::ModMake, "a folder for another code");
    const uint32_t largest = 0x7FFFFFFF;
    expect((!c.first || *c.first <= largest) && (!c.last || *c.last <= largest),
           "a number beyond the menus' range");
}

void checkNames(const std::vector<std::wstring>& words) {
    std::map<uint32_t, karv::cli::gameinfo> games;
    games[1].name = L"游戏一";
    games[2].name = L"12";
    games[2].voxbankCount = 2;
    games[2].voxbankNames[0] = L"A.BIN";
    games[2].voxbankNames[1] = L"7";
    for (const std::wstring& word : words) {
        uint32_t number = 0;
        if (karv::cli::ParseMenuNumber(word, number))
            expect(number <= 0x7FFFFFFF && !word.empty(), "a number beyond the menus' range");
        uint32_t key = 0;
        if (karv::cli::FindGameKey(games, word, key))
            expect(games.count(key) == 1 &&
                       (games[key].name == word ||
                        (karv::cli::ParseMenuNumber(word, number) && number == key)),
                   "a game the word does not name");
        int32_t file = -1;
        if (karv::cli::FindArchiveFile(games[2], word, file))
            expect(file >= 0 && file < games[2].voxbankCount, "a file beyond the game's files");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    karv::fuzz::InputReader in(data, size);
    const ArchiveCode code = kCodes[in.u8() % kCodeCount];
    const std::vector<std::wstring> words = wordsOf(in.rest());
    ArchiveCommand command;
    std::wstring wrong;
    const bool parsed = karv::cli::ParseArchiveCommand(code, words, command, wrong);
    if (!parsed) {
        expect(wrong.size() >= 2 && wrong.compare(wrong.size() - 2, 2, L"！\n") == 0,
               "a refusal without its line");
    } else {
        expect(wrong.empty(), "a line for a command that was read");
        checkOptions(command);
        expect(karv::cli::WantsJson(code, words) == command.json, "JSON asked for but not read");
        ArchiveCommand again;
        expect(karv::cli::ParseArchiveCommand(code, written(command), again, wrong) &&
                   same(command, again),
               "a command written out reads back otherwise");
    }
    checkNames(words);
    return 0;
}
