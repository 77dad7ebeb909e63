#include "program_state.h"

namespace karv::cli {

ArchiveSelection archiveSelection;

void resetProgramState() {
    archiveSelection = ArchiveSelection{};
}

} // namespace karv::cli
