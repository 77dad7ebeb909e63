// The command-line codes "U" and "C": one member file decompressed or compressed.
#pragma once

#include "karvcore/formats.h"

#include <string>

namespace karv::cli {

// Decompresses the file into path + ".udata"; a kind with a magic (358) refuses a file
// without it.
void decompressFile(const ContainerKind& kind, const std::wstring& path, bool bigEndian);
// Compresses the file into path + ".cdata" at the best level, with the kind's chunk size.
void compressFile(const ContainerKind& kind, const std::wstring& path, bool bigEndian);

} // namespace karv::cli
