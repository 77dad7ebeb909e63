// The exported backup and restore.
#include "archive/backup_restore.h"
#include "boundary/boundary.h"
#include "boundary/exported_codes.h"

int32_t BackupIdxVoxbank(int32_t dataType, const linkinfo& link,
                         const std::wstring& /*archiveFolder*/, bool bigEndian) {
    return karv::report(karv::Exported::Backup, karv::guardMemory([&] {
                            return karv::backUpArchive(dataType, link, bigEndian);
                        }));
}

int32_t RestoreIdxVoxbank(int32_t dataType, const linkinfo& link,
                          const std::wstring& /*archiveFolder*/, bool bigEndian) {
    return karv::report(karv::Exported::Restore, karv::guardMemory([&] {
                            return karv::restoreArchive(dataType, link, bigEndian);
                        }));
}
