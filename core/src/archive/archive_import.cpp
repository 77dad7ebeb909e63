// Writing imported members into an archive. The backup protects everything the archive held
// when it was taken: new data goes behind the archive's end as it was then, or over the region
// that an earlier import appended for the same entry when it fits there, and the record of the
// backup remembers the length of each entry's region. Every write is checked, and the order is
// data, then index entry, then record slot, so a failure part way leaves nothing that points
// at data that is not there.
#include "archive/archive_files.h"
#include "boundary/boundary.h"
#include "boundary/messages.h"
#include "files/file_helpers.h"
#include "files/read_available.h"
#include "formats/backup_record.h"
#include "formats/byte_io.h"
#include "formats/container_common.h"
#include "karvcore/archive.h"
#include "karvcore/buffer.h"
#include "karvcore/formats.h"
#include "karvcore/index_table.h"
#include "platform/file.h"
#include "platform/filesystem.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <unordered_set>

namespace karv {
namespace {

using platform::File;
using platform::OpenMode;
using platform::SeekFrom;

// The archive file is probed with one read of this many bytes before the index is loaded.
constexpr uint32_t kProbeLength = 16;
// Enough of a member's container header to find its chunk size.
constexpr uint32_t kHeaderProbe = 16;
// A file of at least this many bytes is compressed at its turn with every thread, rather than
// ahead by one.
constexpr uint32_t kSharedFileBytes = 8u << 20;
// Files are read ahead of their turn as far as there are threads, and further while the blocks
// of the files on their way stay within what (threads + 1) of the largest file so far would
// hold: the compressing threads then always have a file waiting while the calling thread
// writes. Never more than this many per thread.
constexpr size_t kDeepestAheadPerThread = 8;
// A spare block goes to a file that needs at least half of it (less this much): a small file
// in a large block would hold memory the files read ahead could use.
constexpr uint64_t kBlockSlack = 64u << 10;
// Spare blocks beyond two are kept up to this many bytes, so that a file finds one of about its
// size rather than a new one.
constexpr uint64_t kSpareBytes = 8u << 20;

constexpr int kLevelAppend = 1; // appended anyway: fast
constexpr int kLevelFit = 9;    // best, so the container may fit the entry's region

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

// How a file's turn ended.
enum class Step { Next, Stop };

// What reading an import file came to.
enum class ReadOutcome { Read, Empty, TooLarge, Unopened, Unreadable, OutOfMemory };

// One import file, read ahead of its turn: its bytes (raw entries with their zero tail up to the
// alignment) and, for a compressed entry, its container as a worker made it with the level and
// chunk size the entry then called for. Its turn checks those are still the ones to use.
struct Prepared {
    const ImportFile* file = nullptr;
    bool readAhead = false;
    ReadOutcome read = ReadOutcome::Read;
    bool compressed = false;
    Block input;
    uint32_t fileLength = 0;
    uint32_t regionLength = 0; // raw: the padded length
    // The container made ahead, and what it was made with.
    std::shared_ptr<WorkerPool::Ticket> job;
    bool madeAhead = false;
    int level = 0;
    uint32_t chunkSize = 0;
    Status madeStatus;
    Block container;
    uint32_t used = 0;
    uint32_t padded = 0;
    // What its blocks hold, or will once a worker has made the container.
    uint64_t held = 0;
};

// Room enough for the container of `length` bytes in any of the kinds: deflate's worst case
// adds a few bytes per block, the records their headers and alignment.
uint64_t containerRoom(uint32_t length) {
    return uint64_t(length) + length / 64 + (8u << 10);
}

// The size a new block of the import gets for `size` bytes: rounded up to a few steps per
// doubling (at most a quarter more), so that files of about the same size take each other's
// blocks rather than new ones. Blocks of files shared among every thread are exact.
uint64_t blockSizeFor(uint64_t size) {
    if (size >= kSharedFileBytes)
        return size;
    uint64_t step = 1;
    while (step * 8 < size)
        step <<= 1;
    return (size + step - 1) / step * step;
}

// Room for `size` bytes in `block`, a new block rounded up to its size class. False without
// memory.
bool reserveRounded(Block& block, uint64_t size) {
    return block.capacity >= size && block.data ? true : block.reserve(blockSizeFor(size));
}

// The data that goes into the archive for one file.
struct Payload {
    const uint8_t* bytes = nullptr;
    uint32_t fileLength = 0;
    uint32_t storedLength = 0; // what the entry records
    uint32_t regionLength = 0; // what an append writes, and the slot then records
    bool compressed = false;
};

} // namespace

struct ArchiveImport::State {
    ImportRequest request;
    ArchiveFiles files;
    const ContainerKind* kind = nullptr;
    MallocBuffer record;
    uint32_t recordLength = 0;
    // Every entry the import writes goes into the table too, so later decisions of the run see
    // the entry as it stands on disk.
    IndexTable index;
    // The chunk size of each container this run has placed: a later file for the same entry
    // takes it from here rather than from a header a dry run never wrote.
    std::map<uint32_t, uint32_t> placedChunkSizes;
    const std::function<void(const ImportEvent&)>* report = nullptr;
    std::unique_ptr<WorkerPool> pool;
    codec::StreamCodec codec; // the calling thread's, without a pool
    std::vector<Block> spare;
    // The blocks of the largest file read so far (input and container).
    uint64_t largestNeed = 0;

    // One file's turn.
    struct Turn {
        const ImportFile& file;
        idxinfo old;
        int32_t archiveFile = 0;
        std::wstring archivePath;
        File archive;
        uint32_t slot = 0;
        uint32_t chunkSize = 0;
    };

    Status open();
    void runFiles(const std::vector<ImportFile>& files, Status& result);
    static std::vector<bool> speculable(const std::vector<ImportFile>& files);
    void prepare(Prepared& prepared, bool ahead);
    Step importFile(Prepared& prepared);
    Step importEntry(Turn& turn, Prepared& prepared);

    explicit State(ImportRequest r)
        : request(std::move(r)), files(request.dataType, request.link, request.archivePath) {}

    bool inArchiveIndex() const { return files.indexInArchive(); }
    std::wstring recordPath() const { return files.recordPath(); }
    uint32_t slotOf(uint32_t entry) const;
    int levelFor(uint32_t slot) const { return slot != 0 ? kLevelFit : kLevelAppend; }
    bool skipsEntry(const ImportFile& file, idxinfo& old, bool tellIt) const;

    ReadOutcome readFile(const ImportFile& file, bool compressed, Prepared& prepared);
    Step reportRead(const Prepared& prepared) const;
    bool probeChunkSize(uint32_t entry, uint64_t offset, uint32_t& chunkSize) const;
    bool findChunkSize(Turn& turn, uint32_t fileLength);
    void compressAhead(Prepared& prepared);
    bool compressAtTurn(Turn& turn, Prepared& prepared, Payload& payload);
    bool recordable(const idxinfo& old, const Payload& payload) const;
    bool ownsRegion(Turn& turn);
    bool writeInPlace(Turn& turn, const Payload& payload);
    bool writeAppended(Turn& turn, const Payload& payload);
    bool writeIndexEntry(Turn& turn, const std::vector<uint8_t>& bytes);
    bool writeSlot(const ImportFile& file, uint32_t entry, uint32_t value);
    std::vector<uint8_t> entryFor(const idxinfo& old, uint64_t offset,
                                  const Payload& payload) const;

    Block takeSpare(uint64_t size);
    void giveBack(Prepared& prepared);
    uint64_t heldBytes(const std::deque<Prepared>& ahead) const;
    bool roomAhead(const std::deque<Prepared>& ahead) const;
    void finishJob(Prepared& prepared);

    void tell(ImportEvent::Kind kind, const ImportFile& file, std::wstring path = {},
              std::wstring reason = {}) const;
    Step stopWith(ImportEvent::Kind kind, const ImportFile& file, std::wstring path = {}) const {
        tell(kind, file, std::move(path));
        return Step::Stop;
    }
};

void ArchiveImport::State::tell(ImportEvent::Kind kind, const ImportFile& file, std::wstring path,
                                std::wstring reason) const {
    ImportEvent event;
    event.kind = kind;
    event.file = file.name;
    event.path = std::move(path);
    event.reason = std::move(reason);
    (*report)(event);
}

// ---- Setting up ----

Status ArchiveImport::State::open() {
    if (!ArchiveFileCountFits(request.link))
        return Status::failure(Error::TooManyFiles, msg::kTooManyVoxbankFiles);
    if (!loadWholeFile(recordPath(), record, recordLength))
        return Status::failure(Error::BackupUnloadable, msg::kLoadBackupFailed);
    kind = FindContainerKind(request.dataType);
    File first = File::open(files.firstFile(), OpenMode::ReadExisting);
    if (!first.isOpen())
        return Status::failure(Error::ArchiveUnopened, msg::kOpenVoxbankFailed);
    uint8_t probe[kProbeLength] = {};
    uint32_t got = 0;
    if (!first.read(probe, kProbeLength, got))
        return Status::failure(Error::ArchiveUnreadable, msg::kReadLinkFailed);
    if (kind == nullptr)
        return Status::failure(Error::BadDataType, msg::kWrongDataType);
    const IndexLayout& layout = *kind->index;
    if (Status loaded = IndexTable::load(layout, files.indexPath(), request.bigEndian, index);
        !loaded)
        return loaded;
    if (index.count() == 0)
        return Status::failure(Error::IndexHoldsNoEntry, msg::kIndexEmpty);
    return Status();
}

// ---- Where an entry goes ----

// The length of the region the entry owns behind the backup's end; 0 for none.
uint32_t ArchiveImport::State::slotOf(uint32_t entry) const {
    uint32_t slot = 0;
    record::slot(record.get(), recordLength, entry, slot);
    return slot;
}

// ---- Reading ahead ----

// Which files may be read and compressed ahead of their turn: those whose entry no earlier file
// of the run addresses, since that file's write may change the entry, its slot and the chunk
// size its container takes.
std::vector<bool> ArchiveImport::State::speculable(const std::vector<ImportFile>& files) {
    std::vector<bool> result(files.size());
    std::unordered_set<uint32_t> seen;
    for (size_t i = 0; i < files.size(); ++i)
        result[i] = seen.insert(files[i].entry).second;
    return result;
}

// The entry of a file, unless the file is passed over for it (told when `tellIt`).
bool ArchiveImport::State::skipsEntry(const ImportFile& file, idxinfo& old, bool tellIt) const {
    if (file.entry >= index.count() || !record::holdsSlot(recordLength, file.entry)) {
        if (tellIt)
            tell(ImportEvent::kEntryBeyondIndex, file);
        return true;
    }
    index.entry(file.entry, old);
    if (IsUnusedEntry(old.size, old.marker)) {
        if (tellIt)
            tell(ImportEvent::kEntryUnused, file);
        return true;
    }
    return false;
}

// The spare block that fits `size` best: the smallest that holds it, if it is not more than
// about twice as large; else none, and the file gets a block of its own.
Block ArchiveImport::State::takeSpare(uint64_t size) {
    auto best = spare.end();
    for (auto it = spare.begin(); it != spare.end(); ++it) {
        if (it->capacity >= size && it->capacity <= 2 * size + kBlockSlack &&
            (best == spare.end() || it->capacity < best->capacity))
            best = it;
    }
    if (best == spare.end())
        return Block();
    Block block = std::move(*best);
    spare.erase(best);
    return block;
}

// The blocks of a file whose turn is over, kept for the next files: two whatever their size,
// more as long as they hold no more than kSpareBytes. The smallest go first: a new small block
// costs little, a new large one many fresh pages.
void ArchiveImport::State::giveBack(Prepared& prepared) {
    finishJob(prepared);
    uint64_t spareBytes = 0;
    for (const Block& block : spare)
        spareBytes += block.capacity;
    for (Block* block : {&prepared.input, &prepared.container}) {
        if (block->data) {
            spareBytes += block->capacity;
            spare.push_back(std::move(*block));
        }
    }
    while (spare.size() > 2 && spareBytes > kSpareBytes) {
        auto smallest =
            std::min_element(spare.begin(), spare.end(), [](const Block& a, const Block& b) {
                return a.capacity < b.capacity;
            });
        spareBytes -= smallest->capacity;
        spare.erase(smallest);
    }
}

// What the blocks of the files on their way hold.
uint64_t ArchiveImport::State::heldBytes(const std::deque<Prepared>& ahead) const {
    uint64_t held = 0;
    for (const Prepared& prepared : ahead)
        held += prepared.held;
    return held;
}

// Whether one more file may be read ahead: always as far as there are threads; beyond that while
// one more of the largest file so far keeps the blocks within (threads + 1) of it.
bool ArchiveImport::State::roomAhead(const std::deque<Prepared>& ahead) const {
    const size_t threads = pool ? pool->threads() : 0;
    if (ahead.size() <= threads)
        return true;
    if (ahead.size() > kDeepestAheadPerThread * threads || largestNeed == 0)
        return false;
    return heldBytes(ahead) + largestNeed <= (threads + 1) * largestNeed;
}

void ArchiveImport::State::finishJob(Prepared& prepared) {
    if (!prepared.job)
        return;
    pool->wait(*prepared.job);
    if (prepared.job->outOfMemory())
        prepared.madeStatus = Status::failure(Error::OutOfMemory, msg::kOutOfMemory);
    prepared.job.reset();
}

// Reads the import file into the prepared block; a raw entry's block holds the padded length,
// the tail zero, since an append writes it whole.
ReadOutcome ArchiveImport::State::readFile(const ImportFile& file, bool compressed,
                                           Prepared& prepared) {
    File input = File::open(request.importFolder + platform::kPathSeparator + file.name,
                            OpenMode::ReadExisting);
    uint64_t size = 0;
    if (!input.isOpen() || !input.size(size))
        return ReadOutcome::Unopened;
    // Stored with size 0 the entry would read back as unused: the member would be lost.
    if (size == 0)
        return ReadOutcome::Empty;
    uint32_t alignment = std::max<uint32_t>(request.blockAlignment, 1);
    uint32_t padded = 0;
    if (size > UINT32_MAX || !roundUp(size, alignment, padded))
        return ReadOutcome::TooLarge;
    prepared.fileLength = uint32_t(size);
    prepared.regionLength = padded;
    prepared.compressed = compressed;
    const uint32_t capacity = compressed ? prepared.fileLength : padded;
    prepared.input = takeSpare(capacity);
    if (!reserveRounded(prepared.input, capacity))
        return ReadOutcome::OutOfMemory;
    uint8_t* bytes = prepared.input.data.get();
    if (!input.readAll(bytes, prepared.fileLength))
        return ReadOutcome::Unreadable;
    std::memset(bytes + prepared.fileLength, 0, capacity - prepared.fileLength);
    return ReadOutcome::Read;
}

Step ArchiveImport::State::reportRead(const Prepared& prepared) const {
    const ImportFile& file = *prepared.file;
    switch (prepared.read) {
    case ReadOutcome::Read:
        return Step::Next;
    case ReadOutcome::Empty:
        tell(ImportEvent::kFileEmpty, file);
        return Step::Next;
    case ReadOutcome::TooLarge:
        tell(ImportEvent::kFileTooLarge, file);
        return Step::Next;
    case ReadOutcome::Unopened:
        return stopWith(ImportEvent::kFileUnopened, file);
    case ReadOutcome::Unreadable:
        return stopWith(ImportEvent::kFileUnreadable, file);
    case ReadOutcome::OutOfMemory:
        return stopWith(ImportEvent::kOutOfMemory, file);
    }
    return Step::Stop;
}

// The calling thread's part of a file ahead of its turn (or at it): the file's bytes and, for a
// compressed entry, a worker to compress them with the level and chunk size the entry calls for
// now.
void ArchiveImport::State::prepare(Prepared& prepared, bool ahead) {
    idxinfo old{};
    prepared.readAhead = ahead;
    if (skipsEntry(*prepared.file, old, false))
        return;
    prepared.read = readFile(*prepared.file, !IsRawMarker(old.marker), prepared);
    if (prepared.read != ReadOutcome::Read)
        return;
    const uint64_t room = prepared.compressed ? containerRoom(prepared.fileLength) : 0;
    largestNeed = std::max(
        largestNeed, (prepared.compressed ? prepared.fileLength : prepared.regionLength) + room);
    prepared.held = prepared.input.capacity + (room != 0 ? blockSizeFor(room) : 0);
    if (ahead && prepared.compressed)
        compressAhead(prepared);
}

void ArchiveImport::State::compressAhead(Prepared& prepared) {
    const uint32_t entry = prepared.file->entry;
    idxinfo old{};
    index.entry(entry, old);
    prepared.level = levelFor(slotOf(entry));
    if (kind->chunkSizeFromCaller && !probeChunkSize(entry, old.offset, prepared.chunkSize))
        return; // decided at the file's turn
    // A file large enough to share among every thread is compressed at its turn with all of them.
    if (!pool || prepared.fileLength >= kSharedFileBytes)
        return;
    const uint64_t room = containerRoom(prepared.fileLength);
    prepared.container = takeSpare(room);
    if (!reserveRounded(prepared.container, room))
        return; // made at the file's turn, where running out of memory is told
    Prepared* target = &prepared;
    prepared.madeAhead = true;
    prepared.held = prepared.input.capacity + prepared.container.capacity;
    prepared.job = pool->submit([this, target](codec::StreamCodec& codec) {
        target->madeStatus = engineOf(*kind).compress(
            target->input.data.get(), target->fileLength, target->chunkSize, request.bigEndian,
            target->level, codec, nullptr, target->container, target->used, target->padded);
    });
}

// ---- One file's turn ----

Step ArchiveImport::State::importFile(Prepared& prepared) {
    const ImportFile& file = *prepared.file;
    Turn turn{file, {}, 0, {}, {}, 0, 0};
    if (skipsEntry(file, turn.old, true))
        return Step::Next;
    if (!prepared.readAhead)
        prepare(prepared, false);
    if (Step step = reportRead(prepared); prepared.read != ReadOutcome::Read)
        return step;
    return importEntry(turn, prepared);
}

Step ArchiveImport::State::importEntry(Turn& turn, Prepared& prepared) {
    if (prepared.compressed && kind->chunkSizeFromCaller &&
        !findChunkSize(turn, prepared.fileLength))
        return Step::Stop;
    turn.archiveFile = files.fileOf(turn.file.entry);
    turn.archivePath = files.pathOf(turn.archiveFile);
    turn.archive = File::open(turn.archivePath, OpenMode::WriteExisting);
    if (!turn.archive.isOpen())
        return stopWith(ImportEvent::kArchiveUnopened, turn.file, turn.archivePath);
    turn.slot = slotOf(turn.file.entry);
    Payload payload;
    payload.bytes = prepared.input.data.get();
    payload.fileLength = prepared.fileLength;
    payload.storedLength = prepared.fileLength;
    payload.regionLength = prepared.regionLength;
    payload.compressed = prepared.compressed;
    if (payload.compressed && !compressAtTurn(turn, prepared, payload))
        return Step::Stop;
    if (!recordable(turn.old, payload)) {
        tell(ImportEvent::kSizeUnrecordable, turn.file);
        return Step::Next;
    }
    const bool inPlace = turn.slot != 0 && payload.regionLength <= turn.slot && ownsRegion(turn);
    if (!(inPlace ? writeInPlace(turn, payload) : writeAppended(turn, payload)))
        return Step::Stop;
    if (!request.dryRun && !turn.archive.close())
        return stopWith(ImportEvent::kWriteFailed, turn.file, turn.archivePath);
    if (payload.compressed && kind->chunkSizeFromCaller)
        placedChunkSizes[turn.file.entry] = turn.chunkSize;
    ImportEvent done;
    done.kind = ImportEvent::kImported;
    done.file = turn.file.name;
    done.compressed = payload.compressed;
    done.inPlace = inPlace;
    (*report)(done);
    return Step::Next;
}

// The chunk size in the container header of the member at `offset`; false when it cannot be
// read or makes no sense (or the archive file cannot be opened).
bool ArchiveImport::State::probeChunkSize(uint32_t entry, uint64_t offset,
                                          uint32_t& chunkSize) const {
    if (auto placed = placedChunkSizes.find(entry); placed != placedChunkSizes.end()) {
        chunkSize = placed->second;
        return true;
    }
    File archive = File::open(request.link.fileNames[0], OpenMode::ReadExisting);
    uint8_t header[kHeaderProbe] = {};
    bool read = archive.isOpen() && kind->chunkSizeAt + 4 <= kHeaderProbe &&
                offset <= uint64_t(INT64_MAX) && archive.seek(int64_t(offset), SeekFrom::Begin) &&
                readAvailable(archive, header, kHeaderProbe);
    chunkSize = read ? readU32(header + kind->chunkSizeAt, request.bigEndian) : 0;
    return chunkSize != 0 && chunkSize <= kind->largestChunkSize;
}

// The chunk size in the container header of the member the import replaces; the kind's
// default when it cannot be read or makes no sense. False when the archive file cannot be
// opened.
bool ArchiveImport::State::findChunkSize(Turn& turn, uint32_t fileLength) {
    File archive = File::open(request.link.fileNames[0], OpenMode::ReadExisting);
    if (!archive.isOpen()) {
        tell(ImportEvent::kChunkArchiveUnopened, turn.file, request.link.fileNames[0]);
        return false;
    }
    if (auto placed = placedChunkSizes.find(turn.file.entry); placed != placedChunkSizes.end()) {
        turn.chunkSize = placed->second;
        return true;
    }
    uint8_t header[kHeaderProbe] = {};
    const uint64_t offset = turn.old.offset;
    bool read = kind->chunkSizeAt + 4 <= kHeaderProbe && offset <= uint64_t(INT64_MAX) &&
                archive.seek(int64_t(offset), SeekFrom::Begin) &&
                readAvailable(archive, header, kHeaderProbe);
    turn.chunkSize = read ? readU32(header + kind->chunkSizeAt, request.bigEndian) : 0;
    if (turn.chunkSize == 0 || turn.chunkSize > kind->largestChunkSize) {
        tell(ImportEvent::kChunkSizeUnreadable, turn.file);
        turn.chunkSize = kind->defaultChunkSize(fileLength);
    }
    return true;
}

// The file's container in the archive's kind: the one made ahead when it was made with the
// level and chunk size this turn calls for, else made now (with every thread). False (with the
// outcome told) when compression fails.
bool ArchiveImport::State::compressAtTurn(Turn& turn, Prepared& prepared, Payload& payload) {
    const int level = levelFor(turn.slot);
    finishJob(prepared);
    const bool fits = prepared.madeAhead && prepared.level == level &&
                      (!kind->chunkSizeFromCaller || prepared.chunkSize == turn.chunkSize);
    if (!fits) {
        if (!prepared.container.data)
            prepared.container = takeSpare(containerRoom(prepared.fileLength));
        prepared.madeStatus = guardMemory([&] {
            return engineOf(*kind).compress(prepared.input.data.get(), prepared.fileLength,
                                            turn.chunkSize, request.bigEndian, level,
                                            pool ? pool->callerCodec() : codec, pool.get(),
                                            prepared.container, prepared.used, prepared.padded);
        });
    }
    if (!prepared.madeStatus) {
        tell(ImportEvent::kCompressFailed, turn.file, {}, prepared.madeStatus.message());
        return false;
    }
    payload.bytes = prepared.container.data.get();
    payload.storedLength = prepared.used;
    payload.regionLength = prepared.padded;
    return true;
}

std::vector<uint8_t> ArchiveImport::State::entryFor(const idxinfo& old, uint64_t offset,
                                                    const Payload& payload) const {
    EntryValues values;
    values.offset = offset;
    values.fileLength = payload.fileLength;
    values.storedLength = payload.storedLength;
    values.marker = index.importMarker(payload.compressed, payload.fileLength, payload.storedLength,
                                       old.marker);
    return index.encode(values);
}

// An entry that would read back as unused (a raw file of 1 or 4 bytes) or as the other kind
// (a Z54 file whose length is a raw or unused marker) would lose the member.
bool ArchiveImport::State::recordable(const idxinfo& old, const Payload& payload) const {
    std::vector<uint8_t> bytes = entryFor(old, 0, payload);
    idxinfo written = index.decode(bytes.data());
    return !IsUnusedEntry(written.size, written.marker) &&
           !IsRawMarker(written.marker) == payload.compressed;
}

// The entry's region behind the backup's end is the import's own to overwrite; a region
// before that end holds data the backup protects, whatever the slot says. A region that starts
// behind the end of the file is no region at all: writing there would grow the archive to
// whatever offset the entry names.
bool ArchiveImport::State::ownsRegion(Turn& turn) {
    uint64_t backupEnd =
        record::archiveSize(record.get(), recordLength, uint32_t(turn.archiveFile));
    uint64_t size = 0;
    if (!turn.archive.size(size) || turn.old.offset > size)
        return false;
    return backupEnd == 0 || turn.old.offset >= backupEnd;
}

// Over the region the entry owns: the data, then the entry. The slot stays.
bool ArchiveImport::State::writeInPlace(Turn& turn, const Payload& payload) {
    const uint64_t offset = turn.old.offset;
    if (!request.dryRun &&
        (offset > uint64_t(INT64_MAX) || !turn.archive.seek(int64_t(offset), SeekFrom::Begin) ||
         !turn.archive.writeAll(payload.bytes, payload.storedLength))) {
        tell(ImportEvent::kWriteFailed, turn.file, turn.archivePath);
        return false;
    }
    return writeIndexEntry(turn, entryFor(turn.old, offset, payload));
}

// Behind the end of the archive file: the data first, then the entry, then the slot. A slot
// that names an earlier region is cleared before the entry moves, so no failure in between
// can leave a slot larger than the region its entry points at.
bool ArchiveImport::State::writeAppended(Turn& turn, const Payload& payload) {
    uint64_t end = 0;
    if (!turn.archive.seek(0, SeekFrom::End, &end)) {
        tell(ImportEvent::kWriteFailed, turn.file, turn.archivePath);
        return false;
    }
    // Offsets stored in units: the data has to start on a unit boundary.
    uint64_t offset = end;
    if (inArchiveIndex())
        offset = alignUp(end, index.offsetUnit());
    if (!request.dryRun && (!writeZeros(turn.archive, offset - end) ||
                            !turn.archive.writeAll(payload.bytes, payload.regionLength))) {
        tell(ImportEvent::kWriteFailed, turn.file, turn.archivePath);
        return false;
    }
    if (turn.slot != 0 && !writeSlot(turn.file, turn.file.entry, 0))
        return false;
    return writeIndexEntry(turn, entryFor(turn.old, offset, payload)) &&
           writeSlot(turn.file, turn.file.entry, payload.regionLength);
}

// An index at the head of the archive is written through the open archive file; a separate
// index file is opened for the entry. The table follows, in a dry run too, so the rest of the
// run decides as it would after a real write.
bool ArchiveImport::State::writeIndexEntry(Turn& turn, const std::vector<uint8_t>& bytes) {
    const bool dryRun = request.dryRun;
    const uint64_t at = index.filePosition(turn.file.entry);
    if (inArchiveIndex()) {
        if (!dryRun && (!turn.archive.seek(int64_t(at), SeekFrom::Begin) ||
                        !turn.archive.writeAll(bytes.data(), uint32_t(bytes.size())))) {
            tell(ImportEvent::kWriteFailed, turn.file, turn.archivePath);
            return false;
        }
    } else {
        // Opened in a dry run too, so the run shows an index file that cannot be written.
        const std::wstring& indexPath = request.link.indexPath;
        File file = File::open(indexPath, OpenMode::WriteExisting);
        if (!file.isOpen()) {
            tell(ImportEvent::kIndexUnopened, turn.file, indexPath);
            return false;
        }
        bool written = dryRun || (file.seek(int64_t(at), SeekFrom::Begin) &&
                                  file.writeAll(bytes.data(), uint32_t(bytes.size())));
        if (!file.close() || !written) {
            tell(ImportEvent::kWriteFailed, turn.file, indexPath);
            return false;
        }
    }
    index.store(turn.file.entry, bytes);
    return true;
}

// Only the entry's slot changes, so only its four bytes are written: a failed write can never
// cut the record and lose the archive sizes a restore needs.
bool ArchiveImport::State::writeSlot(const ImportFile& file, uint32_t entry, uint32_t value) {
    record::setSlot(record.get(), recordLength, entry, value);
    const uint64_t at = record::kSlotsStart + uint64_t(entry) * record::kSlotWidth;
    File out = File::open(recordPath(), OpenMode::WriteExisting);
    bool written =
        out.isOpen() && (request.dryRun || (out.seek(int64_t(at), SeekFrom::Begin) &&
                                            out.writeAll(record.get() + at, record::kSlotWidth)));
    if (!out.close() || !written) {
        tell(ImportEvent::kWriteFailed, file, recordPath());
        return false;
    }
    return true;
}

// ---- The component ----

ArchiveImport::ArchiveImport(ImportRequest request)
    : state_(std::make_unique<State>(std::move(request))) {}

ArchiveImport::~ArchiveImport() = default;

Status ArchiveImport::open() {
    return guardMemory([&] { return state_->open(); });
}

Status ArchiveImport::run(const std::vector<ImportFile>& files,
                          const std::function<void(const ImportEvent&)>& report) {
    State& state = *state_;
    if (state.kind == nullptr || state.index.count() == 0)
        return Status::failure(Error::Stopped);
    state.report = &report;
    Status result;
    state.runFiles(files, result);
    return result;
}

// The files in order. Ahead of the file whose turn it is, files are read and handed to the
// workers to compress (roomAhead says how far); each is written at its turn, after the file
// before it.
void ArchiveImport::State::runFiles(const std::vector<ImportFile>& files, Status& result) {
    if (workerThreads() > 1 && files.size() > 1)
        pool = std::make_unique<WorkerPool>(workerThreads());
    const std::vector<bool> mayReadAhead = speculable(files);
    std::deque<Prepared> ahead;
    size_t nextToRead = 0;
    for (size_t at = 0; at < files.size(); ++at) {
        // Read ahead only as far as every file on the way may be.
        while (nextToRead < files.size() && roomAhead(ahead) &&
               (nextToRead == at || mayReadAhead[nextToRead])) {
            ahead.emplace_back();
            ahead.back().file = &files[nextToRead];
            if (nextToRead > at)
                prepare(ahead.back(), true);
            ++nextToRead;
        }
        Step step =
            catchOutOfMemory([&] { return importFile(ahead.front()); },
                             [&] { return stopWith(ImportEvent::kOutOfMemory, files[at]); });
        giveBack(ahead.front());
        ahead.pop_front();
        if (step == Step::Stop) {
            for (Prepared& left : ahead)
                finishJob(left);
            result = Status::failure(Error::Stopped);
            return;
        }
    }
}

} // namespace karv
