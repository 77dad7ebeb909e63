// Paths inside a mod package: what the manifest may name, and where a member file goes.
#include "karvcore/archive.h"
#include "karvcore/formats.h"
#include "karvcore/mods.h"
#include "platform/text.h"

namespace karv {
namespace {

// Characters Windows refuses in a file name; a package made on one system must unpack on both.
bool isForbidden(wchar_t c) {
    if (uint32_t(c) < 0x20)
        return true;
    for (wchar_t bad : L"\\:*?\"<>|") {
        if (bad != 0 && c == bad)
            return true;
    }
    return false;
}

// Windows opens these devices whatever the folder or extension ("NUL.data" is no file).
bool isDeviceName(const std::wstring& name) {
    const std::wstring stem = platform::asciiUpper(name.substr(0, name.find(L'.')));
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL"}) {
        if (stem == device)
            return true;
    }
    return stem.size() == 4 &&
           (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
           stem[3] >= L'1' && stem[3] <= L'9';
}

bool isPackageName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..")
        return false;
    // Windows drops a trailing space or dot, so "a." and "a" would be one file.
    if (name.back() == L' ' || name.back() == L'.')
        return false;
    for (wchar_t c : name) {
        if (isForbidden(c))
            return false;
    }
    return !isDeviceName(name);
}

} // namespace

bool IsPackagePath(const std::wstring& path) {
    return catchOutOfMemory(
        [&] {
            // Text that UTF-8 cannot hold (an unpaired surrogate) could not be in mod.json.
            std::string utf8;
            if (!platform::wideToCodePage(platform::kCodePageUtf8, path, utf8))
                return false;
            size_t begin = 0;
            for (;;) {
                const size_t end = path.find(L'/', begin);
                const size_t count = end == std::wstring::npos ? end : end - begin;
                if (!isPackageName(path.substr(begin, count)))
                    return false;
                if (end == std::wstring::npos)
                    return true;
                begin = end + 1;
            }
        },
        [] { return false; });
}

std::wstring PackagePathOf(int32_t dataType, const std::wstring& archiveName, uint32_t entry) {
    return catchOutOfMemory(
        [&] {
            std::wstring name = std::to_wstring(entry);
            if (name.size() < size_t(kMemberFileDigits))
                name.insert(0, size_t(kMemberFileDigits) - name.size(), L'0');
            name += kMemberFileSuffix;
            // As MembersFolder lays out an import folder, with '/' on every system.
            if (ArchiveSpansFiles(dataType) || archiveName.empty())
                return name;
            return ArchiveFolderName(archiveName) + L"/" + name;
        },
        [] { return std::wstring(); });
}

} // namespace karv
