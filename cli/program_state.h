// The program-wide state of the chosen game and archive file.
#pragma once

#include "karvcore/karvcore.h"

#include <cstdint>
#include <string>

namespace karv::cli {

enum DataType : int32_t { kDataTypeNone = 0, kDataType357 = 1, kDataTypeZ54 = 2, kDataType358 = 3 };

struct ArchiveSelection {
    int32_t dataType = kDataTypeNone;
    bool bigEndian = false; // PS3 data
    bool dryRun = false;    // work and report, but write no file data
    uint32_t blockAlignment = 2048;
    std::wstring archivePath, archiveName, exportDir, importDir;
    std::wstring texturesDir;
    ::linkinfo linkinfo;
};

extern ArchiveSelection archiveSelection;

// Puts every field back to its value at start-up.
void resetProgramState();

} // namespace karv::cli
