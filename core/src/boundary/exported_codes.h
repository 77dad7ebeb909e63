// The one place where the library's outcomes become the codes its exported functions return.
// Every exported function reports its Status through here: the message goes on the last-error
// channel first, then the function's own code for the failure is looked up.
#pragma once

#include "karvcore/status.h"

#include <cstdint>

namespace karv {

// The exported functions, grouped by the codes they return.
enum class Exported {
    Compress,         // CompressData357, Z54, 358
    Decompress,       // UnCompressData357, Z54, 358
    DataOffset,       // GetData_Offset
    Backup,           // BackupIdxVoxbank
    Restore,          // RestoreIdxVoxbank
    ReadMember,       // VoxbankQX::ReadMember
    TextureContainer, // every operation of GT1GDataQX
    TextReaderOpen,   // ReadTxtFileInMemQX::Open
    TextReaderLine,   // ReadTxtFileInMemQX::ReadLine, ReadLineUtf8
    TextWriter,       // WriteTxtFileQX::Open, OpenLog, Write, WriteLog
    TextWriterReopen, // WriteTxtFileQX::Reopen
};

// The code `function` returns for `status`: 0 for success.
int32_t exportedCode(Exported function, const Status& status);

// Puts a failure's message on the last-error channel (when it has one) and returns the code.
int32_t report(Exported function, const Status& status);
// The same for the exported functions that answer true or false: true on success.
bool reportSucceeded(const Status& status);

} // namespace karv
