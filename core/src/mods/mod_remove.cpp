// Taking one mod out: each entry it holds on top goes back to the layer below it, and the
// ledger drops its layers. Only the index, the record's slots and the ledger are written, behind
// an intent as every step; the mod's data stays in the archive until a restore.
#include "boundary/boundary.h"
#include "boundary/exported_codes.h"
#include "boundary/messages.h"
#include "karvcore/mod_work.h"
#include "mods/mod_archive.h"
#include "platform/filesystem.h"

#include <algorithm>

namespace karv {
namespace {

using mods::LoadedArchive;

Status remove(const ModArchive& archive, const std::wstring& name, ModRemoval& removal) {
    removal = ModRemoval();
    LoadedArchive loaded(archive);
    if (Status read = loaded.load(); !read)
        return read;
    if (Status trusted = loaded.requireTrustedBackup(); !trusted)
        return trusted;
    if (platform::pathExists(ModIntentPath(archive.link)))
        return Status::failure(Error::ModIntentPending, msg::kModIntentPending);
    ModLedger ledger = loaded.ledger();
    auto mod = std::find_if(ledger.mods.begin(), ledger.mods.end(),
                            [&](const ModLedgerMod& m) { return m.name == name; });
    if (mod == ledger.mods.end())
        return Status::failure(Error::ModNotApplied,
                               msg::kModNameQuote + name + msg::kModNotAppliedEnd);
    ledger.mods.erase(mod);
    ModIntent intent;
    intent.operation = L"MODDEL";
    intent.mods = {name};
    intent.backup = loaded.backupFingerprint();
    std::vector<ModLedgerEntry> kept;
    for (ModLedgerEntry& e : ledger.entries) {
        auto layer = std::find_if(e.layers.begin(), e.layers.end(),
                                  [&](const ModLayer& l) { return l.mod == name; });
        if (layer == e.layers.end()) {
            kept.push_back(std::move(e));
            continue;
        }
        const bool onTop = layer + 1 == e.layers.end();
        const std::vector<uint8_t> now = loaded.currentBytes(e.entry);
        if (!onTop) {
            removal.dropped.push_back(e.entry);
        } else if (now != layer->bytes) {
            // Neither the mod's value nor, below, anything the ledger can vouch for.
            removal.outside.push_back(e.entry);
        } else {
            const std::vector<uint8_t>& below =
                layer == e.layers.begin() ? e.original : (layer - 1)->bytes;
            intent.entries.push_back({e.entry, now, below, loaded.slotOf(e.entry)});
            removal.restored.push_back(e.entry);
        }
        e.layers.erase(layer);
        if (!e.layers.empty())
            kept.push_back(std::move(e));
    }
    ledger.entries = std::move(kept);
    intent.ledger = std::move(ledger);
    return mods::commitStep(loaded, intent);
}

} // namespace

Status RemoveMod(const ModArchive& archive, const std::wstring& name, ModRemoval& removal) {
    Status status = guardMemory([&] { return remove(archive, name, removal); });
    reportSucceeded(status);
    return status;
}

} // namespace karv
