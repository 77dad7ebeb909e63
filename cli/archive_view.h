// What LIST and VERIFY share: the archive of a selection as the library reads it, and the
// archive files it numbers (a 357 archive over all the game's files, else the chosen one).
#pragma once

#include "game_config.h"
#include "karvcore/archive.h"
#include "program_state.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace karv::cli {

struct ViewedFile {
    std::wstring name; // as the game record names it
    std::wstring path;
    std::optional<uint64_t> size; // now; none when it cannot be measured
};

struct ArchiveView {
    ArchiveRequest request;
    // By the library's file numbers: linkinfo's files for a 357 archive, else the chosen file.
    std::vector<ViewedFile> files;
    // The archive against its backup; `backupChecked` false when the check could not be made
    // (the index's own failure shows again when the archive is read).
    BackupState backup;
    bool backupChecked = false;

    // The name of file `file`; the chosen file's for a number outside the files.
    const std::wstring& nameOf(int32_t file) const;
    // The saved size of file `file`, when the backup recorded one.
    std::optional<uint64_t> savedSize(int32_t file) const;
};

// The archive of the selection, its files measured and its backup checked.
ArchiveView ViewArchive(const ArchiveSelection& selection, const gameinfo& game);

} // namespace karv::cli
