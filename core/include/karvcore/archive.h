// The archive API: the archive work behind the menus, for karvex, the tools and the tests.
// Locating a game's archive from its record, the texture containers in a member, reading the
// members of a range for the export, writing imported members into an archive, comparing an
// archive with its backup, and reading the members the backup saved.
#pragma once

#include "karvcore/formats.h"
#include "karvcore/index_table.h"
#include "karvcore/karvcore.h"
#include "karvcore/status.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace karv {

// ---- Locating a game's archive ----

// The values of a game record that place its archive, as the configuration gives them.
struct GameArchives {
    int32_t dataType = kDataTypeNone;
    std::wstring location; // the game's folder, ending with a separator
    std::vector<std::wstring> archiveNames;
    std::vector<std::wstring> indexNames; // one per archive file; a 357 game's first is its index
    std::vector<uint32_t> splitAddresses; // 357: where each archive file's entries begin
    std::wstring exportPath, importPath;  // below the location
};

// One archive of a game: for a 357 game the archive over all its files, for the other types the
// chosen archive file.
struct ArchiveLocation {
    // The archive files (file 0 first), their split addresses and the index file. A 357 game
    // with more archive files than an archive may have keeps its count (so that every
    // operation refuses it) and the first names only; the other types have fileCount 0 and the
    // chosen file in slot 0.
    linkinfo link;
    std::wstring archiveName; // the chosen archive file, as the record names it
    std::wstring archivePath;
    std::wstring indexPath;     // the file that holds the index: Z54's archive file itself
    std::wstring recordPath;    // the backup's record, beside archive file 0
    std::wstring indexCopyPath; // the backup's copy of the index, beside the index
    std::wstring exportRoot;    // the game's export folder
    // Where the members go and come from: the export and import folders, one level deeper
    // (named after the archive file) for the types whose archive files stand alone.
    std::wstring exportFolder;
    std::wstring importFolder;
    // Raw files are padded to this when the import appends them.
    uint32_t blockAlignment = 0;
};

// Where archive file `fileIndex` (0-based) of a game lies and what belongs to it; a 357 game
// has one archive whatever the index. An index outside the game's files gives empty names.
KARVCORE_API ArchiveLocation LocateArchive(const GameArchives& game, int32_t fileIndex);

// The backup record of an archive, beside its archive file 0: it exists once a backup is made.
KARVCORE_API std::wstring BackupRecordPath(const linkinfo& link);

// The folder name of an archive file: its name up to the first ".", or the whole name when it
// has no "." or begins with one.
KARVCORE_API std::wstring ArchiveFolderName(const std::wstring& archiveName);

// The folder of one archive file's members below `root`: `root` itself for a 357 game (its
// archive spans its files) and for a file without a name, else `root` and the archive file's
// folder name.
KARVCORE_API std::wstring MembersFolder(int32_t dataType, const std::wstring& root,
                                        const std::wstring& archiveName);

// Where each archive file after the first begins in the index of a 357 archive: the entries
// after entry 0 whose offset is 0, as split addresses. False when there are more than an
// archive may have.
KARVCORE_API bool FindSplitAddresses(const IndexTable& index, std::vector<uint32_t>& addresses);
// The split address of an archive file whose entries begin at `firstEntry`.
inline uint64_t SplitAddressOf(uint32_t firstEntry) {
    return uint64_t(firstEntry) * kSplitAddressUnit;
}
// Split addresses as a game record keeps them: "0", then "/" and each in lower-case
// hexadecimal (0/7a0/1000).
KARVCORE_API std::wstring SplitAddressText(const std::vector<uint32_t>& addresses);

// ---- Texture containers in a member ----

// A texture container inside a member: the member itself (sub-file 0) or a sub-file of a
// packed blob.
struct TextureRegion {
    uint32_t subFile = 0;
    uint32_t offset = 0;
    uint32_t length = 0;
};

// The texture containers of a member: the member itself when it is one, else those among the
// sub-files of a packed blob (sub-files that cannot be located are passed over). A member too
// short for its first word has none.
KARVCORE_API std::vector<TextureRegion> FindTextureContainers(const uint8_t* data, uint32_t length,
                                                              bool bigEndian);
// The container that sub-file `subFile` names, as the texture import finds it: sub-file 0 is
// the data itself when that is a container, else sub-file 0 of a packed blob. Failures:
// NotTextureData (neither a container nor a packed blob), the sub-file lookup's own
// (LocateSubFile), SubFileNotTexture.
KARVCORE_API Status LocateTextureContainer(const uint8_t* data, uint32_t length, uint32_t subFile,
                                           bool bigEndian, TextureRegion& region);

// ---- Reading members out of an archive for the export ----

// What the export reads, as arguments.
struct ExportRequest {
    int32_t dataType = kDataTypeNone;
    bool bigEndian = false;
    // The archive files and their split addresses, for an archive over several files, and the
    // chosen archive file (for Z54 it holds the index).
    linkinfo link;
    std::wstring archivePath;
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
    // The bytes as the archive stores them (the container of a compressed member; the member
    // itself, as data, of a raw one), valid as long as data.
    const uint8_t* stored = nullptr;
    uint32_t storedLength = 0;
    bool compressed = false;
};

// Reads the members of a range in order, as VoxbankQX::ReadMember would read them one by one,
// while the workers decompress the members ahead. Every file operation and every message stays
// on the calling thread, in entry order.
class KARVCORE_API ArchiveExport {
  public:
    explicit ArchiveExport(ExportRequest request);
    ~ArchiveExport();
    ArchiveExport(const ArchiveExport&) = delete;
    ArchiveExport& operator=(const ArchiveExport&) = delete;

    // Opens the archive file read first and loads the index. Failures, with their message also
    // on the last-error channel: ArchiveUnopened, ArchiveUnreadable (its first bytes), the
    // index's own (see IndexTable::load; BadDataType before a data type), OutOfMemory.
    Status open();
    // The next entry of the range; false when the range is done or the run has ended.
    bool next(ExportedMember& member);
    // The archive file read first: the chosen one when it holds the index, else file 0.
    const std::wstring& readPath() const;

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
    // Every file's data goes behind the end of its archive file, never over a region, and
    // neither the index nor the record is written: each kImported outcome carries the entry
    // that points at the data, for the caller to write once all of it is in place (the mods).
    bool appendOnly = false;
    // When given, every byte appended behind an archive file once it is written, in order (the
    // zeros that align the data too): the archive file (file 0 unless the archive spans its
    // files), the bytes, their count. For a caller that fingerprints what it appended.
    std::function<void(int32_t file, const uint8_t* bytes, uint32_t count)> appended;
};

// One file to import: its name in the import folder and the entry it replaces.
struct ImportFile {
    std::wstring name;
    uint32_t entry = 0;
    // Where the file is, when not in the import folder (empty: there, under its name).
    std::wstring path = {};
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
    // kImported in an append-only run: the index entry's bytes that point at the data, and
    // the archive file (index into the archive's files) that holds it.
    std::vector<uint8_t> entryBytes;
    int32_t archiveFile = 0;
};

// Imports edited members into an archive. New data never overwrites what the backup protects:
// it goes behind the archive's end as it was at backup time, or over the region an earlier
// import appended for the same entry when it fits there, and the backup record remembers each
// entry's region. Data first, then the index entry, then the record slot, each write checked.
class KARVCORE_API ArchiveImport {
  public:
    explicit ArchiveImport(ImportRequest request);
    ~ArchiveImport();
    ArchiveImport(const ArchiveImport&) = delete;
    ArchiveImport& operator=(const ArchiveImport&) = delete;

    // Loads the record and the index. Failures: TooManyFiles; BackupUnloadable (the record);
    // ArchiveUnopened, ArchiveUnreadable (archive file 0, or its first bytes); BadDataType; the
    // index's own (see IndexTable::load); IndexHoldsNoEntry also for a headerless index without
    // a whole entry (the run simply has nothing to do); ChangedSinceBackup (the game was changed
    // by another program since the backup, see CheckBackup: an append would land in data the
    // backup does not protect); OutOfMemory.
    Status open();
    // Imports the files in order, telling `report` each outcome as it happens. Ok when every
    // file had its turn; Stopped when an outcome ended the run (reported before).
    Status run(const std::vector<ImportFile>& files,
               const std::function<void(const ImportEvent&)>& report);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// ---- Listing and verifying an archive ----

// What LIST and VERIFY read: one archive of a game. `link` and `archivePath` as for the export
// (the archive files and their split addresses; the chosen archive file, which for Z54 holds
// the index).
struct ArchiveRequest {
    int32_t dataType = kDataTypeNone;
    bool bigEndian = false;
    linkinfo link;
    std::wstring archivePath;
};

// One texture as its header describes it.
struct ListedTexture {
    uint32_t subFile = 0; // the blob's sub-file that holds it; 0 for a texture container member
    uint32_t texture = 0; // its number in its container
    uint8_t code = 0;     // the format code
    std::wstring format;  // "DXT1", "ARGB", ... as the DDS export names it; empty: unsupported
    uint32_t width = 0, height = 0, mipmaps = 0;
};

// One entry of the index as a listing sees it, from the member's head only.
struct ListedEntry {
    uint32_t entry = 0;
    int32_t file = 0;    // index into linkinfo's files (357 by split address; else 0)
    bool used = false;   // false: IsUnusedEntry; only offset and stored below are meaningful
    uint64_t offset = 0; // byte offset in its archive file (Z54: stored x unit)
    uint32_t stored = 0; // stored size
    const ContainerKind* storage = nullptr; // null: raw; else the game's container kind
    uint32_t size = 0; // the container's total (compressed) or the stored size (raw)
    enum class Content { Texture, Blob, Other, Damaged } content = Content::Other;
    uint8_t magic[4] = {};     // the member's first (decompressed) bytes, in file order
    uint32_t magicLength = 0;  // 4, or fewer for a shorter member
    uint32_t textureCount = 0; // Texture: the count its header gives
    uint32_t subFiles = 0;     // Blob: its sub-file count
    // Texture: its textures whose headers lie inside the head; Blob: those of its sub-files that
    // are texture containers whose headers lie inside the head (sub-files beyond it are only
    // counted).
    std::vector<ListedTexture> textures;
    std::wstring damage; // Damaged: why, the library's message
};

// The most of a member a listing decodes: its first bytes up to this, from the first chunk of a
// compressed member.
inline constexpr uint32_t kListedHeadLength = 64u << 10;

// Lists every entry of the index in order, calling `each` per entry on the calling thread. Reads
// the index and, for each used entry, only the head of the member: a few KiB, and up to
// kListedHeadLength (a compressed member's container header and first chunk) for one that may
// be a texture container or a packed blob (RecognisePackedBlob). A member whose head cannot be
// read or decoded, or lies beyond the end of its archive file, is Damaged, and the listing goes
// on. Failures (nothing listed, or the listing ended): TooManyFiles, ArchiveUnopened (the file
// read first), the index's own (see ArchiveExport::open), OutOfMemory.
KARVCORE_API Status ListArchive(const ArchiveRequest& request,
                                const std::function<void(const ListedEntry&)>& each);

// A problem the verifier found.
struct VerifyProblem {
    enum Kind {
        kBounds, // the entry does not lie inside its archive file (offset + stored > its size)
        kDecode, // a compressed member whose container does not decode (or has a wrong magic)
        kSize,   // a container that decodes to a length other than its header's total
        kFile,   // an archive file that cannot be opened or sized: its entries are not checked
    };
    int32_t file = 0;              // index into linkinfo's files
    std::optional<uint32_t> entry; // none for a problem of a whole file
    Kind kind = kDecode;
    std::wstring message; // one line of the library's words, without a line break
};

struct VerifyCounts {
    uint32_t checked = 0; // used entries checked (those of a file with a kFile problem are not)
    uint32_t unused = 0;
};

// Reads every used member whole and decodes every compressed one on the worker threads (the
// calling thread reads, the workers decode, the results come back in entry order), writing
// nothing. Reports every problem through `problem` in entry order, on the calling thread.
// Failures (verification not run, or ended: the problems so far were reported): TooManyFiles,
// ArchiveUnopened, the index's own, OutOfMemory.
KARVCORE_API Status VerifyArchive(const ArchiveRequest& request,
                                  const std::function<void(const VerifyProblem&)>& problem,
                                  VerifyCounts& counts);

// ---- The archive against its backup ----

// What comparing an archive with its backup found. The import only ever points an entry behind
// its archive file's saved size, so an entry that differs from the saved table and points below
// that size was written by another program (a game update, say): a restore would cut away or
// put back data the changed index and archive no longer match.
struct BackupFinding {
    enum Kind {
        kBackupMisfit,   // record or index copy of the wrong length for this archive/index
        kSizeUnrecorded, // the saved size of the file that holds an entry is 0: not checkable
        kEntryChanged,   // a differing entry that points below its file's saved size
        kCountChanged,   // Z54: the header's entry count is not the backup's
        kFileShorter,    // an archive file is now shorter than its saved size
    };
    Kind kind = kBackupMisfit;
    int32_t file = 0;              // index into linkinfo's files (0 for single-file types)
    std::optional<uint32_t> entry; // the entry, where the finding is about one
};

struct BackupState {
    bool exists = false; // the record is there (a backup was made)
    // Per archive file the record describes, in linkinfo order (one for the single-file types);
    // 0 = not recorded, and all 0 without a readable record.
    std::vector<uint64_t> savedSizes;
    uint32_t savedEntries = 0; // entries in the index copy
    // In file, then entry order (a file's findings without an entry first); every one.
    std::vector<BackupFinding> findings;
    // Any kEntryChanged, kCountChanged or kFileShorter.
    KARVCORE_API bool changedByOtherProgram() const;
};

// Reads the backup of the archive (record and index copy) and the archive as it is now and
// compares them; `chosenArchive` is the chosen archive file (for Z54 it holds the index). Member
// data is not read. Without a backup: Ok with exists == false. Failures: the index's own load
// failures (see IndexTable::load; BadDataType before a data type), IndexHoldsNoEntry (a
// headerless index without a whole entry), TooManyFiles, OutOfMemory; a backup that cannot be
// read or whose files disagree in length is a kBackupMisfit finding, not a failure.
KARVCORE_API Status CheckBackup(int32_t dataType, const linkinfo& link,
                                const std::wstring& chosenArchive, bool bigEndian,
                                BackupState& state);

// ---- The original members, as the backup saved them ----

// An import never overwrites what lay below an archive file's saved size, and the backup's copy
// of the index still locates every member there: read through the copy, an entry gives the
// member exactly as it was when the backup was made, however many imports came after.

// One entry asked for, in the order asked.
struct OriginalMember {
    uint32_t entry = 0;
    // EntryBeyondIndex (not in the backup's table), EntryUnused, OutsideSavedRegion (the saved
    // entry reaches past its archive file's saved size), ArchiveUnreadable, MemberUndecodable,
    // OutOfMemory; ArchiveUnopened (the archive file that holds it): the run ends here. The
    // library's message with it.
    Status status;
    // The member (decompressed where the archive stores it compressed), valid during the call;
    // null when only the stored bytes were asked for.
    const uint8_t* data = nullptr;
    uint32_t length = 0;
    // The bytes as the archive stores them (a container where compressed is set), valid during
    // the call; null when only their hash was asked for.
    const uint8_t* stored = nullptr;
    uint32_t storedLength = 0;
    bool compressed = false;
    // ModHash of the stored bytes, when only that was asked for.
    std::wstring storedHash;
};

// What ReadOriginalMembers reads of each entry: the member decoded (with its stored bytes), or
// only the hash of the stored bytes, read in small pieces on the calling thread: neither
// decoded nor held, for a check that can do with them.
enum class OriginalForm { kDecoded, kStoredHash };

// Reads, for each of `entries` (ascending reads each archive file once), the member the backup's
// copy of the index describes, decoded as the export decodes it (or only its stored bytes
// hashed, see OriginalForm), from the archive files' regions below their saved sizes: the
// copy's entries decoded with the game's layout (Z54: in the current header's offset unit,
// which the copy does not hold), a 357 entry in the archive file its split address names. The
// calling thread reads and the workers decompress, as in the export; `each` is called on the
// calling thread in entry order. Ok when every entry had its turn; Stopped when the run ended at an
// entry (ArchiveUnopened), OutOfMemory when it ended between entries. Failures before any entry,
// when the originals cannot be trusted: BadDataType (no container kind); TooManyFiles;
// BackupUnloadable (no backup, or a record or index copy that cannot be read or does not fit the
// index); ArchiveUnopened, ArchiveUnreadable (the file read first); the index's own (see
// IndexTable::load), IndexHoldsNoEntry; ChangedSinceBackup (another program changed the game since
// the backup, see CheckBackup); OutOfMemory. Every failure's message is also on the last-error
// channel.
KARVCORE_API Status ReadOriginalMembers(const ArchiveRequest& request,
                                        const std::vector<uint32_t>& entries,
                                        const std::function<void(const OriginalMember&)>& each,
                                        OriginalForm form = OriginalForm::kDecoded);

} // namespace karv
