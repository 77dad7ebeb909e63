// The mod ledger and the intent: karvex's own files beside a backup's record.
//
// The ledger (`<archive file 0>.karvmods`) lists the mods applied to one archive, in the order
// they were applied, and for every entry a mod set, the stack of values the entry had: the
// original's index entry bytes (as the backup saved them), then each mod's, the top one in the
// index. UTF-8 JSON, replaced durably:
//   {"format": 1, "type": "Z54", "mode": "PC",
//    "mods": [{"name": "A", "folder": "/home/p/mods/A"}],
//    "entries": [{"entry": 42, "original": "<hex>", "layers": [{"mod": "A", "bytes": "<hex>"}]}]}
//
// The intent (`<archive file 0>.karvmods-intent`) is written durably once a mod step's data is
// in the archive and flushed, and removed once the index, the record's slots and the ledger
// are written; a leftover one tells the next command what was under way:
//   {"format": 1, "operation": "MODADD", "mods": ["A"], "backup": "<32 hex digits>",
//    "files": [{"file": 0, "size": 123, "from": 100, "hash": "<32 hex digits>"}],
//    "entries": [{"entry": 42, "before": "<hex>", "after": "<hex>", "slot": 0}],
//    "ledger": {the ledger as it is once the step is done}}
// `backup` fingerprints the backup's files; per archive file of the step, `size` is its size
// once the data was appended, and `from` and `hash` the start and hash of the appended bytes
// (from == size when none were); per entry, the index bytes and the record slot before the step
// and the bytes after it (the slot after a mod step is always 0).
//
// What the readers hold the files to (a file that breaks a rule is refused, never half read):
// every key above with its JSON type, numbers integers (32 bits, sizes and offsets 64), a key
// given twice refused, unknown keys ignored; format 1; type and mode as in a manifest; mod names
// not empty and unique; hex lowercase, of whole bytes, 1 to kMaxModEntryBytes of them, the same
// length throughout one file; entries ascending and unique; an entry's layers not empty, each
// naming a listed mod at most once; in the intent, operation one of the three, mods not empty,
// files ascending and unique with from <= size, hashes 32 lowercase hex digits.
#pragma once

#include "karvcore/karvcore.h"
#include "karvcore/status.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace karv {

inline constexpr const wchar_t* kModLedgerSuffix = L".karvmods";
inline constexpr const wchar_t* kModIntentSuffix = L".karvmods-intent";
inline constexpr uint32_t kModLedgerFormat = 1;
// No index layout has entries longer than this.
inline constexpr uint32_t kMaxModEntryBytes = 64;

// One mod's value of an entry.
struct ModLayer {
    std::wstring mod;
    std::vector<uint8_t> bytes; // the index entry as the mod wrote it
};

struct ModLedgerEntry {
    uint32_t entry = 0;
    std::vector<uint8_t> original; // the index entry as the backup saved it
    std::vector<ModLayer> layers;  // bottom first; the last is the one in the index
};

struct ModLedgerMod {
    std::wstring name;
    std::wstring folder; // the package folder, for a reapply
};

struct ModLedger {
    std::wstring type;                   // "357" "Z54" "358"
    std::wstring mode;                   // "PC" "PS3"
    std::vector<ModLedgerMod> mods;      // in the order applied
    std::vector<ModLedgerEntry> entries; // ascending
};

struct ModIntentFile {
    uint32_t file = 0; // index into the archive's files
    uint64_t size = 0; // once the data was appended
    uint64_t from = 0; // where the appended bytes begin
    std::wstring hash; // of the bytes from `from` to `size`
};

struct ModIntentEntry {
    uint32_t entry = 0;
    std::vector<uint8_t> before, after;
    uint32_t slot = 0; // the record slot before the step
};

struct ModIntent {
    std::wstring operation; // "MODADD" "MODDEL" "MODREAPPLY"
    std::vector<std::wstring> mods;
    std::wstring backup;
    std::vector<ModIntentFile> files;
    std::vector<ModIntentEntry> entries;
    ModLedger ledger;
};

// Readers: ModLedgerInvalid or ModIntentInvalid (not UTF-8, not JSON, a rule above broken; the
// message says which and where), ModFormatUnknown, OutOfMemory. `out` is left as it was unless the
// file is read.
KARVCORE_API Status ParseModLedger(const uint8_t* bytes, size_t length, ModLedger& out);
KARVCORE_API Status ParseModIntent(const uint8_t* bytes, size_t length, ModIntent& out);

// Writers: UTF-8 JSON in the key order above, ending with a line break; empty only when memory
// runs out. They write what they are given: check a value made by hand by parsing it back.
KARVCORE_API std::string WriteModLedger(const ModLedger& ledger);
KARVCORE_API std::string WriteModIntent(const ModIntent& intent);

} // namespace karv
