// Whole files that replace files a player cannot get back: written aside, then put in place
// durably.
#pragma once

#include "karvcore/karvcore.h"
#include "karvcore/status.h"

#include <cstdint>
#include <memory>
#include <string>

namespace karv {

// A whole file is written under its name with this appended, and renamed into place only when
// every byte is written.
inline constexpr const wchar_t* kTemporaryFileSuffix = L".karvtmp";

// Replaces the file at `path` with `count` bytes, durably: the new bytes reach the disk before
// they take the old file's place, so a crash leaves the old file or the new one, never a mix
// and never neither. For files that already exist and cannot be made again. A failure sets the
// last-error message ("创建文件失败！" or "写入数据失败！").
KARVCORE_API Status ReplaceFileDurably(const std::wstring& path, const uint8_t* data,
                                       uint32_t count);
// Puts the written file `temporary` in the place of `path` durably (flushed first, then
// renamed): for a file written by other means, such as the text writer. The temporary file is
// gone afterwards, whatever the outcome; a failure sets the last-error message as above.
KARVCORE_API Status CommitFileDurably(const std::wstring& temporary, const std::wstring& path);

// Many whole files replaced as ReplaceFileDurably replaces one, for about the cost of one flush
// rather than two per file: add() writes each new file aside, commit() flushes them all (the
// first flush has the file system take the others along), puts each in its file's place and
// flushes each folder once. A crash leaves every file old or new, never a mix and never
// neither; files added and not committed are removed. Failures as ReplaceFileDurably's.
class KARVCORE_API DurableFiles {
  public:
    DurableFiles();
    ~DurableFiles();
    DurableFiles(const DurableFiles&) = delete;
    DurableFiles& operator=(const DurableFiles&) = delete;

    Status add(const std::wstring& path, const uint8_t* data, uint32_t count);
    // Every file added, in the order added; on a failure the files before it are in place and
    // `failed` (when given) names the file or folder that failed.
    Status commit(std::wstring* failed = nullptr);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace karv
