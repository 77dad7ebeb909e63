// mod.json: read with the mod files' shared reader (mods/json_reading.h), written key by key in
// a fixed order.
#include "boundary/boundary.h"
#include "boundary/exported_codes.h"
#include "boundary/messages.h"
#include "karvcore/formats.h"
#include "karvcore/mods.h"
#include "mods/json_reading.h"
#include "platform/text.h"

#include <map>
#include <utility>

namespace karv {
namespace {

using modfile::Fields;
using modfile::Json;
using modfile::shortened;

const modfile::FileKind kManifest{Error::ModManifestInvalid, msg::kManifestFile};

Status invalid(std::wstring message) {
    return modfile::invalid(kManifest, std::move(message));
}

std::wstring manifestAt() {
    return std::wstring(msg::kManifestFile) + msg::kModFileIn;
}

std::wstring memberPlace(size_t index) {
    return manifestAt() + modfile::nth(index, msg::kManifestMember);
}

// ---- The manifest ----

// The top keys before the members, the format and the hash first: a manifest of a later
// format, or one hashed otherwise, is refused as such whatever else it holds.
Status readHead(const Fields& top, ModManifest& out) {
    Status status = top.format("format", kModManifestFormat, msg::kManifestFile);
    if (status)
        out.format = kModManifestFormat;
    if (status)
        status = top.text("hash", out.hash);
    if (status && out.hash != kModHashName)
        return Status::failure(Error::ModHashUnknown,
                               msg::kManifestHashUnknown +
                                   modfile::shownValue(top.at("hash").json()) +
                                   msg::kManifestHashUnknownEnd);
    if (status)
        status = top.name("name", out.name);
    if (status)
        status = top.type("type", out.type);
    if (status)
        status = top.mode("mode", out.mode);
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

Status readMember(const Fields& fields, ModMember& out) {
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
    if (!status)
        return status;
    const Fields originalFields(kManifest, *original, fields.where(), L"original.");
    status = readPin(originalFields, out.original);
    if (status && originalFields.has("stored")) {
        const Json* stored = nullptr;
        status = originalFields.object("stored", stored);
        out.stored.emplace();
        if (status)
            status = readPin(Fields(kManifest, *stored, fields.where(), L"original.stored."),
                             *out.stored);
    }
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
                           shortened(member.path) + msg::kModFileBadValueEnd);
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
    return modfile::eachObject(kManifest, *members, manifestAt(), msg::kManifestMember, nullptr,
                               [&](const Fields& fields, size_t i) {
                                   ModMember member;
                                   Status read = readMember(fields, member);
                                   if (read)
                                       read = claims.claim(member, i);
                                   if (read)
                                       out.members.push_back(std::move(member));
                                   return read;
                               });
}

Status readManifest(const uint8_t* bytes, size_t length, ModManifest& out) {
    Json document;
    Status status = modfile::parseObject(kManifest, bytes, length, document);
    if (!status)
        return status;
    const Fields top(kManifest, document, manifestAt());
    ModManifest manifest;
    status = readHead(top, manifest);
    if (status)
        status = readMembers(top, manifest);
    if (status)
        out = std::move(manifest);
    return status;
}

// ---- Writing ----

using modfile::quoted;

std::string pinText(const ModMemberPin& pin) {
    return "\"size\": " + std::to_string(pin.size) + ", \"hash\": " + quoted(pin.hash);
}

std::string memberLine(const ModMember& member) {
    return "{\"file\": " + quoted(member.file) + ", \"entry\": " + std::to_string(member.entry) +
           ", \"path\": " + quoted(member.path) + ", " + pinText(member.data) +
           ", \"original\": {" + pinText(member.original) +
           (member.stored ? ", \"stored\": {" + pinText(*member.stored) + "}" : std::string()) +
           "}}";
}

} // namespace

Status ParseModManifest(const uint8_t* bytes, size_t length, ModManifest& out) {
    Status status = guardMemory([&] { return readManifest(bytes, length, out); });
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
            std::vector<std::string> members;
            members.reserve(manifest.members.size());
            for (const ModMember& member : manifest.members)
                members.push_back(memberLine(member));
            text += "  \"members\": " + modfile::linesArray(members, "  ") + "\n}\n";
            return text;
        },
        [] { return std::string(); });
}

} // namespace karv
