// Writing imported members into an archive, on the pipeline. The backup protects everything the
// archive held when it was taken: new data goes behind the archive's end as it was then, or over
// the region that an earlier import appended for the same entry when it fits there, and the
// record of the backup remembers the length of each entry's region. Every write is checked, and
// the order is data, then index entry, then record slot, so a failure part way leaves nothing
// that points at data that is not there.
//
// What each file's turn does is decided by the plan (import_plan.h); this file gathers the facts
// the plan needs, reads the files ahead for the workers to compress, and writes.
#include "archive/archive_files.h"
#include "archive/backup_check.h"
#include "archive/import_plan.h"
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
#include "work/pipeline.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <unordered_set>

namespace karv {
namespace {

using import::Compression;
using import::Payload;
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

// Writes `count` zero bytes at the file's position; the count may be as large as an offset
// unit, which comes from the file.
bool writeZeros(File& file, uint64_t count,
                const std::function<void(const uint8_t*, uint32_t)>& written) {
    static const uint8_t kZeros[65536] = {};
    while (count > 0) {
        auto piece = uint32_t(std::min<uint64_t>(count, sizeof kZeros));
        if (!file.writeAll(kZeros, piece))
            return false;
        written(kZeros, piece);
        count -= piece;
    }
    return true;
}

// How a file's turn ended.
enum class Step { Next, Stop };

// What reading an import file came to.
enum class ReadOutcome { Read, Empty, TooLarge, Unopened, Unreadable, OutOfMemory };

// One import file on its way: its bytes in the input block (raw entries with their zero tail up
// to the alignment) and, for a compressed entry, its container in the output block as a worker
// made it ahead of its turn, with what the plan then called for. Its turn checks that this is
// still what the plan calls for.
struct Prepared : PipelineItem {
    const ImportFile* file = nullptr;
    bool readAhead = false;
    ReadOutcome read = ReadOutcome::Read;
    bool compressed = false;
    uint32_t fileLength = 0;
    uint32_t regionLength = 0; // raw: the padded length
    bool madeAhead = false;
    Compression made;
    Status madeStatus;
    uint32_t used = 0;
    uint32_t padded = 0;
};

// Room enough for the container of `length` bytes in any of the kinds: deflate's worst case
// adds a few bytes per block, the records their headers and alignment.
uint64_t containerRoom(uint32_t length) {
    return uint64_t(length) + length / 64 + (8u << 10);
}

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
    std::unique_ptr<Pipeline<Prepared>> pipeline;

    // One file's turn.
    struct Turn {
        const ImportFile& file;
        idxinfo old;
        uint32_t slot = 0;
        Compression compression;
        int32_t archiveFile = 0;
        std::wstring archivePath;
        File archive;
        std::vector<uint8_t> entryBytes; // an append-only run's entry for the data
    };

    explicit State(ImportRequest r)
        : request(std::move(r)), files(request.dataType, request.link, request.archivePath) {}

    Status open();
    Status checkBackup() const;
    void runFiles(const std::vector<ImportFile>& importFiles, Status& result);
    static std::vector<bool> speculable(const std::vector<ImportFile>& importFiles);

    // Reading and compressing ahead.
    void prepare(Prepared& prepared, bool ahead);
    ReadOutcome readFile(const ImportFile& file, bool compressed, Prepared& prepared);
    std::optional<uint32_t> placedChunkSize(uint32_t entry) const;
    std::optional<uint32_t> chunkSizeInHeader(File& archive, uint64_t offset) const;
    void compressAhead(Prepared& prepared);

    // A file's turn.
    Step importFile(Prepared& prepared);
    Step reportRead(const Prepared& prepared) const;
    Step importEntry(Turn& turn, Prepared& prepared);
    bool chooseChunkSize(Turn& turn, uint32_t fileLength);
    bool compressAtTurn(Turn& turn, Prepared& prepared, Payload& payload);
    bool inPlace(Turn& turn, const Payload& payload);
    bool writeInPlace(Turn& turn, const Payload& payload);
    bool writeAppended(Turn& turn, const Payload& payload);
    bool writeIndexEntry(Turn& turn, const std::vector<uint8_t>& bytes);
    bool writeSlot(const ImportFile& file, uint32_t entry, uint32_t value);

    // The region the plan may reuse: none in an append-only run.
    uint32_t planSlot(uint32_t entry) const { return request.appendOnly ? 0 : slotOf(entry); }
    // The length of the region the entry owns behind the backup's end; 0 for none.
    uint32_t slotOf(uint32_t entry) const {
        uint32_t slot = 0;
        record::slot(record.get(), recordLength, entry, slot);
        return slot;
    }
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
    if (!loadWholeFile(files.recordPath(), record, recordLength))
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
    if (Status loaded = IndexTable::load(*kind->index, files.indexPath(), request.bigEndian, index);
        !loaded)
        return loaded;
    if (index.count() == 0)
        return Status::failure(Error::IndexHoldsNoEntry, msg::kIndexEmpty);
    return checkBackup();
}

// Appends behind a saved size are safe only while the archive is the one the backup was made
// of: after another program changed it, the import would mix its entries into the other
// program's data and a restore could no longer undo either. The record and the index are the
// ones loaded; a copy that cannot be read is a misfit, not a refusal.
Status ArchiveImport::State::checkBackup() const {
    MallocBuffer table;
    backup::SavedFiles saved;
    saved.record = record.get();
    saved.recordLength = recordLength;
    if (loadWholeFile(files.indexCopyPath(), table, saved.tableLength))
        saved.table = table.get();
    BackupState state;
    state.exists = true;
    backup::compare(request.dataType, files, saved, index, backup::measureArchiveFiles(files),
                    state);
    if (state.changedByOtherProgram())
        return Status::failure(Error::ChangedSinceBackup, msg::kChangedSinceBackup);
    return Status();
}

// ---- Reading ahead ----

// Which files may be read and compressed ahead of their turn: those whose entry no earlier file
// of the run addresses, since that file's write may change the entry, its slot and the chunk
// size its container takes.
std::vector<bool> ArchiveImport::State::speculable(const std::vector<ImportFile>& importFiles) {
    std::vector<bool> result(importFiles.size());
    std::unordered_set<uint32_t> seen;
    for (size_t i = 0; i < importFiles.size(); ++i)
        result[i] = seen.insert(importFiles[i].entry).second;
    return result;
}

// The calling thread's part of a file ahead of its turn (or at it): the file's bytes and, for a
// compressed entry ahead of its turn, a worker to compress them as the plan calls for now.
void ArchiveImport::State::prepare(Prepared& prepared, bool ahead) {
    idxinfo old{};
    prepared.readAhead = ahead;
    if (import::passFor(prepared.file->entry, index, recordLength, old) != import::Pass::None)
        return;
    prepared.read = readFile(*prepared.file, !IsRawMarker(old.marker), prepared);
    if (prepared.read != ReadOutcome::Read)
        return;
    const uint64_t room = prepared.compressed ? containerRoom(prepared.fileLength) : 0;
    pipeline->noteNeed((prepared.compressed ? prepared.fileLength : prepared.regionLength) + room);
    prepared.held = prepared.input.capacity + (room != 0 ? BlockPool::classSize(room) : 0);
    if (ahead && prepared.compressed)
        compressAhead(prepared);
}

// Reads the import file into the input block; a raw entry's block holds the padded length, the
// tail zero, since an append writes it whole.
ReadOutcome ArchiveImport::State::readFile(const ImportFile& file, bool compressed,
                                           Prepared& prepared) {
    File input = File::open(
        file.path.empty() ? request.importFolder + platform::kPathSeparator + file.name : file.path,
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
    if (!pipeline->blocks().take(capacity, prepared.input))
        return ReadOutcome::OutOfMemory;
    uint8_t* bytes = prepared.input.data.get();
    if (!input.readAll(bytes, prepared.fileLength))
        return ReadOutcome::Unreadable;
    std::memset(bytes + prepared.fileLength, 0, capacity - prepared.fileLength);
    return ReadOutcome::Read;
}

std::optional<uint32_t> ArchiveImport::State::placedChunkSize(uint32_t entry) const {
    auto placed = placedChunkSizes.find(entry);
    if (placed == placedChunkSizes.end())
        return std::nullopt;
    return placed->second;
}

// The chunk size as the container header of the member at `offset` gives it; none when the
// header cannot be read.
std::optional<uint32_t> ArchiveImport::State::chunkSizeInHeader(File& archive,
                                                                uint64_t offset) const {
    uint8_t header[kHeaderProbe] = {};
    if (kind->chunkSizeAt + 4 > kHeaderProbe || offset > uint64_t(INT64_MAX) ||
        !archive.seek(int64_t(offset), SeekFrom::Begin) ||
        !readAvailable(archive, header, kHeaderProbe))
        return std::nullopt;
    return readU32(header + kind->chunkSizeAt, request.bigEndian);
}

// The plan as it stands now, for a worker to compress with; the file's turn takes the
// container only when the plan then calls for the same one.
void ArchiveImport::State::compressAhead(Prepared& prepared) {
    const uint32_t entry = prepared.file->entry;
    idxinfo old{};
    index.entry(entry, old);
    std::optional<uint32_t> placed = placedChunkSize(entry), inHeader;
    if (kind->chunkSizeFromCaller && !placed) {
        File archive = File::open(request.link.fileNames[0], OpenMode::ReadExisting);
        if (!archive.isOpen())
            return; // the file's turn says so
        inHeader = chunkSizeInHeader(archive, old.offset);
    }
    const Compression plan =
        import::compressionFor(*kind, planSlot(entry), prepared.fileLength, placed, inHeader);
    // A file large enough to share among every thread is compressed at its turn with all of them.
    if (!pipeline->pool() || prepared.fileLength >= kSharedFileBytes)
        return;
    if (!pipeline->blocks().take(containerRoom(prepared.fileLength), prepared.output))
        return; // made at the file's turn, where running out of memory is told
    Prepared* target = &prepared;
    prepared.madeAhead = true;
    prepared.made = plan;
    prepared.held = prepared.input.capacity + prepared.output.capacity;
    pipeline->submit(prepared, [this, target](codec::StreamCodec& codec) {
        target->madeStatus = engineOf(*kind).compress(
            target->input.data.get(), target->fileLength, target->made.chunkSize, request.bigEndian,
            target->made.level, codec, nullptr, target->output, target->used, target->padded);
    });
}

// ---- One file's turn ----

Step ArchiveImport::State::importFile(Prepared& prepared) {
    const ImportFile& file = *prepared.file;
    Turn turn{file, {}, 0, {}, 0, {}, {}, {}};
    switch (import::passFor(file.entry, index, recordLength, turn.old)) {
    case import::Pass::BeyondIndex:
        tell(ImportEvent::kEntryBeyondIndex, file);
        return Step::Next;
    case import::Pass::Unused:
        tell(ImportEvent::kEntryUnused, file);
        return Step::Next;
    case import::Pass::None:
        break;
    }
    if (!prepared.readAhead)
        prepare(prepared, false);
    if (Step step = reportRead(prepared); prepared.read != ReadOutcome::Read)
        return step;
    return importEntry(turn, prepared);
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

Step ArchiveImport::State::importEntry(Turn& turn, Prepared& prepared) {
    turn.slot = planSlot(turn.file.entry);
    if (prepared.compressed) {
        if (kind->chunkSizeFromCaller) {
            if (!chooseChunkSize(turn, prepared.fileLength))
                return Step::Stop;
        } else {
            turn.compression = import::compressionFor(*kind, turn.slot, prepared.fileLength,
                                                      std::nullopt, std::nullopt);
        }
    }
    turn.archiveFile = files.fileOf(turn.file.entry);
    turn.archivePath = files.pathOf(turn.archiveFile);
    turn.archive = File::open(turn.archivePath, OpenMode::WriteExisting);
    if (!turn.archive.isOpen())
        return stopWith(ImportEvent::kArchiveUnopened, turn.file, turn.archivePath);
    Payload payload;
    payload.bytes = prepared.input.data.get();
    payload.fileLength = prepared.fileLength;
    payload.storedLength = prepared.fileLength;
    payload.regionLength = prepared.regionLength;
    payload.compressed = prepared.compressed;
    if (payload.compressed && !compressAtTurn(turn, prepared, payload))
        return Step::Stop;
    if (!import::recordable(index, turn.old, payload)) {
        tell(ImportEvent::kSizeUnrecordable, turn.file);
        return Step::Next;
    }
    const bool overRegion = inPlace(turn, payload);
    if (!(overRegion ? writeInPlace(turn, payload) : writeAppended(turn, payload)))
        return Step::Stop;
    if (!request.dryRun && !turn.archive.close())
        return stopWith(ImportEvent::kWriteFailed, turn.file, turn.archivePath);
    if (payload.compressed && kind->chunkSizeFromCaller)
        placedChunkSizes[turn.file.entry] = turn.compression.chunkSize;
    ImportEvent done;
    done.kind = ImportEvent::kImported;
    done.file = turn.file.name;
    done.compressed = payload.compressed;
    done.inPlace = overRegion;
    done.entryBytes = std::move(turn.entryBytes);
    done.archiveFile = turn.archiveFile;
    (*report)(done);
    return Step::Next;
}

// The chunk size for a kind that takes the caller's, as the plan chooses it from what this run
// placed and the replaced member's header; the default is noted. False when the archive file
// cannot be opened.
bool ArchiveImport::State::chooseChunkSize(Turn& turn, uint32_t fileLength) {
    File archive = File::open(request.link.fileNames[0], OpenMode::ReadExisting);
    if (!archive.isOpen()) {
        tell(ImportEvent::kChunkArchiveUnopened, turn.file, request.link.fileNames[0]);
        return false;
    }
    std::optional<uint32_t> placed = placedChunkSize(turn.file.entry), inHeader;
    if (!placed)
        inHeader = chunkSizeInHeader(archive, turn.old.offset);
    turn.compression = import::compressionFor(*kind, turn.slot, fileLength, placed, inHeader);
    if (turn.compression.chunkSizeGuessed)
        tell(ImportEvent::kChunkSizeUnreadable, turn.file);
    return true;
}

// The file's container: the one made ahead when it is what the plan calls for now, else made
// now (with every thread). False (with the outcome told) when compression fails.
bool ArchiveImport::State::compressAtTurn(Turn& turn, Prepared& prepared, Payload& payload) {
    if (!pipeline->finish(prepared))
        prepared.madeStatus = Status::failure(Error::OutOfMemory, msg::kOutOfMemory);
    if (!prepared.madeAhead || !prepared.made.sameContainer(turn.compression)) {
        pipeline->blocks().take(containerRoom(prepared.fileLength), prepared.output);
        prepared.madeStatus = guardMemory([&] {
            return engineOf(*kind).compress(
                prepared.input.data.get(), prepared.fileLength, turn.compression.chunkSize,
                request.bigEndian, turn.compression.level, pipeline->callerCodec(),
                pipeline->pool(), prepared.output, prepared.used, prepared.padded);
        });
    }
    if (!prepared.madeStatus) {
        tell(ImportEvent::kCompressFailed, turn.file, {}, prepared.madeStatus.message());
        return false;
    }
    payload.bytes = prepared.output.data.get();
    payload.storedLength = prepared.used;
    payload.regionLength = prepared.padded;
    return true;
}

// Over the region the entry owns when the plan allows it; the archive file's size is asked for
// only then.
bool ArchiveImport::State::inPlace(Turn& turn, const Payload& payload) {
    if (!import::fitsRegion(turn.slot, payload))
        return false;
    uint64_t size = 0;
    std::optional<uint64_t> archiveSize;
    if (turn.archive.size(size))
        archiveSize = size;
    const uint64_t backupEnd =
        record::archiveSize(record.get(), recordLength, uint32_t(turn.archiveFile));
    return import::ownsRegion(turn.old.offset, archiveSize, backupEnd);
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
    return writeIndexEntry(turn, import::entryFor(index, turn.old, offset, payload));
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
    if (files.indexInArchive())
        offset = alignUp(end, index.offsetUnit());
    const auto written = [&](const uint8_t* bytes, uint32_t count) {
        if (request.appended)
            request.appended(turn.archiveFile, bytes, count);
    };
    if (!request.dryRun && (!writeZeros(turn.archive, offset - end, written) ||
                            !turn.archive.writeAll(payload.bytes, payload.regionLength))) {
        tell(ImportEvent::kWriteFailed, turn.file, turn.archivePath);
        return false;
    }
    if (!request.dryRun)
        written(payload.bytes, payload.regionLength);
    if (request.appendOnly) {
        turn.entryBytes = import::entryFor(index, turn.old, offset, payload);
        index.store(turn.file.entry, turn.entryBytes);
        return true;
    }
    if (turn.slot != 0 && !writeSlot(turn.file, turn.file.entry, 0))
        return false;
    return writeIndexEntry(turn, import::entryFor(index, turn.old, offset, payload)) &&
           writeSlot(turn.file, turn.file.entry, payload.regionLength);
}

// An index at the head of the archive is written through the open archive file; a separate
// index file is opened for the entry. The table follows, in a dry run too, so the rest of the
// run decides as it would after a real write.
bool ArchiveImport::State::writeIndexEntry(Turn& turn, const std::vector<uint8_t>& bytes) {
    const bool dryRun = request.dryRun;
    const uint64_t at = index.filePosition(turn.file.entry);
    if (files.indexInArchive()) {
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
    const std::wstring recordPath = files.recordPath();
    File out = File::open(recordPath, OpenMode::WriteExisting);
    bool written =
        out.isOpen() && (request.dryRun || (out.seek(int64_t(at), SeekFrom::Begin) &&
                                            out.writeAll(record.get() + at, record::kSlotWidth)));
    if (!out.close() || !written) {
        tell(ImportEvent::kWriteFailed, file, recordPath);
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
// workers to compress (as far as the pipeline has room); each is written at its turn, after the
// file before it.
void ArchiveImport::State::runFiles(const std::vector<ImportFile>& importFiles, Status& result) {
    pipeline = std::make_unique<Pipeline<Prepared>>(importFiles.size());
    const std::vector<bool> mayReadAhead = speculable(importFiles);
    size_t nextToRead = 0;
    for (size_t at = 0; at < importFiles.size(); ++at) {
        // Read ahead only as far as every file on the way may be.
        while (nextToRead < importFiles.size() && pipeline->roomAhead() &&
               (nextToRead == at || mayReadAhead[nextToRead])) {
            Prepared& prepared = pipeline->push();
            prepared.file = &importFiles[nextToRead];
            if (nextToRead > at)
                prepare(prepared, true);
            ++nextToRead;
        }
        Step step =
            catchOutOfMemory([&] { return importFile(pipeline->front()); },
                             [&] { return stopWith(ImportEvent::kOutOfMemory, importFiles[at]); });
        Prepared done = pipeline->takeFront();
        pipeline->giveBack(done);
        if (step == Step::Stop) {
            pipeline->clear();
            result = Status::failure(Error::Stopped);
            return;
        }
    }
}

} // namespace karv
