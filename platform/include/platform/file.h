// Files: a move-only handle over the operating system's file, with the open modes the archive
// tools need, 64-bit positions and truncation at the current position.
//
// Every operation returns a Status. A failure carries the system's reason in systemError()
// (errno on POSIX, GetLastError on Windows), or 0 when the system reported none: a read that
// met the end of the file, a write the system took nothing of. What failed, and the message,
// are left to the caller (Status::as).
#pragma once

#include "karvcore/status.h"

#include <cstdint>
#include <string>

namespace karv::platform {

#ifdef _WIN32
using NativeFile = void*; // HANDLE
inline const NativeFile kNoNativeFile = reinterpret_cast<void*>(static_cast<intptr_t>(-1));
#else
using NativeFile = int; // file descriptor
inline constexpr NativeFile kNoNativeFile = -1;
#endif

enum class OpenMode {
    ReadExisting,      // read access; the file must exist
    WriteExisting,     // write access; the file must exist; the position starts at 0
    ReadWriteExisting, // read and write access; the file must exist
    CreateAlways,      // write access; created, or emptied when it exists
    WriteOver,         // write access; created, or kept as it is to be written over (the
                       // writer truncates behind what it wrote); the position starts at 0
};

enum class SeekFrom { Begin, Current, End };

class File {
  public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens a file; the result is not open (isOpen() false) when the system refused, and `why`
    // (when given) receives the outcome.
    static File open(const std::wstring& path, OpenMode mode, Status* why = nullptr);
    // Wraps a handle the caller owns; it is never closed by this object.
    static File borrow(NativeFile handle);

    bool isOpen() const { return handle_ != kNoNativeFile; }
    NativeFile native() const { return handle_; }

    // One read request of up to `count` bytes; `done` receives the bytes read (0 at the end).
    Status read(void* buffer, uint32_t count, uint32_t& done);
    // One write request; `done` receives the bytes written.
    Status write(const void* buffer, uint32_t count, uint32_t& done);
    // Reads or writes exactly `count` bytes, repeating short transfers.
    Status readAll(void* buffer, uint32_t count);
    Status writeAll(const void* buffer, uint32_t count);

    Status seek(int64_t offset, SeekFrom from, uint64_t* newPosition = nullptr);
    Status position(uint64_t& out);
    Status size(uint64_t& out);
    // Makes the current position the end of the file.
    Status truncate();
    // Makes what was written to a file opened for writing durable: on the disk, not in the
    // system's cache, when it reports success (fsync; FlushFileBuffers).
    Status flush();
    // Closes an owned handle; a failure when the system reported one (data may be lost).
    Status close();

    // Puts the closed file `from` in the place of `to` in one step, replacing a file there: a
    // reader finds the old file or the new one, never a mix. A failure when the system refused
    // (`to` a folder, another volume); `from` is then still there.
    static Status replace(const std::wstring& from, const std::wstring& to);
    // Makes the names in `folder` durable, so that a replace there survives a power cut (POSIX
    // keeps a rename in the cache until the folder is flushed). Windows commits the renames
    // itself: nothing to do there.
    static Status flushFolder(const std::wstring& folder);

  private:
    friend class FlushAhead; // writes back on a thread of its own, past the fault switch
    friend class ReadAhead;  // asks for reads ahead, past the fault switch
    explicit File(NativeFile handle, bool owned) : handle_(handle), owned_(owned) {}

    // The system's side of each operation, one implementation per system. The public
    // operations add what both systems share: the fault switch of test builds.
    static File openSystem(const std::wstring& path, OpenMode mode, Status* why);
    Status readSystem(void* buffer, uint32_t count, uint32_t& done);
    Status writeSystem(const void* buffer, uint32_t count, uint32_t& done);
    Status seekSystem(int64_t offset, SeekFrom from, uint64_t* newPosition);
    Status sizeSystem(uint64_t& out);
    Status truncateSystem();
    Status flushSystem();
    // Has the system start writing the file's cached data to the disk and returns without
    // waiting or committing anything (Linux); elsewhere a flush.
    void startWriteBackSystem();
    // Tells the system the range will be read soon, so that it reads it into its cache now
    // (POSIX); nothing on Windows.
    void adviseWillReadSystem(uint64_t offset, uint64_t length);
    Status closeSystem();
    static Status replaceSystem(const std::wstring& from, const std::wstring& to);
    static Status flushFolderSystem(const std::wstring& folder);
    NativeFile handle_ = kNoNativeFile;
    bool owned_ = false;
};

// A failed operation with the system's reason: Error::SystemCall, until the caller says what
// failed (Status::as).
inline Status fileFailure(int systemError) {
    return Status::failure(Error::SystemCall, {}, systemError);
}

#ifndef KARV_FAULT_INJECTION
// Without the fault switch of test builds, the operations are the system's own.
inline File File::open(const std::wstring& path, OpenMode mode, Status* why) {
    return openSystem(path, mode, why);
}
inline Status File::read(void* buffer, uint32_t count, uint32_t& done) {
    return readSystem(buffer, count, done);
}
inline Status File::write(const void* buffer, uint32_t count, uint32_t& done) {
    return writeSystem(buffer, count, done);
}
inline Status File::seek(int64_t offset, SeekFrom from, uint64_t* newPosition) {
    return seekSystem(offset, from, newPosition);
}
inline Status File::position(uint64_t& out) {
    return seekSystem(0, SeekFrom::Current, &out);
}
inline Status File::size(uint64_t& out) {
    return sizeSystem(out);
}
inline Status File::truncate() {
    return truncateSystem();
}
inline Status File::flush() {
    return flushSystem();
}
inline Status File::close() {
    return closeSystem();
}
inline Status File::replace(const std::wstring& from, const std::wstring& to) {
    return replaceSystem(from, to);
}
inline Status File::flushFolder(const std::wstring& folder) {
    return flushFolderSystem(folder);
}
#endif

} // namespace karv::platform
