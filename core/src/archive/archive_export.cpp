// Reading the members of a range for the export. The calling thread opens the archive files,
// reads each member's stored bytes and hands the members over in entry order; the workers
// decompress the members ahead of it, into blocks that are used again member after member.
// At most as many members as there are threads are read ahead of the one being handed over,
// so memory stays within a few members whatever the archive's size.
#include "archive/archive_files.h"
#include "archive/member_reader.h"
#include "boundary/boundary.h"
#include "boundary/exported_codes.h"
#include "boundary/messages.h"
#include "formats/container_common.h"
#include "karvcore/archive.h"
#include "karvcore/formats.h"
#include "platform/file.h"

#include <algorithm>
#include <deque>

namespace karv {
namespace {

using platform::File;
using platform::OpenMode;

// The archive file is probed with one read of this many bytes before the index is loaded.
constexpr uint32_t kProbeLength = 16;
// A member stored in at least this many bytes is decompressed at its turn with every thread,
// rather than ahead by one.
constexpr uint32_t kSharedMemberBytes = 8u << 20;

// One entry on its way: read on the calling thread, decompressed by a worker.
struct Pending {
    uint32_t entry = 0;
    Status status;
    bool archiveUnopened = false;
    bool compressed = false;
    bool atItsTurn = false; // decompressed with every thread when handed over
    uint32_t storedSize = 0;
    Block stored;
    Block out;
    uint32_t length = 0;
    std::shared_ptr<WorkerPool::Ticket> job;
};

} // namespace

struct ArchiveExport::State {
    ExportRequest request;
    MemberReader reader;
    ArchiveFiles files;
    File archive;
    int32_t openArchive = 0;
    uint32_t nextEntry = 0;
    uint32_t end = 0;
    bool ended = false;
    std::unique_ptr<WorkerPool> pool;
    codec::StreamCodec codec; // the calling thread's, without a pool
    size_t window = 1;
    std::deque<std::unique_ptr<Pending>> pending;
    std::unique_ptr<Pending> current; // handed over last; its blocks go back when the next goes
    std::vector<Block> spare;

    explicit State(ExportRequest r)
        : request(std::move(r)), reader(request.dataType, request.bigEndian),
          files(request.dataType, request.link, request.archivePath) {}

    Status open();
    void readAhead();
    void read(Pending& member);
    bool switchArchiveFile(uint32_t entry);
    void finish(Pending& member);
    Block takeSpare();
    void giveBack(std::unique_ptr<Pending> member);
    // Waits for every job a worker may still be running on a block of the run.
    void drain();
};

void ArchiveExport::State::drain() {
    if (!pool)
        return;
    for (const std::unique_ptr<Pending>& member : pending)
        if (member->job)
            pool->wait(*member->job);
}

Status ArchiveExport::State::open() {
    Status why;
    archive = File::open(files.firstFile(), OpenMode::ReadExisting, &why);
    if (!archive.isOpen())
        return why.as(Error::ArchiveUnopened, msg::kOpenFileFailed);
    uint8_t probe[kProbeLength] = {};
    uint32_t got = 0;
    if (Status read = archive.read(probe, kProbeLength, got); !read) {
        archive.close();
        return read.as(Error::ArchiveUnreadable, msg::kReadLinkFailed);
    }
    if (Status loaded = reader.loadIndex(files.indexPath()); !loaded)
        return loaded;
    const uint32_t count = reader.count();
    // The asked range inside the index.
    const uint32_t last = std::min(request.last, count);
    nextEntry = std::min(request.first, last);
    end = last < count ? last + 1 : count;
    const unsigned threads = workerThreads();
    if (threads > 1)
        pool = std::make_unique<WorkerPool>(threads);
    window = pool ? pool->threads() : 1;
    return Status();
}

// An archive over several files reads each entry from the file that holds it; an ascending
// range opens each file once. False when that file cannot be opened.
bool ArchiveExport::State::switchArchiveFile(uint32_t entry) {
    const linkinfo& link = request.link;
    if (!ArchiveSpansFiles(request.dataType) || link.fileCount < 1)
        return true;
    std::optional<int32_t> file = ArchiveFileOf(link, entry);
    if (!file || *file == openArchive)
        return true;
    archive.close();
    openArchive = *file;
    archive = File::open(link.fileNames[*file], OpenMode::ReadExisting);
    return archive.isOpen();
}

Block ArchiveExport::State::takeSpare() {
    if (spare.empty())
        return Block();
    Block block = std::move(spare.back());
    spare.pop_back();
    return block;
}

// The blocks of a member handed over, kept for the next ones: two per member on its way.
void ArchiveExport::State::giveBack(std::unique_ptr<Pending> member) {
    if (!member)
        return;
    for (Block* block : {&member->stored, &member->out}) {
        if (block->data && spare.size() < 2 * (window + 1))
            spare.push_back(std::move(*block));
    }
}

// The calling thread's part of one entry: the archive file, the entry, the stored bytes.
void ArchiveExport::State::read(Pending& member) {
    if (!switchArchiveFile(member.entry)) {
        member.archiveUnopened = true;
        ended = true;
        return;
    }
    idxinfo info{};
    if (member.status = reader.locate(member.entry, info); !member.status)
        return;
    member.compressed = MemberReader::compressed(info, false);
    member.storedSize = info.size;
    member.stored = takeSpare();
    if (member.status = MemberReader::readStored(archive, info, member.stored); !member.status)
        return;
    if (!member.compressed) {
        member.length = info.size;
        return;
    }
    member.out = takeSpare();
    if (pool && info.size >= kSharedMemberBytes) {
        member.atItsTurn = true;
        return;
    }
    Pending* target = &member;
    auto job = [this, target](codec::StreamCodec& codec) {
        target->status =
            reader.decompress(target->entry, target->stored.data.get(), target->storedSize, codec,
                              nullptr, target->out, target->length);
    };
    if (pool)
        target->job = pool->submit(job);
    else
        job(codec);
}

void ArchiveExport::State::readAhead() {
    while (!ended && nextEntry < end && pending.size() < window) {
        auto member = std::make_unique<Pending>();
        member->entry = nextEntry++;
        read(*member);
        pending.push_back(std::move(member));
    }
}

// The member's decompression, done: a worker's, or the calling thread's with every thread.
void ArchiveExport::State::finish(Pending& member) {
    if (member.job) {
        pool->wait(*member.job);
        if (member.job->outOfMemory())
            member.status = Status::failure(Error::OutOfMemory, msg::kOutOfMemory);
    } else if (member.atItsTurn) {
        member.status =
            reader.decompress(member.entry, member.stored.data.get(), member.storedSize,
                              pool->callerCodec(), pool.get(), member.out, member.length);
    }
}

ArchiveExport::ArchiveExport(ExportRequest request)
    : state_(std::make_unique<State>(std::move(request))) {}

// The workers finish what they hold before the blocks they write into go.
ArchiveExport::~ArchiveExport() {
    state_->drain();
}

Status ArchiveExport::open() {
    Status opened = guardMemory([&] { return state_->open(); });
    reportSucceeded(opened);
    return opened;
}

const std::wstring& ArchiveExport::readPath() const {
    return state_->files.firstFile();
}

bool ArchiveExport::next(ExportedMember& out) {
    State& state = *state_;
    return catchOutOfMemory(
        [&] {
            state.giveBack(std::move(state.current));
            state.readAhead();
            if (state.pending.empty())
                return false;
            std::unique_ptr<Pending> member = std::move(state.pending.front());
            state.pending.pop_front();
            state.finish(*member);
            // The next ones are read while the caller writes this one.
            state.readAhead();
            out = ExportedMember();
            out.entry = member->entry;
            out.status = member->status;
            out.archiveUnopened = member->archiveUnopened;
            if (!member->status)
                SetMessageQX(member->status.message());
            else if (!member->archiveUnopened) {
                out.data = (member->compressed ? member->out : member->stored).data.get();
                out.length = member->length;
            }
            state.current = std::move(member);
            return true;
        },
        [&] {
            // Without memory the run cannot go on: the caller hears of it as of an entry that
            // failed, and the range ends.
            state.ended = true;
            state.drain();
            state.pending.clear();
            out = ExportedMember();
            out.status = Status::failure(Error::OutOfMemory, msg::kOutOfMemory);
            SetMessageQX(msg::kOutOfMemory);
            return true;
        });
}

} // namespace karv
