// Backup and restore of an archive's index and sizes. Imports never overwrite data that was in
// the archive at backup time: they append behind its end and point the index there. So a byte
// copy of the index table and the archive sizes are all it takes to undo them: the restore
// writes the table back and cuts every archive file to its saved size.
//
// Both functions check everything they can before the first write, so that a refusal leaves
// every file as it was.
#include "archive/backup_restore.h"
#include "archive/archive_files.h"
#include "archive/backup_check.h"
#include "boundary/boundary.h"
#include "boundary/messages.h"
#include "files/file_helpers.h"
#include "files/replaced_file.h"
#include "formats/backup_record.h"
#include "formats/index_file.h"
#include "karvcore/buffer.h"
#include "karvcore/formats.h"
#include "karvcore/index_table.h"
#include "karvcore/mod_work.h"
#include "platform/file.h"
#include "platform/filesystem.h"

#include <cstdlib>
#include <vector>

using karv::platform::File;
using karv::platform::OpenMode;
using karv::platform::SeekFrom;

namespace {

using karv::ArchiveFiles;
using karv::Error;
using karv::Status;

Status fail(const wchar_t* message, Error error) {
    return Status::failure(error, message);
}

uint32_t entrySize(int32_t dataType) {
    return karv::IndexLayoutFor(dataType).entrySize;
}

// ---- Backup ----

Status loadIndex(int32_t dataType, const ArchiveFiles& files, bool bigEndian,
                 karv::IndexTable& out) {
    if (Status status = karv::loadIndexFor(dataType, files.indexPath(), bigEndian, out); !status)
        return status;
    // A loaded table without a whole entry.
    if (out.count() == 0)
        return fail(karv::msg::kIndexEmpty, Error::IndexHoldsNoEntry);
    return Status();
}

Status measureArchive(const std::wstring& path, uint64_t& size) {
    Status why;
    File file = File::open(path, OpenMode::ReadExisting, &why);
    if (!file.isOpen())
        return why.as(Error::ArchiveUnopened, karv::msg::kOpenVoxbankFailed);
    if (Status measured = file.size(size); !measured)
        return measured.as(Error::FileSizeUnknown, karv::msg::kBackupVoxbankSizeFailed);
    if (size == 0)
        return fail(karv::msg::kBackupVoxbankSizeFailed, Error::FileSizeUnknown);
    return Status();
}

Status buildRecord(const ArchiveFiles& files, const linkinfo& link, uint32_t entries,
                   karv::MallocBuffer& record, uint32_t& length) {
    // The record lives beside archive file 0; without that file there is nowhere to put it.
    if (link.fileNames[0].empty())
        return fail(karv::msg::kOpenVoxbankFailed, Error::ArchiveUnopened);
    uint64_t sizes[karv::record::kArchiveSlots] = {};
    const uint32_t recorded = files.recordedFiles();
    for (uint32_t i = 0; i < recorded; ++i) {
        if (Status status = measureArchive(link.fileNames[i], sizes[i]); !status)
            return status;
    }
    if (!karv::record::lengthFor(entries, length))
        return fail(karv::msg::kDataTooLong, Error::TooLarge);
    record.reset(static_cast<uint8_t*>(std::calloc(length, 1)));
    if (!record)
        return fail(karv::msg::kOutOfMemory, Error::OutOfMemory);
    for (uint32_t i = 0; i < recorded; ++i)
        karv::record::setArchiveSize(record.get(), length, i, sizes[i]);
    return Status();
}

// Something at `path` that cannot be opened for writing (a folder, a locked file) would keep
// the new file out of its place; found before anything is written.
bool replaceable(const std::wstring& path) {
    return !karv::platform::pathExists(path) || File::open(path, OpenMode::WriteExisting).isOpen();
}

// An earlier record must not outlive its table: beside a new table, its older sizes would make
// the restore cut away data the new table points to. Emptied, it is refused by the restore. The
// emptying is flushed before the new table goes in, so a power cut cannot undo it alone.
Status invalidateRecord(const std::wstring& path) {
    if (!karv::platform::pathExists(path))
        return Status();
    Status why;
    File file = File::open(path, OpenMode::WriteExisting, &why);
    if (!file.isOpen())
        return why.as(Error::FileUnwritable, karv::msg::kCreateFileFailed);
    Status emptied = file.truncate();
    if (emptied)
        emptied = file.flush();
    Status closed = file.close();
    if (!emptied || !closed)
        return (!emptied ? emptied : closed).as(Error::FileUnwritable, karv::msg::kWriteDataFailed);
    return Status();
}

// Both files are written in full before either takes the place of an earlier backup, so a full
// disk or a failing write leaves that backup whole. Then the earlier record is emptied, the table
// goes in, and the record last: a complete record means a complete backup. Each step is on the
// disk before the next begins, so this holds after a power cut too, and a backup reported as
// done is there to undo the imports that follow it.
Status writeBackupFiles(const std::wstring& copyPath, const karv::IndexTable& index,
                        const std::wstring& recordPath, const uint8_t* record, uint32_t length) {
    if (!replaceable(copyPath) || !replaceable(recordPath))
        return fail(karv::msg::kCreateFileFailed, Error::FileUncreated);
    karv::ReplacedFile table(karv::ReplacedFile::Durability::Flushed);
    karv::ReplacedFile newRecord(karv::ReplacedFile::Durability::Flushed);
    Status status = table.write(copyPath, index.entries(), index.entriesLength());
    if (status)
        status = newRecord.write(recordPath, record, length);
    if (status)
        status = invalidateRecord(recordPath);
    if (status)
        status = table.commit();
    if (status)
        status = newRecord.commit();
    // The writers' own failures stand.
    return status;
}

} // namespace

Status karv::backUpArchive(int32_t dataType, const linkinfo& link, bool bigEndian) {
    const ArchiveFiles files(dataType, link);
    if (!files.fitsRecord())
        return fail(karv::msg::kTooManyVoxbankFiles, Error::TooManyFiles);
    // With mods applied the archive holds their data: a backup now would take it as the
    // original and no mod could be taken out again.
    karv::ModLedger ledger;
    bool ledgerThere = false;
    if (Status read = karv::LoadModLedger(link, ledger, ledgerThere); !read)
        return read;
    if (!ledger.mods.empty())
        return fail(karv::msg::kBackupWithModsApplied, Error::ModsApplied);
    karv::IndexTable index;
    if (Status status = loadIndex(dataType, files, bigEndian, index); !status)
        return status;
    karv::MallocBuffer record;
    uint32_t length = 0;
    if (Status status = buildRecord(files, link, index.count(), record, length); !status)
        return status;
    return writeBackupFiles(files.indexCopyPath(), index, files.recordPath(), record.get(), length);
}

namespace {

// ---- Restore ----

struct SavedBackup {
    karv::MallocBuffer table;
    uint32_t tableBytes = 0;
    karv::MallocBuffer record;
    uint32_t recordBytes = 0;

    uint64_t archiveSize(uint32_t file) const {
        return karv::record::archiveSize(record.get(), recordBytes, file);
    }
};

// The two files must be ones a backup writes: a table of whole entries and a record with a
// slot for each of them; for Z54 a saved archive that holds the header and the table.
bool backupConsistent(int32_t dataType, const SavedBackup& saved) {
    uint32_t unit = entrySize(dataType);
    if (saved.tableBytes == 0 || saved.tableBytes % unit != 0 ||
        !karv::record::holds(saved.recordBytes, saved.tableBytes / unit))
        return false;
    uint64_t archive0 = saved.archiveSize(0);
    return !karv::IndexLayoutFor(dataType).inArchive || archive0 == 0 ||
           archive0 >= karv::kIndexLayoutZ54.headerSize + uint64_t(saved.tableBytes);
}

Status loadBackup(int32_t dataType, const linkinfo& link, const ArchiveFiles& files,
                  SavedBackup& saved) {
    if (link.fileNames[0].empty() ||
        !karv::loadWholeFile(files.indexCopyPath(), saved.table, saved.tableBytes) ||
        !karv::loadWholeFile(files.recordPath(), saved.record, saved.recordBytes) ||
        !backupConsistent(dataType, saved))
        return fail(karv::msg::kLoadBackupFailed, Error::BackupUnloadable);
    return Status();
}

// One file the restore writes, opened and measured during the checks.
struct Target {
    File file;
    uint64_t size = 0;
    uint64_t cutAt = 0; // 0: nothing to cut
};

struct RestorePlan {
    Target index; // the index file; for Z54 archive file 0, which holds the index
    uint64_t tableAt = 0;
    std::vector<Target> archives;
};

struct TargetMessages {
    Error notOpenedError;
    const wchar_t* notOpened;
    const wchar_t* noSize;
};

Status openTarget(const std::wstring& path, const TargetMessages& messages, Target& target) {
    Status why;
    target.file = File::open(path, OpenMode::WriteExisting, &why);
    if (!target.file.isOpen())
        return why.as(messages.notOpenedError, messages.notOpened);
    if (Status measured = target.file.size(target.size); !measured)
        return measured.as(Error::FileSizeUnknown, messages.noSize);
    if (target.size == 0)
        return fail(messages.noSize, Error::FileSizeUnknown);
    return Status();
}

const TargetMessages kIndexMessages = {Error::IndexUnopened, karv::msg::kOpenIndexFailed,
                                       karv::msg::kIndexFileSizeFailed};
const TargetMessages kVoxbankMessages = {Error::ArchiveUnopened, karv::msg::kOpenVoxbankFailed,
                                         karv::msg::kVoxbankFileSizeFailed};

// A saved size of 0 is "not recorded" and cuts nothing; a file of its saved size has nothing
// to cut either.
uint64_t cutPosition(uint64_t size, uint64_t saved) {
    return saved != 0 && size > saved ? saved : 0;
}

Status planZ54(const linkinfo& link, const SavedBackup& saved, RestorePlan& plan) {
    if (Status status = openTarget(link.fileNames[0], kIndexMessages, plan.index); !status)
        return status;
    uint64_t savedSize = saved.archiveSize(0);
    uint64_t size = plan.index.size;
    const uint32_t headerSize = karv::kIndexLayoutZ54.headerSize;
    if (size < savedSize || size < headerSize + uint64_t(saved.tableBytes))
        return fail(karv::msg::kIndexSizeMismatch, Error::SizeMismatch);
    plan.tableAt = headerSize;
    plan.index.cutAt = cutPosition(size, savedSize);
    return Status();
}

Status planArchives(const linkinfo& link, const ArchiveFiles& files, const SavedBackup& saved,
                    RestorePlan& plan) {
    if (Status status = openTarget(link.indexPath, kIndexMessages, plan.index); !status)
        return status;
    if (plan.index.size != saved.tableBytes)
        return fail(karv::msg::kIndexSizeMismatch, Error::SizeMismatch);
    const uint32_t recorded = files.recordedFiles();
    for (uint32_t i = 0; i < recorded; ++i) {
        uint64_t savedSize = saved.archiveSize(i);
        if (savedSize == 0)
            continue;
        Target target;
        if (Status status = openTarget(link.fileNames[i], kVoxbankMessages, target); !status)
            return status;
        if (target.size < savedSize)
            return fail(karv::msg::kVoxbankSizeMismatch, Error::SizeMismatch);
        target.cutAt = cutPosition(target.size, savedSize);
        plan.archives.push_back(std::move(target));
    }
    return Status();
}

// The slots are cleared first and in place: cleared slots make the next import append, which
// is safe whatever else failed, and the saved sizes are never at risk.
Status clearSlots(const std::wstring& path, uint32_t recordBytes) {
    static const uint8_t zeros[4096] = {};
    Status status;
    File file = File::open(path, OpenMode::WriteExisting, &status);
    if (file.isOpen())
        status = file.seek(karv::record::kSlotsStart, SeekFrom::Begin);
    for (uint32_t left = recordBytes - karv::record::kSlotsStart; status && left > 0;) {
        uint32_t part = left < sizeof zeros ? left : uint32_t(sizeof zeros);
        status = file.writeAll(zeros, part);
        left -= part;
    }
    if (status)
        status = file.close();
    return status;
}

Status cut(Target& target) {
    if (target.cutAt == 0)
        return Status();
    Status status = target.file.seek(int64_t(target.cutAt), SeekFrom::Begin);
    return status ? target.file.truncate() : status;
}

Status writeTable(Target& index, uint64_t at, const SavedBackup& saved) {
    Status status = index.file.seek(int64_t(at), SeekFrom::Begin);
    return status ? index.file.writeAll(saved.table.get(), saved.tableBytes) : status;
}

Status applyRestore(const ArchiveFiles& files, const SavedBackup& saved, RestorePlan& plan) {
    if (Status cleared = clearSlots(files.recordPath(), saved.recordBytes); !cleared)
        return cleared.as(Error::FileUnwritable, karv::msg::kWriteBackupFailed);
    Target& index = plan.index;
    if (Status written = writeTable(index, plan.tableAt, saved); !written)
        return written.as(Error::FileUnwritable, karv::msg::kWriteIndexFailed);
    if (Status cutBack = cut(index); !cutBack)
        return cutBack.as(Error::FileUnwritable, karv::msg::kCutVoxbankFailed);
    if (Status closed = index.file.close(); !closed)
        return closed.as(Error::FileUnwritable, karv::msg::kWriteIndexFailed);
    for (Target& archive : plan.archives) {
        Status status = cut(archive);
        if (status)
            status = archive.file.close();
        if (!status)
            return status.as(Error::FileUnwritable, karv::msg::kCutVoxbankFailed);
    }
    return Status();
}

// The index as it stands against the saved table. The plan measures the archive files and
// refuses one that shrank, so they are not measured here.
Status compareWithIndex(int32_t dataType, const ArchiveFiles& files, const SavedBackup& saved,
                        bool bigEndian, karv::BackupState& state) {
    karv::IndexTable index;
    if (Status status = loadIndex(dataType, files, bigEndian, index); !status)
        return status;
    karv::backup::SavedFiles copy;
    copy.record = saved.record.get();
    copy.recordLength = saved.recordBytes;
    copy.table = saved.table.get();
    copy.tableLength = saved.tableBytes;
    state.exists = true;
    karv::backup::compare(dataType, files, copy, index, {}, state);
    return Status();
}

} // namespace

Status karv::restoreArchive(int32_t dataType, const linkinfo& link, bool bigEndian) {
    const ArchiveFiles files(dataType, link);
    if (!files.fitsRecord())
        return fail(karv::msg::kTooManyVoxbankFiles, Error::TooManyFiles);
    SavedBackup saved;
    if (Status status = loadBackup(dataType, link, files, saved); !status)
        return status;
    // Read before the plan opens the files for writing: Windows lets no reader in then. Its
    // outcome counts only after the plan's own refusals.
    karv::BackupState state;
    const Status checked = compareWithIndex(dataType, files, saved, bigEndian, state);
    RestorePlan plan;
    Status status = files.indexInArchive() ? planZ54(link, saved, plan)
                                           : planArchives(link, files, saved, plan);
    if (!status)
        return status;
    if (!checked)
        return checked;
    if (state.changedByOtherProgram())
        return fail(karv::msg::kChangedSinceBackup, Error::ChangedSinceBackup);
    if (Status restored = applyRestore(files, saved, plan); !restored)
        return restored;
    // The mods' data is cut away with everything else appended: their ledger goes with it.
    const std::wstring ledger = karv::ModLedgerPath(link);
    if (karv::platform::pathExists(ledger) && !karv::platform::removeFile(ledger))
        return fail(karv::msg::kRemoveLedgerFailed, Error::FileUnwritable);
    return Status();
}
