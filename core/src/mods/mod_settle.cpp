// A mod step the process did not finish: its intent, found by the next command, brings the
// archive to the step fully done or fully undone while the game is still the one it was written
// for, and is set aside unused once anything else touched the game.
#include "boundary/boundary.h"
#include "boundary/exported_codes.h"
#include "boundary/messages.h"
#include "files/file_helpers.h"
#include "karvcore/mod_work.h"
#include "mods/mod_archive.h"
#include "platform/file.h"
#include "platform/filesystem.h"

#include <algorithm>
#include <vector>

namespace karv {
namespace {

using mods::LoadedArchive;
using platform::File;
using platform::OpenMode;
using platform::SeekFrom;

constexpr const wchar_t* kAsideSuffix = L".aside";

// The archive is as the intent left it: the same backup, every file of the step at the size it
// recorded, and each entry either before or after the step.
bool stillApplies(const LoadedArchive& loaded, const ModIntent& intent) {
    if (!loaded.hasBackup() || loaded.backupFingerprint() != intent.backup)
        return false;
    for (const ModIntentFile& file : intent.files) {
        if (file.file >= uint32_t(kMaxArchiveFiles) ||
            loaded.sizeOf(int32_t(file.file)) != file.size)
            return false;
    }
    for (const ModIntentEntry& e : intent.entries) {
        const std::vector<uint8_t> now = loaded.currentBytes(e.entry);
        if (now.empty() || (now != e.before && now != e.after))
            return false;
    }
    return true;
}

// The bytes a file's step appended hash as the intent says.
bool appendedWhole(const LoadedArchive& loaded, const ModIntentFile& file) {
    return file.from >= file.size || mods::hashFileRange(loaded.files().pathOf(int32_t(file.file)),
                                                         file.from, file.size) == file.hash;
}

Status settle(const ModArchive& archive, IntentSettlement& settlement) {
    settlement = IntentSettlement();
    const std::wstring path = ModIntentPath(archive.link);
    if (!platform::pathExists(path))
        return Status();
    MallocBuffer bytes;
    uint32_t length = 0;
    if (!loadWholeFile(path, bytes, length))
        return Status::failure(Error::ModIntentInvalid,
                               msg::kModIntentUnreadable + path + msg::kModQuoteEnd);
    ModIntent intent;
    if (Status parsed = ParseModIntent(bytes.get(), length, intent); !parsed)
        return parsed;
    settlement.operation = intent.operation;
    settlement.mods = intent.mods;
    LoadedArchive loaded(archive);
    if (Status read = loaded.load(); !read)
        return read;
    if (!stillApplies(loaded, intent)) {
        settlement.kind = IntentSettlement::kSetAside;
        settlement.asidePath = path + kAsideSuffix;
        if (!File::replace(path, settlement.asidePath))
            return mods::writeFailed(settlement.asidePath);
        return Status();
    }
    const bool ledgerWritten =
        loaded.ledgerExists() && WriteModLedger(loaded.ledger()) == WriteModLedger(intent.ledger);
    const bool whole =
        std::all_of(intent.files.begin(), intent.files.end(),
                    [&](const ModIntentFile& f) { return appendedWhole(loaded, f); });
    settlement.kind =
        ledgerWritten || whole ? IntentSettlement::kRolledForward : IntentSettlement::kRolledBack;
    if (!ledgerWritten) {
        std::vector<LoadedArchive::EntryWrite> writes;
        for (const ModIntentEntry& e : intent.entries)
            writes.push_back(whole ? LoadedArchive::EntryWrite{e.entry, e.after, 0}
                                   : LoadedArchive::EntryWrite{e.entry, e.before, e.slot});
        if (Status written = loaded.writeEntries(writes); !written)
            return written;
        if (whole) {
            if (Status written = mods::writeLedgerFile(ModLedgerPath(archive.link), intent.ledger);
                !written)
                return written;
        }
    }
    if (!platform::removeFile(path))
        return mods::writeFailed(path);
    return Status();
}

} // namespace

Status SettleModIntent(const ModArchive& archive, IntentSettlement& settlement) {
    Status status = guardMemory([&] { return settle(archive, settlement); });
    reportSucceeded(status);
    return status;
}

} // namespace karv
