// Mods on a game: packages checked against the archive, applied as one step per archive with
// their values stacked in the ledger, removed one at a time, and the state they left. A step
// writes in this order, so that a process killed at any moment leaves the mod fully in or fully
// out once the next step settles the intent: the data appended and flushed, the intent, the
// index entries and record slots, the ledger, then the intent removed.
#pragma once

#include "karvcore/formats.h"
#include "karvcore/karvcore.h"
#include "karvcore/mod_ledger.h"
#include "karvcore/mods.h"
#include "karvcore/status.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace karv {

// One archive of a game, as the import takes it: a 357 game's archive over all its files, else
// the chosen archive file (`archiveName` its name as the record gives it).
struct ModArchive {
    int32_t dataType = kDataTypeNone;
    bool bigEndian = false;
    uint32_t blockAlignment = 0;
    linkinfo link;
    std::wstring archivePath;
    std::wstring archiveName;
};

// Beside archive file 0, as the backup's record.
KARVCORE_API std::wstring ModLedgerPath(const linkinfo& link);
KARVCORE_API std::wstring ModIntentPath(const linkinfo& link);

// The ledger of an archive; `exists` false (and an empty ledger) when there is none. Failures:
// the reader's (ModLedgerInvalid, ModFormatUnknown), FileUnreadable.
KARVCORE_API Status LoadModLedger(const linkinfo& link, ModLedger& ledger, bool& exists);

// A package as read from its folder, every member file checked whole.
struct ModPackage {
    std::wstring folder;
    ModManifest manifest;
};

// Reads `folder`'s mod.json and checks each member file against it (its length and hash).
// Failures: ModPackageUnreadable (no mod.json, or it cannot be read), the manifest reader's,
// ModMemberMismatch (a member file missing, unreadable, or of another length or hash: the
// message names it), OutOfMemory.
KARVCORE_API Status ReadModPackage(const std::wstring& folder, ModPackage& out);

// What settling a leftover intent did.
struct IntentSettlement {
    enum Kind {
        kNone,          // no intent
        kRolledForward, // the step is now fully in
        kRolledBack,    // the step is now fully out
        kSetAside,      // the game changed since the intent was written: kept aside, not applied
    };
    Kind kind = kNone;
    std::wstring operation;
    std::vector<std::wstring> mods;
    std::wstring asidePath; // kSetAside: where the intent now lies
};

// Looks for a leftover intent of the archive and settles it. The intent's step is rolled
// forward when the backup and the archive files are as it recorded them and its appended data
// is whole; back when the data is not; set aside (renamed, never applied) when the backup or a
// file size is no longer the recorded one. Failures (nothing written): ModIntentInvalid (an
// intent that does not parse: it stays), the writes' own (FileUnwritable, the message naming
// the file).
KARVCORE_API Status SettleModIntent(const ModArchive& archive, IntentSettlement& settlement);

// Why a member of a package cannot go in as it is, or what going in means for it.
struct ModFinding {
    enum Kind {
        kOriginalChanged, // its pin does not match the game's original member
        kEntryMissing,    // its entry is beyond the index or unused
        kSetByApplied,    // an applied mod (`holder`) sets the entry
        kSetByEarlier,    // an earlier package of this step (`holder`) sets it
        kChangedOutside,  // the entry is neither its original nor the ledger's top value
    };
    Kind kind = kOriginalChanged;
    std::wstring mod;
    uint32_t entry = 0;
    std::wstring holder;
};

struct ModAddOptions {
    bool over = false;                 // a later mod wins over what sets an entry; else refused
    bool skipChangedOriginals = false; // members whose pin no longer matches are left out
};

// Applies packages to one archive, in order: check() first (nothing written), then apply().
class KARVCORE_API ModAddition {
  public:
    // Of each package only the members of this archive are taken (for a 357 archive all).
    ModAddition(ModArchive archive, std::vector<const ModPackage*> packages, ModAddOptions options);
    ~ModAddition();
    ModAddition(const ModAddition&) = delete;
    ModAddition& operator=(const ModAddition&) = delete;

    // Every check. Failures: BackupUnloadable (no backup), ChangedSinceBackup, the index's
    // own, the ledger's (LoadModLedger), ModIntentPending (an intent not settled), ModWrongGame
    // (a package of another type or byte order), ModAlreadyApplied (a name in the ledger or
    // twice in the step), ModConflict (a finding that blocks: see findings()), OutOfMemory.
    Status check();
    // Every finding of check(): those that block, and with the options the ones that do not
    // (conflicts won with `over`, members left out with `skipChangedOriginals`).
    const std::vector<ModFinding>& findings() const;
    // How many members of each package go in (after check()), in package order.
    const std::vector<uint32_t>& taken() const;
    // Writes the step. Failures: the import's (the message names the file; what was appended
    // is cut away again), FileUnwritable (a later write: the intent then settles the step).
    Status apply();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// What removing a mod did.
struct ModRemoval {
    std::vector<uint32_t> restored; // entries back at the layer below
    std::vector<uint32_t> dropped;  // entries a later mod holds: only the stack changed
    std::vector<uint32_t> outside;  // entries changed outside the mods: left alone
};

// Takes mod `name` out of one archive. Failures: BackupUnloadable, ChangedSinceBackup, the
// ledger's, ModIntentPending, ModNotApplied, the writes' own.
KARVCORE_API Status RemoveMod(const ModArchive& archive, const std::wstring& name,
                              ModRemoval& removal);

// One entry of the ledger as the index has it now.
struct ModEntryState {
    ModLedgerEntry ledger;
    bool atTop = false;      // the index holds the top layer's value
    bool atOriginal = false; // the index holds the original
};

struct ModsState {
    bool backup = false;  // the record is there
    bool changed = false; // another program changed the game since the backup
    bool ledgerExists = false;
    ModLedger ledger;
    std::vector<ModEntryState> entries; // in the ledger's order
    // The ledger lists mods and none of its top values is in the index.
    KARVCORE_API bool gone() const;
    // The ledger lists mods and every top value is in the index.
    KARVCORE_API bool allInPlace() const;
};

// The mods of one archive against the index. Failures: the ledger's, the index's own,
// OutOfMemory.
KARVCORE_API Status InspectMods(const ModArchive& archive, ModsState& state);

// Puts the backup's files and the ledger aside under their names plus ".old" (replacing earlier
// ones), so that a new backup can take the game as it is. The archive's data type says where its
// index copy lies. Failures: FileUnwritable (a rename).
KARVCORE_API Status SetBackupAside(const ModArchive& archive);

} // namespace karv
