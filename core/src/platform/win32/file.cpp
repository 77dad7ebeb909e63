// File handles on Windows: CreateFileW with the access and sharing of each open mode.
#include "platform/file.h"
#include "platform/win32/native_path.h"

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

} // namespace

File File::openSystem(const std::wstring& path, OpenMode mode) {
    if (!win32::isNameable(path))
        return File();
    OpenRequest request = requestFor(mode);
    HANDLE handle = CreateFileW(path.c_str(), request.access, request.sharing, nullptr,
                                request.disposition, request.flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return File();
    return File(handle, true);
}

File File::borrow(NativeFile handle) {
    return File(handle, false);
}

bool File::readSystem(void* buffer, uint32_t count, uint32_t& done) {
    DWORD got = 0;
    bool ok = isOpen() && ReadFile(handle_, buffer, count, &got, nullptr);
    done = ok ? got : 0;
    return ok;
}

bool File::writeSystem(const void* buffer, uint32_t count, uint32_t& done) {
    DWORD put = 0;
    bool ok = isOpen() && WriteFile(handle_, buffer, count, &put, nullptr);
    done = ok ? put : 0;
    return ok;
}

bool File::seekSystem(int64_t offset, SeekFrom from, uint64_t* newPosition) {
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER at;
    if (!isOpen() || !SetFilePointerEx(handle_, distance, &at, moveMethod(from)))
        return false;
    if (newPosition)
        *newPosition = uint64_t(at.QuadPart);
    return true;
}

bool File::sizeSystem(uint64_t& out) {
    LARGE_INTEGER bytes;
    if (!isOpen() || !GetFileSizeEx(handle_, &bytes) || bytes.QuadPart < 0)
        return false;
    out = uint64_t(bytes.QuadPart);
    return true;
}

bool File::truncateSystem() {
    return isOpen() && SetEndOfFile(handle_);
}

bool File::closeSystem() {
    NativeFile handle = handle_;
    bool owned = owned_;
    handle_ = kNoNativeFile;
    owned_ = false;
    if (handle == kNoNativeFile || !owned)
        return true;
    return CloseHandle(handle) != 0;
}

bool File::replaceSystem(const std::wstring& from, const std::wstring& to) {
    return win32::isNameable(from) && win32::isNameable(to) &&
           MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

} // namespace karv::platform
