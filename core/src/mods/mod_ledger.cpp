// The ledger and the intent: read with nlohmann-json's exceptions off, every type checked
// before a value is taken, and written key by key in a fixed order.
#include "karvcore/mod_ledger.h"
#include "boundary/boundary.h"
#include "boundary/exported_codes.h"
#include "boundary/messages.h"
#include "platform/text.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace karv {
namespace {

using Json = nlohmann::json;

// Refuses text that is not JSON or that gives a key twice in one object.
class KeyScan final : public nlohmann::json_sax<Json> {
  public:
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override {
        keys_.emplace_back();
        return true;
    }
    bool key(string_t& key) override { return keys_.back().insert(key).second; }
    bool end_object() override {
        keys_.pop_back();
        return true;
    }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

  private:
    std::vector<std::set<std::string>> keys_;
};

// One reading of a file: the first rule broken ends it, with where.
class Reader {
  public:
    Reader(Error error, const wchar_t* file) : error_(error), file_(file) {}

    bool failed() const { return !why_.empty(); }
    Status failure() const {
        return Status::failure(error_, file_ + std::wstring(msg::kLedgerInvalidAt) + why_ +
                                           msg::kLedgerInvalidEnd);
    }
    bool fail(const std::wstring& where) {
        if (why_.empty())
            why_ = where.empty() ? L"?" : where;
        return false;
    }

    const Json* field(const Json& object, const char* key, const std::wstring& where) {
        if (!object.is_object())
            return fail(where), nullptr;
        auto found = object.find(key);
        if (found == object.end())
            return fail(where + utf8ToWideKey(key)), nullptr;
        return &*found;
    }
    bool text(const Json& object, const char* key, const std::wstring& where, std::wstring& out) {
        const Json* value = field(object, key, where);
        if (value == nullptr || !value->is_string())
            return fail(where + utf8ToWideKey(key));
        out = platform::utf8ToWide(value->get<std::string>());
        return true;
    }
    bool number(const Json& object, const char* key, const std::wstring& where, uint64_t limit,
                uint64_t& out) {
        const Json* value = field(object, key, where);
        if (value == nullptr || !value->is_number_unsigned() || value->get<uint64_t>() > limit)
            return fail(where + utf8ToWideKey(key));
        out = value->get<uint64_t>();
        return true;
    }
    bool number32(const Json& object, const char* key, const std::wstring& where, uint32_t& out) {
        uint64_t value = 0;
        if (!number(object, key, where, UINT32_MAX, value))
            return false;
        out = uint32_t(value);
        return true;
    }
    const Json* array(const Json& object, const char* key, const std::wstring& where) {
        const Json* value = field(object, key, where);
        if (value == nullptr || !value->is_array())
            return fail(where + utf8ToWideKey(key)), nullptr;
        return value;
    }
    // Lowercase hex of whole bytes, as long as every other in the file.
    bool bytes(const Json& object, const char* key, const std::wstring& where,
               std::vector<uint8_t>& out) {
        std::wstring hex;
        if (!text(object, key, where, hex))
            return false;
        const size_t count = hex.size() / 2;
        if (hex.size() % 2 != 0 || count == 0 || count > kMaxModEntryBytes ||
            (entryLength_ != 0 && count != entryLength_))
            return fail(where + utf8ToWideKey(key));
        out.assign(count, 0);
        for (size_t i = 0; i < hex.size(); ++i) {
            const int digit = hexDigit(hex[i]);
            if (digit < 0)
                return fail(where + utf8ToWideKey(key));
            out[i / 2] = uint8_t(out[i / 2] << 4 | digit);
        }
        entryLength_ = count;
        return true;
    }
    bool hash(const Json& object, const char* key, const std::wstring& where, std::wstring& out) {
        if (!text(object, key, where, out))
            return false;
        bool ok = out.size() == 32;
        for (wchar_t c : out)
            ok &= hexDigit(c) >= 0;
        return ok || fail(where + utf8ToWideKey(key));
    }

    static std::wstring utf8ToWideKey(const char* key) { return platform::utf8ToWide(key); }
    static std::wstring at(const char* array, size_t index) {
        return platform::utf8ToWide(array) + L"[" + std::to_wstring(index) + L"].";
    }

  private:
    static int hexDigit(wchar_t c) {
        if (c >= L'0' && c <= L'9')
            return c - L'0';
        if (c >= L'a' && c <= L'f')
            return c - L'a' + 10;
        return -1;
    }

    Error error_;
    const wchar_t* file_;
    std::wstring why_;
    size_t entryLength_ = 0;
};

// The document, or none (the reader failed) for text that is not UTF-8 JSON without repeated
// keys.
std::optional<Json> document(const uint8_t* bytes, size_t length, Reader& reader) {
    if (length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        bytes += 3;
        length -= 3;
    }
    const std::string text(reinterpret_cast<const char*>(bytes), length);
    KeyScan scan;
    if (!Json::sax_parse(text, &scan, Json::input_format_t::json, false)) {
        reader.fail(msg::kLedgerNotJson);
        return std::nullopt;
    }
    Json parsed = Json::parse(text, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) {
        reader.fail(msg::kLedgerNotJson);
        return std::nullopt;
    }
    return parsed;
}

bool readFormat(const Json& root, Reader& reader, Status& unknown) {
    uint64_t format = 0;
    if (!reader.number(root, "format", L"", UINT32_MAX, format))
        return false;
    if (format != kModLedgerFormat) {
        unknown = Status::failure(Error::ModFormatUnknown, msg::kLedgerFormatUnknown +
                                                               std::to_wstring(format) +
                                                               msg::kManifestFormatUnknownEnd);
        return false;
    }
    return true;
}

bool readLedger(const Json& root, const std::wstring& where, Reader& reader, ModLedger& ledger) {
    if (!reader.text(root, "type", where, ledger.type) ||
        !reader.text(root, "mode", where, ledger.mode))
        return false;
    if (ledger.type != L"357" && ledger.type != L"Z54" && ledger.type != L"358")
        return reader.fail(where + L"type");
    if (ledger.mode != L"PC" && ledger.mode != L"PS3")
        return reader.fail(where + L"mode");
    const Json* mods = reader.array(root, "mods", where);
    if (mods == nullptr)
        return false;
    std::set<std::wstring> names;
    for (size_t i = 0; i < mods->size(); ++i) {
        ModLedgerMod mod;
        const std::wstring at = where + Reader::at("mods", i);
        if (!reader.text((*mods)[i], "name", at, mod.name) ||
            !reader.text((*mods)[i], "folder", at, mod.folder))
            return false;
        if (mod.name.empty() || !names.insert(mod.name).second)
            return reader.fail(at + L"name");
        ledger.mods.push_back(std::move(mod));
    }
    const Json* entries = reader.array(root, "entries", where);
    if (entries == nullptr)
        return false;
    for (size_t i = 0; i < entries->size(); ++i) {
        ModLedgerEntry entry;
        const std::wstring at = where + Reader::at("entries", i);
        const Json& e = (*entries)[i];
        if (!reader.number32(e, "entry", at, entry.entry) ||
            !reader.bytes(e, "original", at, entry.original))
            return false;
        if (!ledger.entries.empty() && entry.entry <= ledger.entries.back().entry)
            return reader.fail(at + L"entry");
        const Json* layers = reader.array(e, "layers", at);
        if (layers == nullptr)
            return false;
        if (layers->empty())
            return reader.fail(at + L"layers");
        std::set<std::wstring> seen;
        for (size_t l = 0; l < layers->size(); ++l) {
            ModLayer layer;
            const std::wstring layerAt = at + Reader::at("layers", l);
            if (!reader.text((*layers)[l], "mod", layerAt, layer.mod) ||
                !reader.bytes((*layers)[l], "bytes", layerAt, layer.bytes))
                return false;
            if (names.count(layer.mod) == 0 || !seen.insert(layer.mod).second)
                return reader.fail(layerAt + L"mod");
            entry.layers.push_back(std::move(layer));
        }
        ledger.entries.push_back(std::move(entry));
    }
    return true;
}

bool readIntent(const Json& root, Reader& reader, ModIntent& intent) {
    if (!reader.text(root, "operation", L"", intent.operation))
        return false;
    if (intent.operation != L"MODADD" && intent.operation != L"MODDEL" &&
        intent.operation != L"MODREAPPLY")
        return reader.fail(L"operation");
    const Json* mods = reader.array(root, "mods", L"");
    if (mods == nullptr)
        return false;
    if (mods->empty())
        return reader.fail(L"mods");
    for (size_t i = 0; i < mods->size(); ++i) {
        if (!(*mods)[i].is_string())
            return reader.fail(Reader::at("mods", i));
        intent.mods.push_back(platform::utf8ToWide((*mods)[i].get<std::string>()));
    }
    if (!reader.hash(root, "backup", L"", intent.backup))
        return false;
    const Json* files = reader.array(root, "files", L"");
    if (files == nullptr)
        return false;
    for (size_t i = 0; i < files->size(); ++i) {
        ModIntentFile file;
        const std::wstring at = Reader::at("files", i);
        const Json& f = (*files)[i];
        if (!reader.number32(f, "file", at, file.file) ||
            !reader.number(f, "size", at, UINT64_MAX, file.size) ||
            !reader.number(f, "from", at, UINT64_MAX, file.from) ||
            !reader.hash(f, "hash", at, file.hash))
            return false;
        if (file.from > file.size)
            return reader.fail(at + L"from");
        if (!intent.files.empty() && file.file <= intent.files.back().file)
            return reader.fail(at + L"file");
        intent.files.push_back(std::move(file));
    }
    const Json* entries = reader.array(root, "entries", L"");
    if (entries == nullptr)
        return false;
    for (size_t i = 0; i < entries->size(); ++i) {
        ModIntentEntry entry;
        const std::wstring at = Reader::at("entries", i);
        const Json& e = (*entries)[i];
        if (!reader.number32(e, "entry", at, entry.entry) ||
            !reader.bytes(e, "before", at, entry.before) ||
            !reader.bytes(e, "after", at, entry.after) ||
            !reader.number32(e, "slot", at, entry.slot))
            return false;
        if (!intent.entries.empty() && entry.entry <= intent.entries.back().entry)
            return reader.fail(at + L"entry");
        intent.entries.push_back(std::move(entry));
    }
    const Json* ledger = reader.field(root, "ledger", L"");
    if (ledger == nullptr)
        return false;
    if (!ledger->is_object())
        return reader.fail(L"ledger");
    return readLedger(*ledger, L"ledger.", reader, intent.ledger);
}

// ---- Writing ----

std::string hexOf(const std::vector<uint8_t>& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t b : bytes) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}

std::string quoted(const std::wstring& text) {
    return Json(platform::wideToUtf8(text)).dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string q(const std::string& text) {
    return "\"" + text + "\"";
}

std::string ledgerText(const ModLedger& ledger, const std::string& indent) {
    std::string out = "{\"format\": 1, \"type\": " + quoted(ledger.type) +
                      ", \"mode\": " + quoted(ledger.mode) + ",\n" + indent + " \"mods\": [";
    for (size_t i = 0; i < ledger.mods.size(); ++i)
        out += std::string(i == 0 ? "" : ",") + "\n" + indent +
               "  {\"name\": " + quoted(ledger.mods[i].name) +
               ", \"folder\": " + quoted(ledger.mods[i].folder) + "}";
    out += "],\n" + indent + " \"entries\": [";
    for (size_t i = 0; i < ledger.entries.size(); ++i) {
        const ModLedgerEntry& e = ledger.entries[i];
        out += std::string(i == 0 ? "" : ",") + "\n" + indent +
               "  {\"entry\": " + std::to_string(e.entry) +
               ", \"original\": " + q(hexOf(e.original)) + ", \"layers\": [";
        for (size_t l = 0; l < e.layers.size(); ++l)
            out += std::string(l == 0 ? "" : ", ") + "{\"mod\": " + quoted(e.layers[l].mod) +
                   ", \"bytes\": " + q(hexOf(e.layers[l].bytes)) + "}";
        out += "]}";
    }
    return out + "]}";
}

} // namespace

Status ParseModLedger(const uint8_t* bytes, size_t length, ModLedger& out) {
    Status status = guardMemory([&] {
        Reader reader(Error::ModLedgerInvalid, msg::kLedgerName);
        std::optional<Json> root = document(bytes, length, reader);
        Status unknown;
        ModLedger ledger;
        if (!root || !readFormat(*root, reader, unknown) || !readLedger(*root, L"", reader, ledger))
            return unknown ? reader.failure() : unknown;
        out = std::move(ledger);
        return Status();
    });
    reportSucceeded(status);
    return status;
}

Status ParseModIntent(const uint8_t* bytes, size_t length, ModIntent& out) {
    Status status = guardMemory([&] {
        Reader reader(Error::ModIntentInvalid, msg::kIntentName);
        std::optional<Json> root = document(bytes, length, reader);
        Status unknown;
        ModIntent intent;
        if (!root || !readFormat(*root, reader, unknown) || !readIntent(*root, reader, intent))
            return unknown ? reader.failure() : unknown;
        out = std::move(intent);
        return Status();
    });
    reportSucceeded(status);
    return status;
}

std::string WriteModLedger(const ModLedger& ledger) {
    std::string text;
    catchOutOfMemory([&] { text = ledgerText(ledger, "") + "\n"; }, [&] { text.clear(); });
    return text;
}

std::string WriteModIntent(const ModIntent& intent) {
    std::string text;
    catchOutOfMemory(
        [&] {
            std::string out =
                "{\"format\": 1, \"operation\": " + quoted(intent.operation) + ", \"mods\": [";
            for (size_t i = 0; i < intent.mods.size(); ++i)
                out += std::string(i == 0 ? "" : ", ") + quoted(intent.mods[i]);
            out += "], \"backup\": " + quoted(intent.backup) + ",\n \"files\": [";
            for (size_t i = 0; i < intent.files.size(); ++i) {
                const ModIntentFile& f = intent.files[i];
                out += std::string(i == 0 ? "" : ",") + "\n  {\"file\": " + std::to_string(f.file) +
                       ", \"size\": " + std::to_string(f.size) +
                       ", \"from\": " + std::to_string(f.from) + ", \"hash\": " + quoted(f.hash) +
                       "}";
            }
            out += "],\n \"entries\": [";
            for (size_t i = 0; i < intent.entries.size(); ++i) {
                const ModIntentEntry& e = intent.entries[i];
                out += std::string(i == 0 ? "" : ",") +
                       "\n  {\"entry\": " + std::to_string(e.entry) +
                       ", \"before\": " + q(hexOf(e.before)) + ", \"after\": " + q(hexOf(e.after)) +
                       ", \"slot\": " + std::to_string(e.slot) + "}";
            }
            text = out + "],\n \"ledger\": " + ledgerText(intent.ledger, " ") + "}\n";
        },
        [&] { text.clear(); });
    return text;
}

} // namespace karv
