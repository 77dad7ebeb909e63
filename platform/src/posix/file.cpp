// File handles on POSIX: file descriptors with 64-bit offsets.
#define _FILE_OFFSET_BITS 64

#include "platform/file.h"
#include "posix/native_path.h"

#ifdef KARV_FAULT_INJECTION
#include "platform/fault_injection.h"
#endif

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

static_assert(sizeof(off_t) == 8, "file positions must be 64 bits wide");

namespace karv::platform {
namespace {

// One request moves at most this much, so the count always fits ssize_t.
constexpr uint32_t kMaxTransfer = 1u << 30;

int openFlags(OpenMode mode) {
    switch (mode) {
    case OpenMode::ReadExisting:
        return O_RDONLY;
    case OpenMode::WriteExisting:
        return O_WRONLY;
    case OpenMode::ReadWriteExisting:
        return O_RDWR;
    case OpenMode::CreateAlways:
        return O_WRONLY | O_CREAT | O_TRUNC;
    case OpenMode::WriteOver:
        return O_WRONLY | O_CREAT;
    }
    return O_RDONLY;
}

int whence(SeekFrom from) {
    switch (from) {
    case SeekFrom::Begin:
        return SEEK_SET;
    case SeekFrom::Current:
        return SEEK_CUR;
    case SeekFrom::End:
        return SEEK_END;
    }
    return SEEK_SET;
}

Status lastError() {
    return fileFailure(errno);
}

Status notOpen() {
    return fileFailure(EBADF);
}

} // namespace

#ifdef KARV_FAULT_INJECTION
int struckSystemError() {
    return EIO;
}
#endif

File File::openSystem(const std::wstring& path, OpenMode mode, Status* why) {
    Status ignored;
    Status& outcome = why ? *why : ignored;
    outcome = Status();
    std::string name;
    if (!posix::toNativePath(path, name)) {
        outcome = fileFailure(EINVAL);
        return File();
    }
    int fd;
    do {
        fd = ::open(name.c_str(), openFlags(mode) | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        outcome = lastError();
        return File();
    }
    File file(fd, true);
    // A folder opens for reading on POSIX; as on Windows it is not a file.
    struct stat info;
    if (fstat(fd, &info) != 0) {
        outcome = lastError();
        return File();
    }
    if (S_ISDIR(info.st_mode)) {
        outcome = fileFailure(EISDIR);
        return File();
    }
    return file;
}

File File::borrow(NativeFile handle) {
    return File(handle, false);
}

Status File::readSystem(void* buffer, uint32_t count, uint32_t& done) {
    done = 0;
    if (!isOpen())
        return notOpen();
    ssize_t got;
    do {
        got = ::read(handle_, buffer, count < kMaxTransfer ? count : kMaxTransfer);
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        return lastError();
    done = uint32_t(got);
    return Status();
}

Status File::writeSystem(const void* buffer, uint32_t count, uint32_t& done) {
    done = 0;
    if (!isOpen())
        return notOpen();
    ssize_t put;
    do {
        put = ::write(handle_, buffer, count < kMaxTransfer ? count : kMaxTransfer);
    } while (put < 0 && errno == EINTR);
    if (put < 0)
        return lastError();
    done = uint32_t(put);
    return Status();
}

Status File::seekSystem(int64_t offset, SeekFrom from, uint64_t* newPosition) {
    if (!isOpen())
        return notOpen();
    off_t at = lseek(handle_, off_t(offset), whence(from));
    if (at < 0)
        return lastError();
    if (newPosition)
        *newPosition = uint64_t(at);
    return Status();
}

Status File::sizeSystem(uint64_t& out) {
    if (!isOpen())
        return notOpen();
    struct stat info;
    if (fstat(handle_, &info) != 0)
        return lastError();
    if (info.st_size < 0)
        return fileFailure(EOVERFLOW);
    out = uint64_t(info.st_size);
    return Status();
}

Status File::truncateSystem() {
    uint64_t at = 0;
    Status status = seekSystem(0, SeekFrom::Current, &at);
    if (!status)
        return status;
    int result;
    do {
        result = ftruncate(handle_, off_t(at));
    } while (result != 0 && errno == EINTR);
    return result == 0 ? Status() : lastError();
}

Status File::flushSystem() {
    if (!isOpen())
        return notOpen();
    int result;
    do {
        result = fsync(handle_);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? Status() : lastError();
}

void File::startWriteBackSystem() {
#ifdef __linux__
    if (isOpen())
        (void)sync_file_range(handle_, 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    (void)flushSystem();
#endif
}

void File::adviseWillReadSystem(uint64_t offset, uint64_t length) {
    const auto most = uint64_t(std::numeric_limits<off_t>::max());
    if (isOpen() && offset <= most)
        (void)posix_fadvise(handle_, off_t(offset), off_t(std::min(length, most - offset)),
                            POSIX_FADV_WILLNEED);
}

Status File::closeSystem() {
    NativeFile handle = handle_;
    bool owned = owned_;
    handle_ = kNoNativeFile;
    owned_ = false;
    if (handle == kNoNativeFile || !owned)
        return Status();
    // Linux releases the descriptor even when close reports EINTR, so it is never retried.
    return ::close(handle) == 0 ? Status() : lastError();
}

// rename replaces in one step on the same file system. The new file keeps the permissions of
// the one it replaces, as a file rewritten in place would.
Status File::replaceSystem(const std::wstring& from, const std::wstring& to) {
    std::string source, target;
    if (!posix::toNativePath(from, source) || !posix::toNativePath(to, target))
        return fileFailure(EINVAL);
    struct stat old;
    if (stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        chmod(source.c_str(), old.st_mode & 07777);
    return ::rename(source.c_str(), target.c_str()) == 0 ? Status() : lastError();
}

Status File::flushFolderSystem(const std::wstring& folder) {
    std::string name;
    if (!posix::toNativePath(folder, name))
        return fileFailure(EINVAL);
    int fd;
    do {
        fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return lastError();
    int result;
    do {
        result = fsync(fd);
    } while (result != 0 && errno == EINTR);
    // EINVAL: a file system that cannot flush folders at all; its renames are as durable as
    // it makes them, and refusing every backup there would help no one.
    Status status = result == 0 || errno == EINVAL ? Status() : lastError();
    ::close(fd);
    return status;
}

} // namespace karv::platform
