#include "files/file_helpers.h"

#include "boundary/messages.h"
#include "platform/file.h"

#include <cstdlib>

namespace karv {

using platform::File;
using platform::OpenMode;

Status loadWholeFile(const std::wstring& path, MallocBuffer& data, uint32_t& size) {
    File file = File::open(path, OpenMode::ReadExisting);
    if (!file.isOpen())
        return Status::failure(Error::FileUnopened, msg::kOpenFileFailed);
    uint64_t fileSize = 0;
    if (!file.size(fileSize))
        return Status::failure(Error::FileUnreadable, msg::kReadDataFailed);
    // Lengths are 32-bit: a file of 4 GiB or more is refused, never loaded as the few bytes
    // its size's low 32 bits would name.
    if (fileSize > UINT32_MAX)
        return Status::failure(Error::FileTooLarge, msg::kDataTooLong);
    uint32_t length = uint32_t(fileSize);
    // malloc(0) may return null; one spare byte keeps a zero-length load a valid block.
    MallocBuffer block(static_cast<uint8_t*>(std::calloc(length ? length : 1, 1)));
    // A block the size of the file that cannot be had is a file that cannot be read.
    if (!block)
        return Status::failure(Error::FileUnreadable, msg::kReadDataFailed);
    if (!file.readAll(block.get(), length))
        return Status::failure(Error::FileUnreadable, msg::kReadDataFailed);
    data = std::move(block);
    size = length;
    return Status();
}

} // namespace karv
