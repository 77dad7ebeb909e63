// Mod packages: a folder a player can zip and share, holding mod.json (this manifest) and the
// member files laid out as an import folder is. The manifest names, for each file, the member it
// replaces and the XXH3-128 hash and length of both the new data and the original member, so a
// package can be checked before it touches a game and taken out again afterwards.
//
// mod.json, UTF-8 (a leading byte-order mark is accepted):
//   {"format": 1, "name": "A", "type": "Z54", "mode": "PC", "hash": "xxh3-128",
//    "members": [{"file": "VOXDATA_A.BIN", "entry": 42, "path": "VOXDATA_A/000042.data",
//                 "size": 5000, "hash": "<32 hex digits>",
//                 "original": {"size": 4800, "hash": "<32 hex digits>",
//                              "stored": {"size": 2100, "hash": "<32 hex digits>"}}}]}
//
// original.stored may be left out: it pins the original as the archive stores it (its
// container), which the maker of a package gives for a compressed original. A check that finds
// those stored bytes needs not decode the original; one that does not decodes it and goes by
// the original's own pin, which alone decides (a game may store the same member otherwise).
//
// What the reader holds a manifest to:
// - every key above but original.stored is present with its JSON type (and original.stored,
//   when given, has its keys); numbers are integers from 0 to 4294967295
//   (a number in quotes is a wrong type, a fraction or an exponent form is a bad value);
// - keys it does not know are ignored, so other tools may add notes of their own; a key given
//   twice in one object is refused, as it would be read differently by different readers;
// - format is 1; hash is "xxh3-128" (another name is refused by name); type is "357", "Z54" or
//   "358" and mode "PC" or "PS3", exactly so; name is not empty;
// - hashes are 32 lowercase hex digits;
// - file is one non-empty name (no "/" or "\\"); path passes IsPackagePath;
// - there is at least one member; no two members replace the same member (the same entry of
//   the same file; for 357, whose archive spans its files, the same entry) and no two name the
//   same path. Names and paths are compared with ASCII letters folded, as Windows finds files.
#pragma once

#include "karvcore/karvcore.h"
#include "karvcore/status.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace karv {

inline constexpr const wchar_t* kModManifestName = L"mod.json";
inline constexpr uint32_t kModManifestFormat = 1;
inline constexpr const wchar_t* kModHashName = L"xxh3-128";
// A member file's name: its entry number in this many digits at least, then the suffix.
inline constexpr int kMemberFileDigits = 6;
inline constexpr const wchar_t* kMemberFileSuffix = L".data";

// XXH3-128 of the bytes as 32 lowercase hex digits of its canonical form (empty only when
// memory runs out).
KARVCORE_API std::wstring ModHash(const uint8_t* data, size_t length);

// The same hash over bytes handed in pieces (a file read in blocks): finish() gives what
// ModHash gives for all the pieces in order. Needs no allocation, so it cannot fail.
class KARVCORE_API ModHasher {
  public:
    ModHasher();
    ModHasher(const ModHasher&) = delete;
    ModHasher& operator=(const ModHasher&) = delete;

    void update(const uint8_t* data, size_t length);
    // The hash of every byte so far; more pieces may follow.
    std::wstring finish() const;

  private:
    void* state();
    const void* state() const;
    // The hash's state, aligned inside this block by state(); sized in mod_hash.cpp.
    unsigned char block_[640 + 64];
};

struct ModMemberPin {
    uint32_t size = 0;
    std::wstring hash;
};

struct ModMember {
    std::wstring file; // the archive file's name (for 357 only informative)
    uint32_t entry = 0;
    std::wstring path;     // inside the package, '/' between names
    ModMemberPin data;     // the file in the package
    ModMemberPin original; // the member it replaces, decompressed as the export writes it
    // The member it replaces as the archive stores it, when the manifest gives it.
    std::optional<ModMemberPin> stored;
};

struct ModManifest {
    uint32_t format = kModManifestFormat;
    std::wstring name;
    std::wstring type; // "357" "Z54" "358"
    std::wstring mode; // "PC" "PS3"
    std::wstring hash = kModHashName;
    std::vector<ModMember> members;
};

// Reads a manifest. Failures (the message says what is wrong and where, and is also on the
// last-error channel): ModManifestInvalid (not UTF-8, not JSON, a key missing or given twice,
// a wrong type, a bad value or path, a duplicate member), ModHashUnknown (a hash name other
// than "xxh3-128"), ModFormatUnknown (a format other than 1), OutOfMemory. `out` is left as it
// was unless the manifest is read.
KARVCORE_API Status ParseModManifest(const uint8_t* bytes, size_t length, ModManifest& out);

// The manifest as UTF-8 JSON text: keys in the order above, one member per line, ending with a
// line break. Text that cannot be converted (an unpaired surrogate) becomes U+FFFD. Empty only
// when memory runs out. Writes what it is given: check a manifest made by hand by parsing the
// text back.
KARVCORE_API std::string WriteModManifest(const ModManifest& manifest);

// Whether a manifest path is acceptable: names separated by '/', none empty, "." or "..", and no
// character that is not portable to Windows file names (control characters, '\\', ':', '*',
// '?', '"', '<', '>', '|'), no name ending with a space or '.' (Windows drops those, so two
// paths would name one file), no Windows device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with
// or without an extension), nothing UTF-8 cannot hold. So no absolute path, drive letter or
// way out of the package gets through.
KARVCORE_API bool IsPackagePath(const std::wstring& path);

// The package path of a member file, as the import folder lays it out: "<stem>/000042.data" for
// Z54 and 358 (the stem as ArchiveFolderName gives it), "000042.data" for 357 (its archive spans
// its files). Entries beyond 999999 have as many digits as they need. An archive name whose stem
// is no package name (".." or "NUL.BIN") gives a path that IsPackagePath refuses.
KARVCORE_API std::wstring PackagePathOf(int32_t dataType, const std::wstring& archiveName,
                                        uint32_t entry);

} // namespace karv
