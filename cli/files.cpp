#include "files.h"

#include "platform/filesystem.h"
#include "program_state.h"
#include "texts.h"

namespace karv::cli {

using platform::kPathSeparator;

bool loadWhole(const std::wstring& path, LoadedData& file) {
    uint8_t* raw = nullptr;
    uint32_t size = 0;
    if (!LoadData(path, raw, &size))
        return false;
    file.bytes.reset(raw);
    file.size = size;
    return true;
}

std::wstring outputFolderFor(const std::wstring& path) {
    size_t cut = platform::lastSeparator(path);
    std::wstring name = cut == std::wstring::npos ? path : path.substr(cut + 1);
    size_t dot = name.find(L'.');
    std::wstring stem = dot == std::wstring::npos || dot == 0 ? name + text::kOutputFolderSuffix
                                                              : name.substr(0, dot);
    if (cut == std::wstring::npos)
        return stem;
    return path.substr(0, cut) + kPathSeparator + stem;
}

std::wstring withTrailingSeparator(const std::wstring& folder) {
    if (!folder.empty() && platform::isPathSeparator(folder.back()))
        return folder;
    return folder + kPathSeparator;
}

void createFolderUnlessExists(const std::wstring& folder) {
    if (!platform::pathExists(folder))
        platform::createDirectory(folder);
}

void prepareOutputFolder(ArchiveSelection& selection, const std::wstring& path) {
    selection.texturesDir = outputFolderFor(path);
    createFolderUnlessExists(selection.texturesDir);
}

std::wstring zeroPadded(uint32_t number, int width) {
    std::wstring digits = std::to_wstring(number);
    if (digits.size() < size_t(width))
        digits.insert(0, size_t(width) - digits.size(), L'0');
    return digits;
}

} // namespace karv::cli
