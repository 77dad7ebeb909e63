// karvcore's second public header: the archive engine behind the functions of karvcore.h, for
// karvex, the tools and the tests. Every fact about the game formats that more than one place
// needs is defined here or behind a function declared here: the data types and what each
// container kind is, the index layouts and the index table, the backup record's name, the
// packed blob's table, the texture container's magic, and the component that writes imported
// members into an archive.
#pragma once

#include "karvcore/karvcore.h"
#include "karvcore/status.h"

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace karv {

// ---- Owned malloc blocks ----

// Blocks handed across the library boundary come from malloc and go back with free.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using MallocBuffer = std::unique_ptr<uint8_t, FreeDeleter>;

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

// One index table in memory: the entries of an index file, or of the index at the head of a
// Z54 archive file, exactly as stored. Every access checks the entry number against the count.
class KARVCORE_API IndexTable {
  public:
    // Failures of load(): the index file cannot be opened; its header is cut short or cannot be
    // read; its offset unit is 0; its header declares no entry; the file holds none of the
    // entries the header declares; the entries cannot be read; a headerless index cannot be
    // loaded whole; no memory. A headerless index without a whole entry loads with count 0.
    enum : int32_t {
        kOpenFailed = -1,
        kHeaderUnreadable = -2,
        kUnitZero = -3,
        kDeclaredEmpty = -4,
        kNoRoom = -5,
        kTableUnreadable = -6,
        kFileUnloadable = -7,
        kOutOfMemory = -10,
    };

    IndexTable() = default;
    IndexTable(IndexTable&&) noexcept = default;
    IndexTable& operator=(IndexTable&&) noexcept = default;

    // Loads the index at `path`: for an in-archive layout, the archive file that begins with it.
    // A header's count is never trusted beyond the entries the file holds. The status carries
    // the library's message for the failure.
    static Status load(const IndexLayout& layout, const std::wstring& path, bool bigEndian,
                       IndexTable& out);
    // A new table of `count` zero entries.
    static Status create(const IndexLayout& layout, bool bigEndian, uint32_t count,
                         uint32_t offsetUnit, IndexTable& out);

    const IndexLayout& layout() const { return *layout_; }
    bool bigEndian() const { return bigEndian_; }
    uint32_t count() const { return count_; }
    // The header's unit (in-archive layouts); 0 for the others.
    uint32_t offsetUnit() const { return offsetUnit_; }
    uint32_t entrySize() const { return layout_->entrySize; }

    // Entry `n` decoded; false beyond the count. An offset in units whose byte value does not
    // fit in 64 bits decodes as UINT64_MAX, a position no file has.
    bool entry(uint32_t n, idxinfo& info) const;
    // The stored bytes of entry `n` (entrySize() of them); null beyond the count.
    const uint8_t* entryBytes(uint32_t n) const;
    // Where entry `n` lies in the file that holds the index.
    uint64_t filePosition(uint32_t n) const;

    // The marker the import writes for a member: see CompressedMarker.
    uint32_t importMarker(bool compressed, uint32_t fileLength, uint32_t storedLength,
                          uint32_t oldMarker) const;
    // The stored bytes of an entry with these values (entrySize() bytes, every other byte 0);
    // an in-archive offset is stored in units, its remainder dropped.
    std::vector<uint8_t> encode(const EntryValues& values) const;
    // Decodes stored entry bytes as entry() does.
    idxinfo decode(const uint8_t* bytes) const;
    // Replaces entry `n` with stored bytes or values; false beyond the count.
    bool store(uint32_t n, const std::vector<uint8_t>& bytes);
    bool set(uint32_t n, const EntryValues& values) { return store(n, encode(values)); }

    // The entries, count() x entrySize() bytes: what a backup saves and restores.
    const uint8_t* entries() const { return table_.get(); }
    uint32_t entriesLength() const;
    // For an in-archive layout, the header that goes before the entries; empty otherwise.
    std::vector<uint8_t> header() const;
    // Hands the loaded block over (the whole file for a headerless index).
    MallocBuffer release();

  private:
    const IndexLayout* layout_ = &kIndexLayout32;
    MallocBuffer table_;
    uint32_t tableLength_ = 0;
    uint32_t count_ = 0;
    uint32_t offsetUnit_ = 0;
    bool bigEndian_ = false;
};

// ---- Container kinds ----

// The library's own workings of a kind; opaque outside it.
struct ContainerEngine;

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
    const ContainerEngine* engine;
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
// The unit to which the import pads raw files for a data type: the kind's alignment, and the
// 357 one for a type without a kind.
KARVCORE_API uint32_t AppendAlignmentFor(int32_t dataType);

// ---- How the work is done ----

// The threads that compress and decompress chunks and members, the calling thread included:
// 1 does everything on the calling thread; 0 (the start) means the hardware's thread count.
// Results are the same for every count. Set it before an operation, not during one.
KARVCORE_API void SetWorkerCount(unsigned count);
// The count operations use now.
KARVCORE_API unsigned WorkerCount();
// How large a single container must be (its bytes, or its input's when compressing) before one
// call shares its chunks between threads; 0 sets the library's own figure back. For tests and
// benchmarks.
KARVCORE_API void SetParallelThreshold(uint64_t bytes);

// Which library does the zlib work: Fast (the start) inflates with libdeflate, falling back to
// zlib wherever libdeflate refuses a stream, and deflates with libdeflate at the levels where
// that gives zlib's header and no larger output; Zlib does all of it with zlib, byte for byte
// as compress2 and uncompress would. For comparisons in tests and benchmarks.
enum class CodecEngine { Fast, Zlib };
KARVCORE_API void SetCodecEngine(CodecEngine engine);

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

// ---- Whole files ----

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

// ---- Packed blobs ----

// A first word at most this large is taken as the sub-file count of a packed blob.
inline constexpr uint32_t kMaxPackedBlobFiles = 0x10000;

// The first 32-bit word of `data` in the game's byte order; false when there are fewer than
// four bytes.
KARVCORE_API bool ReadFirstWord(const uint8_t* data, uint32_t length, bool bigEndian,
                                uint32_t& word);

// Lays out a new packed blob in the offset-and-size layout, every number little-endian
// whatever the game's byte order: the count, (start, size) per sub-file, the sub-files back to
// back, then zero bytes for each sub-file up to its listed size raised to a multiple of 4.
class KARVCORE_API PackedBlobWriter {
  public:
    enum : int32_t { kTooLarge = -1, kFileGrew = -2, kTooMany = -3, kOutOfMemory = -10 };

    // Sizes the blob for sub-files of the listed sizes. kTooLarge when it would not fit in 32
    // bits; kOutOfMemory.
    Status start(const std::vector<uint64_t>& listedSizes);
    // Puts the next sub-file in. kFileGrew when it is larger than its listed size (the blob
    // was sized from the listing); kTooMany beyond the listed count.
    Status add(const uint8_t* data, uint32_t size);

    const uint8_t* data() const { return blob_.data(); }
    uint32_t length() const { return uint32_t(blob_.size()); }

  private:
    std::vector<uint8_t> blob_;
    std::vector<uint64_t> listed_;
    uint32_t next_ = 0;
    uint64_t position_ = 0;
};

// ---- Texture containers ----

// The first word of a G1T texture container, read in the game's byte order ("GT1G" in a PC
// file).
inline constexpr uint32_t kTextureContainerMagic = 0x47315447;

// Whether `data` holds a texture container: its first word is the magic. OpenData and the
// decompressors test no magic; their callers ask this.
KARVCORE_API bool IsTextureContainer(const uint8_t* data, uint32_t length, bool bigEndian);

// ---- Reading members out of an archive for the export ----

// What the export reads, as arguments.
struct ExportRequest {
    int32_t dataType = kDataTypeNone;
    bool bigEndian = false;
    // The archive files and their split addresses, for an archive over several files.
    linkinfo link;
    // The archive file read first, and the index (for Z54 the archive file itself).
    std::wstring readPath;
    std::wstring indexPath;
    // The range as asked; entries beyond the index are not read. A first number above the last
    // reads the last entry alone.
    uint32_t first = 0;
    uint32_t last = 0;
};

// One entry of the range, in order.
struct ExportedMember {
    uint32_t entry = 0;
    // ReadMember's outcome for the entry; when it failed, its message is on the last-error
    // channel.
    Status status;
    // The archive file that holds this entry could not be opened: the run ends here.
    bool archiveUnopened = false;
    // The member (decompressed where the archive stores it compressed), valid until the next
    // call of next().
    const uint8_t* data = nullptr;
    uint32_t length = 0;
};

// Reads the members of a range in order, as VoxbankQX::ReadMember would read them one by one,
// while the workers decompress the members ahead. Every file operation and every message stays
// on the calling thread, in entry order.
class KARVCORE_API ArchiveExport {
  public:
    // Failures of open(): the archive file cannot be opened, or its first bytes read; the index
    // cannot be loaded (LoadIndex's message is on the channel); no memory.
    enum : int32_t {
        kArchiveUnopened = -1,
        kArchiveUnreadable = -2,
        kIndexUnloaded = -3,
        kOutOfMemory = -10,
    };

    explicit ArchiveExport(ExportRequest request);
    ~ArchiveExport();
    ArchiveExport(const ArchiveExport&) = delete;
    ArchiveExport& operator=(const ArchiveExport&) = delete;

    Status open();
    // The next entry of the range; false when the range is done or the run has ended.
    bool next(ExportedMember& member);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// ---- Writing imported members into an archive ----

// What the import works on, as arguments.
struct ImportRequest {
    int32_t dataType = kDataTypeNone;
    bool bigEndian = false;
    bool dryRun = false; // everything is decided and reported, nothing is written
    // Raw files are padded to this when they are appended.
    uint32_t blockAlignment = 0;
    // The archive files (split addresses choose among them), the index file (357, 358) and the
    // record beside archive file 0.
    linkinfo link;
    // The chosen archive file; for Z54 it holds the index.
    std::wstring archivePath;
    // The folder of the import files.
    std::wstring importFolder;
};

// One file to import: its name in the import folder and the entry it replaces.
struct ImportFile {
    std::wstring name;
    uint32_t entry = 0;
};

// An outcome of the import, reported in the order it happens.
struct ImportEvent {
    enum Kind {
        // The file is passed over and the run goes on.
        kEntryBeyondIndex,
        kEntryUnused,
        kFileEmpty,
        kFileTooLarge,
        kSizeUnrecordable,
        // A note; the run goes on.
        kChunkSizeUnreadable,
        // The file is in the archive.
        kImported,
        // The run ends here.
        kFileUnopened,
        kFileUnreadable,
        kOutOfMemory,
        kChunkArchiveUnopened, // the archive file whose old member gives the chunk size
        kArchiveUnopened,      // the archive file that holds the entry, for writing
        kCompressFailed,
        kWriteFailed,
        kIndexUnopened,
    };
    Kind kind = kImported;
    std::wstring file;   // the import file's name
    std::wstring path;   // the file that could not be written or opened
    std::wstring reason; // the library's message when compression failed
    bool compressed = false;
    bool inPlace = false; // over the region the entry owns, rather than appended
};

// Imports edited members into an archive. New data never overwrites what the backup protects:
// it goes behind the archive's end as it was at backup time, or over the region an earlier
// import appended for the same entry when it fits there, and the backup record remembers each
// entry's region. Data first, then the index entry, then the record slot, each write checked.
class KARVCORE_API ArchiveImport {
  public:
    // Failures of open(): too many archive files; the record cannot be loaded; archive file 0
    // cannot be opened or its first bytes read; no container kind for the data type; the index
    // cannot be opened, read or loaded, or its offset unit is 0; the index has no entry (no
    // message: the run simply has nothing to do).
    enum : int32_t {
        kTooManyFiles = -1,
        kRecordUnloadable = -2,
        kArchiveUnopened = -3,
        kArchiveUnreadable = -4,
        kBadDataType = -5,
        kIndexUnopened = -6,
        kIndexUnreadable = -7,
        kOffsetUnitZero = -8,
        kIndexUnloadable = -9,
        kNoEntries = -11,
        kOutOfMemory = -10,
        kStopped = -20, // run(): a file's failure ended the run
    };

    explicit ArchiveImport(ImportRequest request);
    ~ArchiveImport();
    ArchiveImport(const ArchiveImport&) = delete;
    ArchiveImport& operator=(const ArchiveImport&) = delete;

    Status open();
    // Imports the files in order, telling `report` each outcome as it happens. Ok when every
    // file had its turn; kStopped when an outcome ended the run (reported before).
    Status run(const std::vector<ImportFile>& files,
               const std::function<void(const ImportEvent&)>& report);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace karv
