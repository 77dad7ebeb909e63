// A file written whole and put in the place of the file of its name only when every byte is
// written: a failing write or a full disk leaves the old file as it was, never emptied or cut.
//
// The bytes go to a temporary file beside the target (its name with ".karvtmp" appended);
// commit() puts that in the target's place in one step. A temporary file that is never
// committed is removed.
#pragma once

#include <cstdint>
#include <string>

namespace karv {

inline constexpr const wchar_t* kTemporaryFileSuffix = L".karvtmp";

class ReplacedFile {
  public:
    ReplacedFile() = default;
    ~ReplacedFile();
    ReplacedFile(const ReplacedFile&) = delete;
    ReplacedFile& operator=(const ReplacedFile&) = delete;

    // Writes `count` bytes for `path` under the temporary name. False with the message set
    // ("创建文件失败！", "写入数据失败！"); nothing is left behind then.
    bool write(const std::wstring& path, const uint8_t* data, uint32_t count);

    // Puts the written file in the place of `path`. False with "创建文件失败！" when the system
    // refuses (a folder of that name, a file held open); the old file stays.
    bool commit();

  private:
    void discard();

    std::wstring path_;
    std::wstring temporary_;
};

} // namespace karv
