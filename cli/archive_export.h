// Archive export: a range of members out to numbered ".data" files.
#pragma once

#include "program_state.h"

#include <cstdint>
#include <string>

namespace karv::cli {

// Exports entries first..last of the archive chosen in `selection`; prints every outcome. The
// selection's export folder is extended by the archive file's folder (for the types whose files
// stand alone) and its texture folder set, as the run uses them. True when everything asked was
// written (in dry-run mode: would have been); a DDS file that could not be written counts too,
// although the archive export prints no line per texture.
bool ExportMembers(ArchiveSelection& selection, uint32_t first, uint32_t last,
                   std::wstring archivePath, bool extractTextures);

} // namespace karv::cli
