// A fresh folder for one test, removed with everything in it when the test ends.
#pragma once

#include <string>

namespace karv::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& path() const { return path_; }
    // path() joined with a name by the system's separator.
    std::wstring file(const std::wstring& name) const;

  private:
    std::wstring path_;
};

// Whole-file helpers for tests (byte strings, no size limit worth mentioning).
bool writeFileBytes(const std::wstring& path, const std::string& bytes);
std::string readFileBytes(const std::wstring& path);

} // namespace karv::test
