// Archive import: edited ".data" files back into the archive chosen in archiveSelection.
#pragma once

#include <string>

namespace karv::cli {

// Imports every "<entry>.data" file of archiveSelection.importDir; prints every outcome.
void ImportMembers(std::wstring archivePath);

} // namespace karv::cli
