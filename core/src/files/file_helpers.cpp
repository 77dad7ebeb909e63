#include "files/file_helpers.h"

#include "boundary/boundary.h"
#include "boundary/messages.h"
#include "files/replaced_file.h"
#include "karvcore/karvcore.h"
#include "platform/file.h"
#include "platform/filesystem.h"

#include <cstdlib>
#include <cstring>

using karv::platform::File;
using karv::platform::OpenMode;

int FilePathExists(const std::wstring& path) {
    return karv::platform::pathExists(path) ? 1 : 0;
}

namespace karv {

Status loadWholeFile(const std::wstring& path, MallocBuffer& data, uint32_t& size) {
    File file = File::open(path, OpenMode::ReadExisting);
    if (!file.isOpen())
        return Status::failure(-1, msg::kOpenFileFailed);
    uint64_t fileSize = 0;
    if (!file.size(fileSize))
        return Status::failure(-1, msg::kReadDataFailed);
    // Lengths are 32-bit: a file of 4 GiB or more is refused, never loaded as the few bytes
    // its size's low 32 bits would name.
    if (fileSize > UINT32_MAX)
        return Status::failure(-1, msg::kDataTooLong);
    uint32_t length = uint32_t(fileSize);
    // malloc(0) may return null; one spare byte keeps a zero-length load a valid block.
    MallocBuffer block(static_cast<uint8_t*>(std::calloc(length ? length : 1, 1)));
    if (!block)
        return Status::failure(-1, msg::kReadDataFailed);
    if (!file.readAll(block.get(), length))
        return Status::failure(-1, msg::kReadDataFailed);
    data = std::move(block);
    size = length;
    return Status();
}

} // namespace karv

bool LoadData(const std::wstring& path, uint8_t*& buffer, uint32_t* size) {
    karv::MallocBuffer data;
    uint32_t length = 0;
    if (karv::reportStatus(karv::loadWholeFile(path, data, length)) != 0)
        return false;
    buffer = data.release();
    *size = length;
    return true;
}

namespace {

bool append(const std::wstring& path, const uint8_t* data, uint32_t count) {
    File file = File::open(path, OpenMode::WriteExisting);
    if (!file.isOpen()) {
        SetMessageQX(karv::msg::kOpenFileFailed);
        return false;
    }
    bool written = file.seek(0, karv::platform::SeekFrom::End) && file.writeAll(data, count);
    bool closed = bool(file.close());
    if (!written || !closed) {
        SetMessageQX(karv::msg::kWriteDataFailed);
        return false;
    }
    return true;
}

} // namespace

bool SaveData(const std::wstring& path, const uint8_t* data, uint32_t offset, uint32_t count,
              bool create) {
    if (!create)
        return append(path, data + offset, count);
    karv::ReplacedFile file;
    karv::Status status = file.write(path, data + offset, count);
    if (status)
        status = file.commit();
    return karv::reportStatus(status) == 0;
}
