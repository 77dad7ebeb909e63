// The archive against its backup, for the library's own callers: the restore and the import
// have the backup's files or the index loaded already and hand them over rather than read them
// twice.
#pragma once

#include "archive/archive_files.h"
#include "karvcore/archive.h"
#include "karvcore/index_table.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace karv::backup {

// The backup's two files as read; null where a file could not be read.
struct SavedFiles {
    const uint8_t* record = nullptr;
    uint32_t recordLength = 0;
    const uint8_t* table = nullptr;
    uint32_t tableLength = 0;
};

// The size of each archive file the record describes as it is now; none where it is unknown
// (such a file is not checked).
using CurrentSizes = std::vector<std::optional<uint64_t>>;

// Compares the loaded index and the sizes with the backup and fills `state` (exists stays as
// the caller set it). Cannot fail: a backup that does not fit is a finding.
void compare(int32_t dataType, const ArchiveFiles& files, const SavedFiles& saved,
             const IndexTable& index, const CurrentSizes& sizes, BackupState& state);

// The sizes of the archive files the record describes; a file that cannot be opened or measured
// has none.
CurrentSizes measureArchiveFiles(const ArchiveFiles& files);

} // namespace karv::backup
