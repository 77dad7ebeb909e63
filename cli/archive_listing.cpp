// LIST: what each entry of an archive is, from the heads of its members, as lines or as one
// JSON document.
#include "archive_commands.h"
#include "archive_view.h"
#include "console.h"
#include "json_text.h"
#include "karvcore/archive.h"
#include "program_state.h"
#include "selection.h"
#include "texts.h"

namespace karv::cli {
namespace {

using json = nlohmann::ordered_json;

std::wstring hexOf(const uint8_t* bytes, uint32_t count) {
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring out;
    for (uint32_t i = 0; i < count; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

std::wstring storageName(const ListedEntry& e) {
    return e.storage != nullptr ? e.storage->name : L"raw";
}

// Whether the entry points into what was appended since the backup; none without a saved size.
std::optional<bool> imported(const ArchiveView& view, const ListedEntry& e) {
    std::optional<uint64_t> saved = view.savedSize(e.file);
    if (!saved)
        return std::nullopt;
    return e.offset >= *saved;
}

// ---- Lines ----

std::wstring textureText(const ListedTexture& t) {
    if (t.format.empty())
        return text::kListUnsupported + std::to_wstring(t.code);
    return t.format + L" " + std::to_wstring(t.width) + L"x" + std::to_wstring(t.height) + L" " +
           std::to_wstring(t.mipmaps) + text::kListMipmaps;
}

std::wstring texturesText(const std::vector<ListedTexture>& textures) {
    std::wstring out;
    for (const ListedTexture& t : textures)
        out += (out.empty() ? text::kListColon : text::kListListComma) + textureText(t);
    return out;
}

std::wstring contentText(const ListedEntry& e) {
    switch (e.content) {
    case ListedEntry::Content::Texture:
        return text::kListTexture + std::to_wstring(e.textureCount) + text::kListTextureCount +
               texturesText(e.textures);
    case ListedEntry::Content::Blob:
        return text::kListBlob + std::to_wstring(e.subFiles) + text::kListBlobCount +
               (e.textures.empty() ? L"" : text::kListBlobTextures + texturesText(e.textures));
    case ListedEntry::Content::Damaged:
        return text::kListDamaged + e.damage;
    case ListedEntry::Content::Other:
        break;
    }
    return text::kListOther + hexOf(e.magic, e.magicLength);
}

std::wstring entryLine(const ArchiveView& view, const ListedEntry& e) {
    const std::wstring head = std::to_wstring(e.entry) + L"\t" + view.nameOf(e.file) + L"\t";
    if (!e.used) {
        const std::wstring none = text::kListNone;
        return head + none + L"\t" + none + L"\t" + none + L"\t" + text::kListUnused + L"\t" +
               none + L"\t" + none + L"\n";
    }
    const std::optional<bool> in = imported(view, e);
    return head + std::to_wstring(e.offset) + L"\t" + std::to_wstring(e.stored) + L"\t" +
           std::to_wstring(e.size) + L"\t" +
           (e.storage != nullptr ? std::wstring(e.storage->name) : text::kListRaw) + L"\t" +
           contentText(e) + L"\t" +
           (!in   ? text::kListNone
            : *in ? text::kListYes
                  : text::kListNo) +
           L"\n";
}

std::wstring fileLine(const ArchiveView& view, int32_t k) {
    const ViewedFile& file = view.files[size_t(k)];
    std::wstring line = text::kListFileLine + file.name;
    if (!file.size)
        line += text::kListFileUnmeasured;
    else
        line += text::kListFileSize + std::to_wstring(*file.size) + text::kListBytes;
    if (std::optional<uint64_t> saved = view.savedSize(k))
        return line + text::kListBackupSize + std::to_wstring(*saved) + text::kListBytes + L"\n";
    return line + text::kListNoBackup;
}

// ---- JSON ----

json textureJson(const ListedTexture& t) {
    json out = json::object();
    if (t.format.empty())
        out["format"] = nullptr;
    else
        out["format"] = jsonText(t.format);
    out["code"] = t.code;
    out["width"] = t.width;
    out["height"] = t.height;
    out["mipmaps"] = t.mipmaps;
    if (t.subFile != 0)
        out["subfile"] = t.subFile;
    return out;
}

const char* contentName(ListedEntry::Content content) {
    switch (content) {
    case ListedEntry::Content::Texture:
        return "g1t";
    case ListedEntry::Content::Blob:
        return "blob";
    case ListedEntry::Content::Damaged:
        return "damaged";
    case ListedEntry::Content::Other:
        break;
    }
    return "other";
}

json entryJson(const ArchiveView& view, const ListedEntry& e) {
    json out = json::object();
    out["file"] = jsonText(view.nameOf(e.file));
    out["entry"] = e.entry;
    if (!e.used) {
        out["storage"] = "unused";
        return out;
    }
    out["offset"] = e.offset;
    out["stored"] = e.stored;
    out["storage"] = jsonText(storageName(e));
    out["size"] = e.size;
    out["content"] = contentName(e.content);
    out["magic"] = jsonText(hexOf(e.magic, e.magicLength));
    if (e.content == ListedEntry::Content::Blob)
        out["subfiles"] = e.subFiles;
    if (e.content == ListedEntry::Content::Texture || e.content == ListedEntry::Content::Blob) {
        out["textures"] = json::array();
        for (const ListedTexture& t : e.textures)
            out["textures"].push_back(textureJson(t));
    }
    if (e.content == ListedEntry::Content::Damaged)
        out["damage"] = jsonText(e.damage);
    const std::optional<bool> in = imported(view, e);
    out["imported"] = in ? json(*in) : json(nullptr);
    return out;
}

json fileJson(const ArchiveView& view, int32_t k) {
    const ViewedFile& file = view.files[size_t(k)];
    json out = json::object();
    out["name"] = jsonText(file.name);
    out["size"] = file.size ? json(*file.size) : json(nullptr);
    const bool backup = view.backupChecked && view.backup.exists;
    out["backup"] = backup;
    const std::optional<uint64_t> saved = view.savedSize(k);
    out["backup_size"] = saved ? json(*saved) : json(nullptr);
    return out;
}

// ---- The run ----

struct Listing {
    const CommandTarget& target;
    json document = json::object();
    uint32_t entries = 0;
    uint32_t unused = 0;
    bool failed = false;

    explicit Listing(const CommandTarget& t) : target(t) {
        const gameinfo& game = t.game;
        document["game"] = jsonText(game.name);
        const ContainerKind* kind = FindContainerKind(game.dataType);
        document["type"] = kind != nullptr ? jsonText(kind->name) : json(nullptr);
        document["mode"] = game.bigEndian ? "PS3" : "PC";
        document["files"] = json::array();
        document["entries"] = json::array();
    }

    void listFile(int32_t fileIndex);
};

void Listing::listFile(int32_t fileIndex) {
    const bool asJson = target.report.json();
    const ArchiveSelection selection = SelectArchive(target.game, fileIndex, false);
    const ArchiveView view = ViewArchive(selection, target.game);
    for (int32_t k = 0; k < int32_t(view.files.size()); ++k) {
        if (asJson)
            document["files"].push_back(fileJson(view, k));
        else
            print(fileLine(view, k));
    }
    if (!asJson)
        print(text::kListHeader);
    Status listed = ListArchive(view.request, [&](const ListedEntry& e) {
        ++entries;
        unused += e.used ? 0 : 1;
        if (asJson)
            document["entries"].push_back(entryJson(view, e));
        else
            print(entryLine(view, e));
    });
    if (listed)
        return;
    failed = true;
    if (!asJson)
        return print(text::kListFailedBecause + listed.message() + L"\n");
    json& files = document["files"];
    files[files.size() - 1]["error"] = jsonText(listed.message());
}

} // namespace

int ListArchives(const CommandTarget& target) {
    Listing listing(target);
    for (int32_t file : target.files)
        listing.listFile(file);
    if (target.report.json())
        printJson(listing.document);
    else
        print(text::kListDone + std::to_wstring(listing.entries) + text::kListDoneUnused +
              std::to_wstring(listing.unused) + text::kListDoneEnd);
    return listing.failed ? kExitFailed : kExitDone;
}

} // namespace karv::cli
