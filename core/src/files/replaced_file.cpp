#include "files/replaced_file.h"

#include "boundary/boundary.h"
#include "boundary/exported_codes.h"
#include "boundary/messages.h"
#include "platform/file.h"
#include "platform/filesystem.h"

#include <memory>
#include <set>
#include <vector>

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

Status notCreated(const Status& why) {
    return why.as(Error::FileUncreated, msg::kCreateFileFailed);
}

Status notWritten(const Status& why) {
    return why.as(Error::FileUnwritable, msg::kWriteDataFailed);
}

} // namespace

ReplacedFile::~ReplacedFile() {
    discard();
}

Status ReplacedFile::write(const std::wstring& path, const uint8_t* data, uint32_t count) {
    discard();
    std::wstring temporary = path + kTemporaryFileSuffix;
    Status opened;
    File file = File::open(temporary, OpenMode::CreateAlways, &opened);
    if (!file.isOpen())
        return notCreated(opened);
    Status written = file.writeAll(data, count);
    if (written && durability_ == Durability::Flushed)
        written = file.flush();
    Status closed = file.close();
    if (!written || !closed) {
        platform::removeFile(temporary);
        return notWritten(!written ? written : closed);
    }
    path_ = path;
    temporary_ = std::move(temporary);
    return Status();
}

Status ReplacedFile::adopt(const std::wstring& temporary, const std::wstring& path) {
    discard();
    temporary_ = temporary;
    path_ = path;
    if (durability_ == Durability::Cached)
        return Status();
    return flushWritten();
}

Status ReplacedFile::commit() {
    if (temporary_.empty())
        return Status::failure(Error::FileUncreated, msg::kCreateFileFailed);
    if (Status replaced = File::replace(temporary_, path_); !replaced) {
        discard();
        return notCreated(replaced);
    }
    temporary_.clear();
    if (durability_ == Durability::Flushed) {
        if (Status flushed = File::flushFolder(folderOf(path_)); !flushed)
            return notWritten(flushed);
    }
    return Status();
}

Status ReplacedFile::flushWritten() {
    Status opened;
    File file = File::open(temporary_, OpenMode::WriteExisting, &opened);
    if (!file.isOpen()) {
        discard();
        return notWritten(opened);
    }
    Status flushed = file.flush();
    Status closed = file.close();
    if (!flushed || !closed) {
        discard();
        return notWritten(!flushed ? flushed : closed);
    }
    return Status();
}

void ReplacedFile::discard() {
    if (!temporary_.empty())
        platform::removeFile(temporary_);
    temporary_.clear();
}

// ---- Exported ----

Status ReplaceFileDurably(const std::wstring& path, const uint8_t* data, uint32_t count) {
    ReplacedFile file(ReplacedFile::Durability::Flushed);
    Status status = file.write(path, data, count);
    if (status)
        status = file.commit();
    reportSucceeded(status);
    return status;
}

Status CommitFileDurably(const std::wstring& temporary, const std::wstring& path) {
    ReplacedFile file(ReplacedFile::Durability::Flushed);
    Status status = file.adopt(temporary, path);
    if (status)
        status = file.commit();
    reportSucceeded(status);
    return status;
}

struct DurableFiles::State {
    // Each written aside, unflushed: flushed all at once, then committed.
    std::vector<std::unique_ptr<ReplacedFile>> files;
};

DurableFiles::DurableFiles() : state_(std::make_unique<State>()) {}

DurableFiles::~DurableFiles() = default;

Status DurableFiles::add(const std::wstring& path, const uint8_t* data, uint32_t count) {
    Status status = guardMemory([&] {
        auto file = std::make_unique<ReplacedFile>(ReplacedFile::Durability::Cached);
        if (Status written = file->write(path, data, count); !written)
            return written;
        state_->files.push_back(std::move(file));
        return Status();
    });
    reportSucceeded(status);
    return status;
}

Status DurableFiles::commit(std::wstring* failed) {
    Status status = guardMemory([&] {
        auto fail = [&](const std::wstring& path, Status why) {
            if (failed != nullptr)
                *failed = path;
            return why;
        };
        std::set<std::wstring> folders;
        for (auto& file : state_->files) {
            if (Status flushed = file->flushWritten(); !flushed)
                return fail(file->path(), flushed);
        }
        for (auto& file : state_->files) {
            folders.insert(folderOf(file->path()));
            if (Status replaced = file->commit(); !replaced)
                return fail(file->path(), replaced);
        }
        for (const std::wstring& folder : folders) {
            if (Status flushed = File::flushFolder(folder); !flushed)
                return fail(folder, notWritten(flushed));
        }
        state_->files.clear();
        return Status();
    });
    reportSucceeded(status);
    return status;
}

} // namespace karv
