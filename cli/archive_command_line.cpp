#include "archive_command_line.h"

#include "platform/text.h"
#include "texts.h"

#include <limits>

namespace karv::cli {
namespace {

struct CodeRow {
    ArchiveCode code;
    const wchar_t* name;
    const wchar_t* usage;
    bool takesFile;
};

const CodeRow kCodes[] = {
    {ArchiveCode::List, L"LIST", text::kUsageList, true},
    {ArchiveCode::Verify, L"VERIFY", text::kUsageVerify, true},
    {ArchiveCode::Export, L"EXPORT", text::kUsageExport, true},
    {ArchiveCode::Import, L"IMPORT", text::kUsageImport, true},
    {ArchiveCode::Backup, L"BACKUP", text::kUsageBackup, true},
    {ArchiveCode::Restore, L"RESTORE", text::kUsageRestore, true},
    {ArchiveCode::SplitInfo, L"SPLITINFO", text::kUsageSplitInfo, false},
};

const CodeRow& rowOf(ArchiveCode code) {
    for (const CodeRow& row : kCodes) {
        if (row.code == code)
            return row;
    }
    return kCodes[0];
}

enum class Option { First, Last, Textures, DryRun, Backup, Force, Json };

struct OptionRow {
    Option option;
    const wchar_t* name; // upper-cased, as the words are compared
    bool takesNumber;
    // The codes that take it.
    std::vector<ArchiveCode> codes;
};

const std::vector<OptionRow>& optionRows() {
    using C = ArchiveCode;
    static const std::vector<OptionRow> rows = {
        {Option::First, L"--FIRST", true, {C::Export}},
        {Option::Last, L"--LAST", true, {C::Export}},
        {Option::Textures, L"--TEXTURES", false, {C::Export}},
        {Option::DryRun, L"--DRY-RUN", false, {C::Export, C::Import}},
        {Option::Backup, L"--BACKUP", false, {C::Import}},
        {Option::Force, L"--FORCE", false, {C::Backup}},
        {Option::Json, L"--JSON", false, {C::List, C::Verify}},
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
    case Option::First:
    case Option::Last:
        break;
    }
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
    const size_t positionals = rowOf(code).takesFile ? 2 : 1;
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
        if (!row->takesNumber) {
            setFlag(row->option, command);
            continue;
        }
        if (i + 1 == words.size()) {
            wrong = text::kCommandOption + word + text::kCommandMissingNumber;
            return false;
        }
        uint32_t number = 0;
        if (!ParseMenuNumber(words[++i], number)) {
            wrong = quoted(words[i]) + text::kCommandBadNumber;
            return false;
        }
        (row->option == Option::First ? command.first : command.last) = number;
    }
    if (given.empty()) {
        wrong = text::kCommandMissingGame;
        return false;
    }
    command.game = given[0];
    if (given.size() > 1)
        command.file = given[1];
    return true;
}

bool WantsJson(ArchiveCode code, const std::vector<std::wstring>& words) {
    if (code != ArchiveCode::List && code != ArchiveCode::Verify)
        return false;
    for (const std::wstring& word : words) {
        const OptionRow* row = findOption(platform::asciiUpper(word));
        if (row != nullptr && row->option == Option::Json)
            return true;
    }
    return false;
}

} // namespace karv::cli
