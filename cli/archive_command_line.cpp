#include "archive_command_line.h"

#include "platform/text.h"
#include "texts.h"

#include <limits>

namespace karv::cli {
namespace {

// The words after the game: none, an optional archive file, a folder or a mod's name that must
// be there, or one folder or more.
enum class Second { None, File, Folder, Name, Folders };

struct CodeRow {
    ArchiveCode code;
    const wchar_t* name;
    const wchar_t* usage;
    Second second;
};

const CodeRow kCodes[] = {
    {ArchiveCode::List, L"LIST", text::kUsageList, Second::File},
    {ArchiveCode::Verify, L"VERIFY", text::kUsageVerify, Second::File},
    {ArchiveCode::Export, L"EXPORT", text::kUsageExport, Second::File},
    {ArchiveCode::Import, L"IMPORT", text::kUsageImport, Second::File},
    {ArchiveCode::Backup, L"BACKUP", text::kUsageBackup, Second::File},
    {ArchiveCode::Restore, L"RESTORE", text::kUsageRestore, Second::File},
    {ArchiveCode::SplitInfo, L"SPLITINFO", text::kUsageSplitInfo, Second::None},
    {ArchiveCode::ModMake, L"MODMAKE", text::kUsageModMake, Second::Folder},
    {ArchiveCode::ModAdd, L"MODADD", text::kUsageModAdd, Second::Folders},
    {ArchiveCode::ModDel, L"MODDEL", text::kUsageModDel, Second::Name},
    {ArchiveCode::Mods, L"MODS", text::kUsageMods, Second::None},
    {ArchiveCode::ModReapply, L"MODREAPPLY", text::kUsageModReapply, Second::None},
};

const CodeRow& rowOf(ArchiveCode code) {
    for (const CodeRow& row : kCodes) {
        if (row.code == code)
            return row;
    }
    return kCodes[0];
}

enum class Option { First, Last, Textures, DryRun, Backup, Force, Json, Name, Over };

// What follows an option: nothing, a number, or any text.
enum class Value { None, Number, Text };

struct OptionRow {
    Option option;
    const wchar_t* name; // upper-cased, as the words are compared
    Value value;
    // The codes that take it.
    std::vector<ArchiveCode> codes;
};

const std::vector<OptionRow>& optionRows() {
    using C = ArchiveCode;
    static const std::vector<OptionRow> rows = {
        {Option::First, L"--FIRST", Value::Number, {C::Export}},
        {Option::Last, L"--LAST", Value::Number, {C::Export}},
        {Option::Textures, L"--TEXTURES", Value::None, {C::Export}},
        {Option::DryRun, L"--DRY-RUN", Value::None, {C::Export, C::Import}},
        {Option::Backup, L"--BACKUP", Value::None, {C::Import, C::ModAdd}},
        {Option::Force, L"--FORCE", Value::None, {C::Backup}},
        {Option::Json, L"--JSON", Value::None, {C::List, C::Verify, C::Mods}},
        {Option::Name, L"--NAME", Value::Text, {C::ModMake}},
        {Option::Over, L"--OVER", Value::None, {C::ModAdd}},
    };
    return rows;
}

const OptionRow* findOption(const std::wstring& upper) {
    for (const OptionRow& row : optionRows()) {
        if (upper == row.name)
            return &row;
    }
    return nullptr;
}

bool takes(const OptionRow& row, ArchiveCode code) {
    for (ArchiveCode c : row.codes) {
        if (c == code)
            return true;
    }
    return false;
}

bool isOptionWord(const std::wstring& word) {
    return word.size() >= 2 && word[0] == L'-' && word[1] == L'-';
}

std::wstring quoted(const std::wstring& word) {
    return text::kCommandQuoteOpen + word;
}

// Sets a flag once; a second time is a wrong command line.
class OptionsSeen {
  public:
    bool first(Option option) {
        unsigned bit = 1u << unsigned(option);
        bool fresh = (seen_ & bit) == 0;
        seen_ |= bit;
        return fresh;
    }

  private:
    unsigned seen_ = 0;
};

void setFlag(Option option, ArchiveCommand& command) {
    switch (option) {
    case Option::Textures:
        command.textures = true;
        break;
    case Option::DryRun:
        command.dryRun = true;
        break;
    case Option::Backup:
        command.backup = true;
        break;
    case Option::Force:
        command.force = true;
        break;
    case Option::Json:
        command.json = true;
        break;
    case Option::Over:
        command.over = true;
        break;
    case Option::First:
    case Option::Last:
    case Option::Name:
        break;
    }
}

// Stores the word after an option that takes one; false with the line when it is wrong.
bool setValue(const OptionRow& row, const std::wstring& word, ArchiveCommand& command,
              std::wstring& wrong) {
    if (row.value == Value::Text) {
        command.name = word;
        return true;
    }
    uint32_t number = 0;
    if (!ParseMenuNumber(word, number)) {
        wrong = quoted(word) + text::kCommandBadNumber;
        return false;
    }
    (row.option == Option::First ? command.first : command.last) = number;
    return true;
}

} // namespace

std::optional<ArchiveCode> FindArchiveCode(const std::wstring& word) {
    const std::wstring upper = platform::asciiUpper(word);
    for (const CodeRow& row : kCodes) {
        if (upper == row.name)
            return row.code;
    }
    return std::nullopt;
}

const wchar_t* ArchiveCodeName(ArchiveCode code) {
    return rowOf(code).name;
}

std::wstring ArchiveCodeUsage(ArchiveCode code) {
    return text::kUsagePrefix + std::wstring(rowOf(code).usage);
}

bool ParseMenuNumber(const std::wstring& word, uint32_t& value) {
    if (word.empty())
        return false;
    uint64_t number = 0;
    for (wchar_t c : word) {
        if (c < L'0' || c > L'9')
            return false;
        number = number * 10 + uint64_t(c - L'0');
        if (number > uint64_t(std::numeric_limits<int32_t>::max()))
            return false;
    }
    value = uint32_t(number);
    return true;
}

bool FindGameKey(const std::map<uint32_t, gameinfo>& games, const std::wstring& word,
                 uint32_t& key) {
    uint32_t number = 0;
    if (ParseMenuNumber(word, number)) {
        key = number;
        return games.count(number) != 0;
    }
    for (const auto& [k, game] : games) {
        if (game.name == word) {
            key = k;
            return true;
        }
    }
    return false;
}

bool FindArchiveFile(const gameinfo& game, const std::wstring& word, int32_t& file) {
    uint32_t number = 0;
    if (ParseMenuNumber(word, number)) {
        if (number == 0 || number > uint32_t(game.voxbankCount))
            return false;
        file = int32_t(number) - 1;
        return true;
    }
    for (int32_t k = 0; k < game.voxbankCount; ++k) {
        if (game.voxbankNames[size_t(k)] == word) {
            file = k;
            return true;
        }
    }
    return false;
}

bool ParseArchiveCommand(ArchiveCode code, const std::vector<std::wstring>& words,
                         ArchiveCommand& command, std::wstring& wrong) {
    command = ArchiveCommand();
    command.code = code;
    const CodeRow& codeRow = rowOf(code);
    const size_t positionals = codeRow.second == Second::None      ? 1
                               : codeRow.second == Second::Folders ? words.size() + 1
                                                                   : 2;
    std::vector<std::wstring> given;
    OptionsSeen seen;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::wstring& word = words[i];
        if (!isOptionWord(word)) {
            if (given.size() == positionals) {
                wrong = text::kCommandExtraWord + word + text::kCommandQuoteClose;
                return false;
            }
            given.push_back(word);
            continue;
        }
        const OptionRow* row = findOption(platform::asciiUpper(word));
        if (row == nullptr) {
            wrong = text::kCommandUnknownOption + word + text::kCommandQuoteClose;
            return false;
        }
        if (!takes(*row, code)) {
            wrong = text::kCommandOption + word + text::kCommandNotFor + ArchiveCodeName(code) +
                    text::kCommandLineEnd;
            return false;
        }
        if (!seen.first(row->option)) {
            wrong = text::kCommandOption + word + text::kCommandTwice;
            return false;
        }
        if (row->value == Value::None) {
            setFlag(row->option, command);
            continue;
        }
        if (i + 1 == words.size()) {
            wrong = text::kCommandOption + word +
                    (row->value == Value::Number ? text::kCommandMissingNumber
                                                 : text::kCommandMissingValue);
            return false;
        }
        if (!setValue(*row, words[++i], command, wrong))
            return false;
    }
    if (given.empty()) {
        wrong = text::kCommandMissingGame;
        return false;
    }
    if ((codeRow.second == Second::Folder || codeRow.second == Second::Folders) &&
        given.size() < 2) {
        wrong = text::kCommandMissingFolder;
        return false;
    }
    if (codeRow.second == Second::Name && given.size() < 2) {
        wrong = text::kCommandMissingModName;
        return false;
    }
    command.game = given[0];
    switch (codeRow.second) {
    case Second::Folder:
        command.folder = given[1];
        break;
    case Second::Folders:
        command.folders.assign(given.begin() + 1, given.end());
        break;
    case Second::Name:
        command.name = given[1];
        break;
    case Second::File:
        if (given.size() > 1)
            command.file = given[1];
        break;
    case Second::None:
        break;
    }
    return true;
}

bool WantsJson(ArchiveCode code, const std::vector<std::wstring>& words) {
    if (code != ArchiveCode::List && code != ArchiveCode::Verify && code != ArchiveCode::Mods)
        return false;
    for (const std::wstring& word : words) {
        const OptionRow* row = findOption(platform::asciiUpper(word));
        if (row != nullptr && row->option == Option::Json)
            return true;
    }
    return false;
}

} // namespace karv::cli
