// The archive API: the archive work behind the menus, for karvex, the tools and the tests. Reading
// the members of a range for the export, and writing imported members into an archive.
#pragma once

#include "karvcore/formats.h"
#include "karvcore/karvcore.h"
#include "karvcore/status.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace karv {

// ---- Reading members out of an archive for the export ----

// What the export reads, as arguments.
struct ExportRequest {
    int32_t dataType = kDataTypeNone;
    bool bigEndian = false;
    // The archive files and their split addresses, for an archive over several files.
    linkinfo link;
    // The archive file read first, and the index (for Z54 the archive file itself).
    std::wstring readPath;
    std::wstring indexPath;
    // The range as asked; entries beyond the index are not read. A first number above the last
    // reads the last entry alone.
    uint32_t first = 0;
    uint32_t last = 0;
};

// One entry of the range, in order.
struct ExportedMember {
    uint32_t entry = 0;
    // ReadMember's outcome for the entry; when it failed, its message is on the last-error
    // channel.
    Status status;
    // The archive file that holds this entry could not be opened: the run ends here.
    bool archiveUnopened = false;
    // The member (decompressed where the archive stores it compressed), valid until the next
    // call of next().
    const uint8_t* data = nullptr;
    uint32_t length = 0;
};

// Reads the members of a range in order, as VoxbankQX::ReadMember would read them one by one,
// while the workers decompress the members ahead. Every file operation and every message stays
// on the calling thread, in entry order.
class KARVCORE_API ArchiveExport {
  public:
    explicit ArchiveExport(ExportRequest request);
    ~ArchiveExport();
    ArchiveExport(const ArchiveExport&) = delete;
    ArchiveExport& operator=(const ArchiveExport&) = delete;

    // Opens the archive file read first and loads the index. Failures, with their message also
    // on the last-error channel: ArchiveUnopened, ArchiveUnreadable (its first bytes), the
    // index's own (see IndexTable::load; BadDataType before a data type), OutOfMemory.
    Status open();
    // The next entry of the range; false when the range is done or the run has ended.
    bool next(ExportedMember& member);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// ---- Writing imported members into an archive ----

// What the import works on, as arguments.
struct ImportRequest {
    int32_t dataType = kDataTypeNone;
    bool bigEndian = false;
    bool dryRun = false; // everything is decided and reported, nothing is written
    // Raw files are padded to this when they are appended.
    uint32_t blockAlignment = 0;
    // The archive files (split addresses choose among them), the index file (357, 358) and the
    // record beside archive file 0.
    linkinfo link;
    // The chosen archive file; for Z54 it holds the index.
    std::wstring archivePath;
    // The folder of the import files.
    std::wstring importFolder;
};

// One file to import: its name in the import folder and the entry it replaces.
struct ImportFile {
    std::wstring name;
    uint32_t entry = 0;
};

// An outcome of the import, reported in the order it happens.
struct ImportEvent {
    enum Kind {
        // The file is passed over and the run goes on.
        kEntryBeyondIndex,
        kEntryUnused,
        kFileEmpty,
        kFileTooLarge,
        kSizeUnrecordable,
        // A note; the run goes on.
        kChunkSizeUnreadable,
        // The file is in the archive.
        kImported,
        // The run ends here.
        kFileUnopened,
        kFileUnreadable,
        kOutOfMemory,
        kChunkArchiveUnopened, // the archive file whose old member gives the chunk size
        kArchiveUnopened,      // the archive file that holds the entry, for writing
        kCompressFailed,
        kWriteFailed,
        kIndexUnopened,
    };
    Kind kind = kImported;
    std::wstring file;   // the import file's name
    std::wstring path;   // the file that could not be written or opened
    std::wstring reason; // the library's message when compression failed
    bool compressed = false;
    bool inPlace = false; // over the region the entry owns, rather than appended
};

// Imports edited members into an archive. New data never overwrites what the backup protects:
// it goes behind the archive's end as it was at backup time, or over the region an earlier
// import appended for the same entry when it fits there, and the backup record remembers each
// entry's region. Data first, then the index entry, then the record slot, each write checked.
class KARVCORE_API ArchiveImport {
  public:
    explicit ArchiveImport(ImportRequest request);
    ~ArchiveImport();
    ArchiveImport(const ArchiveImport&) = delete;
    ArchiveImport& operator=(const ArchiveImport&) = delete;

    // Loads the record and the index. Failures: TooManyFiles; BackupUnloadable (the record);
    // ArchiveUnopened, ArchiveUnreadable (archive file 0, or its first bytes); BadDataType; the
    // index's own (see IndexTable::load); IndexHoldsNoEntry also for a headerless index without
    // a whole entry (the run simply has nothing to do); OutOfMemory.
    Status open();
    // Imports the files in order, telling `report` each outcome as it happens. Ok when every
    // file had its turn; Stopped when an outcome ended the run (reported before).
    Status run(const std::vector<ImportFile>& files,
               const std::function<void(const ImportEvent&)>& report);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace karv
