// Which file of an archive holds what: one rule for the export, the import, the backup and the
// locator. The index is the head of the chosen archive file (Z54) or a file of its own; the
// backup's record lies beside archive file 0 and its index copy beside the index; an entry of an
// archive over several files (357) lies in the file its split address names.
#pragma once

#include "karvcore/karvcore.h"
#include "platform/file.h"

#include <cstdint>
#include <string>

namespace karv {

class ArchiveFiles {
  public:
    // `chosen` is the archive file the user chose; for an archive whose index is its head,
    // that file is the archive. Without one, archive file 0 is taken.
    ArchiveFiles(int32_t dataType, const linkinfo& link, const std::wstring& chosen);
    ArchiveFiles(int32_t dataType, const linkinfo& link);

    // The index is the head of the chosen archive file.
    bool indexInArchive() const { return indexInArchive_; }
    // The file that holds the index.
    const std::wstring& indexPath() const;
    // The archive file read first: the chosen one when it holds the index, else file 0.
    const std::wstring& firstFile() const;
    // False for an archive over several files whose linkinfo names more than it can hold.
    bool fileCountFits() const;
    // The archive file that holds `entry`, and its path.
    int32_t fileOf(uint32_t entry) const;
    const std::wstring& pathOf(int32_t file) const;

    // The backup's files.
    std::wstring recordPath() const;
    std::wstring indexCopyPath() const;
    // The record has a size slot for each archive file and linkinfo ten names.
    bool fitsRecord() const;
    // How many archive files the record describes. A game described with fileCount 0 (358 and
    // the other single-file games) still has its archive in slot 0; without its size the
    // restore could never remove what imports appended to it.
    uint32_t recordedFiles() const;

  private:
    int32_t dataType_;
    linkinfo link_;
    std::wstring chosen_;
    bool indexInArchive_;
};

// The archive files of one run over an archive (a listing, a verification), each opened when its
// first entry comes, once, and sized then.
class OpenedArchiveFiles {
  public:
    explicit OpenedArchiveFiles(const ArchiveFiles& files) : files_(files) {}

    // Archive file `file` and its size; null when it cannot be opened or sized (`why` then says
    // so, and `firstTime` whether this is the first entry to hear it).
    platform::File* get(int32_t file, uint64_t& size, Status& why, bool& firstTime);
    // The first thing a run over the archive does: opens the archive file read first, once the
    // archive's file count is found to fit.
    Status openFirst();
    // Takes over a file already open (the one read first).
    void adopt(int32_t file, platform::File opened);

  private:
    struct Slot {
        platform::File file;
        uint64_t size = 0;
        bool tried = false;
        Status failure;
    };
    Slot& slot(int32_t file) { return slots_[file >= 0 && file < kMaxArchiveFiles ? file : 0]; }

    const ArchiveFiles& files_;
    Slot slots_[kMaxArchiveFiles];
};

} // namespace karv
