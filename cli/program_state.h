// The program-wide state of the chosen game and archive file.
#pragma once

#include "karvcore/formats.h"

#include <cstdint>
#include <string>

namespace karv::cli {

struct ArchiveSelection {
    int32_t dataType = kDataTypeNone; // see karv::DataType
    bool bigEndian = false;           // PS3 data
    bool dryRun = false;              // work and report, but write no file data
    uint32_t blockAlignment = 2048;
    std::wstring archivePath, archiveName, exportDir, importDir;
    std::wstring texturesDir;
    ::linkinfo linkinfo;
};

extern ArchiveSelection archiveSelection;

// Puts every field back to its value at start-up.
void resetProgramState();

} // namespace karv::cli
