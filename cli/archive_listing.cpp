#include "archive_commands.h"

namespace karv::cli {

int ListArchives(const CommandTarget& target) {
    return target.report.refuse(L"LIST\n", kExitFailed);
}

} // namespace karv::cli
