// The archive against its backup. The import points an entry only at data it appended behind its
// archive file's saved size (or over such a region again), so an entry that differs from the
// saved table and points below that size, a Z54 header with another entry count, or an archive
// file shorter than it was, can only come from another program. Restoring then would cut the
// file back and put an old table over an index that no longer matches the data.
#include "archive/backup_check.h"
#include "boundary/boundary.h"
#include "files/file_helpers.h"
#include "formats/backup_record.h"
#include "formats/index_file.h"
#include "karvcore/buffer.h"
#include "karvcore/formats.h"
#include "platform/file.h"
#include "platform/filesystem.h"

#include <algorithm>
#include <cstring>

namespace karv {
namespace backup {
namespace {

using platform::File;
using platform::OpenMode;

void add(BackupState& state, BackupFinding::Kind kind, int32_t file,
         std::optional<uint32_t> entry = std::nullopt) {
    BackupFinding finding;
    finding.kind = kind;
    finding.file = file;
    finding.entry = entry;
    state.findings.push_back(finding);
}

// The two files are ones a backup writes: a table of whole entries and a record with the sizes
// and a slot for each entry; for Z54 a saved archive that holds the header and the table.
bool fits(int32_t dataType, const SavedFiles& saved) {
    const IndexLayout& layout = IndexLayoutFor(dataType);
    if (saved.table == nullptr || saved.record == nullptr || saved.tableLength == 0 ||
        saved.tableLength % layout.entrySize != 0 ||
        !record::holds(saved.recordLength, saved.tableLength / layout.entrySize))
        return false;
    const uint64_t archive0 = record::archiveSize(saved.record, saved.recordLength, 0);
    return !layout.inArchive || archive0 == 0 ||
           archive0 >= layout.headerSize + uint64_t(saved.tableLength);
}

void compareEntries(const ArchiveFiles& files, const SavedFiles& saved, const IndexTable& index,
                    BackupState& state) {
    const uint32_t entrySize = index.entrySize();
    const uint32_t common = std::min(state.savedEntries, index.count());
    for (uint32_t n = 0; n < common; ++n) {
        const uint8_t* now = index.entryBytes(n);
        if (std::memcmp(now, saved.table + size_t(n) * entrySize, entrySize) == 0)
            continue;
        const int32_t file = files.fileOf(n);
        const uint64_t savedSize =
            uint32_t(file) < state.savedSizes.size() ? state.savedSizes[size_t(file)] : 0;
        if (savedSize == 0) {
            add(state, BackupFinding::kSizeUnrecorded, file, n);
            continue;
        }
        if (index.decode(now).offset < savedSize)
            add(state, BackupFinding::kEntryChanged, file, n);
    }
}

void compareSizes(const CurrentSizes& sizes, BackupState& state) {
    for (size_t k = 0; k < state.savedSizes.size() && k < sizes.size(); ++k) {
        if (sizes[k] && *sizes[k] < state.savedSizes[k])
            add(state, BackupFinding::kFileShorter, int32_t(k));
    }
}

// File by file; within a file the findings about the whole file first, then entry by entry.
void sortFindings(BackupState& state) {
    std::stable_sort(state.findings.begin(), state.findings.end(),
                     [](const BackupFinding& a, const BackupFinding& b) {
                         if (a.file != b.file)
                             return a.file < b.file;
                         if (a.entry.has_value() != b.entry.has_value())
                             return !a.entry.has_value();
                         return a.entry.value_or(0) < b.entry.value_or(0);
                     });
}

} // namespace

void compare(int32_t dataType, const ArchiveFiles& files, const SavedFiles& saved,
             const IndexTable& index, const CurrentSizes& sizes, BackupState& state) {
    state.findings.clear();
    state.savedSizes.assign(files.recordedFiles(), 0);
    for (uint32_t k = 0; k < files.recordedFiles(); ++k)
        state.savedSizes[k] = record::archiveSize(saved.record, saved.recordLength, k);
    const uint32_t entrySize = IndexLayoutFor(dataType).entrySize;
    state.savedEntries = saved.table != nullptr ? saved.tableLength / entrySize : 0;
    if (!fits(dataType, saved)) {
        add(state, BackupFinding::kBackupMisfit, 0);
    } else {
        if (index.count() != state.savedEntries)
            add(state,
                files.indexInArchive() ? BackupFinding::kCountChanged
                                       : BackupFinding::kBackupMisfit,
                0);
        compareEntries(files, saved, index, state);
    }
    // The record's sizes still tell a file that shrank, whatever became of the table.
    compareSizes(sizes, state);
    sortFindings(state);
}

CurrentSizes measureArchiveFiles(const ArchiveFiles& files) {
    CurrentSizes sizes(files.recordedFiles());
    for (uint32_t k = 0; k < files.recordedFiles(); ++k) {
        File file = File::open(files.pathOf(int32_t(k)), OpenMode::ReadExisting);
        uint64_t size = 0;
        if (file.isOpen() && file.size(size))
            sizes[k] = size;
    }
    return sizes;
}

} // namespace backup

bool BackupState::changedByOtherProgram() const {
    return std::any_of(findings.begin(), findings.end(), [](const BackupFinding& finding) {
        return finding.kind == BackupFinding::kEntryChanged ||
               finding.kind == BackupFinding::kCountChanged ||
               finding.kind == BackupFinding::kFileShorter;
    });
}

namespace {

Status checkBackup(int32_t dataType, const linkinfo& link, const std::wstring& chosenArchive,
                   bool bigEndian, BackupState& state) {
    state = BackupState();
    const ArchiveFiles files(dataType, link, chosenArchive);
    if (!files.fitsRecord())
        return Status::failure(Error::TooManyFiles, msg::kTooManyVoxbankFiles);
    state.savedSizes.assign(files.recordedFiles(), 0);
    const std::wstring recordPath = files.recordPath();
    if (link.fileNames[0].empty() || !platform::pathExists(recordPath))
        return Status();
    state.exists = true;
    IndexTable index;
    if (Status loaded = loadIndexFor(dataType, files.indexPath(), bigEndian, index); !loaded)
        return loaded;
    if (index.count() == 0)
        return Status::failure(Error::IndexHoldsNoEntry, msg::kIndexEmpty);
    MallocBuffer record, table;
    backup::SavedFiles saved;
    if (loadWholeFile(recordPath, record, saved.recordLength))
        saved.record = record.get();
    if (loadWholeFile(files.indexCopyPath(), table, saved.tableLength))
        saved.table = table.get();
    backup::compare(dataType, files, saved, index, backup::measureArchiveFiles(files), state);
    return Status();
}

} // namespace

Status CheckBackup(int32_t dataType, const linkinfo& link, const std::wstring& chosenArchive,
                   bool bigEndian, BackupState& state) {
    return guardMemory(
        [&] { return checkBackup(dataType, link, chosenArchive, bigEndian, state); });
}

} // namespace karv
