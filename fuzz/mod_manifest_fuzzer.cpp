// The readers of the mod files on hostile bytes. A mod package's mod.json either reads as a
// manifest that keeps every rule (paths that pass IsPackagePath, known format, hash, type and
// mode, hashes as 32 lowercase hex digits, no member claimed twice) and that, written out, reads
// back the same and writes out the same bytes again; or it is refused with a message. Never a
// throw or a crash.
//
// Input: byte 0 = the reader (modulo the readers: 0 mod.json); the rest is the file.
#include "fuzz_support.h"
#include "karvcore/formats.h"
#include "karvcore/karvcore.h"
#include "karvcore/mods.h"
#include "platform/text.h"

#include <set>
#include <string>
#include <utility>

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

using Reader = void (*)(const karv::fuzz::Bytes&);
const Reader kReaders[] = {readManifest};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    karv::fuzz::InputReader in(data, size);
    const Reader reader = kReaders[in.u8() % (sizeof kReaders / sizeof kReaders[0])];
    reader(in.rest());
    return 0;
}
