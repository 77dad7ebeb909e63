#include "archive_export.h"

#include "console.h"
#include "files.h"
#include "karvcore/archive.h"
#include "karvcore/formats.h"
#include "karvcore/mods.h"
#include "karvcore/packed_blob.h"
#include "platform/file.h"
#include "platform/filesystem.h"
#include "program_state.h"
#include "texts.h"
#include "texture_commands.h"

#include <algorithm>
#include <memory>

namespace karv::cli {
namespace {

using platform::File;
using platform::kPathSeparator;
using platform::OpenMode;

// The export folder of the run: the game's folder, one level deeper for an archive file that
// stands alone (named after the file), and the texture folder inside it.
void prepareFolders(ArchiveSelection& selection, bool extractTextures) {
    createFolderUnlessExists(selection.exportDir);
    const std::wstring folder =
        MembersFolder(selection.dataType, selection.exportDir, selection.archiveName);
    if (folder != selection.exportDir) {
        selection.exportDir = folder;
        createFolderUnlessExists(selection.exportDir);
    }
    selection.texturesDir = selection.exportDir + kPathSeparator + text::kTexturesFolder;
    if (extractTextures)
        createFolderUnlessExists(selection.texturesDir);
}

// Writes one member file whole. A file already there (the previous export of the member) is
// written over and cut behind the member rather than emptied first: emptying gives up its disk
// blocks and cached pages, and the writes then take new ones, which costs more than the
// writing itself. A file that could not be written completely is removed, so no truncated or
// half-replaced member is left to be imported later.
bool writeMemberFile(const std::wstring& path, const uint8_t* data, uint32_t length,
                     bool& created) {
    File out = File::open(path, OpenMode::WriteOver);
    created = out.isOpen();
    if (!created)
        return false;
    bool written = out.writeAll(data, length) && out.truncate();
    bool closed = bool(out.close());
    if (written && closed)
        return true;
    platform::removeFile(path);
    return false;
}

// One export run: the library reads the members in order (decompressing ahead on its workers);
// the program writes them, with their textures, and prints.
class MemberExport {
  public:
    MemberExport(const ArchiveSelection& selection, ExportRequest request, bool extractTextures)
        : selection_(selection), extractTextures_(extractTextures), reader_(std::move(request)) {}

    // Opens the archive file and loads the index; false (with the outcome printed) when the
    // run cannot go on.
    bool open();
    // Exports the range; stops at the first failure that ends the run. True when every member
    // of the range (and every texture asked for) was written.
    bool run();

  private:
    bool exportMember(const ExportedMember& member);

    const ArchiveSelection& selection_;
    bool extractTextures_;
    ArchiveExport reader_;
    bool failed_ = false;
};

bool MemberExport::open() {
    Status opened = reader_.open();
    switch (opened.error()) {
    case Error::None:
        return true;
    case Error::ArchiveUnopened:
        print(text::kOpenFileFailedLine);
        break;
    case Error::ArchiveUnreadable:
        print(text::kReadFileFailedLine);
        break;
    case Error::OutOfMemory:
        print(text::kOutOfMemory);
        break;
    default: // the index could not be loaded: the library's message stands, nothing is printed
        break;
    }
    return false;
}

// False when the run has to end.
bool MemberExport::exportMember(const ExportedMember& member) {
    if (member.archiveUnopened) {
        print(text::kOpenVoxbankFailedLine);
        return false;
    }
    if (!member.status) {
        print(member.status.message() + L"\n");
        // "跳过未使用的文件！" is an outcome; every other line of a member a failure.
        failed_ |= member.status.error() != Error::EntryUnused;
        return true;
    }
    // The textures of the member itself, or of the containers among its sub-files.
    if (extractTextures_) {
        for (const TextureRegion& region :
             FindTextureContainers(member.data, member.length, selection_.bigEndian))
            failed_ |= !ExportContainerTextures(selection_, member.data, region.offset,
                                                region.length, member.entry, region.subFile, false);
    }
    const ArchiveSelection& selection = selection_;
    std::wstring path = selection.exportDir + kPathSeparator +
                        zeroPadded(member.entry, kMemberFileDigits) + kMemberFileSuffix;
    if (!selection.dryRun) {
        bool created = false;
        if (!writeMemberFile(path, member.data, member.length, created)) {
            print(created ? text::kWriteFileQuoteOpen + path + text::kWriteFileFailedClose
                          : std::wstring(text::kCreateFileFailedLine));
            return false;
        }
    }
    print(text::kExportLineFrom + reader_.readPath() + text::kExportLineMember + path +
          text::kLineSucceeded);
    return true;
}

bool MemberExport::run() {
    ExportedMember member;
    while (reader_.next(member)) {
        if (!exportMember(member))
            return false;
    }
    return !failed_;
}

} // namespace

bool ExportMembers(ArchiveSelection& selection, uint32_t first, uint32_t last,
                   std::wstring archivePath, bool extractTextures) {
    const linkinfo& link = selection.linkinfo;
    if (!ArchiveFileCountFits(link)) {
        print(text::kTooManyArchiveFiles);
        return false;
    }
    // A missing first file of a multi-file archive shows when it is opened.
    if (!ArchiveSpansFiles(selection.dataType) && !platform::pathExists(archivePath)) {
        print(text::kFileQuoteOpen + archivePath + text::kFileMissingClose);
        return false;
    }
    prepareFolders(selection, extractTextures);
    ExportRequest request;
    request.dataType = selection.dataType;
    request.bigEndian = selection.bigEndian;
    request.link = link;
    request.archivePath = archivePath;
    request.first = first;
    request.last = last;
    return catchOutOfMemory(
        [&] {
            MemberExport run(selection, std::move(request), extractTextures);
            return run.open() && run.run();
        },
        [] {
            print(text::kOutOfMemory);
            return false;
        });
}

} // namespace karv::cli
