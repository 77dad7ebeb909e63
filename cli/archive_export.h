// Archive export: a range of members out to numbered ".data" files.
#pragma once

#include <cstdint>
#include <string>

namespace karv::cli {

// Exports entries first..last of the archive chosen in archiveSelection; prints every outcome.
void ExportMembers(uint32_t first, uint32_t last, std::wstring archivePath, bool extractTextures);

} // namespace karv::cli
