// The texture commands: the textures of G1T containers out as DDS files ("ET", and the
// archive export through ExportContainerTextures) and edited DDS files back in ("IT").
#pragma once

#include "program_state.h"

#include <cstdint>
#include <string>

namespace karv::cli {

// The member number that stands for "no member folder".
inline constexpr uint32_t kNoMember = 500000;

// Writes every texture of the container of `length` bytes at `offset` in `buffer` to the
// selection's texture folder (one level deeper, in a folder named after `member`, when
// `member` is below kNoMember) as <sub-file>_<texture>-<format>.dds. With `verbose` every
// outcome is printed; otherwise nothing is. In dry-run mode the folders are created but no
// DDS file is written. The buffer stays the caller's. False when a DDS file could not be
// written (or the container object not made).
bool ExportContainerTextures(const ArchiveSelection& selection, const uint8_t* buffer,
                             uint32_t offset, uint32_t length, uint32_t member, uint32_t subFile,
                             bool verbose);

// "ET": the textures of a container file, or of every container in a packed blob, into the
// folder named after the file, which becomes the selection's texture folder.
void ExportTextures(ArchiveSelection& selection, const std::wstring& path);

// "IT": the DDS files of `folder` into the containers of the data file, all or nothing; the
// data file is written back only when every DDS file went in.
void ImportTextures(const ArchiveSelection& selection, const std::wstring& dataPath,
                    const std::wstring& folder);

} // namespace karv::cli
