// Folders and directory searches on Windows: the file search of the system itself.
#include "platform/filesystem.h"
#include "platform/text.h"
#include "win32/native_path.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <memory>
#include <type_traits>

namespace karv::platform {
namespace {

struct SearchCloser {
    void operator()(HANDLE search) const { FindClose(search); }
};
using Search = std::unique_ptr<std::remove_pointer_t<HANDLE>, SearchCloser>;

Search startSearch(const std::wstring& pattern, WIN32_FIND_DATAW& found) {
    if (!win32::isNameable(pattern))
        return Search();
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    return Search(search == INVALID_HANDLE_VALUE ? nullptr : search);
}

bool isDotOrDotDot(const wchar_t* name) {
    return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0;
}

DirectoryEntry entryFrom(const WIN32_FIND_DATAW& found) {
    DirectoryEntry entry;
    entry.name = found.cFileName;
    entry.isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.size = uint64_t(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
    return entry;
}

} // namespace

bool pathExists(const std::wstring& pathOrPattern) {
    WIN32_FIND_DATAW found;
    return startSearch(pathOrPattern, found) != nullptr;
}

bool isDirectory(const std::wstring& path) {
    if (!win32::isNameable(path))
        return false;
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool createDirectory(const std::wstring& path) {
    return win32::isNameable(path) && CreateDirectoryW(path.c_str(), nullptr) != 0;
}

bool listDirectory(const std::wstring& folder, const std::wstring& pattern,
                   std::vector<DirectoryEntry>& out) {
    out.clear();
    std::wstring search = folder;
    if (!search.empty() && !isPathSeparator(search.back()))
        search += kPathSeparator;
    search += pattern;
    WIN32_FIND_DATAW found;
    Search handle = startSearch(search, found);
    if (!handle)
        // Nothing matched in a folder that is there: an empty listing, not a failure.
        return isDirectory(folder.empty() ? std::wstring(L".") : folder);
    do {
        if (!isDotOrDotDot(found.cFileName))
            out.push_back(entryFrom(found));
    } while (FindNextFileW(handle.get(), &found));
    if (GetLastError() != ERROR_NO_MORE_FILES) {
        out.clear();
        return false;
    }
    std::sort(out.begin(), out.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
        return compareUtf16(a.name, b.name) < 0;
    });
    return true;
}

bool removeFile(const std::wstring& path) {
    return win32::isNameable(path) && DeleteFileW(path.c_str()) != 0;
}

std::wstring absolutePath(const std::wstring& path) {
    if (path.empty())
        return path;
    DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (length == 0)
        return path;
    std::wstring full(length, L'\0');
    DWORD written = GetFullPathNameW(path.c_str(), length, full.data(), nullptr);
    if (written == 0 || written >= length)
        return path;
    full.resize(written);
    return full;
}

} // namespace karv::platform
