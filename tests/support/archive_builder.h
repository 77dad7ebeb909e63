// Byte-by-byte builders for index files and archives of the three data types, in either byte
// order: raw, compressed and unused members, hand-made (hostile) entries, archives split over
// several files.
#pragma once

#include "karvcore/formats.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace karv::test {

using Bytes = std::vector<uint8_t>;

// One index entry with its numbers as the file stores them.
struct IndexEntry {
    uint64_t offset = 0; // 357/358: bytes; Z54: offset units
    uint32_t storedSize = 0;
    uint32_t marker = 0;
    uint32_t decompressedSize = 0; // 357/358 only (bytes 8..11); Z54 entries have no such field
};

// A 357/358 index file: 32-byte entries (offset, decompressed size, 0, stored size, 0, marker, 0).
Bytes indexFile32(const std::vector<IndexEntry>& entries, bool bigEndian);
// A Z54 index: the 16-byte header (0, count, unit, 0) and 16-byte entries (offset in units,
// stored size, marker). `declaredCount` overrides the header's count.
Bytes indexZ54(const std::vector<IndexEntry>& entries, uint32_t offsetUnit, bool bigEndian,
               std::optional<uint32_t> declaredCount = std::nullopt);

// The stored form of `content` as the data type's container, made by the library's compressor
// (358 with `chunkSize`); the container's used length, without the zero padding.
Bytes compressMember(int32_t dataType, const Bytes& content, bool bigEndian, int level = 9,
                     uint32_t chunkSize = 262144);

// An archive built member by member. Members are laid out when the files are asked for: Z54
// members behind the index at multiples of the offset unit, 357/358 members at multiples of
// 256 from the start of their archive file.
class ArchiveBuilder {
  public:
    ArchiveBuilder(int32_t dataType, bool bigEndian, uint32_t offsetUnit = 2048);

    // Each call adds one index entry and returns its entry number.
    // Stored as is; marker 0 or kIdxMarkerRawTagged.
    uint32_t addRaw(const Bytes& content, uint32_t marker = kIdxMarkerRaw);
    // Stored as the data type's container; the marker as the import writes it (Z54: the
    // decompressed size; 357/358: the byte 1 at entry offset 24).
    uint32_t addCompressed(const Bytes& content, int level = 9);
    // Any stored bytes under any marker (hand-made or corrupt containers).
    uint32_t addStored(const Bytes& stored, uint32_t marker, uint32_t decompressedSize = 0);
    // An entry without data.
    uint32_t addUnused(uint32_t marker = kIdxMarkerUnusedA, uint32_t storedSize = 0);
    // An entry exactly as given, pointing wherever it says; no data.
    uint32_t addEntry(const IndexEntry& entry);

    // Members added from now on go into a new archive file; their offsets count from its start.
    void startNextFile();

    int32_t dataType() const { return dataType_; }
    bool bigEndian() const { return bigEndian_; }
    uint32_t offsetUnit() const { return offsetUnit_; }
    uint32_t entryCount() const { return uint32_t(members_.size()); }
    size_t fileCount() const { return fileCount_; }
    // The first entry whose member lies in `file` (the split address is 32 times this).
    uint32_t firstEntryOfFile(size_t file) const;

    // The index entries as stored (Z54 offsets in units).
    std::vector<IndexEntry> entries() const;
    // 357/358: the index file. Z54: the header and the table, the start of archive file 0.
    Bytes index() const;
    // Archive file `file`; for Z54, file 0 begins with the index.
    Bytes archive(size_t file = 0) const;

    // Writes the archive files (one path per file) and, for 357/358, the index file.
    bool write(const std::vector<std::wstring>& archivePaths, const std::wstring& indexPath) const;

  private:
    struct Member {
        size_t file = 0;
        Bytes stored;
        IndexEntry entry;
        bool placed = true; // false: the entry is kept exactly as given
    };

    uint32_t alignment() const;
    uint64_t dataStart(size_t file) const;
    // Offsets in bytes of every placed member.
    std::vector<uint64_t> layOut() const;
    uint32_t add(Member member);

    int32_t dataType_;
    bool bigEndian_;
    uint32_t offsetUnit_;
    size_t fileCount_ = 1;
    std::vector<Member> members_;
};

// Whole-file helpers for byte vectors.
bool writeBytes(const std::wstring& path, const Bytes& bytes);
Bytes readBytes(const std::wstring& path);

} // namespace karv::test
