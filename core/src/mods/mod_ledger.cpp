// The mod ledger and a mod step's intent: read with the mod files' shared reader (the intent
// holds a ledger, read by the same code), written key by key in a fixed order, one entry a line.
#include "karvcore/mod_ledger.h"

#include "boundary/boundary.h"
#include "boundary/exported_codes.h"
#include "boundary/messages.h"
#include "mods/json_reading.h"

#include <map>
#include <set>
#include <utility>

namespace karv {
namespace {

using modfile::ByteLength;
using modfile::Fields;
using modfile::Json;

const modfile::FileKind kLedgerKind{Error::ModLedgerInvalid, msg::kLedgerFile};
const modfile::FileKind kIntentKind{Error::ModIntentInvalid, msg::kIntentFile};

// Where a ledger stands: in a file of its own, or as the intent's "ledger".
struct LedgerPlace {
    const modfile::FileKind& kind;
    std::wstring at;      // where its keys are ("MOD 记录中")
    std::wstring prefix;  // before its keys ("ledger.")
    std::wstring members; // before its members' places
    const wchar_t* lead;  // of its members' places: "第 " or "的第 "
    std::wstring subject; // of its format
};

LedgerPlace ownLedger() {
    const std::wstring at = std::wstring(msg::kLedgerFile) + msg::kModFileIn;
    return {kLedgerKind, at, L"", at, msg::kModFileNth, msg::kLedgerFile};
}

LedgerPlace intentLedger() {
    const std::wstring subject = std::wstring(msg::kIntentFile) + msg::kIntentLedger;
    return {kIntentKind,           std::wstring(msg::kIntentFile) + msg::kModFileIn,
            msg::kIntentLedgerKey, subject,
            msg::kModFileNthOf,    subject};
}

// A name given before in one list: "与第 2 个 MOD 重复".
Status claimOnce(std::map<std::wstring, size_t>& seen, const std::wstring& name, size_t index,
                 const modfile::Value& value, const wchar_t* counted) {
    const auto claim = seen.emplace(name, index);
    if (claim.second)
        return Status();
    return value.bad(msg::kModFileSameAs + std::to_wstring(claim.first->second + 1) + counted +
                     msg::kModFileSameAsEnd);
}

// Entries and files are listed in ascending order, each once.
Status readAscending(const Fields& fields, const char* key, bool first, uint32_t previous,
                     uint32_t& out) {
    Status status = fields.number(key, out);
    if (status && !first && out <= previous)
        return fields.bad(key, msg::kModFileNotAscending);
    return status;
}

// ---- The ledger ----

Status readMods(const LedgerPlace& place, const Json& mods, std::vector<ModLedgerMod>& out) {
    std::map<std::wstring, size_t> names;
    return modfile::eachObject(place.kind, mods, place.members, msg::kLedgerMod, place.lead,
                               [&](const Fields& fields, size_t i) {
                                   ModLedgerMod mod;
                                   Status status = fields.name("name", mod.name);
                                   if (status)
                                       status = claimOnce(names, mod.name, i, fields.at("name"),
                                                          msg::kLedgerMod);
                                   if (status)
                                       status = fields.text("folder", mod.folder);
                                   if (status)
                                       out.push_back(std::move(mod));
                                   return status;
                               });
}

Status readLayers(const LedgerPlace& place, const Fields& entry,
                  const std::set<std::wstring>& listed, ByteLength& length,
                  std::vector<ModLayer>& out) {
    const Json* layers = nullptr;
    Status status = entry.array("layers", layers);
    if (status && layers->empty())
        return entry.bad("layers", msg::kModFileEmpty);
    std::map<std::wstring, size_t> mods;
    if (status)
        status = modfile::eachObject(place.kind, *layers, entry.where(), msg::kLedgerLayer,
                                     msg::kModFileNthOf, [&](const Fields& fields, size_t i) {
                                         ModLayer layer;
                                         Status read = fields.text("mod", layer.mod);
                                         if (read && listed.count(layer.mod) == 0)
                                             return fields.bad("mod", msg::kLedgerModUnlisted);
                                         if (read)
                                             read = claimOnce(mods, layer.mod, i, fields.at("mod"),
                                                              msg::kLedgerLayer);
                                         if (read)
                                             read = fields.bytes("bytes", layer.bytes, length);
                                         if (read)
                                             out.push_back(std::move(layer));
                                         return read;
                                     });
    return status;
}

Status readEntries(const LedgerPlace& place, const Json& entries,
                   const std::vector<ModLedgerMod>& mods, ByteLength& length,
                   std::vector<ModLedgerEntry>& out) {
    std::set<std::wstring> listed;
    for (const ModLedgerMod& mod : mods)
        listed.insert(mod.name);
    return modfile::eachObject(
        place.kind, entries, place.members, msg::kLedgerEntry, place.lead,
        [&](const Fields& fields, size_t i) {
            ModLedgerEntry entry;
            Status status =
                readAscending(fields, "entry", i == 0, i == 0 ? 0 : out.back().entry, entry.entry);
            if (status)
                status = fields.bytes("original", entry.original, length);
            if (status)
                status = readLayers(place, fields, listed, length, entry.layers);
            if (status)
                out.push_back(std::move(entry));
            return status;
        });
}

// The format first: a ledger of a later format is refused as such whatever else it holds.
Status readLedger(const LedgerPlace& place, const Json& object, ByteLength& length,
                  ModLedger& out) {
    const Fields top(place.kind, object, place.at, place.prefix);
    Status status = top.format("format", kModLedgerFormat, place.subject);
    if (status)
        status = top.type("type", out.type);
    if (status)
        status = top.mode("mode", out.mode);
    const Json* mods = nullptr;
    if (status)
        status = top.array("mods", mods);
    if (status)
        status = readMods(place, *mods, out.mods);
    const Json* entries = nullptr;
    if (status)
        status = top.array("entries", entries);
    if (status)
        status = readEntries(place, *entries, out.mods, length, out.entries);
    return status;
}

// ---- The intent ----

Status readIntentMods(const Fields& top, std::vector<std::wstring>& out) {
    const Json* mods = nullptr;
    Status status = top.array("mods", mods);
    if (status && mods->empty())
        return top.bad("mods", msg::kModFileEmpty);
    std::map<std::wstring, size_t> names;
    for (size_t i = 0; status && i < mods->size(); ++i) {
        const modfile::Value value(kIntentKind, (*mods)[i],
                                   top.where() + modfile::nth(i, msg::kIntentModName), false);
        std::wstring name;
        status = value.name(name);
        if (status)
            status = claimOnce(names, name, i, value, msg::kIntentModName);
        if (status)
            out.push_back(std::move(name));
    }
    return status;
}

Status readIntentHead(const Fields& top, ModIntent& out) {
    Status status = top.format("format", kModLedgerFormat, msg::kIntentFile);
    if (status)
        status = top.text("operation", out.operation);
    if (status && out.operation != L"MODADD" && out.operation != L"MODDEL" &&
        out.operation != L"MODREAPPLY")
        return top.bad("operation", msg::kIntentOperationValues);
    if (status)
        status = readIntentMods(top, out.mods);
    if (status)
        status = top.hash("backup", out.backup);
    return status;
}

Status readIntentFiles(const Fields& top, std::vector<ModIntentFile>& out) {
    const Json* files = nullptr;
    Status status = top.array("files", files);
    if (status)
        status = modfile::eachObject(kIntentKind, *files, top.where(), msg::kIntentFileMember,
                                     nullptr, [&](const Fields& fields, size_t i) {
                                         ModIntentFile file;
                                         Status read =
                                             readAscending(fields, "file", i == 0,
                                                           i == 0 ? 0 : out.back().file, file.file);
                                         if (read)
                                             read = fields.number("size", file.size);
                                         if (read)
                                             read = fields.number("from", file.from);
                                         if (read && file.from > file.size)
                                             return fields.bad("from", msg::kIntentFromBeyondSize);
                                         if (read)
                                             read = fields.hash("hash", file.hash);
                                         if (read)
                                             out.push_back(std::move(file));
                                         return read;
                                     });
    return status;
}

Status readIntentEntries(const Fields& top, ByteLength& length, std::vector<ModIntentEntry>& out) {
    const Json* entries = nullptr;
    Status status = top.array("entries", entries);
    if (status)
        status = modfile::eachObject(kIntentKind, *entries, top.where(), msg::kLedgerEntry, nullptr,
                                     [&](const Fields& fields, size_t i) {
                                         ModIntentEntry entry;
                                         Status read = readAscending(fields, "entry", i == 0,
                                                                     i == 0 ? 0 : out.back().entry,
                                                                     entry.entry);
                                         if (read)
                                             read = fields.bytes("before", entry.before, length);
                                         if (read)
                                             read = fields.bytes("after", entry.after, length);
                                         if (read)
                                             read = fields.number("slot", entry.slot);
                                         if (read)
                                             out.push_back(std::move(entry));
                                         return read;
                                     });
    return status;
}

Status readIntent(const Json& object, ModIntent& out) {
    const Fields top(kIntentKind, object, std::wstring(msg::kIntentFile) + msg::kModFileIn);
    ByteLength length;
    Status status = readIntentHead(top, out);
    if (status)
        status = readIntentFiles(top, out.files);
    if (status)
        status = readIntentEntries(top, length, out.entries);
    const Json* ledger = nullptr;
    if (status)
        status = top.object("ledger", ledger);
    if (status)
        status = readLedger(intentLedger(), *ledger, length, out.ledger);
    return status;
}

// ---- Writing ----

using modfile::quoted;
using modfile::quotedHex;

std::string entryLine(const ModLedgerEntry& entry) {
    std::string text = "{\"entry\": " + std::to_string(entry.entry) +
                       ", \"original\": " + quotedHex(entry.original) + ", \"layers\": [";
    for (size_t i = 0; i < entry.layers.size(); ++i)
        text += (i ? ", {\"mod\": " : "{\"mod\": ") + quoted(entry.layers[i].mod) +
                ", \"bytes\": " + quotedHex(entry.layers[i].bytes) + "}";
    return text + "]}";
}

// The ledger as an object whose closing brace is indented by `indent`.
std::string ledgerText(const ModLedger& ledger, const std::string& indent) {
    const std::string in = indent + "  ";
    std::string text = "{\n" + in + "\"format\": " + std::to_string(kModLedgerFormat) + ",\n";
    text += in + "\"type\": " + quoted(ledger.type) + ",\n";
    text += in + "\"mode\": " + quoted(ledger.mode) + ",\n";
    std::vector<std::string> lines;
    for (const ModLedgerMod& mod : ledger.mods)
        lines.push_back("{\"name\": " + quoted(mod.name) + ", \"folder\": " + quoted(mod.folder) +
                        "}");
    text += in + "\"mods\": " + modfile::linesArray(lines, in) + ",\n";
    lines.clear();
    for (const ModLedgerEntry& entry : ledger.entries)
        lines.push_back(entryLine(entry));
    text += in + "\"entries\": " + modfile::linesArray(lines, in) + "\n";
    return text + indent + "}";
}

std::string intentText(const ModIntent& intent) {
    std::string text = "{\n  \"format\": " + std::to_string(kModLedgerFormat) + ",\n";
    text += "  \"operation\": " + quoted(intent.operation) + ",\n";
    text += "  \"mods\": [";
    for (size_t i = 0; i < intent.mods.size(); ++i)
        text += (i ? ", " : "") + quoted(intent.mods[i]);
    text += "],\n  \"backup\": " + quoted(intent.backup) + ",\n";
    std::vector<std::string> lines;
    for (const ModIntentFile& file : intent.files)
        lines.push_back(
            "{\"file\": " + std::to_string(file.file) + ", \"size\": " + std::to_string(file.size) +
            ", \"from\": " + std::to_string(file.from) + ", \"hash\": " + quoted(file.hash) + "}");
    text += "  \"files\": " + modfile::linesArray(lines, "  ") + ",\n";
    lines.clear();
    for (const ModIntentEntry& entry : intent.entries)
        lines.push_back("{\"entry\": " + std::to_string(entry.entry) + ", \"before\": " +
                        quotedHex(entry.before) + ", \"after\": " + quotedHex(entry.after) +
                        ", \"slot\": " + std::to_string(entry.slot) + "}");
    text += "  \"entries\": " + modfile::linesArray(lines, "  ") + ",\n";
    return text + "  \"ledger\": " + ledgerText(intent.ledger, "  ") + "\n}\n";
}

// Reads a whole file into a value of its own, so that a refusal leaves `out` as it was.
template <typename Value, typename Read>
Status parseInto(const modfile::FileKind& kind, const uint8_t* bytes, size_t length, Value& out,
                 Read&& read) {
    Status status = guardMemory([&] {
        Json document;
        Status parsed = modfile::parseObject(kind, bytes, length, document);
        Value value;
        if (parsed)
            parsed = read(document, value);
        if (parsed)
            out = std::move(value);
        return parsed;
    });
    reportSucceeded(status);
    return status;
}

} // namespace

Status ParseModLedger(const uint8_t* bytes, size_t length, ModLedger& out) {
    return parseInto(kLedgerKind, bytes, length, out, [](const Json& document, ModLedger& ledger) {
        ByteLength byteLength;
        return readLedger(ownLedger(), document, byteLength, ledger);
    });
}

Status ParseModIntent(const uint8_t* bytes, size_t length, ModIntent& out) {
    return parseInto(kIntentKind, bytes, length, out, readIntent);
}

std::string WriteModLedger(const ModLedger& ledger) {
    return catchOutOfMemory([&] { return ledgerText(ledger, "") + "\n"; },
                            [] { return std::string(); });
}

std::string WriteModIntent(const ModIntent& intent) {
    return catchOutOfMemory([&] { return intentText(intent); }, [] { return std::string(); });
}

} // namespace karv
