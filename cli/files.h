// What the program's commands share about files and folders: whole files in memory, the
// folders beside a file or named after an archive file, and numbered names.
#pragma once

#include "karvcore/buffer.h"
#include "program_state.h"

#include <cstdint>
#include <string>

namespace karv::cli {

// A whole file in memory.
struct LoadedData {
    MallocBuffer bytes;
    uint32_t size = 0;
};

// Loads the file with LoadData; false with the library's message set when it cannot.
bool loadWhole(const std::wstring& path, LoadedData& file);

// The folder where the pieces of the file at `path` go: beside it, named after the file's
// stem (the name up to its first "."). A name without a stem of its own (no ".", or a "."
// first) would give the file itself, so its folder is the whole name followed by "_files".
// A path without a separator gives a folder in the current folder.
std::wstring outputFolderFor(const std::wstring& path);

// Stores outputFolderFor(path) in the selection's texture folder and creates that folder (one
// level) unless something of that name is there.
void prepareOutputFolder(ArchiveSelection& selection, const std::wstring& path);

// The folder with a separator at its end (one is added unless there is one).
std::wstring withTrailingSeparator(const std::wstring& folder);

// Creates one folder unless something of that name is there; the result is not looked at.
void createFolderUnlessExists(const std::wstring& folder);

// `number` in decimal, padded on the left with "0" to at least `width` digits.
std::wstring zeroPadded(uint32_t number, int width);

} // namespace karv::cli
