// The command-line codes "SD" and "MD": a packed blob split into its sub-files, and the
// ".data" files of a folder merged into a new packed blob. Also the helpers that the texture
// commands share with them: the output folder beside a file and the blob's first word.
#pragma once

#include "malloc_buffer.h"

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

// A first word at most this large is taken as the sub-file count of a packed blob.
inline constexpr uint32_t kMaxBlobFiles = 0x10000;

// The folder where the pieces of the file at `path` go: beside it, named after the file's
// stem (the name up to its first "."). A name without a stem of its own (no ".", or a "."
// first) would give the file itself, so its folder is the whole name followed by "_files".
// A path without a separator gives a folder in the current folder.
std::wstring outputFolderFor(const std::wstring& path);

// Stores outputFolderFor(path) in archiveSelection.texturesDir and creates that folder (one
// level) unless something of that name is there.
void prepareOutputFolder(const std::wstring& path);

// The folder with a separator at its end (one is added unless there is one).
std::wstring withTrailingSeparator(const std::wstring& folder);

// Creates one folder unless something of that name is there; the result is not looked at.
void createFolderUnlessExists(const std::wstring& folder);

// The first 32-bit word of `data` in the game's byte order; false when there are fewer than
// four bytes.
bool readFirstWord(const uint8_t* data, uint32_t length, uint32_t& word);

// `number` in decimal, padded on the left with "0" to at least `width` digits.
std::wstring zeroPadded(uint32_t number, int width);

// "SD": writes every sub-file of the blob at `path` to <folder>/00000.data and so on.
void SplitBlob(const std::wstring& path);
// "MD": merges the ".data" files of `folder` into <folder>/<folder name>.mdata.
void MergeBlob(const std::wstring& folder);

} // namespace karv::cli
