#include "archive_commands.h"

namespace karv::cli {

int VerifyArchives(const CommandTarget& target) {
    return target.report.refuse(L"VERIFY\n", kExitFailed);
}

} // namespace karv::cli
