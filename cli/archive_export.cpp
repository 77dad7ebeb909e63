#include "archive_export.h"

#include "console.h"
#include "files.h"
#include "karvcore/archive.h"
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

// The archive file is probed with one read of this many bytes before the index is loaded.
constexpr uint32_t kProbeLength = 16;
// Member file names carry the entry number with at least this many digits.
constexpr int kMemberNameDigits = 6;

struct EntryRange {
    uint32_t first;
    uint32_t end; // exclusive
};

// The asked range inside an index of `count` entries. A first number above the last gives
// the last entry alone; a range beyond the index gives nothing.
EntryRange clampRange(uint32_t first, uint32_t last, uint32_t count) {
    uint32_t lastIn = std::min(last, count);
    uint32_t firstIn = std::min(first, lastIn);
    return {firstIn, lastIn < count ? lastIn + 1 : count};
}

bool isContainer(const uint8_t* data, uint32_t length) {
    return IsTextureContainer(data, length, archiveSelection.bigEndian);
}

bool readFirstWord(const uint8_t* data, uint32_t length, uint32_t& word) {
    return ReadFirstWord(data, length, archiveSelection.bigEndian, word);
}

// The textures of a member: the member itself when it is a container, else the containers
// among its sub-files when it looks like a packed blob. A member too short for its first word
// is not searched.
void exportMemberTextures(const uint8_t* member, uint32_t length, uint32_t entry) {
    uint32_t word = 0;
    if (!readFirstWord(member, length, word))
        return;
    if (word == kTextureContainerMagic) {
        ExportContainerTextures(member, 0, length, entry, 0, false);
        return;
    }
    if (word == 0 || word > kMaxPackedBlobFiles)
        return;
    for (uint32_t subFile = 0; subFile < word; ++subFile) {
        uint32_t offset = 0, size = 0;
        if (GetData_Offset(member, length, subFile, &offset, &size, archiveSelection.bigEndian) ==
                0 &&
            isContainer(member + offset, size))
            ExportContainerTextures(member, offset, size, entry, subFile, false);
    }
}

// The export folder of the run: the game's folder, one level deeper for an archive file that
// stands alone (named after the file), and the texture folder inside it.
void prepareFolders(bool extractTextures) {
    ArchiveSelection& selection = archiveSelection;
    createFolderUnlessExists(selection.exportDir);
    if (!ArchiveSpansFiles(selection.dataType) && !selection.archiveName.empty()) {
        selection.exportDir += kPathSeparator + archiveFolderName(selection.archiveName);
        createFolderUnlessExists(selection.exportDir);
    }
    selection.texturesDir = selection.exportDir + kPathSeparator + text::kTexturesFolder;
    if (extractTextures)
        createFolderUnlessExists(selection.texturesDir);
}

// Writes one member file whole; a file that could not be written completely is removed, so
// no truncated member is left to be imported later.
bool writeMemberFile(const std::wstring& path, const uint8_t* data, uint32_t length,
                     bool& created) {
    File out = File::open(path, OpenMode::CreateAlways);
    created = out.isOpen();
    if (!created)
        return false;
    bool written = bool(out.writeAll(data, length));
    bool closed = bool(out.close());
    if (written && closed)
        return true;
    platform::removeFile(path);
    return false;
}

// One export run: the open archive file, the reader with the loaded index, and the members.
class MemberExport {
  public:
    MemberExport(std::wstring readPath, bool extractTextures)
        : readPath_(std::move(readPath)), extractTextures_(extractTextures) {}

    // Opens the archive file and loads the index; false (with the outcome printed) when the
    // run cannot go on.
    bool open(const std::wstring& indexPath);
    // Exports the range; stops at the first failure that ends the run.
    void run(uint32_t first, uint32_t last);

  private:
    bool switchArchiveFile(uint32_t entry);
    bool exportEntry(uint32_t entry);

    std::wstring readPath_;
    bool extractTextures_;
    File archive_;
    int32_t openArchive_ = 0;
    std::unique_ptr<VoxbankQX> reader_;
    uint32_t count_ = 0;
};

bool MemberExport::open(const std::wstring& indexPath) {
    archive_ = File::open(readPath_, OpenMode::ReadExisting);
    if (!archive_.isOpen()) {
        print(text::kOpenFileFailedLine);
        return false;
    }
    openArchive_ = 0;
    uint8_t probe[kProbeLength] = {};
    uint32_t got = 0;
    if (!archive_.read(probe, kProbeLength, got)) {
        archive_.close();
        print(text::kReadFileFailedLine);
        return false;
    }
    reader_.reset(CreateVoxbankInterface(archiveSelection.dataType, archiveSelection.bigEndian));
    if (!reader_) {
        print(text::kOutOfMemory);
        return false;
    }
    count_ = reader_->LoadIndex(indexPath);
    return count_ != 0;
}

// An archive over several files reads each entry from the file that holds it; an ascending
// range opens each file once.
bool MemberExport::switchArchiveFile(uint32_t entry) {
    const linkinfo& link = archiveSelection.linkinfo;
    if (!ArchiveSpansFiles(archiveSelection.dataType) || link.fileCount < 1)
        return true;
    std::optional<int32_t> file = ArchiveFileOf(link, entry);
    if (!file || *file == openArchive_)
        return true;
    archive_.close();
    openArchive_ = *file;
    archive_ = File::open(link.fileNames[*file], OpenMode::ReadExisting);
    if (archive_.isOpen())
        return true;
    print(text::kOpenVoxbankFailedLine);
    return false;
}

// False when the run has to end.
bool MemberExport::exportEntry(uint32_t entry) {
    if (!switchArchiveFile(entry))
        return false;
    uint8_t* raw = nullptr;
    uint32_t length = 0;
    if (reader_->ReadMember(archive_.native(), entry, raw, &length, false) != 0) {
        print(GetMessageQX() + L"\n");
        return true;
    }
    MallocBuffer member(raw);
    if (extractTextures_)
        exportMemberTextures(member.get(), length, entry);
    const ArchiveSelection& selection = archiveSelection;
    std::wstring path = selection.exportDir + kPathSeparator +
                        zeroPadded(entry, kMemberNameDigits) + text::kSubFileSuffix;
    if (!selection.dryRun) {
        bool created = false;
        if (!writeMemberFile(path, member.get(), length, created)) {
            print(created ? text::kWriteFileQuoteOpen + path + text::kWriteFileFailedClose
                          : std::wstring(text::kCreateFileFailedLine));
            return false;
        }
    }
    member.reset();
    print(text::kExportLineFrom + readPath_ + text::kExportLineMember + path +
          text::kLineSucceeded);
    return true;
}

void MemberExport::run(uint32_t first, uint32_t last) {
    EntryRange range = clampRange(first, last, count_);
    for (uint32_t entry = range.first; entry < range.end; ++entry) {
        if (!exportEntry(entry))
            return;
    }
}

} // namespace

void ExportMembers(uint32_t first, uint32_t last, std::wstring archivePath, bool extractTextures) {
    const ArchiveSelection& selection = archiveSelection;
    const linkinfo& link = selection.linkinfo;
    if (!ArchiveFileCountFits(link)) {
        print(text::kTooManyArchiveFiles);
        return;
    }
    // A missing first file of a multi-file archive shows when it is opened.
    if (!ArchiveSpansFiles(selection.dataType) && !platform::pathExists(archivePath)) {
        print(text::kFileQuoteOpen + archivePath + text::kFileMissingClose);
        return;
    }
    prepareFolders(extractTextures);
    // An archive file that carries its own index (Z54) is read through the chosen path.
    const bool ownIndex = IndexLayoutFor(selection.dataType).inArchive;
    catchOutOfMemory(
        [&] {
            MemberExport run(ownIndex ? archivePath : link.fileNames[0], extractTextures);
            if (run.open(ownIndex ? archivePath : link.indexPath))
                run.run(first, last);
        },
        [] { print(text::kOutOfMemory); });
}

} // namespace karv::cli
