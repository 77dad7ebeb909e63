// The parts of File that both systems share: whole transfers built on the system's read and
// write requests, and the fault switch of test builds in front of every request.
#include "platform/file.h"

#ifdef KARV_FAULT_INJECTION
#include "platform/fault_injection.h"
#endif

namespace karv::platform {

#ifdef KARV_FAULT_INJECTION
namespace {

intptr_t handleNumber(NativeFile handle) {
    return intptr_t(handle);
}

// Fails the operation when the switch says so; a closed file is left to the system to refuse.
bool strikes(FaultOp op, const File& file) {
    return file.isOpen() &&
           faultSwitch().check(op, handleNumber(file.native())) != FaultAction::Proceed;
}

Status struck() {
    return fileFailure(struckSystemError());
}

} // namespace

File File::open(const std::wstring& path, OpenMode mode, Status* why) {
    FaultSwitch& faults = faultSwitch();
    if (faults.checkOpen(path) != FaultAction::Proceed) {
        if (why)
            *why = struck();
        return File();
    }
    File file = openSystem(path, mode, why);
    if (file.isOpen())
        faults.noteOpened(handleNumber(file.native()), path);
    return file;
}

Status File::read(void* buffer, uint32_t count, uint32_t& done) {
    done = 0;
    return strikes(kFaultRead, *this) ? struck() : readSystem(buffer, count, done);
}

Status File::write(const void* buffer, uint32_t count, uint32_t& done) {
    done = 0;
    if (!isOpen())
        return writeSystem(buffer, count, done);
    switch (faultSwitch().check(kFaultWrite, handleNumber(handle_))) {
    case FaultAction::Proceed:
        return writeSystem(buffer, count, done);
    case FaultAction::Short:
        // As a full disk does: part of the request goes out, and the count says so.
        return count / 2 == 0 ? Status() : writeSystem(buffer, count / 2, done);
    case FaultAction::Fail:
        break;
    }
    return struck();
}

Status File::seek(int64_t offset, SeekFrom from, uint64_t* newPosition) {
    return strikes(kFaultSeek, *this) ? struck() : seekSystem(offset, from, newPosition);
}

Status File::position(uint64_t& out) {
    return strikes(kFaultSeek, *this) ? struck() : seekSystem(0, SeekFrom::Current, &out);
}

Status File::size(uint64_t& out) {
    return strikes(kFaultSize, *this) ? struck() : sizeSystem(out);
}

Status File::truncate() {
    return strikes(kFaultTruncate, *this) ? struck() : truncateSystem();
}

Status File::flush() {
    return strikes(kFaultFlush, *this) ? struck() : flushSystem();
}

Status File::replace(const std::wstring& from, const std::wstring& to) {
    if (faultSwitch().checkPath(kFaultRename, to) != FaultAction::Proceed)
        return struck();
    return replaceSystem(from, to);
}

Status File::flushFolder(const std::wstring& folder) {
    if (faultSwitch().checkPath(kFaultFlush, folder) != FaultAction::Proceed)
        return struck();
    return flushFolderSystem(folder);
}

// The handle is released even when the switch reports the close as failed.
Status File::close() {
    bool failed = owned_ && strikes(kFaultClose, *this);
    Status closed = closeSystem();
    return failed ? struck() : closed;
}

#endif

// Ownership moves with the handle; an owned handle is closed exactly once.
File::~File() {
    close();
}

File::File(File&& other) noexcept : handle_(other.handle_), owned_(other.owned_) {
    other.handle_ = kNoNativeFile;
    other.owned_ = false;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = other.handle_;
        owned_ = other.owned_;
        other.handle_ = kNoNativeFile;
        other.owned_ = false;
    }
    return *this;
}

Status File::readAll(void* buffer, uint32_t count) {
    auto* at = static_cast<unsigned char*>(buffer);
    while (count > 0) {
        uint32_t done = 0;
        Status status = read(at, count, done);
        if (!status)
            return status;
        // A read that returns nothing before `count` bytes is the end of the file: a failure.
        if (done == 0 || done > count)
            return fileFailure(0);
        at += done;
        count -= done;
    }
    return Status();
}

Status File::writeAll(const void* buffer, uint32_t count) {
    const auto* at = static_cast<const unsigned char*>(buffer);
    while (count > 0) {
        uint32_t done = 0;
        Status status = write(at, count, done);
        if (!status)
            return status;
        // A write that makes no progress would repeat for ever; it counts as a failure.
        if (done == 0 || done > count)
            return fileFailure(0);
        at += done;
        count -= done;
    }
    return Status();
}

} // namespace karv::platform
