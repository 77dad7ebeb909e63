#include "archive_import.h"

#include "archive_files.h"
#include "backup_record.h"
#include "blob_commands.h"
#include "byte_io.h"
#include "console.h"
#include "karvcore/karvcore.h"
#include "malloc_buffer.h"
#include "platform/file.h"
#include "platform/filesystem.h"
#include "program_state.h"
#include "read_available.h"
#include "texts.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <locale>
#include <map>
#include <new>
#include <sstream>
#include <vector>

namespace karv::cli {
namespace {

using platform::File;
using platform::kPathSeparator;
using platform::OpenMode;
using platform::SeekFrom;

constexpr uint32_t kZ54HeaderSize = 16;
constexpr uint32_t kZ54EntrySize = 16;
constexpr uint32_t kEntrySize32 = 32;
constexpr uint32_t kProbeLength = 16;

// The chunk size of a 358 member is the word at 8 in its container header.
constexpr uint32_t k358HeaderProbe = 16;
constexpr uint32_t k358ChunkSizeAt = 8;
constexpr uint32_t k358MaxChunkSize = 16u << 20;
constexpr uint32_t k358DefaultChunk = 262144;
constexpr uint32_t k358LargeChunk = 524288;

constexpr int kLevelAppend = 1; // appended anyway: fast
constexpr int kLevelFit = 9;    // best, so the container may fit the entry's region

// One index entry as the import reads it, every number in host order.
struct ImportEntry {
    uint64_t offset = 0;
    uint32_t size = 0;
    uint32_t marker = 0;

    bool unused() const { return IsUnusedEntry(size, marker); }
    bool compressed() const { return !IsRawMarker(marker); }
};

void putU64(uint8_t* at, uint64_t value, bool bigEndian) {
    writeU32(at + (bigEndian ? 0 : 4), uint32_t(value >> 32), bigEndian);
    writeU32(at + (bigEndian ? 4 : 0), uint32_t(value), bigEndian);
}

// Writes `count` zero bytes at the file's position; the count may be as large as an offset
// unit, which comes from the file.
bool writeZeros(File& file, uint64_t count) {
    static const uint8_t kZeros[65536] = {};
    while (count > 0) {
        auto piece = uint32_t(std::min<uint64_t>(count, sizeof kZeros));
        if (!file.writeAll(kZeros, piece))
            return false;
        count -= piece;
    }
    return true;
}

// The index entries of the archive, loaded once per run. Every entry the import writes goes
// into the image too, so later decisions of the run see the entry as it stands on disk.
class IndexImage {
  public:
    // LoadImportIndex: false (with the outcome printed) when there is no usable index.
    bool load(const std::wstring& archivePath);
    uint32_t count() const { return count_; }
    uint32_t entrySize() const { return z54() ? kZ54EntrySize : kEntrySize32; }
    uint32_t offsetUnit() const { return offsetUnit_; }

    // ReadImportEntry; `entry` is below count().
    ImportEntry read(uint32_t entry) const;
    // The bytes of entry `entry` as the import writes them.
    std::vector<uint8_t> encode(const ImportEntry& old, uint64_t offset, uint32_t fileLength,
                                uint32_t storedLength, bool compressed) const;
    void store(uint32_t entry, const std::vector<uint8_t>& bytes);
    // Decodes entry bytes as read() would.
    ImportEntry decode(const uint8_t* bytes) const;

  private:
    bool z54() const { return archiveSelection.dataType == kDataTypeZ54; }
    bool loadZ54(const std::wstring& archivePath);
    bool loadTable32();

    std::vector<uint8_t> table_;
    uint32_t count_ = 0;
    uint32_t offsetUnit_ = 0;
};

bool IndexImage::load(const std::wstring& archivePath) {
    int32_t type = archiveSelection.dataType;
    if (type != kDataType357 && type != kDataTypeZ54 && type != kDataType358) {
        print(text::kImportBadDataType);
        return false;
    }
    if (!(z54() ? loadZ54(archivePath) : loadTable32()))
        return false;
    return count_ != 0;
}

bool IndexImage::loadZ54(const std::wstring& archivePath) {
    File file = File::open(archivePath, OpenMode::ReadExisting);
    if (!file.isOpen()) {
        print(text::kOpenFileFailedLine);
        return false;
    }
    const bool bigEndian = archiveSelection.bigEndian;
    uint8_t header[kZ54HeaderSize] = {};
    uint64_t fileSize = 0;
    if (!file.readAll(header, kZ54HeaderSize) || !file.size(fileSize)) {
        print(text::kReadFileFailedLine);
        return false;
    }
    offsetUnit_ = readU32(header + 8, bigEndian);
    if (offsetUnit_ == 0) {
        print(text::kImportOffsetUnitZero);
        return false;
    }
    // The table cannot hold more entries than the file has room for, nor more than one read
    // request can move.
    uint64_t room = fileSize < kZ54HeaderSize ? 0 : (fileSize - kZ54HeaderSize) / kZ54EntrySize;
    room = std::min<uint64_t>(room, UINT32_MAX / kZ54EntrySize);
    uint64_t count = std::min<uint64_t>(readU32(header + 4, bigEndian), room);
    table_.resize(size_t(count * kZ54EntrySize));
    if (!file.readAll(table_.data(), uint32_t(table_.size()))) {
        print(text::kReadFileFailedLine);
        return false;
    }
    count_ = uint32_t(count);
    return true;
}

bool IndexImage::loadTable32() {
    LoadedData index;
    if (!loadWhole(archiveSelection.linkinfo.indexPath, index)) {
        print(text::kLoadIdxFailed);
        return false;
    }
    count_ = index.size / kEntrySize32;
    table_.assign(index.bytes.get(), index.bytes.get() + size_t(count_) * kEntrySize32);
    return true;
}

ImportEntry IndexImage::decode(const uint8_t* at) const {
    const bool bigEndian = archiveSelection.bigEndian;
    ImportEntry entry;
    if (z54()) {
        uint64_t units = readU64(at, bigEndian);
        // An offset whose byte value does not fit in 64 bits can never be sought to.
        entry.offset = units > UINT64_MAX / offsetUnit_ ? UINT64_MAX : units * offsetUnit_;
        entry.size = readU32(at + 8, bigEndian);
        entry.marker = readU32(at + 12, bigEndian);
    } else {
        entry.offset = readU64(at, bigEndian);
        entry.size = readU32(at + 16, bigEndian);
        entry.marker = readU32(at + 24, bigEndian);
    }
    return entry;
}

ImportEntry IndexImage::read(uint32_t entry) const {
    return decode(table_.data() + size_t(entry) * entrySize());
}

std::vector<uint8_t> IndexImage::encode(const ImportEntry& old, uint64_t offset,
                                        uint32_t fileLength, uint32_t storedLength,
                                        bool compressed) const {
    const bool bigEndian = archiveSelection.bigEndian;
    std::vector<uint8_t> bytes(entrySize(), 0);
    if (z54()) {
        putU64(bytes.data(), offset / offsetUnit_, bigEndian);
        writeU32(bytes.data() + 8, storedLength, bigEndian);
        // A compressed member's marker is its decompressed length; a raw one keeps its tag.
        uint32_t marker = old.marker == kIdxMarkerRawTagged ? kIdxMarkerRawTagged : kIdxMarkerRaw;
        if (compressed)
            marker = fileLength;
        writeU32(bytes.data() + 12, marker, bigEndian);
    } else {
        putU64(bytes.data(), offset, bigEndian);
        writeU32(bytes.data() + 8, fileLength, bigEndian);
        writeU32(bytes.data() + 16, storedLength, bigEndian);
        // A compressed member is marked even when its container is as long as the file.
        bytes[24] = compressed || storedLength != fileLength ? 1 : 0;
    }
    return bytes;
}

void IndexImage::store(uint32_t entry, const std::vector<uint8_t>& bytes) {
    std::memcpy(table_.data() + size_t(entry) * entrySize(), bytes.data(), bytes.size());
}

// The entry number of a member file name: the name before its extension read as an unsigned
// decimal number, with nothing but white space after it.
bool entryNumberOf(const std::wstring& name, uint32_t& entry) {
    std::wstring stem = name.substr(0, name.rfind(L'.'));
    std::wistringstream in(stem);
    in.imbue(std::locale::classic());
    in >> std::ws;
    // A sign would turn "-1" into a huge number and "-0" into 0.
    if (in.peek() == L'-')
        return false;
    uint32_t number = 0;
    if (!(in >> number))
        return false;
    in >> std::ws;
    if (!in.eof())
        return false;
    entry = number;
    return true;
}

// The data to go into the archive for one file: the file itself (raw entries, with its zero
// tail up to the alignment) or its container.
struct Payload {
    MallocBuffer bytes;
    uint32_t fileLength = 0;
    uint32_t storedLength = 0; // what the entry records
    uint32_t regionLength = 0; // what an append writes, and the slot then records
    bool compressed = false;
};

enum class Step { Next, Stop };

// Where one import file goes: the open archive file that holds its entry, and the entry.
struct Target {
    File& archive;
    const std::wstring& path;
    const std::wstring& name; // the import file's name, for the lines printed
    uint32_t entry;
    const ImportEntry& old;
};

// One import run: the record, the index image and the files of the import folder.
class MemberImport {
  public:
    explicit MemberImport(std::wstring archivePath) : archivePath_(std::move(archivePath)) {}

    bool setUp();
    void run();

  private:
    std::wstring recordPath() const {
        return archiveSelection.linkinfo.fileNames[0] + text::kBackupRecordSuffix;
    }
    const std::wstring& firstArchivePath() const;
    int32_t archiveFileIndex(uint32_t entry) const;
    std::wstring archiveFilePath(int32_t file) const;
    uint32_t slotOf(uint32_t entry) const;

    Step importFile(const std::wstring& name);
    Step importEntry(const std::wstring& name, uint32_t entry, const ImportEntry& old);
    Step readPayload(const std::wstring& name, bool compressed, Payload& payload);
    bool chunkSizeFor(uint32_t entry, const ImportEntry& old, uint32_t fileLength,
                      uint32_t& chunkSize);
    bool compress(const std::wstring& name, uint32_t slot, uint32_t chunkSize, Payload& payload);
    bool recordable(const ImportEntry& old, const Payload& payload) const;
    bool ownsRegion(const ImportEntry& old, int32_t file, File& archive) const;
    bool writeInPlace(const Target& target, const Payload& payload);
    bool writeAppended(const Target& target, uint32_t slot, const Payload& payload);
    bool writeIndexEntry(const Target& target, const std::vector<uint8_t>& bytes);
    bool writeSlot(const std::wstring& name, uint32_t entry, uint32_t value);

    void printWriteFailure(const std::wstring& name, const std::wstring& path) const;
    void printImported(const std::wstring& name, bool compressed, bool inPlace) const;

    std::wstring archivePath_;
    LoadedData record_;
    IndexImage image_;
    // The chunk size of each 358 container this run has placed: a later file for the same
    // entry takes it from here rather than from a header a dry run never wrote.
    std::map<uint32_t, uint32_t> placedChunkSizes_;
};

const std::wstring& MemberImport::firstArchivePath() const {
    return archiveSelection.dataType == kDataTypeZ54 ? archivePath_
                                                     : archiveSelection.linkinfo.fileNames[0];
}

// A 357 entry lies in the file its split address names (file 0 when none does); the other
// types have one archive file.
int32_t MemberImport::archiveFileIndex(uint32_t entry) const {
    if (archiveSelection.dataType != kDataType357)
        return 0;
    return archiveFileOf(archiveSelection.linkinfo, entry).value_or(0);
}

std::wstring MemberImport::archiveFilePath(int32_t file) const {
    if (archiveSelection.dataType == kDataTypeZ54)
        return archivePath_;
    return archiveSelection.linkinfo.fileNames[file];
}

// The length of the region the entry owns behind the backup's end; 0 for none.
uint32_t MemberImport::slotOf(uint32_t entry) const {
    uint32_t slot = 0;
    record::slot(record_.bytes.get(), record_.size, entry, slot);
    return slot;
}

void MemberImport::printWriteFailure(const std::wstring& name, const std::wstring& path) const {
    print(text::kImportWhilePrefix + name + text::kImportWhileWriting + path +
          text::kWriteFileFailedClose);
}

void MemberImport::printImported(const std::wstring& name, bool compressed, bool inPlace) const {
    const wchar_t* action =
        compressed
            ? (inPlace ? text::kImportedCompressedInPlace : text::kImportedCompressedAppended)
            : (inPlace ? text::kImportedRawInPlace : text::kImportedRawAppended);
    print(text::kImportLineTo + archivePath_ + action + name + text::kLineSucceeded);
}

bool MemberImport::setUp() {
    const ArchiveSelection& selection = archiveSelection;
    if (!platform::pathExists(selection.importDir)) {
        print(text::kImportDirMissing);
        return false;
    }
    if (!platform::pathExists(archivePath_)) {
        print(text::kFileQuoteOpen + archivePath_ + text::kFileMissingClose);
        return false;
    }
    if (!archiveFileCountFits(selection.linkinfo)) {
        print(text::kTooManyArchiveFiles);
        return false;
    }
    if (!loadWhole(recordPath(), record_)) {
        print(text::kLoadRecordFailed);
        return false;
    }
    File first = File::open(firstArchivePath(), OpenMode::ReadExisting);
    if (!first.isOpen()) {
        print(text::kOpenFileFailedLine);
        return false;
    }
    uint8_t probe[kProbeLength] = {};
    uint32_t got = 0;
    if (!first.read(probe, kProbeLength, got)) {
        print(text::kReadFileFailedLine);
        return false;
    }
    return image_.load(archivePath_);
}

void MemberImport::run() {
    std::vector<platform::DirectoryEntry> found;
    if (!platform::listDirectory(archiveSelection.importDir,
                                 std::wstring(L"*") + text::kSubFileSuffix, found) ||
        found.empty()) {
        print(text::kNoFilesToImport);
        return;
    }
    for (const platform::DirectoryEntry& file : found) {
        if (file.isDirectory || file.name.empty() || file.name[0] == L'.')
            continue;
        if (importFile(file.name) == Step::Stop)
            return;
    }
}

Step MemberImport::importFile(const std::wstring& name) {
    uint32_t entry = 0;
    if (!entryNumberOf(name, entry))
        return Step::Next;
    if (entry >= image_.count() || !record::holdsSlot(record_.size, entry)) {
        print(name + text::kImportEntryBeyondIndex);
        return Step::Next;
    }
    const ImportEntry old = image_.read(entry);
    if (old.unused()) {
        print(text::kSkipUnusedLine);
        return Step::Next;
    }
    return importEntry(name, entry, old);
}

Step MemberImport::importEntry(const std::wstring& name, uint32_t entry, const ImportEntry& old) {
    Payload payload;
    if (Step step = readPayload(name, old.compressed(), payload); !payload.bytes)
        return step;
    uint32_t chunkSize = 0;
    if (payload.compressed && archiveSelection.dataType == kDataType358 &&
        !chunkSizeFor(entry, old, payload.fileLength, chunkSize))
        return Step::Stop;
    const int32_t file = archiveFileIndex(entry);
    const std::wstring path = archiveFilePath(file);
    File archive = File::open(path, OpenMode::WriteExisting);
    if (!archive.isOpen()) {
        print(text::kOpenVoxbankFailedLine);
        return Step::Stop;
    }
    const uint32_t slot = slotOf(entry);
    if (payload.compressed && !compress(name, slot, chunkSize, payload))
        return Step::Stop;
    if (!recordable(old, payload)) {
        print(name + text::kImportSizeUnrecordable);
        return Step::Next;
    }
    const Target target{archive, path, name, entry, old};
    const bool inPlace =
        slot != 0 && payload.regionLength <= slot && ownsRegion(old, file, archive);
    if (!(inPlace ? writeInPlace(target, payload) : writeAppended(target, slot, payload)))
        return Step::Stop;
    if (!archiveSelection.dryRun && !archive.close()) {
        printWriteFailure(name, path);
        return Step::Stop;
    }
    if (payload.compressed && archiveSelection.dataType == kDataType358)
        placedChunkSizes_[entry] = chunkSize;
    printImported(name, payload.compressed, inPlace);
    return Step::Next;
}

// Reads the import file; `payload.bytes` stays empty when the file is not imported, and the
// step says whether the run goes on.
Step MemberImport::readPayload(const std::wstring& name, bool compressed, Payload& payload) {
    File file =
        File::open(archiveSelection.importDir + kPathSeparator + name, OpenMode::ReadExisting);
    uint64_t size = 0;
    if (!file.isOpen() || !file.size(size)) {
        print(name + text::kImportFileOpenFailed);
        return Step::Stop;
    }
    // Stored with size 0 the entry would read back as unused: the member would be lost.
    if (size == 0) {
        print(name + text::kImportFileEmpty);
        return Step::Next;
    }
    uint32_t alignment = std::max<uint32_t>(archiveSelection.blockAlignment, 1);
    uint32_t padded = 0;
    if (size > UINT32_MAX || !roundUp(size, alignment, padded)) {
        print(name + text::kImportFileTooLarge);
        return Step::Next;
    }
    payload.fileLength = uint32_t(size);
    payload.compressed = compressed;
    // A raw member is appended with its zero tail, so the buffer holds the padded length.
    uint32_t capacity = compressed ? payload.fileLength : padded;
    MallocBuffer bytes(static_cast<uint8_t*>(std::calloc(capacity, 1)));
    if (!bytes) {
        print(text::kOutOfMemory);
        return Step::Stop;
    }
    if (!file.readAll(bytes.get(), payload.fileLength)) {
        print(name + text::kImportFileReadFailed);
        return Step::Stop;
    }
    payload.bytes = std::move(bytes);
    payload.storedLength = payload.fileLength;
    payload.regionLength = padded;
    return Step::Next;
}

// The chunk size in the container header of the member a 358 import replaces; the default
// rule when it cannot be read or makes no sense. False when the archive file cannot be opened.
bool MemberImport::chunkSizeFor(uint32_t entry, const ImportEntry& old, uint32_t fileLength,
                                uint32_t& chunkSize) {
    File archive = File::open(archiveSelection.linkinfo.fileNames[0], OpenMode::ReadExisting);
    if (!archive.isOpen()) {
        print(text::kOpenFileFailedLine);
        return false;
    }
    if (auto placed = placedChunkSizes_.find(entry); placed != placedChunkSizes_.end()) {
        chunkSize = placed->second;
        return true;
    }
    uint8_t header[k358HeaderProbe] = {};
    bool read = old.offset <= uint64_t(INT64_MAX) &&
                archive.seek(int64_t(old.offset), SeekFrom::Begin) &&
                readAvailable(archive, header, k358HeaderProbe);
    chunkSize = read ? readU32(header + k358ChunkSizeAt, archiveSelection.bigEndian) : 0;
    if (chunkSize == 0 || chunkSize > k358MaxChunkSize) {
        print(text::kChunkSizeUnreadable);
        chunkSize = fileLength <= k358DefaultChunk ? k358DefaultChunk : k358LargeChunk;
    }
    return true;
}

// Replaces the file's bytes in the payload by their container in the game's format; false
// (with the outcome printed) when that fails.
bool MemberImport::compress(const std::wstring& name, uint32_t slot, uint32_t chunkSize,
                            Payload& payload) {
    const bool bigEndian = archiveSelection.bigEndian;
    const int level = slot != 0 ? kLevelFit : kLevelAppend;
    uint8_t* out = nullptr;
    uint32_t used = 0, padded = 0;
    const uint8_t* input = payload.bytes.get();
    int32_t status;
    switch (archiveSelection.dataType) {
    case kDataType357:
        status = CompressData357(out, input, payload.fileLength, &used, &padded, bigEndian, level);
        break;
    case kDataTypeZ54:
        status = CompressDataZ54(out, input, payload.fileLength, &used, &padded, bigEndian, level);
        break;
    default:
        status = CompressData358(out, input, payload.fileLength, &used, &padded, chunkSize,
                                 bigEndian, level);
        break;
    }
    payload.bytes.reset();
    if (status != 0) {
        print(name + text::kImportCompressFailedBecause + GetMessageQX() + L"\n");
        return false;
    }
    payload.bytes.reset(out);
    payload.storedLength = used;
    payload.regionLength = padded;
    return true;
}

// An entry that would read back as unused (a raw file of 1 or 4 bytes) or as the other kind
// (a Z54 file whose length is a raw or unused marker) would lose the member.
bool MemberImport::recordable(const ImportEntry& old, const Payload& payload) const {
    std::vector<uint8_t> bytes =
        image_.encode(old, 0, payload.fileLength, payload.storedLength, payload.compressed);
    ImportEntry written = image_.decode(bytes.data());
    return !written.unused() && written.compressed() == payload.compressed;
}

// The entry's region behind the backup's end is the import's own to overwrite; a region
// before that end holds data the backup protects, whatever the slot says. A region that starts
// behind the end of the file is no region at all: writing there would grow the archive to
// whatever offset the entry names.
bool MemberImport::ownsRegion(const ImportEntry& old, int32_t file, File& archive) const {
    uint64_t backupEnd = record::archiveSize(record_.bytes.get(), record_.size, uint32_t(file));
    uint64_t size = 0;
    if (!archive.size(size) || old.offset > size)
        return false;
    return backupEnd == 0 || old.offset >= backupEnd;
}

// Over the region the entry owns: the data, then the entry. The slot stays.
bool MemberImport::writeInPlace(const Target& target, const Payload& payload) {
    const uint64_t offset = target.old.offset;
    if (!archiveSelection.dryRun &&
        (offset > uint64_t(INT64_MAX) || !target.archive.seek(int64_t(offset), SeekFrom::Begin) ||
         !target.archive.writeAll(payload.bytes.get(), payload.storedLength))) {
        printWriteFailure(target.name, target.path);
        return false;
    }
    return writeIndexEntry(target, image_.encode(target.old, offset, payload.fileLength,
                                                 payload.storedLength, payload.compressed));
}

// Behind the end of the archive file: the data first, then the entry, then the slot. A slot
// that names an earlier region is cleared before the entry moves, so no failure in between
// can leave a slot larger than the region its entry points at.
bool MemberImport::writeAppended(const Target& target, uint32_t slot, const Payload& payload) {
    uint64_t end = 0;
    if (!target.archive.seek(0, SeekFrom::End, &end)) {
        printWriteFailure(target.name, target.path);
        return false;
    }
    // Z54 offsets are stored in units: the data has to start on a unit boundary.
    uint64_t offset = end;
    if (archiveSelection.dataType == kDataTypeZ54)
        offset = alignUp(end, image_.offsetUnit());
    if (!archiveSelection.dryRun &&
        (!writeZeros(target.archive, offset - end) ||
         !target.archive.writeAll(payload.bytes.get(), payload.regionLength))) {
        printWriteFailure(target.name, target.path);
        return false;
    }
    if (slot != 0 && !writeSlot(target.name, target.entry, 0))
        return false;
    return writeIndexEntry(target, image_.encode(target.old, offset, payload.fileLength,
                                                 payload.storedLength, payload.compressed)) &&
           writeSlot(target.name, target.entry, payload.regionLength);
}

// WriteIndexEntry: Z54 entries live in the open archive file behind its header, 357 and 358
// entries in the index file. The image follows, in a dry run too, so the rest of the run
// decides as it would after a real write.
bool MemberImport::writeIndexEntry(const Target& target, const std::vector<uint8_t>& bytes) {
    const bool dryRun = archiveSelection.dryRun;
    const uint64_t at = uint64_t(target.entry) * image_.entrySize();
    if (archiveSelection.dataType == kDataTypeZ54) {
        if (!dryRun && (!target.archive.seek(int64_t(kZ54HeaderSize + at), SeekFrom::Begin) ||
                        !target.archive.writeAll(bytes.data(), uint32_t(bytes.size())))) {
            printWriteFailure(target.name, target.path);
            return false;
        }
    } else {
        // Opened in a dry run too, so the run shows an index file that cannot be written.
        const std::wstring& indexPath = archiveSelection.linkinfo.indexPath;
        File index = File::open(indexPath, OpenMode::WriteExisting);
        if (!index.isOpen()) {
            print(text::kImportWhilePrefix + target.name + text::kImportWhileOpening + indexPath +
                  text::kQuotedFailedClose);
            return false;
        }
        bool written = dryRun || (index.seek(int64_t(at), SeekFrom::Begin) &&
                                  index.writeAll(bytes.data(), uint32_t(bytes.size())));
        if (!index.close() || !written) {
            printWriteFailure(target.name, indexPath);
            return false;
        }
    }
    image_.store(target.entry, bytes);
    return true;
}

// Only the entry's slot changes, so only its four bytes are written: a failed write can never
// cut the record and lose the archive sizes a restore needs.
bool MemberImport::writeSlot(const std::wstring& name, uint32_t entry, uint32_t value) {
    record::setSlot(record_.bytes.get(), record_.size, entry, value);
    const uint64_t at = record::kSlotsStart + uint64_t(entry) * record::kSlotWidth;
    File file = File::open(recordPath(), OpenMode::WriteExisting);
    bool written = file.isOpen() && (archiveSelection.dryRun ||
                                     (file.seek(int64_t(at), SeekFrom::Begin) &&
                                      file.writeAll(record_.bytes.get() + at, record::kSlotWidth)));
    if (!file.close() || !written) {
        printWriteFailure(name, recordPath());
        return false;
    }
    return true;
}

} // namespace

void ImportMembers(std::wstring archivePath) {
    try {
        MemberImport run(std::move(archivePath));
        if (run.setUp())
            run.run();
    } catch (const std::bad_alloc&) {
        print(text::kOutOfMemory);
    }
}

} // namespace karv::cli
