// The members as the backup saved them: the backup's copy of the index on the export's member
// stream. Imports only append behind the saved sizes (or rewrite what they appended), so every
// entry of the copy that lies below its file's saved size still points at the original bytes,
// as long as no other program changed the game since.
#include "archive/backup_check.h"
#include "archive/member_stream.h"
#include "boundary/boundary.h"
#include "boundary/exported_codes.h"
#include "boundary/messages.h"
#include "files/file_helpers.h"
#include "files/read_available.h"
#include "formats/index_file.h"
#include "karvcore/archive.h"
#include "karvcore/buffer.h"
#include "karvcore/formats.h"
#include "karvcore/mods.h"
#include "platform/read_ahead.h"
#include "work/worker_pool.h"

#include <algorithm>

namespace karv {
namespace {

// The piece the stored bytes are hashed in.
constexpr size_t kStoredPiece = 64u << 10;

Status backupUnloadable() {
    return Status::failure(Error::BackupUnloadable, msg::kLoadBackupFailed);
}

// What one worker hashes stored bytes with: the archive file it has open, its piece.
struct StoredReader {
    platform::File archive;
    int32_t openFile = -1;
    std::vector<uint8_t> piece = std::vector<uint8_t>(kStoredPiece);
};

// An entry's stored hash, and whether its archive file would not open (which ends the run).
struct StoredHash {
    OriginalMember original;
    bool unopened = false;
};

class Originals {
  public:
    explicit Originals(const ArchiveRequest& request)
        : request_(request),
          stream_(request.dataType, request.bigEndian, request.link, request.archivePath) {}

    Status open();
    Status run(const std::vector<uint32_t>& entries,
               const std::function<void(const OriginalMember&)>& each);
    Status runStored(const std::vector<uint32_t>& entries,
                     const std::function<void(const OriginalMember&)>& each);

  private:
    Status trust(const backup::SavedFiles& saved, const IndexTable& current);
    Status admit(int32_t file, const idxinfo& info) const;
    std::vector<platform::ReadAhead::Range> storedRanges(const std::vector<uint32_t>& entries);
    StoredHash hashOne(uint32_t entry, StoredReader& reader);
    Status hashStored(uint32_t entry, StoredReader& reader, idxinfo& info, std::wstring& hash);

    const ArchiveRequest& request_;
    MemberStream stream_;
    std::vector<uint64_t> savedSizes_;
};

// The backup's files, the archive and its index as they are now, and the two compared: only a
// backup that fits the archive, of a game no other program changed since, has originals.
Status Originals::open() {
    // Without a container kind there is no layout to read the copy with.
    if (FindContainerKind(request_.dataType) == nullptr)
        return Status::failure(Error::BadDataType, msg::kWrongDataType);
    const ArchiveFiles& files = stream_.files();
    if (!files.fitsRecord())
        return Status::failure(Error::TooManyFiles, msg::kTooManyVoxbankFiles);
    MallocBuffer record, copy;
    backup::SavedFiles saved;
    if (request_.link.fileNames[0].empty() ||
        !loadWholeFile(files.recordPath(), record, saved.recordLength) ||
        !loadWholeFile(files.indexCopyPath(), copy, saved.tableLength))
        return backupUnloadable();
    saved.record = record.get();
    saved.table = copy.get();
    if (Status opened = stream_.openFirst(); !opened)
        return opened;
    IndexTable current;
    if (Status loaded =
            loadIndexFor(request_.dataType, files.indexPath(), request_.bigEndian, current);
        !loaded)
        return loaded;
    if (current.count() == 0)
        return Status::failure(Error::IndexHoldsNoEntry, msg::kIndexEmpty);
    if (Status trusted = trust(saved, current); !trusted)
        return trusted;
    // The copy holds the table alone: Z54 offsets count in the current header's unit.
    IndexTable original;
    if (Status adopted =
            IndexTable::adopt(current.layout(), request_.bigEndian, current.offsetUnit(),
                              std::move(copy), saved.tableLength, original);
        !adopted)
        return adopted;
    stream_.reader().adoptTable(std::move(original));
    stream_.admitWith(
        [this](uint32_t, int32_t file, const idxinfo& info) { return admit(file, info); });
    return Status();
}

Status Originals::trust(const backup::SavedFiles& saved, const IndexTable& current) {
    BackupState state;
    state.exists = true;
    backup::compare(request_.dataType, stream_.files(), saved, current,
                    backup::measureArchiveFiles(stream_.files()), state);
    const bool misfit =
        std::any_of(state.findings.begin(), state.findings.end(),
                    [](const BackupFinding& f) { return f.kind == BackupFinding::kBackupMisfit; });
    if (misfit)
        return backupUnloadable();
    if (state.changedByOtherProgram())
        return Status::failure(Error::ChangedSinceBackup, msg::kOriginalsChangedSinceBackup);
    savedSizes_ = std::move(state.savedSizes);
    return Status();
}

// Whatever lies at or behind a saved size was appended after the backup: an entry of the copy
// that reaches there is no original. A size not recorded cannot tell.
Status Originals::admit(int32_t file, const idxinfo& info) const {
    const uint64_t saved =
        file >= 0 && size_t(file) < savedSizes_.size() ? savedSizes_[size_t(file)] : 0;
    if (saved != 0 && (info.offset > saved || info.size > saved - info.offset))
        return Status::failure(Error::OutsideSavedRegion, msg::kOriginalBeyondSavedSize);
    return Status();
}

Status Originals::run(const std::vector<uint32_t>& entries,
                      const std::function<void(const OriginalMember&)>& each) {
    stream_.start(entries);
    ExportedMember member;
    while (stream_.next(member)) {
        if (stream_.ranOutOfMemory())
            return member.status;
        OriginalMember original;
        original.entry = member.entry;
        original.status = member.status;
        if (member.archiveUnopened) {
            original.status = Status::failure(Error::ArchiveUnopened, msg::kOpenVoxbankFailed);
            each(original);
            return Status::failure(Error::Stopped, msg::kOpenVoxbankFailed);
        }
        original.data = member.data;
        original.length = member.length;
        original.stored = member.stored;
        original.storedLength = member.storedLength;
        original.compressed = member.compressed;
        each(original);
    }
    return Status();
}

// The stored bytes' hashes alone, each member read in pieces into one small block that stays in
// the cache. The entries are shared among the workers in runs, each run with an archive file
// open of its own; they only read, and the outcomes are told here, in the order asked, up to
// where a reading one by one would have stopped. The members are asked of the disk ahead, many
// at once, as they lie spread over the archive.
Status Originals::runStored(const std::vector<uint32_t>& entries,
                            const std::function<void(const OriginalMember&)>& each) {
    std::vector<StoredHash> hashed(entries.size());
    const auto threads = unsigned(std::clamp<size_t>(entries.size(), 1, workerThreads()));
    // A few runs a thread, so that one slow run does not leave the others idle.
    const size_t runLength = std::max<size_t>(1, entries.size() / (size_t(threads) * 4));
    const size_t runs = (entries.size() + runLength - 1) / runLength;
    platform::ReadAhead ahead(storedRanges(entries));
    WorkerPool pool(threads);
    const bool ran = pool.forEach(runs, [&](size_t run, codec::StreamCodec&) {
        StoredReader reader;
        for (size_t i = run * runLength; i < std::min(entries.size(), (run + 1) * runLength); ++i) {
            ahead.reached(i);
            hashed[i] = hashOne(entries[i], reader);
        }
    });
    if (!ran)
        return Status::failure(Error::OutOfMemory, msg::kOutOfMemory);
    for (const StoredHash& h : hashed) {
        // Without memory the run cannot go on, as with the members decoded.
        if (h.original.status.error() == Error::OutOfMemory)
            return h.original.status;
        each(h.original);
        if (h.unopened)
            return Status::failure(Error::Stopped, msg::kOpenVoxbankFailed);
    }
    return Status();
}

// Where each entry's stored bytes lie; none for one that has no original to read.
std::vector<platform::ReadAhead::Range>
Originals::storedRanges(const std::vector<uint32_t>& entries) {
    std::vector<platform::ReadAhead::Range> ranges(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        idxinfo info{};
        const int32_t file = stream_.files().fileOf(entries[i]);
        if (stream_.reader().locate(entries[i], info) && admit(file, info))
            ranges[i] = {stream_.files().pathOf(file), info.offset, info.size};
    }
    return ranges;
}

StoredHash Originals::hashOne(uint32_t entry, StoredReader& reader) {
    StoredHash result;
    result.original.entry = entry;
    const int32_t file = stream_.files().fileOf(entry);
    if (file != reader.openFile || !reader.archive.isOpen()) {
        reader.archive =
            platform::File::open(stream_.files().pathOf(file), platform::OpenMode::ReadExisting);
        reader.openFile = file;
    }
    if (!reader.archive.isOpen()) {
        result.original.status = Status::failure(Error::ArchiveUnopened, msg::kOpenVoxbankFailed);
        result.unopened = true;
        return result;
    }
    idxinfo info{};
    result.original.status = hashStored(entry, reader, info, result.original.storedHash);
    if (result.original.status) {
        result.original.storedLength = info.size;
        result.original.compressed = MemberReader::compressed(info, false);
    }
    return result;
}

// As MemberReader::readStored reads the member, bytes past the end of the file as zero.
Status Originals::hashStored(uint32_t entry, StoredReader& reader, idxinfo& info,
                             std::wstring& hash) {
    if (Status located = stream_.reader().locate(entry, info); !located)
        return located;
    if (Status admitted = admit(stream_.files().fileOf(entry), info); !admitted)
        return admitted;
    if (info.offset > uint64_t(INT64_MAX))
        return Status::failure(Error::ArchiveUnreadable, msg::kReadLinkFailed);
    platform::File& archive = reader.archive;
    if (Status sought = archive.seek(int64_t(info.offset), platform::SeekFrom::Begin); !sought)
        return sought.as(Error::ArchiveUnreadable, msg::kReadLinkFailed);
    std::vector<uint8_t>& piece = reader.piece;
    ModHasher hasher;
    bool ended = false;
    for (uint32_t left = info.size; left > 0;) {
        const auto count = uint32_t(std::min<size_t>(left, piece.size()));
        uint32_t got = 0;
        if (!ended && !readAvailable(archive, piece.data(), count, got))
            return Status::failure(Error::ArchiveUnreadable, msg::kReadLinkFailed);
        ended = ended || got < count;
        std::fill(piece.begin() + got, piece.begin() + count, uint8_t(0));
        hasher.update(piece.data(), count);
        left -= count;
    }
    hash = hasher.finish();
    return hash.empty() ? Status::failure(Error::OutOfMemory, msg::kOutOfMemory) : Status();
}

} // namespace

Status ReadOriginalMembers(const ArchiveRequest& request, const std::vector<uint32_t>& entries,
                           const std::function<void(const OriginalMember&)>& each,
                           OriginalForm form) {
    Status status = guardMemory([&] {
        Originals originals(request);
        if (Status opened = originals.open(); !opened)
            return opened;
        return form == OriginalForm::kStoredHash ? originals.runStored(entries, each)
                                                 : originals.run(entries, each);
    });
    reportSucceeded(status);
    return status;
}

} // namespace karv
