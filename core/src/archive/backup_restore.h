// Backup and restore of an archive's index and sizes, for the exported functions and the
// library's own callers.
#pragma once

#include "karvcore/karvcore.h"
#include "karvcore/status.h"

#include <cstdint>

namespace karv {

// BackupIdxVoxbank's work. Failures: the index's own, IndexHoldsNoEntry, TooLarge (the record
// would not fit in 32 bits), ArchiveUnopened, FileSizeUnknown, FileUncreated, FileUnwritable,
// TooManyFiles, OutOfMemory.
Status backUpArchive(int32_t dataType, const linkinfo& link, bool bigEndian);
// RestoreIdxVoxbank's work. Failures: BackupUnloadable, IndexUnopened, ArchiveUnopened,
// FileSizeUnknown, SizeMismatch, the index's own (it cannot be read), ChangedSinceBackup (see
// CheckBackup), FileUnwritable, TooManyFiles, OutOfMemory.
Status restoreArchive(int32_t dataType, const linkinfo& link, bool bigEndian);

} // namespace karv
