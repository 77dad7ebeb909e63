#include "game_config.h"

#include "karvcore/files.h"
#include "karvcore/formats.h"
#include "platform/filesystem.h"
#include "platform/text.h"
#include "program_state.h"

#include <locale>
#include <memory>
#include <sstream>
#include <vector>

namespace karv::cli {

const std::array<std::wstring, kConfigKeyCount> configKeys = {
    text::kConfigKeyLocation,     text::kConfigKeyDataMode,       text::kConfigKeyDataType,
    text::kConfigKeyIdxCount,     text::kConfigKeyIdxNames,       text::kConfigKeyVoxbankCount,
    text::kConfigKeyVoxbankNames, text::kConfigKeySplitAddresses, text::kConfigKeyExportPath,
    text::kConfigKeyImportPath,
};

std::map<uint32_t, gameinfo> gameTable;

namespace {

using Pieces = std::vector<std::wstring>;
using GameMap = std::map<uint32_t, gameinfo>;

constexpr wchar_t kKeySeparator[] = L"=";
constexpr wchar_t kListSeparator[] = L"/";
constexpr wchar_t kRecordStart = L'#';
constexpr wchar_t kLineEnd[] = L"\r\n";

Pieces split(const std::wstring& text, const wchar_t* delimiters) {
    Pieces pieces;
    SplitString(text, delimiters, pieces);
    return pieces;
}

// Stream extraction in the classic locale (no digit grouping, whatever the user's locale):
// leading blanks are skipped, reading stops at the first character that is not part of the
// number, text that does not begin with one gives 0, and an empty or blank text leaves `value`
// as it was.
template <typename Number> void extractNumber(const std::wstring& text, Number& value, bool hex) {
    std::wistringstream in(text);
    in.imbue(std::locale::classic());
    if (hex)
        in >> std::hex;
    in >> value;
}

// A list longer than the record can hold is treated as no list at all: its count becomes 0,
// so the lists stay empty and every loop over the count stays inside them.
void readCount(const std::wstring& text, int32_t& count) {
    extractNumber(text, count, false);
    if (count > kGameListCapacity)
        count = 0;
}

// A list is taken only when its piece count equals its count (1 to the capacity).
bool listMatches(const Pieces& pieces, int32_t count) {
    return count > 0 && count <= kGameListCapacity && pieces.size() == size_t(count);
}

void readNames(const std::wstring& text, int32_t count,
               std::array<std::wstring, kGameListCapacity>& names) {
    Pieces pieces = split(text, kListSeparator);
    if (!listMatches(pieces, count))
        return;
    for (size_t i = 0; i < pieces.size(); ++i)
        names[i] = pieces[i];
}

void readSplitAddresses(const std::wstring& text, gameinfo& game) {
    if (text.empty()) {
        game.splitInfoMissing = true;
        return;
    }
    Pieces pieces = split(text, kListSeparator);
    if (!listMatches(pieces, game.voxbankCount))
        return;
    for (size_t i = 0; i < pieces.size(); ++i) {
        uint32_t address = 0; // an unreadable piece gives 0
        extractNumber(pieces[i], address, true);
        game.splitAddresses[i] = address;
    }
}

// The folder always ends with a separator. An empty value names the working directory rather
// than the root folder, so a forgotten location never sends files to the top of the drive.
std::wstring locationFolder(const std::wstring& value) {
    if (value.empty())
        return std::wstring(L".") + platform::kPathSeparator;
    if (platform::isPathSeparator(value.back()))
        return value;
    return value + platform::kPathSeparator;
}

// Case-sensitive: "z54" is not Z54, and anything unknown counts as 357.
int32_t dataTypeOf(const std::wstring& value) {
    const ContainerKind* kind = FindContainerKindByName(value);
    return kind != nullptr ? kind->dataType : kDataType357;
}

void convert(gameinfo& game, int key, std::wstring& value) {
    switch (key) {
    case kKeyLocation:
        game.location = locationFolder(value);
        break;
    case kKeyDataMode:
        // Upper-cased in place: the write-back keeps the upper-case text.
        value = platform::asciiUpper(value);
        game.bigEndian = value == text::kConfigDataModePs3;
        break;
    case kKeyDataType:
        game.dataType = dataTypeOf(value);
        break;
    case kKeyIdxCount:
        readCount(value, game.idxCount);
        break;
    case kKeyIdxNames:
        readNames(value, game.idxCount, game.idxNames);
        break;
    case kKeyVoxbankCount:
        readCount(value, game.voxbankCount);
        break;
    case kKeyVoxbankNames:
        readNames(value, game.voxbankCount, game.voxbankNames);
        break;
    case kKeySplitAddresses:
        readSplitAddresses(value, game);
        break;
    case kKeyExportPath:
        game.exportPath = value.empty() ? text::kConfigDefaultExportPath : value;
        break;
    case kKeyImportPath:
        game.importPath = value.empty() ? text::kConfigDefaultImportPath : value;
        break;
    }
}

// One line inside a record: "key=value". Any other shape names the first piece with an empty
// value; a line made only of "=" names nothing and is skipped.
void storeLine(gameinfo& game, const std::wstring& line) {
    Pieces pieces = split(line, kKeySeparator);
    if (pieces.empty())
        return;
    game.values[pieces[0]] = pieces.size() == 2 ? pieces[1] : std::wstring();
}

// Converts in key order once the whole record is read, so the counts are known before the
// lists, wherever the lines stand.
void finishRecord(gameinfo& game, uint32_t& counter, GameMap& games) {
    for (int key = 0; key < kConfigKeyCount; ++key)
        ParseGameValue(game, key);
    games.insert_or_assign(counter++, std::move(game));
}

// Reads every record up to the end of the data; false when the reader stops before it.
bool readGames(ReadTxtFileInMemQX& reader, GameMap& games) {
    std::unique_ptr<gameinfo> current;
    uint32_t counter = 1;
    std::wstring line;
    int32_t status;
    while ((status = reader.ReadLine(line)) == 0) {
        if (line.empty())
            continue;
        if (line[0] == kRecordStart) {
            if (current)
                finishRecord(*current, counter, games);
            current = std::make_unique<gameinfo>();
            current->name = line.substr(1);
        } else if (current) {
            storeLine(*current, line);
        }
    }
    if (status != -1)
        return false;
    if (current)
        finishRecord(*current, counter, games);
    return true;
}

bool loadGames(const std::wstring& path, GameMap& games) {
    if (FilePathExists(path) != 1)
        return false;
    std::unique_ptr<ReadTxtFileInMemQX> reader(CreateTxtReadInterface());
    if (!reader || reader->Open(path, kTextUcs2) != 0)
        return false;
    return readGames(*reader, games);
}

std::wstring configText() {
    std::wstring out;
    for (const auto& [number, game] : gameTable) {
        out += kRecordStart + game.name + kLineEnd;
        for (const std::wstring& key : configKeys) {
            auto found = game.values.find(key);
            if (found != game.values.end())
                out += key + kKeySeparator + found->second + kLineEnd;
        }
    }
    return out;
}

// The text goes to a temporary file beside the configuration and takes its place, on the disk,
// only when all of it is written: a failure at any point leaves the previous file as it was.
// The writer's Reopen closes the file and reports a close that lost data (-4); failing to open
// it again afterwards (-1) loses nothing.
bool writeConfigText(const std::wstring& path, const std::wstring& configuration) {
    const std::wstring temporary = path + kTemporaryFileSuffix;
    std::unique_ptr<WriteTxtFileQX> writer(CreateTxtWriteInterface());
    if (!writer)
        return false;
    bool written =
        writer->Open(temporary, true, kTextUcs2, false) == 0 && writer->Write(configuration) == 0;
    if (written) {
        int32_t status = writer->Reopen();
        written = status == 0 || status == -1;
    }
    writer->Close();
    if (!written) {
        platform::removeFile(temporary);
        return false;
    }
    return bool(CommitFileDurably(temporary, path));
}

} // namespace

void ParseGameValue(gameinfo& game, int key) {
    if (key < 0 || key >= kConfigKeyCount)
        return;
    auto found = game.values.find(configKeys[size_t(key)]);
    if (found != game.values.end())
        convert(game, key, found->second);
}

bool LoadGameConfig(const std::wstring& path) {
    return catchOutOfMemory(
        [&] {
            GameMap games;
            if (!loadGames(path, games))
                return false;
            for (auto& [number, game] : games)
                gameTable.insert_or_assign(number, std::move(game));
            return true;
        },
        [] { return false; });
}

bool SaveGameConfig(const std::wstring& path) {
    if (gameTable.empty())
        return false;
    return catchOutOfMemory([&] { return writeConfigText(path, configText()); },
                            [] { return false; });
}

} // namespace karv::cli
