// karvcore: the library behind karvex. Reads and writes the archives, indexes, compressed
// containers and texture containers of the Orvane games.
//
// Conventions: functions never throw; on failure they set the last-error message (GetMessageQX)
// first. Buffers handed out come from malloc and are released by the receiver with free.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#if defined(_WIN32)
#if defined(KARVCORE_BUILD)
#define KARVCORE_API __declspec(dllexport)
#else
#define KARVCORE_API __declspec(dllimport)
#endif
#else
#define KARVCORE_API __attribute__((visibility("default")))
#endif

// The caller's open file, as the operating system names it: a HANDLE on Windows (the same type
// <windows.h> declares), a file descriptor on POSIX. The library never closes it.
#if defined(_WIN32)
typedef void* HANDLE;
typedef HANDLE NativeFileHandle;
#else
typedef int NativeFileHandle;
#endif

// ---- Records passed between the program and the library ----

// An archive is made of at most this many archive files.
inline constexpr int32_t kMaxArchiveFiles = 10;

// One archive: its files (file 0 first), where each file's entries start in the index table
// (entry number x 32), and the index file.
struct linkinfo {
    int32_t fileCount = 0;
    uint32_t splitAddress[kMaxArchiveFiles] = {};
    std::wstring fileNames[kMaxArchiveFiles];
    std::wstring indexPath;
};

// ---- Message channel, byte order and whole-file helpers ----

// Replaces the last-error message with the characters before the first NUL.
KARVCORE_API void SetMessageQX(std::wstring message);
// A copy of the last-error message; empty until the first failure.
KARVCORE_API std::wstring GetMessageQX();

// 1 when something matches the path (folders and wildcard patterns included), else 0.
KARVCORE_API int FilePathExists(const std::wstring& path);

// The value unchanged when the flags agree, byte-reversed when they differ.
KARVCORE_API uint16_t Get2Data(uint16_t value, bool heldBigEndian, bool wantBigEndian);
KARVCORE_API uint32_t Get4Data(uint32_t value, bool heldBigEndian, bool wantBigEndian);
KARVCORE_API uint64_t Get8Data(uint64_t value, bool heldBigEndian, bool wantBigEndian);

// Reads a whole file into a new malloc block. A zero-byte file gives a zero-length buffer.
KARVCORE_API bool LoadData(const std::wstring& path, uint8_t*& buffer, uint32_t* size);
// Writes data[offset .. offset+count) to a new file (create) or appends it to an existing one.
// A new file is written under a temporary name beside it (".karvtmp" appended) and takes the
// place of a file of that name only when every byte is written: a failure leaves that file as
// it was.
KARVCORE_API bool SaveData(const std::wstring& path, const uint8_t* data, uint32_t offset,
                           uint32_t count, bool create);

// Appends the non-empty pieces of `text` between any of the characters of `delimiters`.
KARVCORE_API void SplitString(const std::wstring& text, const std::wstring& delimiters,
                              std::vector<std::wstring>& pieces);

// ---- Compressed containers 357, Z54 and 358 ----
// Compressors: 0 on success with a new malloc block of paddedLength bytes (the container fills
// the first usedLength bytes, the rest is zero); -1 on failure.
KARVCORE_API int32_t CompressData357(uint8_t*& out, const uint8_t* input, uint32_t inputLength,
                                     uint32_t* usedLength, uint32_t* paddedLength, bool bigEndian,
                                     int level);
KARVCORE_API int32_t CompressDataZ54(uint8_t*& out, const uint8_t* input, uint32_t inputLength,
                                     uint32_t* usedLength, uint32_t* paddedLength, bool bigEndian,
                                     int level);
KARVCORE_API int32_t CompressData358(uint8_t*& out, const uint8_t* input, uint32_t inputLength,
                                     uint32_t* usedLength, uint32_t* paddedLength,
                                     uint32_t chunkSize, bool bigEndian, int level);

// Decompressors: 0 with a new malloc block of the container's total size; -1 corrupt or
// truncated data, -2 wrong total, -10 out of memory. A failed call leaves no buffer.
KARVCORE_API int32_t UnCompressData357(uint8_t*& out, const uint8_t* container,
                                       uint32_t containerLength, uint32_t* outLength,
                                       bool bigEndian);
KARVCORE_API int32_t UnCompressDataZ54(uint8_t*& out, const uint8_t* container,
                                       uint32_t containerLength, uint32_t* outLength,
                                       bool bigEndian);
KARVCORE_API int32_t UnCompressData358(uint8_t*& out, const uint8_t* container,
                                       uint32_t containerLength, uint32_t* outLength,
                                       bool bigEndian);

// ---- Index files and packed blobs ----

// One decoded index entry, every field in host order.
struct idxinfo {
    uint64_t offset = 0; // bytes from the start of the archive file that holds the member
    uint32_t size = 0;   // stored size in bytes
    uint32_t marker = 0; // see the marker values below
};

// Loads the entry table of an index file into a new malloc block (byte order untouched) and
// returns the entry count; 0 on failure with the message set. Data type 2 (Z54): a 16-byte
// header (count at 4, offset unit at 8) and 16-byte entries; the unit goes to *offsetUnit, and a
// count the file cannot hold is cut to the entries it holds. Other types: 32-byte entries, the
// whole file; *offsetUnit is left alone.
KARVCORE_API uint32_t LoadIndexData(int32_t dataType, const std::wstring& indexPath,
                                    uint8_t*& table, uint32_t* offsetUnit, bool bigEndian);
// Decodes entry `entry` of a table from LoadIndexData; the caller keeps `entry` below the count.
// A Z54 offset whose byte value does not fit in 64 bits decodes as UINT64_MAX (unreadable).
KARVCORE_API void GetIndexInfo(int32_t dataType, const uint8_t* table, uint32_t offsetUnit,
                               bool bigEndian, uint32_t entry, idxinfo* info);
// Locates sub-file `subFile` of a packed blob. 0 with *start and *size set; -1 table or sub-file
// out of range, -2 layout not recognised, -3 sub-file starts at or past the end of the blob.
// Sets no message.
KARVCORE_API int32_t GetData_Offset(const uint8_t* blob, uint32_t blobLength, uint32_t subFile,
                                    uint32_t* start, uint32_t* size, bool bigEndian);

// ---- Backup and restore ----

// Backup files beside the game files: "<index>.idxbak", a byte copy of the index table (Z54:
// the entries behind the header of archive file 0, named after that file), and
// "<archive file 0>.qxdata", the record: ten little-endian 64-bit archive sizes, then one
// 32-bit slot per index entry for the import. Data type 2 (Z54) uses fileNames[0] for index and
// archive and ignores fileCount and indexPath; other types use indexPath and archive files 0 to
// fileCount - 1, or file 0 alone when fileCount is 0 and fileNames[0] is set. The archive folder
// argument is not used.
//
// Both check everything before they write anything, so a refusal leaves every file as it was.
// A saved archive size of 0 means "not recorded": that file is neither checked nor cut.
//
// BackupIdxVoxbank: 0 once both files are on the disk (flushed, and their folders after the
// renames); -1 the index could not be loaded or has no entry; -2 an archive file could not be
// opened ("打开 Voxbank 文件失败！"); -3 its size is unknown or 0; -5 a backup file could not be
// written or flushed ("创建文件失败！" or "写入数据失败！"; a failure while the files are
// written leaves an earlier backup as it was, one while they are put in its place leaves the
// earlier record empty, so it cannot pair with the new table, and a folder that cannot be
// flushed after the last rename leaves the new backup in place but not surely on the disk);
// -6 fileCount is not 0..10; -8 the archive's mod ledger lists applied mods (a backup now would
// take their data as the original; the message names MODDEL and RESTORE); -10 out of memory.
KARVCORE_API int32_t BackupIdxVoxbank(int32_t dataType, const linkinfo& link,
                                      const std::wstring& archiveFolder, bool bigEndian);
// RestoreIdxVoxbank: writes the saved table back, cuts each recorded archive file back to its
// saved size and clears the slots. 0; -1 the backup files are missing, unreadable or do not
// agree with each other, or the index cannot be read; -2 the index or an archive file could not
// be opened; -3 its size is unknown or 0; -4 the index size differs from the saved table (Z54:
// archive file 0 is shorter than its saved size or than the header and table) or an archive
// file is shorter than its saved size; -5 a write or cut failed (the slots are cleared first,
// so a retry is safe); -6 fileCount is not 0..10; -7 another program (a game update) changed
// the game since the backup: an entry that differs from the saved table points below the saved
// size of the archive file that holds it, or a Z54 header's entry count is not the saved
// table's ("游戏文件在备份后已被其他程序修改（例如游戏更新），恢复备份会损坏游戏文件！"; an
// entry in a file whose saved size is 0 cannot be told apart and does not count); -10 out of
// memory. Once restored, the archive's mod ledger is removed (-5 when it cannot be).
KARVCORE_API int32_t RestoreIdxVoxbank(int32_t dataType, const linkinfo& link,
                                       const std::wstring& archiveFolder, bool bigEndian);

// ---- Archive-file interface ----

// Reads members out of an archive through its index. Made by CreateVoxbankInterface, destroyed
// by the caller with delete. The order of the virtual operations is part of the interface.
class VoxbankQX {
  public:
    virtual ~VoxbankQX() {}
    // Loads the index file; the entry count, or 0 with the message set.
    virtual uint32_t LoadIndex(const std::wstring& indexPath) = 0;
    // Drops the loaded index and takes another data type and byte order.
    virtual void Reset(int32_t dataType, bool bigEndian) = 0;
    // Reads entry `entry` from the caller's open archive file (never closed here) into a new
    // malloc block, decompressed unless stored raw (forceDecompress decompresses raw ones too).
    // 0 success; -1 no index loaded; -2 unused entry; -3 archive read failed; -4 decompression
    // failed; -5 entry beyond the index; -10 out of memory. Every failure sets the message and
    // leaves no buffer to free.
    virtual int32_t ReadMember(NativeFileHandle archive, uint32_t entry, uint8_t*& data,
                               uint32_t* length, bool forceDecompress) = 0;
};

// A new archive reader for data type 1 (357), 2 (Z54) or 3 (358) and the byte order; no index.
KARVCORE_API VoxbankQX* CreateVoxbankInterface(int32_t dataType, bool bigEndian);

// ---- Texture container interface ----

// A G1T texture container held in the caller's buffer: its textures out as complete DDS files
// (one per call, walking the textures with a cursor) and the pixel data of edited DDS files
// back into the container in place. The object keeps positions only: the caller keeps the
// buffer alive and passes the same buffer to every call. Never resizes the container.
//
// Statuses: 0 success; -1 every texture has been handled ("已到达文件尾！"); -10 already open;
// -11 size 0 at open, or a DDS file too short for its header and the texture's data; -12 not
// open; -13 the container's header, offset table, a texture header, extension or pixel data
// lie outside the size given at open; -14 the DDS file is no DDS file or does not match the
// texture's size or pixel format; -15 an import names a texture number at or beyond the
// count; -16 no memory; a positive value is an unsupported format code. Every failure sets
// the last-error message; none changes the caller's buffer.
class GT1GDataQX {
  public:
    virtual ~GT1GDataQX() {}

    // Opens the container of `size` bytes at `offset` in `data` and stores its texture count.
    virtual int32_t OpenData(const uint8_t* data, uint32_t offset, uint32_t size,
                             uint32_t* textureCount, bool bigEndian) = 0;
    // Builds the DDS file of the texture at the cursor (or of `number` when `seekFirst` and the
    // number is below the count) in a new malloc block, and moves the cursor on. On any failure
    // `ddsLength` is 0 and `dds` and `formatName` are left alone.
    virtual int32_t ExportTexture(const uint8_t* data, uint8_t*& dds, uint32_t* ddsLength,
                                  std::wstring* formatName, bool seekFirst, uint32_t number) = 0;
    // Copies the pixel data of a DDS file over the texture at the cursor (or `number` when
    // `seekFirst`; a number at or beyond the count is refused) and moves the cursor on. The
    // DDS file must match the texture's size and pixel format.
    virtual int32_t ImportTexture(uint8_t* data, const uint8_t* dds, uint32_t ddsLength,
                                  bool seekFirst, uint32_t number) = 0;
    // Forgets the open container; the next OpenData starts at texture 0.
    virtual void CloseData() = 0;
};

// A new closed container object; the caller destroys it with delete. Null only without memory.
KARVCORE_API GT1GDataQX* CreateGT1GDataInterface();

// ---- Text reader ----

// Encoding numbers of the text reader and writer; any other number is a Windows code page.
inline constexpr uint32_t kTextUtf8 = 65001;
inline constexpr uint32_t kTextUcs2 = 65502;

// Reads a text file line by line from memory. UTF-8 (mark EF BB BF optional), UCS-2 with a
// mark (FF FE or FE FF), or a numbered code page. Made by CreateTxtReadInterface; the caller
// destroys it.
class ReadTxtFileInMemQX {
  public:
    virtual ~ReadTxtFileInMemQX() = default;
    // 0; -1 path not accessible, -2 not loaded, -3 UCS-2 mark missing, -4 odd UCS-2 size,
    // -10 out of memory.
    virtual int32_t Open(const std::wstring& path, uint32_t encoding) = 0;
    // 0 with the next line (without its terminator); -1 no more data; -2 a byte that cannot
    // start a UTF-8 character (the text before it is delivered); -3 the code-page conversion
    // failed (the line stays unread); -10 out of memory.
    virtual int32_t ReadLine(std::wstring& line) = 0;
    // The same, the line as UTF-8 bytes.
    virtual int32_t ReadLineUtf8(std::string& line) = 0;
    virtual void Close() = 0;
};

KARVCORE_API ReadTxtFileInMemQX* CreateTxtReadInterface();

// ---- Text writer ----

// Writes wide text as UTF-8 (never a mark) or UCS-2 (mark written on creation). Normal mode
// keeps the file open; LOG mode opens, appends and closes on every WriteLog. Made by
// CreateTxtWriteInterface; the caller destroys it.
class WriteTxtFileQX {
  public:
    virtual ~WriteTxtFileQX() = default;
    // 0; -1 encoding not supported, -2 not created, -3 mark not written, -4 existing file not
    // opened, -10 already open.
    virtual int32_t Open(const std::wstring& path, bool create, uint32_t encoding,
                         bool bigEndian) = 0;
    virtual int32_t OpenLog(const std::wstring& path, bool create, uint32_t encoding,
                            bool bigEndian) = 0;
    // Writes the text up to its first NUL, adding no terminator. 0; -4 write failed (WriteLog:
    // or the file not opened), -11 not open, -12 wrong mode.
    virtual int32_t Write(const std::wstring& text) = 0;
    virtual int32_t WriteLog(const std::wstring& text) = 0;
    // Closes and opens the file again at its end, committing what was written. 0; -1 not
    // opened again (the object is then closed), -4 the close reported lost data, -11, -12.
    // Every operation returns -20 when it runs out of memory.
    virtual int32_t Reopen() = 0;
    virtual void Close() = 0;
};

KARVCORE_API WriteTxtFileQX* CreateTxtWriteInterface();

// ---- Test builds only (KARV_FAULT_INJECTION) ----
#if defined(KARV_FAULT_INJECTION)
namespace karv::platform {
class FaultSwitch;
}
// The I/O fault switch of the library's file layer. A test program points its own file layer
// at it (karv::platform::useFaultSwitch), so one count of file operations covers the program
// and the library alike.
KARVCORE_API karv::platform::FaultSwitch* KarvFaultSwitchQX();
#endif
