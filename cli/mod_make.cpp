// MODMAKE: the edited files of a game's import folders packed as a mod that a player can share,
// each pinned to the original member it replaces (as the backup saved it). Everything is read
// and checked first; the package is written only when all of it passed, its manifest last.
#include "archive_commands.h"
#include "archive_import.h"
#include "archive_operations.h"
#include "console.h"
#include "files.h"
#include "karvcore/archive.h"
#include "karvcore/files.h"
#include "karvcore/mods.h"
#include "platform/filesystem.h"
#include "platform/text.h"
#include "selection.h"
#include "texts.h"

#include <algorithm>
#include <map>

namespace karv::cli {
namespace {

using platform::kPathSeparator;

// One edited file of an import folder that goes into the package.
struct Packed {
    std::wstring sourcePath; // in the import folder
    std::wstring name;       // its file name there
    ModMember member;
};

std::wstring lastName(std::wstring folder) {
    while (!folder.empty() && (folder.back() == L'/' || folder.back() == kPathSeparator))
        folder.pop_back();
    const size_t cut = folder.find_last_of(std::wstring(L"/") + kPathSeparator);
    return cut == std::wstring::npos ? folder : folder.substr(cut + 1);
}

// True when `folder` is `outer` or lies below it (both absolute).
bool isWithin(const std::wstring& folder, const std::wstring& outer) {
    const std::wstring inner = withTrailingSeparator(folder);
    const std::wstring top = withTrailingSeparator(outer);
    return inner.compare(0, top.size(), top) == 0;
}

// The package path as a path of this system, below the package folder.
std::wstring localPath(const std::wstring& folder, const std::wstring& packagePath) {
    std::wstring path = packagePath;
    std::replace(path.begin(), path.end(), L'/', kPathSeparator);
    return withTrailingSeparator(folder) + path;
}

// Creates the folder and every folder above it that is missing.
void createFolders(const std::wstring& folder) {
    for (size_t at = 1; at <= folder.size(); ++at) {
        if (at == folder.size() || platform::isPathSeparator(folder[at]))
            createFolderUnlessExists(folder.substr(0, at));
    }
}

class ModMaker {
  public:
    ModMaker(const CommandTarget& target, std::wstring name)
        : target_(target), folder_(platform::absolutePath(target.command.folder)) {
        manifest_.name = std::move(name);
        manifest_.type = FindContainerKind(target.game.dataType)->name;
        manifest_.mode = target.game.bigEndian ? L"PS3" : L"PC";
    }

    // Reads one archive file's edited files and their originals; false (the line printed) when
    // the mod cannot be made.
    bool collect(int32_t fileIndex);
    // The manifest's text once it reads back; false (the line printed) when it does not.
    bool check(std::string& json) const;
    // Writes the package, the manifest last; false (the line printed) when a file could not be
    // written.
    bool write(const std::string& json) const;
    size_t count() const { return packed_.size(); }

  private:
    bool pinOriginals(const ArchiveSelection& selection, std::vector<Packed>& files);
    bool pinFile(const ArchiveSelection& selection, const Status& original, Packed& p);

    const CommandTarget& target_;
    std::wstring folder_;
    ModManifest manifest_;
    std::vector<Packed> packed_;
};

bool ModMaker::collect(int32_t fileIndex) {
    const ArchiveSelection selection = SelectArchive(target_.game, fileIndex, false);
    // A file without an import folder has no edits.
    if (!platform::pathExists(selection.importDir))
        return true;
    // The next import would take the package's files for edits of its own.
    if (isWithin(folder_, platform::absolutePath(selection.importDir))) {
        print(text::kModFolderQuote + target_.command.folder + text::kModInImportFolder);
        return false;
    }
    std::vector<ImportFile> found;
    if (!MemberFilesIn(selection.importDir, found))
        return true;
    if (!found.empty() && !BackupExists(selection)) {
        print(text::kModNoBackup);
        return false;
    }
    // The entries in ascending order; two names of one entry cannot both go in.
    std::map<uint32_t, Packed> byEntry;
    for (const ImportFile& file : found) {
        Packed packed;
        packed.name = file.name;
        packed.sourcePath = withTrailingSeparator(selection.importDir) + file.name;
        packed.member.entry = file.entry;
        packed.member.file = selection.archiveName;
        auto [at, fresh] = byEntry.emplace(file.entry, packed);
        if (!fresh) {
            print(text::kModFileLine + at->second.name + text::kModAnd + file.name +
                  text::kModSameEntry);
            return false;
        }
    }
    std::vector<Packed> files;
    for (auto& [entry, packed] : byEntry)
        files.push_back(std::move(packed));
    return pinOriginals(selection, files);
}

bool ModMaker::pinOriginals(const ArchiveSelection& selection, std::vector<Packed>& files) {
    std::vector<uint32_t> entries;
    for (const Packed& p : files)
        entries.push_back(p.member.entry);
    ArchiveRequest request{selection.dataType, selection.bigEndian, selection.linkinfo,
                           selection.archivePath};
    // The originals come in entry order, as the files are sorted.
    std::vector<Status> outcomes(files.size());
    size_t next = 0;
    Status read = ReadOriginalMembers(request, entries, [&](const OriginalMember& original) {
        while (next < files.size() && files[next].member.entry < original.entry)
            ++next;
        if (next == files.size() || files[next].member.entry != original.entry)
            return;
        outcomes[next] = original.status;
        if (!original.status)
            return;
        ModMember& member = files[next].member;
        member.original = {original.length, ModHash(original.data, original.length)};
        // A compressed original is pinned as stored too, so that applying the mod to the same
        // game need not decode it again.
        if (original.compressed)
            member.stored = ModMemberPin{original.storedLength,
                                         ModHash(original.stored, original.storedLength)};
    });
    if (!read) {
        print(read.error() == Error::ChangedSinceBackup
                  ? std::wstring(text::kModChangedSinceBackup)
                  : text::kModOriginalsFailedBecause + read.message() + L"\n");
        return false;
    }
    for (size_t i = 0; i < files.size(); ++i) {
        if (!pinFile(selection, outcomes[i], files[i]))
            return false;
    }
    return true;
}

// One file against its original, in entry order: skipped as the import skips it, skipped as
// identical, or packed; false (the line printed) when the mod cannot be made.
bool ModMaker::pinFile(const ArchiveSelection& selection, const Status& original, Packed& p) {
    switch (original.error()) {
    case Error::None:
        break;
    case Error::EntryBeyondIndex:
        print(p.name + text::kImportEntryBeyondIndex);
        return true;
    case Error::EntryUnused:
        print(text::kSkipUnusedLine);
        return true;
    default:
        print(p.name + text::kModOriginalFailedBecause + original.message() + L"\n");
        return false;
    }
    LoadedData data;
    if (!loadWhole(p.sourcePath, data)) {
        print(p.name + text::kImportFileReadFailed);
        return false;
    }
    if (data.size == 0) { // the import passes empty files over
        print(p.name + text::kImportFileEmpty);
        return true;
    }
    p.member.data = {data.size, ModHash(data.bytes.get(), data.size)};
    if (p.member.data.size == p.member.original.size &&
        p.member.data.hash == p.member.original.hash) {
        print(p.name + text::kModSameAsOriginal);
        return true;
    }
    p.member.path = PackagePathOf(selection.dataType, selection.archiveName, p.member.entry);
    packed_.push_back(std::move(p));
    return true;
}

// The manifest the package will hold, read back as a player's tool will read it: what the
// reader refuses (two archive files of one stem give one path twice) is refused before anything
// is written. False with the line printed.
bool ModMaker::check(std::string& json) const {
    ModManifest manifest = manifest_;
    for (const Packed& p : packed_)
        manifest.members.push_back(p.member);
    json = WriteModManifest(manifest);
    ModManifest readBack;
    const Status read =
        ParseModManifest(reinterpret_cast<const uint8_t*>(json.data()), json.size(), readBack);
    if (!read)
        print(text::kModMakeFailedBecause + read.message() + L"\n");
    return bool(read);
}

// The member files first, all made durable at once, then the manifest that names them.
bool ModMaker::write(const std::string& json) const {
    createFolders(folder_);
    DurableFiles members;
    for (const Packed& p : packed_) {
        const std::wstring path = localPath(folder_, p.member.path);
        const size_t cut = path.rfind(kPathSeparator);
        if (cut != std::wstring::npos && cut > folder_.size())
            createFolders(path.substr(0, cut));
        LoadedData data;
        // The file is read again: it must still be the one that was checked.
        if (!loadWhole(p.sourcePath, data) ||
            ModHash(data.bytes.get(), data.size) != p.member.data.hash) {
            print(p.name + text::kModFileChanged);
            return false;
        }
        if (!members.add(path, data.bytes.get(), data.size)) {
            print(text::kWriteFileQuoteOpen + path + text::kWriteFileFailedClose);
            return false;
        }
    }
    std::wstring failed;
    if (!members.commit(&failed)) {
        print(text::kWriteFileQuoteOpen + failed + text::kWriteFileFailedClose);
        return false;
    }
    for (const Packed& p : packed_)
        print(text::kModPackedLine + p.member.path + text::kLineSucceeded);
    const std::wstring path = withTrailingSeparator(folder_) + kModManifestName;
    if (!ReplaceFileDurably(path, reinterpret_cast<const uint8_t*>(json.data()),
                            uint32_t(json.size()))) {
        print(text::kWriteFileQuoteOpen + path + text::kWriteFileFailedClose);
        return false;
    }
    return true;
}

} // namespace

int MakeMod(const CommandTarget& target) {
    const ArchiveCommand& command = target.command;
    // "." and "mods/A/.." name the folder they lead to.
    const std::wstring name =
        command.name ? *command.name : lastName(platform::absolutePath(command.folder));
    if (command.folder.empty())
        return target.report.wrongCommandLine(text::kCommandWrong +
                                                  std::wstring(text::kCommandMissingFolder),
                                              ArchiveCodeUsage(command.code));
    if (name.empty())
        return target.report.wrongCommandLine(text::kCommandWrong + std::wstring(text::kModNoName),
                                              ArchiveCodeUsage(command.code));
    const std::wstring manifest = withTrailingSeparator(command.folder) + kModManifestName;
    if (platform::pathExists(manifest))
        return target.report.refuse(text::kModFolderQuote + command.folder + text::kModHasManifest,
                                    kExitFailed);
    ModMaker maker(target, name);
    for (int32_t file : target.files) {
        if (!maker.collect(file))
            return kExitFailed;
    }
    if (maker.count() == 0) {
        print(text::kModNothingToPack);
        return kExitFailed;
    }
    std::string json;
    if (!maker.check(json) || !maker.write(json))
        return kExitFailed;
    print(text::kModMadeOpen + name + text::kModMadeCount + std::to_wstring(maker.count()) +
          text::kModMadeEnd);
    return kExitDone;
}

} // namespace karv::cli
