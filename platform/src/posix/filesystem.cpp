// Folders and directory searches on POSIX.
#define _FILE_OFFSET_BITS 64

#include "platform/filesystem.h"
#include "platform/text.h"
#include "posix/native_path.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace karv::platform {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

bool hasWildcard(const std::wstring& text) {
    return text.find_first_of(L"*?") != std::wstring::npos;
}

bool isDotOrDotDot(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// What a listing reports of one entry: links are followed, a broken link is reported as itself.
void describeEntry(int folderFd, const char* name, DirectoryEntry& entry) {
    struct stat info;
    if (fstatat(folderFd, name, &info, 0) != 0 &&
        fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    entry.isDirectory = S_ISDIR(info.st_mode);
    // Folders have no size in the Windows search either.
    entry.size = entry.isDirectory || info.st_size < 0 ? 0 : uint64_t(info.st_size);
}

} // namespace

bool pathExists(const std::wstring& pathOrPattern) {
    size_t cut = lastSeparator(pathOrPattern);
    std::wstring lastName =
        cut == std::wstring::npos ? pathOrPattern : pathOrPattern.substr(cut + 1);
    if (hasWildcard(lastName)) {
        std::wstring folder =
            cut == std::wstring::npos ? std::wstring() : pathOrPattern.substr(0, cut + 1);
        std::vector<DirectoryEntry> found;
        return listDirectory(folder, lastName, found) && !found.empty();
    }
    std::string name;
    struct stat info;
    return !pathOrPattern.empty() && posix::toNativePath(pathOrPattern, name) &&
           lstat(name.c_str(), &info) == 0;
}

bool isDirectory(const std::wstring& path) {
    std::string name;
    struct stat info;
    return posix::toNativePath(path, name) && stat(name.c_str(), &info) == 0 &&
           S_ISDIR(info.st_mode);
}

bool createDirectory(const std::wstring& path) {
    std::string name;
    return posix::toNativePath(path, name) && mkdir(name.c_str(), 0777) == 0;
}

bool listDirectory(const std::wstring& folder, const std::wstring& pattern,
                   std::vector<DirectoryEntry>& out) {
    out.clear();
    std::string name;
    if (!posix::toNativePath(folder.empty() ? std::wstring(L".") : folder, name))
        return false;
    DirPtr dir(opendir(name.c_str()));
    if (!dir)
        return false;
    for (;;) {
        errno = 0;
        const dirent* item = readdir(dir.get());
        if (!item) {
            if (errno != 0)
                return false;
            break;
        }
        if (isDotOrDotDot(item->d_name))
            continue;
        DirectoryEntry entry;
        entry.name = utf8ToWide(item->d_name);
        if (!matchesPattern(entry.name, pattern))
            continue;
        describeEntry(dirfd(dir.get()), item->d_name, entry);
        out.push_back(std::move(entry));
    }
    std::sort(out.begin(), out.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
        return compareUtf16(a.name, b.name) < 0;
    });
    return true;
}

bool removeFile(const std::wstring& path) {
    std::string name;
    return posix::toNativePath(path, name) && unlink(name.c_str()) == 0;
}

namespace {

// "/a/./b//../c" as "/a/c": names "." and empty ones dropped, ".." taking off the name before
// it (none above the root), as the Windows build's full path does; a trailing "/" is kept.
std::wstring withoutDotNames(const std::wstring& path) {
    std::vector<std::wstring> names;
    for (size_t from = 1; from <= path.size();) {
        size_t cut = path.find(L'/', from);
        if (cut == std::wstring::npos)
            cut = path.size();
        const std::wstring name = path.substr(from, cut - from);
        if (name == L"..") {
            if (!names.empty())
                names.pop_back();
        } else if (!name.empty() && name != L".") {
            names.push_back(name);
        }
        from = cut + 1;
    }
    std::wstring out;
    for (const std::wstring& name : names)
        out += L'/' + name;
    if (out.empty() || path.back() == L'/')
        out += L'/';
    return out;
}

} // namespace

std::wstring absolutePath(const std::wstring& path) {
    if (path.empty())
        return path;
    if (path[0] == L'/')
        return withoutDotNames(path);
    std::string here(4096, '\0');
    if (getcwd(here.data(), here.size()) == nullptr)
        return path;
    here.resize(std::strlen(here.c_str()));
    return withoutDotNames(utf8ToWide(here) + L'/' + path);
}

} // namespace karv::platform
