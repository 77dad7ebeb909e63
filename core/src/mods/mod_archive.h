// One archive as the mod steps see it: its index, the backup's record and index copy, the
// ledger, and how it compares with the backup; and the writes every step shares (entries and
// slots, the ledger, the intent), each checked and made durable.
#pragma once

#include "archive/archive_files.h"
#include "karvcore/archive.h"
#include "karvcore/buffer.h"
#include "karvcore/index_table.h"
#include "karvcore/mod_ledger.h"
#include "karvcore/mod_work.h"
#include "platform/file.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace karv::mods {

class LoadedArchive {
  public:
    explicit LoadedArchive(const ModArchive& archive);

    // Loads the index and the ledger, and the backup when there is one (hasBackup()). Failures:
    // TooManyFiles, BadDataType, the index's own, IndexHoldsNoEntry, the ledger's, OutOfMemory.
    Status load();
    // What every writing step needs on top: a backup that fits the index, and a game no other
    // program changed. BackupUnloadable, ChangedSinceBackup.
    Status requireTrustedBackup() const;

    const ModArchive& archive() const { return archive_; }
    const ArchiveFiles& files() const { return files_; }
    const IndexTable& index() const { return index_; }
    bool hasBackup() const { return hasBackup_; }
    const BackupState& backup() const { return backupState_; }
    bool ledgerExists() const { return ledgerExists_; }
    const ModLedger& ledger() const { return ledger_; }

    // The entry as the index holds it now, and as the backup saved it (empty beyond the copy).
    std::vector<uint8_t> currentBytes(uint32_t entry) const;
    std::vector<uint8_t> originalBytes(uint32_t entry) const;
    uint32_t slotOf(uint32_t entry) const;
    // The ledger's stack of an entry; null when no mod set it.
    const ModLedgerEntry* ledgerEntry(uint32_t entry) const;

    // A hash over what a backup saves that no step changes: the saved sizes and the index copy.
    std::wstring backupFingerprint() const;
    // The size of archive file `file` now; none when it cannot be measured.
    std::optional<uint64_t> sizeOf(int32_t file) const;

    // The entries' new bytes into the index and their slots into the record, then both
    // flushed. FileUnwritable with the file's name in the message.
    struct EntryWrite {
        uint32_t entry = 0;
        std::vector<uint8_t> bytes;
        uint32_t slot = 0;
    };
    Status writeEntries(const std::vector<EntryWrite>& writes);

  private:
    ModArchive archive_;
    ArchiveFiles files_;
    IndexTable index_;
    bool hasBackup_ = false;
    MallocBuffer record_;
    uint32_t recordLength_ = 0;
    MallocBuffer table_;
    uint32_t tableLength_ = 0;
    BackupState backupState_;
    bool ledgerExists_ = false;
    ModLedger ledger_;
};

// The hash of a file's bytes from `from` to `to`, read in pieces; empty when they cannot be read.
std::wstring hashFileRange(const std::wstring& path, uint64_t from, uint64_t to);
std::wstring hashFileRange(platform::File& file, uint64_t from, uint64_t to);
// A member file of a package below its folder: its package path with this system's separator.
std::wstring packageFilePath(const std::wstring& folder, const std::wstring& packagePath);

// The file a status names for a write that failed: "写入文件“…”失败！".
Status writeFailed(const std::wstring& path);

// The step's last writes, in order: the intent (durably), the entries and slots, the ledger
// (durably), the intent removed. A failure after the intent is in place leaves it for the next
// command to settle.
Status commitStep(LoadedArchive& loaded, const ModIntent& intent);

// The text of a ledger or intent as its writer makes it, checked by reading it back.
Status writeLedgerFile(const std::wstring& path, const ModLedger& ledger);

} // namespace karv::mods
