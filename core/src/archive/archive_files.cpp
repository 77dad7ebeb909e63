#include "archive/archive_files.h"

#include "boundary/messages.h"
#include "karvcore/formats.h"

namespace karv {

ArchiveFiles::ArchiveFiles(int32_t dataType, const linkinfo& link, const std::wstring& chosen)
    : dataType_(dataType), link_(link), chosen_(chosen.empty() ? link.fileNames[0] : chosen),
      indexInArchive_(IndexLayoutFor(dataType).inArchive) {}

ArchiveFiles::ArchiveFiles(int32_t dataType, const linkinfo& link)
    : ArchiveFiles(dataType, link, link.fileNames[0]) {}

const std::wstring& ArchiveFiles::indexPath() const {
    return indexInArchive_ ? chosen_ : link_.indexPath;
}

const std::wstring& ArchiveFiles::firstFile() const {
    return indexInArchive_ ? chosen_ : link_.fileNames[0];
}

bool ArchiveFiles::fileCountFits() const {
    return !ArchiveSpansFiles(dataType_) || ArchiveFileCountFits(link_);
}

// File 0 when no split address names a file; the other kinds have one archive file.
int32_t ArchiveFiles::fileOf(uint32_t entry) const {
    if (!ArchiveSpansFiles(dataType_))
        return 0;
    return ArchiveFileOf(link_, entry).value_or(0);
}

const std::wstring& ArchiveFiles::pathOf(int32_t file) const {
    if (indexInArchive_ || file < 0 || file >= kMaxArchiveFiles)
        return firstFile();
    return link_.fileNames[file];
}

std::wstring ArchiveFiles::recordPath() const {
    return link_.fileNames[0] + kBackupRecordSuffix;
}

std::wstring ArchiveFiles::indexCopyPath() const {
    return indexPath() + kIndexCopySuffix;
}

bool ArchiveFiles::fitsRecord() const {
    return indexInArchive_ || ArchiveFileCountFits(link_);
}

uint32_t ArchiveFiles::recordedFiles() const {
    if (indexInArchive_ || link_.fileCount == 0)
        return link_.fileNames[0].empty() ? 0 : 1;
    return uint32_t(link_.fileCount);
}

platform::File* OpenedArchiveFiles::get(int32_t file, uint64_t& size, Status& why,
                                        bool& firstTime) {
    Slot& s = slot(file);
    firstTime = !s.tried;
    if (!s.tried) {
        s.tried = true;
        if (!s.file.isOpen()) {
            Status opened;
            s.file = platform::File::open(files_.pathOf(file), platform::OpenMode::ReadExisting,
                                          &opened);
            if (!s.file.isOpen())
                s.failure = opened.as(Error::ArchiveUnopened, msg::kOpenVoxbankFailed);
        }
        if (s.file.isOpen()) {
            if (Status sized = s.file.size(s.size); !sized) {
                s.failure = sized.as(Error::ArchiveUnreadable, msg::kVoxbankFileSizeFailed);
                s.file = platform::File();
            }
        }
    }
    size = s.size;
    why = s.failure;
    return s.file.isOpen() ? &s.file : nullptr;
}

Status OpenedArchiveFiles::openFirst() {
    if (!files_.fileCountFits())
        return Status::failure(Error::TooManyFiles, msg::kTooManyVoxbankFiles);
    Status why;
    platform::File first =
        platform::File::open(files_.firstFile(), platform::OpenMode::ReadExisting, &why);
    if (!first.isOpen())
        return why.as(Error::ArchiveUnopened, msg::kOpenFileFailed);
    adopt(0, std::move(first));
    return Status();
}

void OpenedArchiveFiles::adopt(int32_t file, platform::File opened) {
    Slot& s = slot(file);
    s = Slot();
    s.file = std::move(opened);
}

} // namespace karv
