// What the mods of an archive look like against its index now, and putting a backup aside for
// a new one after a game update.
#include "archive/archive_files.h"
#include "boundary/boundary.h"
#include "boundary/exported_codes.h"
#include "boundary/messages.h"
#include "karvcore/mod_work.h"
#include "mods/mod_archive.h"
#include "platform/file.h"
#include "platform/filesystem.h"

#include <algorithm>

namespace karv {

bool ModsState::gone() const {
    return !ledger.mods.empty() && std::none_of(entries.begin(), entries.end(),
                                                [](const ModEntryState& e) { return e.atTop; });
}

bool ModsState::allInPlace() const {
    return std::all_of(entries.begin(), entries.end(),
                       [](const ModEntryState& e) { return e.atTop; });
}

Status InspectMods(const ModArchive& archive, ModsState& state) {
    Status status = guardMemory([&] {
        mods::LoadedArchive loaded(archive);
        if (Status read = loaded.load(); !read)
            return read;
        ModsState result;
        result.backup = loaded.hasBackup();
        result.changed = loaded.backup().changedByOtherProgram();
        result.ledgerExists = loaded.ledgerExists();
        result.ledger = loaded.ledger();
        for (const ModLedgerEntry& e : result.ledger.entries) {
            const std::vector<uint8_t> now = loaded.currentBytes(e.entry);
            result.entries.push_back({e, now == e.layers.back().bytes, now == e.original});
        }
        state = std::move(result);
        return Status();
    });
    reportSucceeded(status);
    return status;
}

Status SetBackupAside(const ModArchive& archive) {
    Status status = guardMemory([&] {
        // A Z54 index copy lies beside the archive file, as its index is that file's head.
        const ArchiveFiles files(archive.dataType, archive.link, archive.archivePath);
        for (const std::wstring& path :
             {files.recordPath(), files.indexCopyPath(), ModLedgerPath(archive.link)}) {
            if (!platform::pathExists(path))
                continue;
            if (!platform::File::replace(path, path + L".old"))
                return mods::writeFailed(path + L".old");
        }
        return Status();
    });
    reportSucceeded(status);
    return status;
}

} // namespace karv
