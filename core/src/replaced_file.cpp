#include "replaced_file.h"

#include "karvcore/karvcore.h"
#include "messages.h"
#include "platform/file.h"
#include "platform/filesystem.h"

namespace karv {

using platform::File;
using platform::OpenMode;

namespace {

// The folder that holds `path`, where its name is kept.
std::wstring folderOf(const std::wstring& path) {
    size_t cut = platform::lastSeparator(path);
    if (cut == std::wstring::npos)
        return L".";
    return path.substr(0, cut == 0 ? 1 : cut);
}

} // namespace

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
    bool written =
        file.writeAll(data, count) && (durability_ == Durability::Cached || file.flush());
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
    if (durability_ == Durability::Flushed && !File::flushFolder(folderOf(path_))) {
        SetMessageQX(msg::kWriteDataFailed);
        return false;
    }
    return true;
}

void ReplacedFile::discard() {
    if (!temporary_.empty())
        platform::removeFile(temporary_);
    temporary_.clear();
}

} // namespace karv
