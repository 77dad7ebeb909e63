// Test games for the mod codes: one game of each data type in one byte order, in a folder of
// their own with the "游戏信息.txt" that names them, and karvex run on them from that folder.
#pragma once

#include "archive_builder.h"
#include "run_program.h"
#include "temp_dir.h"

#include <map>
#include <string>
#include <vector>

namespace karv::test {

// The separator of the system's paths, as one text.
extern const std::wstring kSep;

// Bytes that differ with `seed` and compress well.
Bytes content(size_t size, uint8_t seed);

std::wstring hashOf(const std::string& bytes);

// Every file below `folder` by its path there, with its hash (a failure stays readable);
// folders end with "/" and have none.
std::map<std::wstring, std::wstring> tree(const std::wstring& folder);

// Four games below "game" in one byte order: "Z" (Z54 over a.bin and b.bin), "S" (357 over
// s0.bin and s1.bin with its split information), "E" (358 over e0.bin and e1.bin) and "D" (Z54
// over d.bin and d.dat, two archive files of one stem).
class ModGames {
  public:
    explicit ModGames(bool ps3);

    std::wstring game(const std::wstring& name) const { return dir_.file(L"game") + kSep + name; }
    std::wstring mod(const std::wstring& name) const { return dir_.file(L"mods") + kSep + name; }
    const std::wstring& mode() const { return mode_; }
    bool ps3() const { return mode_ == L"PS3"; }

    // Writes a file below the test's folder ("game/Import/a/1.data"), making its folders.
    void edit(const std::wstring& path, const Bytes& bytes) const;

    ProgramRun run(std::vector<std::wstring> args) const;

    std::map<std::wstring, std::wstring> everything() const { return tree(dir_.path()); }

  private:
    TempDir dir_;
    std::wstring mode_;
};

} // namespace karv::test
