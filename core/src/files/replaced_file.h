// A file written whole and put in the place of the file of its name only when every byte is
// written: a failing write or a full disk leaves the old file as it was, never emptied or cut.
//
// The bytes go to a temporary file beside the target (its name with kTemporaryFileSuffix
// appended); commit() puts that in the target's place in one step. A temporary file that is
// never committed is removed.
#pragma once

#include "karvcore/files.h"

#include <cstdint>
#include <string>

namespace karv {

class ReplacedFile {
  public:
    enum class Durability {
        Cached,  // left to the system's cache, as any write: a power cut may lose it
        Flushed, // on the disk when commit() reports success: the temporary is flushed before
                 // it is closed, its folder after the rename
    };

    explicit ReplacedFile(Durability durability = Durability::Cached) : durability_(durability) {}
    ~ReplacedFile();
    ReplacedFile(const ReplacedFile&) = delete;
    ReplacedFile& operator=(const ReplacedFile&) = delete;

    // Writes `count` bytes for `path` under the temporary name. Fails with "创建文件失败！" or
    // "写入数据失败！" (a failed flush is a failed write); nothing is left behind then.
    Status write(const std::wstring& path, const uint8_t* data, uint32_t count);
    // Takes a temporary file that was written by other means as the one to put in the place of
    // `path` (Flushed: it is flushed now). Fails as write() does; the temporary is removed then.
    Status adopt(const std::wstring& temporary, const std::wstring& path);

    // Puts the written file in the place of `path`. Fails with "创建文件失败！" when the system
    // refuses (a folder of that name, a file held open); the old file stays. Flushed: fails
    // with "写入数据失败！" when the folder cannot be flushed; the new file is in place then,
    // but a power cut may still undo that.
    Status commit();
    // Flushes the temporary (adopt() when Flushed; DurableFiles for files written Cached that
    // are made durable before they are committed): fails as write() does, the temporary removed.
    Status flushWritten();
    const std::wstring& path() const { return path_; }

  private:
    void discard();

    Durability durability_;
    std::wstring path_;
    std::wstring temporary_;
};

} // namespace karv
