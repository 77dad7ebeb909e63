// What the archive export and import share: which archive file of a game holds an entry, the
// folder named after an archive file, and the entry numbers of member file names.
#pragma once

#include "karvcore/karvcore.h"

#include <cstdint>
#include <optional>
#include <string>

namespace karv::cli {

// linkinfo has room for this many archive files.
inline constexpr int32_t kMaxArchiveFiles = 10;

// A 357 index entry is 32 bytes, and split addresses are entry numbers times this.
inline constexpr uint64_t kSplitAddressUnit = 32;

// True when the description stays inside the ten slots of linkinfo.
inline bool archiveFileCountFits(const linkinfo& link) {
    return link.fileCount >= 0 && link.fileCount <= kMaxArchiveFiles;
}

// The archive file of a multi-file game that holds `entry`: the highest-numbered file whose
// split address is at most entry x 32; none when no file qualifies (or the game has no files).
inline std::optional<int32_t> archiveFileOf(const linkinfo& link, uint32_t entry) {
    if (!archiveFileCountFits(link))
        return std::nullopt;
    const uint64_t address = uint64_t(entry) * kSplitAddressUnit;
    for (int32_t k = link.fileCount - 1; k >= 0; --k) {
        if (link.splitAddress[k] <= address)
            return k;
    }
    return std::nullopt;
}

// The folder name of an archive file: its name up to the first ".", or the whole name when
// it has no "." or begins with one.
inline std::wstring archiveFolderName(const std::wstring& archiveName) {
    size_t dot = archiveName.find(L'.');
    if (dot == std::wstring::npos || dot == 0)
        return archiveName;
    return archiveName.substr(0, dot);
}

} // namespace karv::cli
