#include "replaced_file.h"

#include "karvcore/karvcore.h"
#include "messages.h"
#include "platform/file.h"
#include "platform/filesystem.h"

namespace karv {

using platform::File;
using platform::OpenMode;

ReplacedFile::~ReplacedFile() {
    discard();
}

bool ReplacedFile::write(const std::wstring& path, const uint8_t* data, uint32_t count) {
    discard();
    std::wstring temporary = path + kTemporaryFileSuffix;
    File file = File::open(temporary, OpenMode::CreateAlways);
    if (!file.isOpen()) {
        SetMessageQX(msg::kCreateFileFailed);
        return false;
    }
    bool written = bool(file.writeAll(data, count));
    bool closed = bool(file.close());
    if (!written || !closed) {
        platform::removeFile(temporary);
        SetMessageQX(msg::kWriteDataFailed);
        return false;
    }
    path_ = path;
    temporary_ = std::move(temporary);
    return true;
}

bool ReplacedFile::commit() {
    if (temporary_.empty() || !File::replace(temporary_, path_)) {
        discard();
        SetMessageQX(msg::kCreateFileFailed);
        return false;
    }
    temporary_.clear();
    return true;
}

void ReplacedFile::discard() {
    if (!temporary_.empty())
        platform::removeFile(temporary_);
    temporary_.clear();
}

} // namespace karv
