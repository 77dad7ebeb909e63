// mod.json: read with nlohmann-json's exceptions off (every type is checked before a value is
// taken, since taking a value of the wrong type throws), written key by key in a fixed order.
#include "boundary/boundary.h"
#include "boundary/exported_codes.h"
#include "boundary/messages.h"
#include "karvcore/formats.h"
#include "karvcore/mods.h"
#include "platform/text.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <utility>

namespace karv {
namespace {

using Json = nlohmann::json;

// ---- Where the text stops being JSON, and keys given twice ----

// A first pass over the text: nlohmann's reader keeps the last of two equal keys without a word,
// and its refusal without exceptions says nothing about where the text went wrong.
class ManifestScan final : public nlohmann::json_sax<Json> {
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
    bool key(string_t& key) override {
        if (!keys_.back().insert(key).second && !twice_)
            twice_ = std::move(key);
        return true;
    }
    bool end_object() override {
        keys_.pop_back();
        return true;
    }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception&) override {
        failedAt_ = position;
        return false;
    }

    // The byte count at which the reader gave up (the offending byte included); 0 when it did
    // not.
    size_t failedAt() const { return failedAt_; }
    const std::optional<std::string>& keyTwice() const { return twice_; }

  private:
    std::vector<std::set<std::string>> keys_;
    std::optional<std::string> twice_;
    size_t failedAt_ = 0;
};

std::wstring wide(const std::string& utf8) {
    return platform::utf8ToWide(utf8);
}

Status invalid(std::wstring message) {
    return Status::failure(Error::ModManifestInvalid, std::move(message));
}

// The line (from 1) of the byte before `failedAt`: where a player looks for the mistake.
size_t lineAt(const uint8_t* bytes, size_t length, size_t failedAt) {
    const size_t end = failedAt == 0 ? 0 : std::min(failedAt - 1, length);
    size_t line = 1;
    for (size_t i = 0; i < end; ++i)
        line += bytes[i] == '\n';
    return line;
}

// Text cut short so that one line of a message holds it.
std::wstring shortened(std::wstring text) {
    constexpr size_t kLongest = 60;
    if (text.size() > kLongest)
        text = text.substr(0, kLongest) + msg::kManifestCut;
    return text;
}

// A value as the manifest writes it (a string in quotes), shortened.
std::wstring shownValue(const Json& value) {
    return shortened(wide(value.dump(-1, ' ', false, Json::error_handler_t::replace)));
}

// ---- The keys of one object ----

// Reads the keys of one object of the manifest, and says what is wrong in the manifest's words:
// `where` is the manifest or one of its members, `prefix` the key of the object inside a member
// ("original.").
class Fields {
  public:
    Fields(const Json& object, std::wstring where, std::wstring prefix = {})
        : object_(object), where_(std::move(where)), prefix_(std::move(prefix)) {}

    Status text(const char* key, std::wstring& out) const {
        const Json* value = nullptr;
        if (Status found = find(key, value); !found)
            return found;
        if (!value->is_string())
            return wrongType(key, msg::kManifestString);
        out = wide(value->get_ref<const std::string&>());
        return Status();
    }

    // A non-empty string.
    Status name(const char* key, std::wstring& out) const {
        Status status = text(key, out);
        if (status && out.empty())
            return bad(key, msg::kManifestEmptyName);
        return status;
    }

    // An integer that fits in 32 bits.
    Status number(const char* key, uint32_t& out) const {
        const Json* value = nullptr;
        if (Status found = find(key, value); !found)
            return found;
        if (!value->is_number())
            return wrongType(key, msg::kManifestInteger);
        uint64_t number = 0;
        if (value->is_number_unsigned())
            number = value->get<uint64_t>();
        else if (value->is_number_integer() && value->get<int64_t>() >= 0)
            number = uint64_t(value->get<int64_t>());
        else
            return bad(key, msg::kManifestNotInteger32);
        if (number > UINT32_MAX)
            return bad(key, msg::kManifestNotInteger32);
        out = uint32_t(number);
        return Status();
    }

    Status hash(const char* key, std::wstring& out) const {
        Status status = text(key, out);
        if (status && !isHashText(out))
            return bad(key, msg::kManifestHashValue);
        return status;
    }

    Status object(const char* key, const Json*& out) const {
        if (Status found = find(key, out); !found)
            return found;
        return out->is_object() ? Status() : wrongType(key, msg::kManifestObject);
    }

    Status array(const char* key, const Json*& out) const {
        if (Status found = find(key, out); !found)
            return found;
        return out->is_array() ? Status() : wrongType(key, msg::kManifestArray);
    }

    // The value of `key` (which is there) is not one the manifest may hold.
    Status bad(const char* key, const wchar_t* reason) const {
        return invalid(subject(key) + shown(key) + msg::kManifestBadValue + reason +
                       msg::kManifestBadValueEnd);
    }

    // The value of `key`, which is there, for a message.
    std::wstring shown(const char* key) const { return shownValue(*object_.find(key)); }

  private:
    static bool isHashText(const std::wstring& text) {
        if (text.size() != 32)
            return false;
        for (wchar_t c : text) {
            if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f')))
                return false;
        }
        return true;
    }

    Status find(const char* key, const Json*& value) const {
        const auto it = object_.find(key);
        if (it == object_.end())
            return invalid(where_ + msg::kManifestMissing + prefix_ + wide(key) +
                           msg::kManifestEnd);
        value = &*it;
        return Status();
    }

    Status wrongType(const char* key, const wchar_t* type) const {
        return invalid(subject(key) + msg::kManifestWrongType + type + msg::kManifestEnd);
    }

    std::wstring subject(const char* key) const {
        return where_ + msg::kManifestOf + prefix_ + wide(key) + L" ";
    }

    const Json& object_;
    std::wstring where_;
    std::wstring prefix_;
};

std::wstring memberPlace(size_t index) {
    return std::wstring(msg::kManifestAt) + msg::kManifestMember + std::to_wstring(index + 1) +
           msg::kManifestMemberEnd;
}

// ---- The manifest ----

// The top keys before the members, the format and the hash first: a manifest of a later
// format, or one hashed otherwise, is refused as such whatever else it holds.
Status readHead(const Fields& top, ModManifest& out) {
    Status status = top.number("format", out.format);
    if (status && out.format != kModManifestFormat)
        return Status::failure(Error::ModFormatUnknown, msg::kManifestFormatUnknown +
                                                            std::to_wstring(out.format) +
                                                            msg::kManifestFormatUnknownEnd);
    if (status)
        status = top.text("hash", out.hash);
    if (status && out.hash != kModHashName)
        return Status::failure(Error::ModHashUnknown, msg::kManifestHashUnknown +
                                                          top.shown("hash") +
                                                          msg::kManifestHashUnknownEnd);
    if (status)
        status = top.name("name", out.name);
    if (status)
        status = top.text("type", out.type);
    if (status && FindContainerKindByName(out.type) == nullptr)
        return top.bad("type", msg::kManifestTypeValues);
    if (status)
        status = top.text("mode", out.mode);
    if (status && out.mode != L"PC" && out.mode != L"PS3")
        return top.bad("mode", msg::kManifestModeValues);
    return status;
}

Status readPin(const Fields& fields, ModMemberPin& out) {
    Status status = fields.number("size", out.size);
    return status ? fields.hash("hash", out.hash) : status;
}

// One name, as an archive file of the game is named.
bool isFileName(const std::wstring& file) {
    return file.find(L'/') == std::wstring::npos && IsPackagePath(file);
}

Status readMember(const Json& value, size_t index, ModMember& out) {
    const std::wstring where = memberPlace(index);
    if (!value.is_object())
        return invalid(where + msg::kManifestWrongType + msg::kManifestObject + msg::kManifestEnd);
    const Fields fields(value, where);
    Status status = fields.name("file", out.file);
    if (status && !isFileName(out.file))
        return fields.bad("file", msg::kManifestFileValue);
    if (status)
        status = fields.number("entry", out.entry);
    if (status)
        status = fields.text("path", out.path);
    if (status && !IsPackagePath(out.path))
        return fields.bad("path", msg::kManifestPathValue);
    if (status)
        status = readPin(fields, out.data);
    const Json* original = nullptr;
    if (status)
        status = fields.object("original", original);
    if (status)
        status = readPin(Fields(*original, where, L"original."), out.original);
    return status;
}

// No two members may replace one member or write one file. Windows finds files and names
// without regard to the case of ASCII letters, so neither is compared with it.
class MemberClaims {
  public:
    explicit MemberClaims(bool spansFiles) : spansFiles_(spansFiles) {}

    Status claim(const ModMember& member, size_t index) {
        // A 357 archive numbers its entries across its files: the entry alone names the member.
        const std::wstring file = spansFiles_ ? std::wstring() : platform::asciiUpper(member.file);
        const auto entry = entries_.emplace(std::make_pair(file, member.entry), index);
        if (!entry.second) {
            const std::wstring which =
                spansFiles_ ? std::wstring() : shortened(member.file) + msg::kManifestSameEntryOf;
            return invalid(memberPlace(index) + msg::kManifestSameEntry +
                           std::to_wstring(entry.first->second + 1) +
                           msg::kManifestSameEntryMiddle + which + std::to_wstring(member.entry) +
                           msg::kManifestSameEntryEnd);
        }
        const auto path = paths_.emplace(platform::asciiUpper(member.path), index);
        if (!path.second)
            return invalid(memberPlace(index) + msg::kManifestSameEntry +
                           std::to_wstring(path.first->second + 1) + msg::kManifestSamePath +
                           shortened(member.path) + msg::kManifestBadValueEnd);
        return Status();
    }

  private:
    bool spansFiles_;
    std::map<std::pair<std::wstring, uint32_t>, size_t> entries_;
    std::map<std::wstring, size_t> paths_;
};

Status readMembers(const Fields& top, ModManifest& out) {
    const Json* members = nullptr;
    Status status = top.array("members", members);
    if (!status)
        return status;
    if (members->empty())
        return invalid(msg::kManifestNoMembers);
    const ContainerKind* kind = FindContainerKindByName(out.type);
    MemberClaims claims(kind != nullptr && kind->spansFiles);
    out.members.reserve(members->size());
    for (size_t i = 0; i < members->size() && status; ++i) {
        ModMember member;
        status = readMember((*members)[i], i, member);
        if (status)
            status = claims.claim(member, i);
        if (status)
            out.members.push_back(std::move(member));
    }
    return status;
}

Status readManifest(const uint8_t* bytes, size_t length, ModManifest& out) {
    const char* text = reinterpret_cast<const char*>(bytes);
    std::wstring decoded;
    if (!platform::codePageToWide(platform::kCodePageUtf8, text, length, decoded))
        return invalid(msg::kManifestNotUtf8);
    decoded = std::wstring();

    ManifestScan scan;
    if (!Json::sax_parse(text, text + length, &scan))
        return invalid(msg::kManifestNotJson +
                       std::to_wstring(lineAt(bytes, length, scan.failedAt())) +
                       msg::kManifestNotJsonEnd);
    if (scan.keyTwice())
        return invalid(msg::kManifestKeyTwice + shownValue(Json(*scan.keyTwice())) +
                       msg::kManifestKeyTwiceEnd);
    const Json document = Json::parse(text, text + length, nullptr, false);
    if (document.is_discarded())
        return invalid(msg::kManifestNotJson + std::to_wstring(1) + msg::kManifestNotJsonEnd);
    if (!document.is_object())
        return invalid(msg::kManifestNotObject);

    const Fields top(document, msg::kManifestAt);
    ModManifest manifest;
    Status status = readHead(top, manifest);
    if (status)
        status = readMembers(top, manifest);
    if (status)
        out = std::move(manifest);
    return status;
}

// ---- Writing ----

std::string quoted(const std::wstring& text) {
    return Json(platform::wideToUtf8(text)).dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string pinText(const ModMemberPin& pin) {
    return "\"size\": " + std::to_string(pin.size) + ", \"hash\": " + quoted(pin.hash);
}

std::string memberLine(const ModMember& member) {
    return "{\"file\": " + quoted(member.file) + ", \"entry\": " + std::to_string(member.entry) +
           ", \"path\": " + quoted(member.path) + ", " + pinText(member.data) +
           ", \"original\": {" + pinText(member.original) + "}}";
}

} // namespace

Status ParseModManifest(const uint8_t* bytes, size_t length, ModManifest& out) {
    static const uint8_t kNothing = 0;
    Status status =
        guardMemory([&] { return readManifest(bytes ? bytes : &kNothing, length, out); });
    reportSucceeded(status);
    return status;
}

std::string WriteModManifest(const ModManifest& manifest) {
    return catchOutOfMemory(
        [&] {
            std::string text = "{\n  \"format\": " + std::to_string(manifest.format) + ",\n";
            text += "  \"name\": " + quoted(manifest.name) + ",\n";
            text += "  \"type\": " + quoted(manifest.type) + ",\n";
            text += "  \"mode\": " + quoted(manifest.mode) + ",\n";
            text += "  \"hash\": " + quoted(manifest.hash) + ",\n";
            text += "  \"members\": [";
            for (size_t i = 0; i < manifest.members.size(); ++i)
                text += (i ? ",\n    " : "\n    ") + memberLine(manifest.members[i]);
            text += manifest.members.empty() ? "]\n}\n" : "\n  ]\n}\n";
            return text;
        },
        [] { return std::string(); });
}

} // namespace karv
