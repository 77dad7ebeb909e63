// Paths, folders and directory searches.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace karv::platform {

#ifdef _WIN32
inline constexpr wchar_t kPathSeparator = L'\\';
#else
inline constexpr wchar_t kPathSeparator = L'/';
#endif

// On Windows both '\' and '/' separate; on POSIX only '/'.
bool isPathSeparator(wchar_t c);
// Position of the last separator in `path`, or std::wstring::npos.
size_t lastSeparator(const std::wstring& path);

// True when something (file or folder) matches the path; '*' and '?' in the last name
// match like the Windows file search.
bool pathExists(const std::wstring& pathOrPattern);
bool isDirectory(const std::wstring& path);

// Creates one folder. False when it could not be created (including when it already exists).
bool createDirectory(const std::wstring& path);

struct DirectoryEntry {
    std::wstring name; // name only, without the folder
    bool isDirectory = false;
    uint64_t size = 0;
};

// Entries of `folder` whose names match `pattern` ('*' and '?'), without "." and "..",
// sorted by name in ascending order of UTF-16 code units. False when the folder cannot be read.
bool listDirectory(const std::wstring& folder, const std::wstring& pattern,
                   std::vector<DirectoryEntry>& out);

// Matches a whole name against a pattern of '*' and '?' (case-sensitive on POSIX,
// ASCII case-insensitive on Windows, as the file search there is).
bool matchesPattern(const std::wstring& name, const std::wstring& pattern);

// Removes a file; for tests and clean-up. False when it could not be removed.
bool removeFile(const std::wstring& path);
// The path made absolute against the working folder, its "." and ".." names resolved by name
// (without following links); the path itself when the system cannot tell.
std::wstring absolutePath(const std::wstring& path);

} // namespace karv::platform
