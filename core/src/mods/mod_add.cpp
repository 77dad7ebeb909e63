// Applying mods to one archive: every package checked against the game first (its pins against
// the originals the backup saved, its entries against the ledger and the index), then one step
// that appends every member's data through the import, flushes it, and commits the entries,
// slots and ledger behind an intent.
#include "boundary/boundary.h"
#include "boundary/exported_codes.h"
#include "boundary/messages.h"
#include "karvcore/archive.h"
#include "karvcore/formats.h"
#include "karvcore/mod_work.h"
#include "mods/mod_archive.h"
#include "platform/file.h"
#include "platform/filesystem.h"
#include "platform/flush_ahead.h"
#include "platform/text.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace karv {
namespace {

using mods::LoadedArchive;
using platform::File;
using platform::OpenMode;
using platform::SeekFrom;

bool samePin(const ModMemberPin& a, const ModMemberPin& b) {
    return a.size == b.size && a.hash == b.hash;
}

} // namespace

struct ModAddition::State {
    ModArchive archive;
    std::vector<const ModPackage*> packages;
    ModAddOptions options;
    LoadedArchive loaded;
    std::vector<ModFinding> findings;
    std::vector<uint32_t> taken;
    // A member that goes in, in package order; its entry's bytes once appended.
    struct Staged {
        size_t package = 0;
        const ModMember* member = nullptr;
        std::vector<uint8_t> bytes;
    };
    std::vector<Staged> staged;
    // What the step appended to each archive file, hashed as it was written.
    struct Appended {
        ModHasher hash;
        uint64_t bytes = 0;
    };
    std::vector<std::unique_ptr<Appended>> appended;
    // The packages that have members in this archive, whether or not any is left out.
    std::vector<size_t> listed;
    bool checked = false;

    State(ModArchive a, std::vector<const ModPackage*> p, ModAddOptions o)
        : archive(std::move(a)), packages(std::move(p)), options(o), loaded(archive) {}

    Status check();
    Status checkPackages() const;
    bool inThisArchive(const ModMember& member) const;
    std::vector<std::pair<size_t, const ModMember*>> membersHere();
    Status checkOriginals(std::vector<std::pair<size_t, const ModMember*>>& members);
    // What the check learnt of the originals: the stored bytes' pins, the decoded members'
    // pins, the entries with none.
    struct Originals {
        struct Stored {
            ModMemberPin pin;
            bool compressed = false;
        };
        std::map<uint32_t, Stored> stored;
        std::map<uint32_t, ModMemberPin> decoded;
        std::set<uint32_t> missing;
        std::optional<ModMemberPin> pinByStoredBytes(const ModMember& member) const;
    };
    Status hashStoredOriginals(const std::set<uint32_t>& entries, Originals& originals) const;
    Status decodeOriginals(const std::set<uint32_t>& entries, Originals& originals) const;
    ArchiveRequest requestForOriginals() const {
        return {archive.dataType, archive.bigEndian, archive.link, archive.archivePath};
    }
    void checkConflicts();
    void find(ModFinding::Kind kind, size_t package, uint32_t entry, std::wstring holder = {}) {
        findings.push_back({kind, packages[package]->manifest.name, entry, std::move(holder)});
    }

    Status apply();
    Status stage(std::vector<uint64_t>& sizesBefore);
    ImportRequest importRequest() const;
    std::vector<std::wstring> filesToFlush() const;
    void cutBack(const std::vector<uint64_t>& sizesBefore) const;
    ModIntent intentFor(const std::vector<uint64_t>& sizesBefore) const;
    std::wstring appendedHash(int32_t file, uint64_t from, uint64_t to) const;
    int32_t fileCount() const {
        return ArchiveSpansFiles(archive.dataType) ? std::max(archive.link.fileCount, 1) : 1;
    }
};

// ---- The checks ----

Status ModAddition::State::check() {
    checked = false;
    findings.clear();
    staged.clear();
    listed.clear();
    if (Status read = loaded.load(); !read)
        return read;
    if (Status trusted = loaded.requireTrustedBackup(); !trusted)
        return trusted;
    if (platform::pathExists(ModIntentPath(archive.link)))
        return Status::failure(Error::ModIntentPending, msg::kModIntentPending);
    if (Status fits = checkPackages(); !fits)
        return fits;
    std::vector<std::pair<size_t, const ModMember*>> members = membersHere();
    if (Status originals = checkOriginals(members); !originals)
        return originals;
    checkConflicts();
    taken.assign(packages.size(), 0);
    for (const Staged& s : staged)
        ++taken[s.package];
    const bool blocked = std::any_of(findings.begin(), findings.end(), [&](const ModFinding& f) {
        switch (f.kind) {
        case ModFinding::kOriginalChanged:
        case ModFinding::kEntryMissing:
            return !options.skipChangedOriginals;
        default:
            return !options.over;
        }
    });
    if (blocked)
        return Status::failure(Error::ModConflict, msg::kModConflict);
    checked = true;
    return Status();
}

Status ModAddition::State::checkPackages() const {
    const ContainerKind* kind = FindContainerKind(archive.dataType);
    const wchar_t* mode = archive.bigEndian ? L"PS3" : L"PC";
    std::set<std::wstring> names;
    for (const ModLedgerMod& applied : loaded.ledger().mods)
        names.insert(applied.name);
    for (const ModPackage* package : packages) {
        const ModManifest& manifest = package->manifest;
        if (manifest.type != kind->name || manifest.mode != mode)
            return Status::failure(Error::ModWrongGame,
                                   msg::kModNameQuote + manifest.name + msg::kModWrongGameEnd);
        if (!names.insert(manifest.name).second)
            return Status::failure(Error::ModAlreadyApplied,
                                   msg::kModNameQuote + manifest.name + msg::kModAlreadyAppliedEnd);
    }
    return Status();
}

bool ModAddition::State::inThisArchive(const ModMember& member) const {
    return ArchiveSpansFiles(archive.dataType) ||
           platform::asciiUpper(member.file) == platform::asciiUpper(archive.archiveName);
}

std::vector<std::pair<size_t, const ModMember*>> ModAddition::State::membersHere() {
    std::vector<std::pair<size_t, const ModMember*>> members;
    for (size_t p = 0; p < packages.size(); ++p) {
        bool any = false;
        for (const ModMember& member : packages[p]->manifest.members) {
            if (inThisArchive(member)) {
                members.emplace_back(p, &member);
                any = true;
            }
        }
        if (any)
            listed.push_back(p);
    }
    return members;
}

// Each member's pin against the original the backup saved; the members that pass are staged.
// The stored bytes are hashed first: a raw original is its stored bytes, and a compressed one
// whose stored bytes the package pins is the original its maker decoded. Only the others are
// decoded, and their own pin decides.
Status
ModAddition::State::checkOriginals(std::vector<std::pair<size_t, const ModMember*>>& members) {
    std::set<uint32_t> wanted;
    for (const auto& [package, member] : members)
        wanted.insert(member->entry);
    Originals originals;
    if (Status read = hashStoredOriginals(wanted, originals); !read)
        return read;
    std::vector<std::optional<ModMemberPin>> known(members.size());
    std::set<uint32_t> undecided;
    for (size_t i = 0; i < members.size(); ++i) {
        known[i] = originals.pinByStoredBytes(*members[i].second);
        if (!known[i] && originals.stored.count(members[i].second->entry) != 0)
            undecided.insert(members[i].second->entry);
    }
    if (Status read = decodeOriginals(undecided, originals); !read)
        return read;
    for (size_t i = 0; i < members.size(); ++i) {
        const auto& [package, member] = members[i];
        const uint32_t entry = member->entry;
        if (entry >= loaded.index().count() || originals.missing.count(entry) != 0) {
            find(ModFinding::kEntryMissing, package, entry);
            continue;
        }
        if (!known[i]) {
            if (auto decoded = originals.decoded.find(entry); decoded != originals.decoded.end())
                known[i] = decoded->second;
        }
        if (!known[i] || !samePin(*known[i], member->original)) {
            find(ModFinding::kOriginalChanged, package, entry);
            continue;
        }
        staged.push_back({package, member, {}});
    }
    return Status();
}

// The member's original, when the stored bytes alone tell what it is.
std::optional<ModMemberPin>
ModAddition::State::Originals::pinByStoredBytes(const ModMember& member) const {
    auto found = stored.find(member.entry);
    if (found == stored.end())
        return std::nullopt;
    if (!found->second.compressed)
        return found->second.pin;
    // A stored pin equal to the decoded one was made of a raw original: it says nothing of how
    // a compressed one decodes.
    if (member.stored && samePin(*member.stored, found->second.pin) &&
        !samePin(*member.stored, member.original))
        return member.original;
    return std::nullopt;
}

Status ModAddition::State::hashStoredOriginals(const std::set<uint32_t>& entries,
                                               Originals& originals) const {
    return ReadOriginalMembers(
        requestForOriginals(), std::vector<uint32_t>(entries.begin(), entries.end()),
        [&](const OriginalMember& original) {
            const Error error = original.status.error();
            if (original.status)
                originals.stored[original.entry] = {{original.storedLength, original.storedHash},
                                                    original.compressed};
            else if (error == Error::EntryBeyondIndex || error == Error::EntryUnused)
                originals.missing.insert(original.entry);
        },
        OriginalForm::kStoredHash);
}

Status ModAddition::State::decodeOriginals(const std::set<uint32_t>& entries,
                                           Originals& originals) const {
    if (entries.empty())
        return Status();
    return ReadOriginalMembers(
        requestForOriginals(), std::vector<uint32_t>(entries.begin(), entries.end()),
        [&](const OriginalMember& original) {
            if (original.status)
                originals.decoded[original.entry] = {original.length,
                                                     ModHash(original.data, original.length)};
        });
}

// Who sets each staged entry now: an earlier package of the step, an applied mod, or something
// outside the mods.
void ModAddition::State::checkConflicts() {
    std::map<uint32_t, size_t> setInStep;
    for (const Staged& s : staged) {
        const uint32_t entry = s.member->entry;
        auto earlier = setInStep.find(entry);
        if (earlier != setInStep.end()) {
            find(ModFinding::kSetByEarlier, s.package, entry,
                 packages[earlier->second]->manifest.name);
        } else if (const ModLedgerEntry* stack = loaded.ledgerEntry(entry)) {
            if (loaded.currentBytes(entry) != stack->layers.back().bytes)
                find(ModFinding::kChangedOutside, s.package, entry);
            else
                find(ModFinding::kSetByApplied, s.package, entry, stack->layers.back().mod);
        } else if (loaded.currentBytes(entry) != loaded.originalBytes(entry)) {
            find(ModFinding::kChangedOutside, s.package, entry);
        }
        setInStep[entry] = s.package;
    }
}

// ---- The step ----

Status ModAddition::State::apply() {
    if (!checked)
        return Status::failure(Error::Stopped);
    checked = false;
    if (staged.empty() && listed.empty())
        return Status();
    std::vector<uint64_t> sizesBefore;
    if (Status appended = stage(sizesBefore); !appended) {
        cutBack(sizesBefore);
        return appended;
    }
    // The data reaches the disk before anything points at it.
    for (int32_t f = 0; f < fileCount(); ++f) {
        const std::wstring& path = loaded.files().pathOf(f);
        if (loaded.sizeOf(f).value_or(0) == sizesBefore[size_t(f)])
            continue;
        File file = File::open(path, OpenMode::WriteExisting);
        if (!file.isOpen() || !file.flush() || !file.close()) {
            cutBack(sizesBefore);
            return mods::writeFailed(path);
        }
    }
    return mods::commitStep(loaded, intentFor(sizesBefore));
}

// Appends every staged member through the import, which compresses as it would for the entry,
// and keeps the entry that points at each.
Status ModAddition::State::stage(std::vector<uint64_t>& sizesBefore) {
    for (int32_t f = 0; f < fileCount(); ++f) {
        std::optional<uint64_t> size = loaded.sizeOf(f);
        if (!size)
            return Status::failure(Error::ArchiveUnopened, msg::kOpenVoxbankFailed);
        sizesBefore.push_back(*size);
    }
    if (staged.empty())
        return Status();
    ImportRequest request = importRequest();
    appended.clear();
    for (int32_t f = 0; f < fileCount(); ++f)
        appended.push_back(std::make_unique<Appended>());
    platform::FlushAhead flushAhead(filesToFlush());
    request.appended = [&](int32_t file, const uint8_t* bytes, uint32_t count) {
        if (file >= 0 && size_t(file) < appended.size()) {
            appended[size_t(file)]->hash.update(bytes, count);
            appended[size_t(file)]->bytes += count;
            flushAhead.written(size_t(file), count);
        }
    };
    std::vector<ImportFile> files;
    for (const Staged& s : staged)
        files.push_back({s.member->path, s.member->entry,
                         mods::packageFilePath(packages[s.package]->folder, s.member->path)});
    ArchiveImport import(request);
    if (Status opened = import.open(); !opened)
        return opened;
    size_t next = 0;
    Status failure;
    Status ran = import.run(files, [&](const ImportEvent& event) {
        if (event.kind == ImportEvent::kChunkSizeUnreadable)
            return;
        if (event.kind == ImportEvent::kImported && next < staged.size()) {
            staged[next++].bytes = event.entryBytes;
            return;
        }
        if (failure)
            failure = Status::failure(Error::FileUnwritable,
                                      msg::kModStageFailed + event.file + msg::kModQuoteEnd);
    });
    if (!failure)
        return failure;
    if (!ran || next != staged.size())
        return Status::failure(Error::FileUnwritable, msg::kModStageStopped);
    return Status();
}

ImportRequest ModAddition::State::importRequest() const {
    ImportRequest request;
    request.dataType = archive.dataType;
    request.bigEndian = archive.bigEndian;
    request.blockAlignment = archive.blockAlignment;
    request.link = archive.link;
    request.archivePath = archive.archivePath;
    request.appendOnly = true;
    return request;
}

// The archive files the staged members go to, to be flushed ahead of the step's own flush.
std::vector<std::wstring> ModAddition::State::filesToFlush() const {
    std::vector<std::wstring> paths(static_cast<size_t>(fileCount()));
    for (const Staged& s : staged) {
        const int32_t f = loaded.files().fileOf(s.member->entry);
        if (f >= 0 && size_t(f) < paths.size())
            paths[size_t(f)] = loaded.files().pathOf(f);
    }
    return paths;
}

// What a failed step appended is cut away again, so the archive is as it was.
void ModAddition::State::cutBack(const std::vector<uint64_t>& sizesBefore) const {
    for (size_t f = 0; f < sizesBefore.size(); ++f) {
        File file = File::open(loaded.files().pathOf(int32_t(f)), OpenMode::WriteExisting);
        uint64_t size = 0;
        if (file.isOpen() && file.size(size) && size > sizesBefore[f] &&
            sizesBefore[f] <= uint64_t(INT64_MAX) &&
            file.seek(int64_t(sizesBefore[f]), SeekFrom::Begin))
            (void)file.truncate();
    }
}

// The hash of what the step appended to a file, as the import wrote it; read back from the
// file should the import's bytes not account for all the file grew by.
std::wstring ModAddition::State::appendedHash(int32_t file, uint64_t from, uint64_t to) const {
    if (size_t(file) < appended.size() && appended[size_t(file)]->bytes == to - from)
        return appended[size_t(file)]->hash.finish();
    return mods::hashFileRange(loaded.files().pathOf(file), from, to);
}

ModIntent ModAddition::State::intentFor(const std::vector<uint64_t>& sizesBefore) const {
    ModIntent intent;
    intent.operation = L"MODADD";
    intent.backup = loaded.backupFingerprint();
    for (size_t p : listed)
        intent.mods.push_back(packages[p]->manifest.name);
    for (int32_t f = 0; f < fileCount(); ++f) {
        const uint64_t size = loaded.sizeOf(f).value_or(sizesBefore[size_t(f)]);
        if (size == sizesBefore[size_t(f)])
            continue;
        intent.files.push_back({uint32_t(f), size, sizesBefore[size_t(f)],
                                appendedHash(f, sizesBefore[size_t(f)], size)});
    }
    // The ledger: the packages in order, each staged member's value on its entry's stack.
    ModLedger ledger = loaded.ledger();
    ledger.type = FindContainerKind(archive.dataType)->name;
    ledger.mode = archive.bigEndian ? L"PS3" : L"PC";
    for (size_t p : listed)
        ledger.mods.push_back({packages[p]->manifest.name, packages[p]->folder});
    std::map<uint32_t, ModLedgerEntry> entries;
    for (const ModLedgerEntry& e : ledger.entries)
        entries[e.entry] = e;
    std::map<uint32_t, std::vector<uint8_t>> top;
    for (const Staged& s : staged) {
        const uint32_t entry = s.member->entry;
        auto [at, fresh] = entries.try_emplace(entry);
        if (fresh) {
            at->second.entry = entry;
            at->second.original = loaded.originalBytes(entry);
        }
        at->second.layers.push_back({packages[s.package]->manifest.name, s.bytes});
        top[entry] = s.bytes;
    }
    ledger.entries.clear();
    for (auto& [entry, e] : entries)
        ledger.entries.push_back(std::move(e));
    for (const auto& [entry, bytes] : top)
        intent.entries.push_back({entry, loaded.currentBytes(entry), bytes, loaded.slotOf(entry)});
    intent.ledger = std::move(ledger);
    return intent;
}

// ---- The component ----

ModAddition::ModAddition(ModArchive archive, std::vector<const ModPackage*> packages,
                         ModAddOptions options)
    : state_(std::make_unique<State>(std::move(archive), std::move(packages), options)) {}

ModAddition::~ModAddition() = default;

Status ModAddition::check() {
    Status status = guardMemory([&] { return state_->check(); });
    reportSucceeded(status);
    return status;
}

const std::vector<ModFinding>& ModAddition::findings() const {
    return state_->findings;
}

const std::vector<uint32_t>& ModAddition::taken() const {
    return state_->taken;
}

Status ModAddition::apply() {
    Status status = guardMemory([&] { return state_->apply(); });
    reportSucceeded(status);
    return status;
}

} // namespace karv
