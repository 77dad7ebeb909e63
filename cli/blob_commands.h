// The command-line codes "SD" and "MD": a packed blob split into its sub-files, and the
// ".data" files of a folder merged into a new packed blob.
#pragma once

#include "program_state.h"

#include <string>

namespace karv::cli {

// "SD": writes every sub-file of the blob at `path` to <folder>/00000.data and so on; the folder
// becomes the selection's texture folder.
void SplitBlob(ArchiveSelection& selection, const std::wstring& path);
// "MD": merges the ".data" files of `folder` into <folder>/<folder name>.mdata.
void MergeBlob(const std::wstring& folder);

} // namespace karv::cli
