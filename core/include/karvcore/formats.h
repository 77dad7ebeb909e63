// The facts about the game formats that more than one place needs, defined once: the data types
// and what each container kind is, the index entries and layouts, how an archive spreads over
// its files, the names of the backup's files and the texture container's magic.
#pragma once

#include "karvcore/karvcore.h"

#include <cstdint>
#include <optional>
#include <string>

namespace karv {

// ---- Data types ----

// The data type of a game, as the configuration, archiveSelection and the exported functions
// carry it (a signed 32-bit number).
enum DataType : int32_t { kDataTypeNone = 0, kDataType357 = 1, kDataTypeZ54 = 2, kDataType358 = 3 };

// ---- Index entries ----

// Marker values of an index entry: 0 or the tagged value for a member stored raw, either of the
// two unused values for an entry without a member; any other value means compressed.
inline constexpr uint32_t kIdxMarkerRaw = 0;
inline constexpr uint32_t kIdxMarkerRawTagged = 0x43535442;
inline constexpr uint32_t kIdxMarkerUnusedA = 0x38000800;
inline constexpr uint32_t kIdxMarkerUnusedB = 0x38002000;

// An entry without a member: a stored size of 0, 1 or 4 bytes, or an unused marker.
inline bool IsUnusedEntry(uint32_t size, uint32_t marker) {
    return size == 0 || size == 1 || size == 4 || marker == kIdxMarkerUnusedA ||
           marker == kIdxMarkerUnusedB;
}
// A member stored as it is, not in a compressed container.
inline bool IsRawMarker(uint32_t marker) {
    return marker == kIdxMarkerRaw || marker == kIdxMarkerRawTagged;
}

// What the import writes into an entry's marker for a compressed member.
enum class CompressedMarker {
    DecompressedLength, // the member's decompressed length (raw members keep a tagged marker)
    FlagByte,           // the first marker byte 1 (also for a raw member stored in another length)
};

// How an index file lays out its entries. Numbers are in the game's byte order.
struct IndexLayout {
    uint32_t headerSize; // bytes before entry 0
    uint32_t entrySize;
    // The index is the head of archive file 0, and its header gives the entry count and the
    // unit in which entries store their offsets.
    bool inArchive;
    uint32_t countAt; // header fields, when there is a header
    uint32_t unitAt;
    // Fields of an entry: positions, or kNoField.
    uint32_t offsetAt; // 64 bits
    uint32_t fileLengthAt;
    uint32_t storedSizeAt;
    uint32_t markerAt;
    CompressedMarker compressedMarker;
};

inline constexpr uint32_t kNoField = UINT32_MAX;

// 357 and 358 (and any other type but Z54): no header, the whole file is a table of 32-byte
// entries with offsets in bytes.
inline constexpr IndexLayout kIndexLayout32 = {0, 32, false, kNoField, kNoField,
                                               0, 8,  16,    24,       CompressedMarker::FlagByte};
// Z54: the index is the head of the archive: a 16-byte header (count at 4, unit at 8) and
// 16-byte entries whose offsets count in the unit.
inline constexpr IndexLayout kIndexLayoutZ54 = {
    16, 16, true, 4, 8, 0, kNoField, 8, 12, CompressedMarker::DecompressedLength};

// The values of one entry, every number in host order.
struct EntryValues {
    uint64_t offset = 0;       // bytes from the start of the archive file that holds the member
    uint32_t fileLength = 0;   // the member's length once read back (32-byte entries only)
    uint32_t storedLength = 0; // what the archive holds
    uint32_t marker = 0;       // the marker word
};

// ---- Container kinds ----

// What one kind of compressed container is. Each container's own source file defines its row.
struct ContainerKind {
    DataType dataType;
    const wchar_t* name; // as the command line and the configuration spell it
    const IndexLayout* index;
    // One index may cover several archive files; split addresses tell which file holds an
    // entry.
    bool spansFiles;
    // The writer's chunk size. When the caller chooses it (358), this is the command line's.
    uint32_t chunkSize;
    bool chunkSizeFromCaller;
    // The compressors hand out their container at a multiple of this; the import pads raw
    // files that it appends to the same unit, and new Z54 indexes count offsets in it.
    uint32_t alignment;
    // The first bytes of every container of this kind, when it has any.
    const uint8_t* magic;
    uint32_t magicLength;
    // Where a container's header names the member's length (its total).
    uint32_t totalAt;
    // Where a container's header names its chunk size (kNoField when it does not), and the
    // largest value there that the import believes.
    uint32_t chunkSizeAt;
    uint32_t largestChunkSize;
    // The import's chunk size for a file of `fileLength` bytes when the replaced member's header
    // gives none; null when the kind's chunk size is fixed.
    uint32_t (*defaultChunkSize)(uint32_t fileLength);
    // The exported codec of the kind, with the chunk size as an argument for every kind (the
    // kinds whose chunk size is fixed ignore it).
    int32_t (*compress)(uint8_t*& out, const uint8_t* input, uint32_t inputLength,
                        uint32_t* usedLength, uint32_t* paddedLength, uint32_t chunkSize,
                        bool bigEndian, int level);
    int32_t (*decompress)(uint8_t*& out, const uint8_t* container, uint32_t containerLength,
                          uint32_t* outLength, bool bigEndian);
};

// The kind of a data type; null for 0 and unknown types.
KARVCORE_API const ContainerKind* FindContainerKind(int32_t dataType);
// Whether the archive of a data type is one archive over several archive files (357), rather
// than archive files that each stand alone.
inline bool ArchiveSpansFiles(int32_t dataType) {
    const ContainerKind* kind = FindContainerKind(dataType);
    return kind != nullptr && kind->spansFiles;
}
// The layout of a data type's index: its kind's, and the 32-byte one for a type without a kind
// (LoadIndexData reads any type but 0 that way).
inline const IndexLayout& IndexLayoutFor(int32_t dataType) {
    const ContainerKind* kind = FindContainerKind(dataType);
    return kind != nullptr ? *kind->index : kIndexLayout32;
}
// The kind named exactly "357", "Z54" or "358"; null for any other text.
KARVCORE_API const ContainerKind* FindContainerKindByName(const std::wstring& name);
// Whether `data` begins with the kind's magic. The magic is written the same in both byte
// orders; PS3 data may also carry it reversed, as a big-endian number. A kind without a magic
// recognises everything.
KARVCORE_API bool HasContainerMagic(const ContainerKind& kind, const uint8_t* data, uint32_t length,
                                    bool bigEndian);
// The member's length as a container's header names it; false when the container is too short
// to name it. Untrusted like every number of a container.
KARVCORE_API bool ReadContainerTotal(const ContainerKind& kind, const uint8_t* data,
                                     uint32_t length, bool bigEndian, uint32_t& total);
// The unit to which the import pads raw files for a data type: the kind's alignment, and the
// 357 one for a type without a kind.
KARVCORE_API uint32_t AppendAlignmentFor(int32_t dataType);

// ---- Archive files and the backup ----

// linkinfo's ten archive files are entries of one index whose entries are this many bytes:
// split addresses are entry numbers times this.
inline constexpr uint64_t kSplitAddressUnit = kIndexLayout32.entrySize;

// True when the description stays inside the archive-file slots of linkinfo.
inline bool ArchiveFileCountFits(const linkinfo& link) {
    return link.fileCount >= 0 && link.fileCount <= kMaxArchiveFiles;
}

// The archive file of a multi-file game that holds `entry`: the highest-numbered file whose
// split address is at most entry x kSplitAddressUnit; none when no file qualifies.
inline std::optional<int32_t> ArchiveFileOf(const linkinfo& link, uint32_t entry) {
    if (!ArchiveFileCountFits(link))
        return std::nullopt;
    const uint64_t address = uint64_t(entry) * kSplitAddressUnit;
    for (int32_t k = link.fileCount - 1; k >= 0; --k) {
        if (link.splitAddress[k] <= address)
            return k;
    }
    return std::nullopt;
}

// The backup's files: the index copy beside the index ("<index>.idxbak"; Z54: beside archive
// file 0) and the record beside archive file 0 ("<archive file 0>.qxdata").
inline constexpr const wchar_t* kIndexCopySuffix = L".idxbak";
inline constexpr const wchar_t* kBackupRecordSuffix = L".qxdata";

// ---- Texture containers ----

// The first word of a G1T texture container, read in the game's byte order ("GT1G" in a PC
// file).
inline constexpr uint32_t kTextureContainerMagic = 0x47315447;

// Whether `data` holds a texture container: its first word is the magic. OpenData and the
// decompressors test no magic; their callers ask this.
KARVCORE_API bool IsTextureContainer(const uint8_t* data, uint32_t length, bool bigEndian);

} // namespace karv
