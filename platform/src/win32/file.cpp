// File handles on Windows: CreateFileW with the access and sharing of each open mode.
#include "platform/file.h"
#include "win32/native_path.h"

#ifdef KARV_FAULT_INJECTION
#include "platform/fault_injection.h"
#endif

#include <windows.h>

namespace karv::platform {
namespace {

struct OpenRequest {
    DWORD access;
    DWORD sharing;
    DWORD disposition;
    DWORD flags;
};

OpenRequest requestFor(OpenMode mode) {
    switch (mode) {
    case OpenMode::ReadExisting:
        return {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS};
    case OpenMode::WriteExisting:
        return {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                FILE_ATTRIBUTE_NORMAL};
    case OpenMode::ReadWriteExisting:
        return {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                FILE_ATTRIBUTE_NORMAL};
    case OpenMode::CreateAlways:
        return {GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL};
    case OpenMode::WriteOver:
        return {GENERIC_WRITE, 0, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL};
    }
    return {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL};
}

DWORD moveMethod(SeekFrom from) {
    switch (from) {
    case SeekFrom::Begin:
        return FILE_BEGIN;
    case SeekFrom::Current:
        return FILE_CURRENT;
    case SeekFrom::End:
        return FILE_END;
    }
    return FILE_BEGIN;
}

Status lastError() {
    return fileFailure(int(GetLastError()));
}

Status notOpen() {
    return fileFailure(ERROR_INVALID_HANDLE);
}

} // namespace

#ifdef KARV_FAULT_INJECTION
int struckSystemError() {
    return ERROR_WRITE_FAULT;
}
#endif

File File::openSystem(const std::wstring& path, OpenMode mode, Status* why) {
    Status ignored;
    Status& outcome = why ? *why : ignored;
    outcome = Status();
    if (!win32::isNameable(path)) {
        outcome = fileFailure(ERROR_INVALID_NAME);
        return File();
    }
    OpenRequest request = requestFor(mode);
    HANDLE handle = CreateFileW(path.c_str(), request.access, request.sharing, nullptr,
                                request.disposition, request.flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        outcome = lastError();
        return File();
    }
    return File(handle, true);
}

File File::borrow(NativeFile handle) {
    return File(handle, false);
}

Status File::readSystem(void* buffer, uint32_t count, uint32_t& done) {
    done = 0;
    if (!isOpen())
        return notOpen();
    DWORD got = 0;
    if (!ReadFile(handle_, buffer, count, &got, nullptr))
        return lastError();
    done = got;
    return Status();
}

Status File::writeSystem(const void* buffer, uint32_t count, uint32_t& done) {
    done = 0;
    if (!isOpen())
        return notOpen();
    DWORD put = 0;
    if (!WriteFile(handle_, buffer, count, &put, nullptr))
        return lastError();
    done = put;
    return Status();
}

Status File::seekSystem(int64_t offset, SeekFrom from, uint64_t* newPosition) {
    if (!isOpen())
        return notOpen();
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER at;
    if (!SetFilePointerEx(handle_, distance, &at, moveMethod(from)))
        return lastError();
    if (newPosition)
        *newPosition = uint64_t(at.QuadPart);
    return Status();
}

Status File::sizeSystem(uint64_t& out) {
    if (!isOpen())
        return notOpen();
    LARGE_INTEGER bytes;
    if (!GetFileSizeEx(handle_, &bytes))
        return lastError();
    if (bytes.QuadPart < 0)
        return fileFailure(ERROR_ARITHMETIC_OVERFLOW);
    out = uint64_t(bytes.QuadPart);
    return Status();
}

Status File::truncateSystem() {
    if (!isOpen())
        return notOpen();
    return SetEndOfFile(handle_) ? Status() : lastError();
}

Status File::flushSystem() {
    if (!isOpen())
        return notOpen();
    return FlushFileBuffers(handle_) ? Status() : lastError();
}

void File::startWriteBackSystem() {
    (void)flushSystem();
}

void File::adviseWillReadSystem(uint64_t, uint64_t) {}

Status File::closeSystem() {
    NativeFile handle = handle_;
    bool owned = owned_;
    handle_ = kNoNativeFile;
    owned_ = false;
    if (handle == kNoNativeFile || !owned)
        return Status();
    return CloseHandle(handle) ? Status() : lastError();
}

Status File::replaceSystem(const std::wstring& from, const std::wstring& to) {
    if (!win32::isNameable(from) || !win32::isNameable(to))
        return fileFailure(ERROR_INVALID_NAME);
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) ? Status()
                                                                            : lastError();
}

// NTFS logs a rename in its own journal; there is no folder to flush.
Status File::flushFolderSystem(const std::wstring& /*folder*/) {
    return Status();
}

} // namespace karv::platform
