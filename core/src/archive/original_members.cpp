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

#include <algorithm>

namespace karv {
namespace {

// The piece the stored bytes are hashed in.
constexpr size_t kStoredPiece = 64u << 10;

Status backupUnloadable() {
    return Status::failure(Error::BackupUnloadable, msg::kLoadBackupFailed);
}

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
    Status hashStored(uint32_t entry, std::vector<uint8_t>& piece, idxinfo& info,
                      std::wstring& hash);
    bool openFileOf(uint32_t entry);

    const ArchiveRequest& request_;
    MemberStream stream_;
    std::vector<uint64_t> savedSizes_;
    // The archive file runStored reads from.
    platform::File archive_;
    int32_t openFile_ = -1;
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

// The stored bytes' hashes alone, on the calling thread, each member read in pieces into one
// small block that stays in the cache.
Status Originals::runStored(const std::vector<uint32_t>& entries,
                            const std::function<void(const OriginalMember&)>& each) {
    std::vector<uint8_t> piece(kStoredPiece);
    for (uint32_t entry : entries) {
        OriginalMember original;
        original.entry = entry;
        if (!openFileOf(entry)) {
            original.status = Status::failure(Error::ArchiveUnopened, msg::kOpenVoxbankFailed);
            each(original);
            return Status::failure(Error::Stopped, msg::kOpenVoxbankFailed);
        }
        idxinfo info{};
        original.status = hashStored(entry, piece, info, original.storedHash);
        // Without memory the run cannot go on, as with the members decoded.
        if (original.status.error() == Error::OutOfMemory)
            return original.status;
        if (original.status) {
            original.storedLength = info.size;
            original.compressed = MemberReader::compressed(info, false);
        }
        each(original);
    }
    return Status();
}

// As MemberReader::readStored reads the member, bytes past the end of the file as zero.
Status Originals::hashStored(uint32_t entry, std::vector<uint8_t>& piece, idxinfo& info,
                             std::wstring& hash) {
    if (Status located = stream_.reader().locate(entry, info); !located)
        return located;
    if (Status admitted = admit(stream_.files().fileOf(entry), info); !admitted)
        return admitted;
    if (info.offset > uint64_t(INT64_MAX))
        return Status::failure(Error::ArchiveUnreadable, msg::kReadLinkFailed);
    if (Status sought = archive_.seek(int64_t(info.offset), platform::SeekFrom::Begin); !sought)
        return sought.as(Error::ArchiveUnreadable, msg::kReadLinkFailed);
    ModHasher hasher;
    bool ended = false;
    for (uint32_t left = info.size; left > 0;) {
        const auto count = uint32_t(std::min<size_t>(left, piece.size()));
        uint32_t got = 0;
        if (!ended && !readAvailable(archive_, piece.data(), count, got))
            return Status::failure(Error::ArchiveUnreadable, msg::kReadLinkFailed);
        ended = ended || got < count;
        std::fill(piece.begin() + got, piece.begin() + count, uint8_t(0));
        hasher.update(piece.data(), count);
        left -= count;
    }
    hash = hasher.finish();
    return hash.empty() ? Status::failure(Error::OutOfMemory, msg::kOutOfMemory) : Status();
}

bool Originals::openFileOf(uint32_t entry) {
    const int32_t file = stream_.files().fileOf(entry);
    if (file == openFile_ && archive_.isOpen())
        return true;
    archive_ = platform::File::open(stream_.files().pathOf(file), platform::OpenMode::ReadExisting);
    openFile_ = file;
    return archive_.isOpen();
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
