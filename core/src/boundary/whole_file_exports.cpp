// The exported whole-file helpers: FilePathExists, LoadData and SaveData.
#include "boundary/exported_codes.h"
#include "boundary/messages.h"
#include "files/file_helpers.h"
#include "files/replaced_file.h"
#include "karvcore/karvcore.h"
#include "platform/file.h"
#include "platform/filesystem.h"

namespace {

using karv::Error;
using karv::Status;
using karv::platform::File;
using karv::platform::OpenMode;

Status append(const std::wstring& path, const uint8_t* data, uint32_t count) {
    File file = File::open(path, OpenMode::WriteExisting);
    if (!file.isOpen())
        return Status::failure(Error::FileUnopened, karv::msg::kOpenFileFailed);
    bool written = file.seek(0, karv::platform::SeekFrom::End) && file.writeAll(data, count);
    bool closed = bool(file.close());
    if (!written || !closed)
        return Status::failure(Error::FileUnwritable, karv::msg::kWriteDataFailed);
    return Status();
}

Status save(const std::wstring& path, const uint8_t* data, uint32_t count, bool create) {
    if (!create)
        return append(path, data, count);
    karv::ReplacedFile file;
    Status status = file.write(path, data, count);
    return status ? file.commit() : status;
}

} // namespace

int FilePathExists(const std::wstring& path) {
    return karv::platform::pathExists(path) ? 1 : 0;
}

bool LoadData(const std::wstring& path, uint8_t*& buffer, uint32_t* size) {
    karv::MallocBuffer data;
    uint32_t length = 0;
    if (!karv::reportSucceeded(karv::loadWholeFile(path, data, length)))
        return false;
    buffer = data.release();
    *size = length;
    return true;
}

bool SaveData(const std::wstring& path, const uint8_t* data, uint32_t offset, uint32_t count,
              bool create) {
    return karv::reportSucceeded(save(path, data + offset, count, create));
}
