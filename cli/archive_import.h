// Archive import: edited ".data" files back into the archive chosen in the selection.
#pragma once

#include "program_state.h"

#include <string>

namespace karv::cli {

// Imports every "<entry>.data" file of the selection's import folder; prints every outcome.
void ImportMembers(const ArchiveSelection& selection, std::wstring archivePath);

} // namespace karv::cli
