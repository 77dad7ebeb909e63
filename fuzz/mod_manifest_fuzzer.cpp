// The readers of the mod files on hostile bytes. A mod package's mod.json either reads as a
// manifest that keeps every rule (paths that pass IsPackagePath, known format, hash, type and
// mode, hashes as 32 lowercase hex digits, no member claimed twice) and that, written out, reads
// back the same and writes out the same bytes again; or it is refused with a message. The same
// for a mod ledger (known type and mode, unique mod names, entries ascending, layers naming a
// listed mod once, bytes of one length) and an intent (its operation, mods, hashes, files and
// entries, and its ledger). Never a throw or a crash.
//
// Input: byte 0 = the reader (modulo the readers: 0 mod.json, 1 ledger, 2 intent); the rest is
// the file.
#include "fuzz_support.h"
#include "karvcore/formats.h"
#include "karvcore/karvcore.h"
#include "karvcore/mod_ledger.h"
#include "karvcore/mods.h"
#include "platform/text.h"

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using karv::fuzz::expect;

bool isHashText(const std::wstring& text) {
    if (text.size() != 32)
        return false;
    for (wchar_t c : text) {
        if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f')))
            return false;
    }
    return true;
}

bool same(const karv::ModManifest& a, const karv::ModManifest& b) {
    if (a.format != b.format || a.name != b.name || a.type != b.type || a.mode != b.mode ||
        a.hash != b.hash || a.members.size() != b.members.size())
        return false;
    for (size_t i = 0; i < a.members.size(); ++i) {
        const karv::ModMember& x = a.members[i];
        const karv::ModMember& y = b.members[i];
        if (x.file != y.file || x.entry != y.entry || x.path != y.path ||
            x.data.size != y.data.size || x.data.hash != y.data.hash ||
            x.original.size != y.original.size || x.original.hash != y.original.hash)
            return false;
    }
    return true;
}

void checkRules(const karv::ModManifest& manifest) {
    expect(manifest.format == karv::kModManifestFormat, "a format other than 1 read");
    expect(manifest.hash == karv::kModHashName, "an unknown hash name read");
    expect(!manifest.name.empty(), "an empty name read");
    const karv::ContainerKind* kind = karv::FindContainerKindByName(manifest.type);
    expect(kind != nullptr, "an unknown type read");
    expect(manifest.mode == L"PC" || manifest.mode == L"PS3", "an unknown mode read");
    expect(!manifest.members.empty(), "a manifest without members read");
    std::set<std::pair<std::wstring, uint32_t>> entries;
    std::set<std::wstring> paths;
    for (const karv::ModMember& member : manifest.members) {
        expect(karv::IsPackagePath(member.path), "a path that IsPackagePath refuses read");
        expect(karv::IsPackagePath(member.file) && member.file.find(L'/') == std::wstring::npos,
               "a file that is not one name read");
        expect(isHashText(member.data.hash) && isHashText(member.original.hash),
               "a hash that is not 32 lowercase hex digits read");
        const std::wstring file = kind->spansFiles ? L"" : karv::platform::asciiUpper(member.file);
        expect(entries.emplace(file, member.entry).second, "one member claimed twice");
        expect(paths.insert(karv::platform::asciiUpper(member.path)).second, "one path twice");
    }
}

void readManifest(const karv::fuzz::Bytes& file) {
    karv::ModManifest manifest;
    const karv::Status status = karv::ParseModManifest(file.data(), file.size(), manifest);
    if (!status) {
        const karv::Error error = status.error();
        expect(error == karv::Error::ModManifestInvalid || error == karv::Error::ModHashUnknown ||
                   error == karv::Error::ModFormatUnknown || error == karv::Error::OutOfMemory,
               "a refusal in another word");
        const std::wstring& message = status.message();
        expect(!message.empty() && message.back() == L'！', "a refusal without its message");
        expect(GetMessageQX() == message, "a refusal without the last-error message");
        expect(manifest.members.empty() && manifest.name.empty(), "a refusal that filled the out");
        return;
    }
    checkRules(manifest);
    const std::string written = karv::WriteModManifest(manifest);
    karv::ModManifest again;
    expect(karv::ParseModManifest(reinterpret_cast<const uint8_t*>(written.data()), written.size(),
                                  again) &&
               same(manifest, again),
           "a manifest written out reads back otherwise");
    expect(karv::WriteModManifest(again) == written, "a manifest read back writes otherwise");
}

// ---- The ledger and the intent ----

bool same(const karv::ModLedger& a, const karv::ModLedger& b) {
    if (a.type != b.type || a.mode != b.mode || a.mods.size() != b.mods.size() ||
        a.entries.size() != b.entries.size())
        return false;
    for (size_t i = 0; i < a.mods.size(); ++i) {
        if (a.mods[i].name != b.mods[i].name || a.mods[i].folder != b.mods[i].folder)
            return false;
    }
    for (size_t i = 0; i < a.entries.size(); ++i) {
        const karv::ModLedgerEntry& x = a.entries[i];
        const karv::ModLedgerEntry& y = b.entries[i];
        if (x.entry != y.entry || x.original != y.original || x.layers.size() != y.layers.size())
            return false;
        for (size_t j = 0; j < x.layers.size(); ++j) {
            if (x.layers[j].mod != y.layers[j].mod || x.layers[j].bytes != y.layers[j].bytes)
                return false;
        }
    }
    return true;
}

bool same(const karv::ModIntent& a, const karv::ModIntent& b) {
    if (a.operation != b.operation || a.mods != b.mods || a.backup != b.backup ||
        a.files.size() != b.files.size() || a.entries.size() != b.entries.size())
        return false;
    for (size_t i = 0; i < a.files.size(); ++i) {
        const karv::ModIntentFile& x = a.files[i];
        const karv::ModIntentFile& y = b.files[i];
        if (x.file != y.file || x.size != y.size || x.from != y.from || x.hash != y.hash)
            return false;
    }
    for (size_t i = 0; i < a.entries.size(); ++i) {
        const karv::ModIntentEntry& x = a.entries[i];
        const karv::ModIntentEntry& y = b.entries[i];
        if (x.entry != y.entry || x.before != y.before || x.after != y.after || x.slot != y.slot)
            return false;
    }
    return same(a.ledger, b.ledger);
}

// Every bytes value of one file: 1 to kMaxModEntryBytes bytes, all as long as the first.
void checkBytes(const std::vector<uint8_t>& bytes, size_t& length) {
    expect(!bytes.empty() && bytes.size() <= karv::kMaxModEntryBytes, "bytes of a bad length read");
    if (length == 0)
        length = bytes.size();
    expect(bytes.size() == length, "bytes of two lengths read");
}

void checkLedgerRules(const karv::ModLedger& ledger, size_t& length) {
    expect(karv::FindContainerKindByName(ledger.type) != nullptr, "an unknown type read");
    expect(ledger.mode == L"PC" || ledger.mode == L"PS3", "an unknown mode read");
    std::set<std::wstring> names;
    for (const karv::ModLedgerMod& mod : ledger.mods)
        expect(!mod.name.empty() && names.insert(mod.name).second, "an empty or repeated mod read");
    for (size_t i = 0; i < ledger.entries.size(); ++i) {
        const karv::ModLedgerEntry& entry = ledger.entries[i];
        expect(i == 0 || ledger.entries[i - 1].entry < entry.entry, "entries out of order read");
        checkBytes(entry.original, length);
        expect(!entry.layers.empty(), "an entry without layers read");
        std::set<std::wstring> layered;
        for (const karv::ModLayer& layer : entry.layers) {
            expect(names.count(layer.mod) == 1 && layered.insert(layer.mod).second,
                   "a layer of an unlisted or repeated mod read");
            checkBytes(layer.bytes, length);
        }
    }
}

void checkIntentRules(const karv::ModIntent& intent) {
    const std::set<std::wstring> operations = {L"MODADD", L"MODDEL", L"MODREAPPLY"};
    expect(operations.count(intent.operation) == 1, "an unknown operation read");
    const std::set<std::wstring> mods(intent.mods.begin(), intent.mods.end());
    expect(!intent.mods.empty() && mods.size() == intent.mods.size() && mods.count(L"") == 0,
           "no mods, an empty or a repeated one read");
    expect(isHashText(intent.backup), "a backup that is not 32 lowercase hex digits read");
    for (size_t i = 0; i < intent.files.size(); ++i) {
        const karv::ModIntentFile& file = intent.files[i];
        expect(i == 0 || intent.files[i - 1].file < file.file, "files out of order read");
        expect(file.from <= file.size && isHashText(file.hash), "a bad file read");
    }
    size_t length = 0;
    for (size_t i = 0; i < intent.entries.size(); ++i) {
        const karv::ModIntentEntry& entry = intent.entries[i];
        expect(i == 0 || intent.entries[i - 1].entry < entry.entry, "entries out of order read");
        checkBytes(entry.before, length);
        checkBytes(entry.after, length);
    }
    checkLedgerRules(intent.ledger, length);
}

// Reads the file with `parse`; a refusal says so in the file's own word and leaves the value
// alone, and what is read keeps the rules and reads back the same once written.
template <typename Value, typename Parse, typename Write, typename Check>
void readModFile(const karv::fuzz::Bytes& file, karv::Error invalid, Parse parse, Write write,
                 Check check) {
    Value value;
    const karv::Status status = parse(file.data(), file.size(), value);
    if (!status) {
        const karv::Error error = status.error();
        expect(error == invalid || error == karv::Error::ModFormatUnknown ||
                   error == karv::Error::OutOfMemory,
               "a refusal in another word");
        const std::wstring& message = status.message();
        expect(!message.empty() && message.back() == L'！', "a refusal without its message");
        expect(GetMessageQX() == message, "a refusal without the last-error message");
        expect(write(value) == write(Value()), "a refusal that filled the out");
        return;
    }
    check(value);
    const std::string written = write(value);
    Value again;
    expect(parse(reinterpret_cast<const uint8_t*>(written.data()), written.size(), again) &&
               same(value, again),
           "a file written out reads back otherwise");
    expect(write(again) == written, "a file read back writes otherwise");
}

void readLedger(const karv::fuzz::Bytes& file) {
    readModFile<karv::ModLedger>(file, karv::Error::ModLedgerInvalid, karv::ParseModLedger,
                                 karv::WriteModLedger, [](const karv::ModLedger& ledger) {
                                     size_t length = 0;
                                     checkLedgerRules(ledger, length);
                                 });
}

void readIntent(const karv::fuzz::Bytes& file) {
    readModFile<karv::ModIntent>(file, karv::Error::ModIntentInvalid, karv::ParseModIntent,
                                 karv::WriteModIntent, checkIntentRules);
}

using Reader = void (*)(const karv::fuzz::Bytes&);
const Reader kReaders[] = {readManifest, readLedger, readIntent};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    karv::fuzz::InputReader in(data, size);
    const Reader reader = kReaders[in.u8() % (sizeof kReaders / sizeof kReaders[0])];
    reader(in.rest());
    return 0;
}
