// Archive import: edited ".data" files back into the archive chosen in the selection.
#pragma once

#include "karvcore/archive.h"
#include "program_state.h"

#include <string>
#include <vector>

namespace karv::cli {

// How an import ended, for a caller that reports it beyond the printed lines.
enum class ImportOutcome {
    Done,            // every file had its turn and none failed (skipped ones are outcomes)
    Failed,          // the import could not start, ended early, or passed over a file it refused
    FolderMissing,   // "导入目录不存在！"
    NothingToImport, // "未找到可以导入的文件！", or an index without entries
};

// The member files of a folder as the import takes them, in the order it takes them: "*.data"
// files whose name before the extension is an entry number; false when the folder cannot be
// listed.
bool MemberFilesIn(const std::wstring& folder, std::vector<ImportFile>& files);

// Imports every "<entry>.data" file of the selection's import folder; prints every outcome.
ImportOutcome ImportMembers(const ArchiveSelection& selection, std::wstring archivePath);

} // namespace karv::cli
