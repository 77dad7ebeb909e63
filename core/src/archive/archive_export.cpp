// Reading the members of a range for the export, on the pipeline: the calling thread opens the
// archive files, reads each member's stored bytes and hands the members over in entry order;
// the workers decompress the members ahead of it.
#include "archive/archive_files.h"
#include "archive/member_reader.h"
#include "boundary/boundary.h"
#include "boundary/exported_codes.h"
#include "boundary/messages.h"
#include "formats/container_common.h"
#include "karvcore/archive.h"
#include "karvcore/formats.h"
#include "platform/file.h"
#include "work/pipeline.h"

#include <algorithm>

namespace karv {
namespace {

using platform::File;
using platform::OpenMode;

// The archive file is probed with one read of this many bytes before the index is loaded.
constexpr uint32_t kProbeLength = 16;
// A member stored in at least this many bytes is decompressed at its turn with every thread,
// rather than ahead by one.
constexpr uint32_t kSharedMemberBytes = 8u << 20;

// One entry on its way: its stored bytes read on the calling thread into the input block, a
// compressed member decompressed by a worker into the output block.
struct Pending : PipelineItem {
    uint32_t entry = 0;
    Status status;
    bool archiveUnopened = false;
    bool compressed = false;
    bool atItsTurn = false; // decompressed with every thread when handed over
    uint32_t storedSize = 0;
    uint32_t length = 0;
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
    std::unique_ptr<Pipeline<Pending>> pipeline;
    Pending current; // handed over last; its blocks go back when the next goes

    explicit State(ExportRequest r)
        : request(std::move(r)), reader(request.dataType, request.bigEndian),
          files(request.dataType, request.link, request.archivePath) {}

    Status open();
    void readAhead();
    void read(Pending& member);
    void decompressAhead(Pending& member, const idxinfo& info);
    bool switchArchiveFile(uint32_t entry);
    void finish(Pending& member);
};

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
    // The asked range inside the index.
    const uint32_t count = reader.count();
    const uint32_t last = std::min(request.last, count);
    nextEntry = std::min(request.first, last);
    end = last < count ? last + 1 : count;
    pipeline = std::make_unique<Pipeline<Pending>>(end - nextEntry);
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
    // A block that cannot be had is refused by the read itself.
    pipeline->blocks().take(info.size, member.input);
    if (member.status = MemberReader::readStored(archive, info, member.input); !member.status)
        return;
    if (member.compressed) {
        decompressAhead(member, info);
        return;
    }
    member.length = info.size;
    member.held = member.input.capacity;
    pipeline->noteNeed(info.size);
}

// The output block is taken now, for the length the container names, unless no container of
// its size could make that much (the decoder refuses it then, before any block is made).
void ArchiveExport::State::decompressAhead(Pending& member, const idxinfo& info) {
    const ContainerKind* kind = FindContainerKind(request.dataType);
    uint32_t total = 0;
    if (kind != nullptr &&
        ReadContainerTotal(*kind, member.input.data.get(), info.size, request.bigEndian, total) &&
        container::plausibleTotal(total, info.size))
        pipeline->blocks().take(total, member.output);
    member.held = member.input.capacity + member.output.capacity;
    pipeline->noteNeed(uint64_t(info.size) + total);
    if (pipeline->pool() && info.size >= kSharedMemberBytes) {
        member.atItsTurn = true;
        return;
    }
    Pending* target = &member;
    pipeline->submit(member, [this, target](codec::StreamCodec& codec) {
        target->status =
            reader.decompress(target->entry, target->input.data.get(), target->storedSize, codec,
                              nullptr, target->output, target->length);
    });
}

void ArchiveExport::State::readAhead() {
    while (!ended && nextEntry < end && pipeline->roomAhead()) {
        Pending& member = pipeline->push();
        member.entry = nextEntry++;
        read(member);
    }
}

// The member's decompression, done: a worker's, or the calling thread's with every thread.
void ArchiveExport::State::finish(Pending& member) {
    if (!pipeline->finish(member))
        member.status = Status::failure(Error::OutOfMemory, msg::kOutOfMemory);
    else if (member.atItsTurn)
        member.status = reader.decompress(member.entry, member.input.data.get(), member.storedSize,
                                          pipeline->callerCodec(), pipeline->pool(), member.output,
                                          member.length);
}

ArchiveExport::ArchiveExport(ExportRequest request)
    : state_(std::make_unique<State>(std::move(request))) {}

ArchiveExport::~ArchiveExport() = default;

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
    if (!state.pipeline)
        return false;
    Pipeline<Pending>& pipeline = *state.pipeline;
    return catchOutOfMemory(
        [&] {
            pipeline.giveBack(state.current);
            state.readAhead();
            if (pipeline.empty())
                return false;
            state.finish(pipeline.front());
            state.current = pipeline.takeFront();
            // The next ones are read while the caller writes this one.
            state.readAhead();
            const Pending& member = state.current;
            out = ExportedMember();
            out.entry = member.entry;
            out.status = member.status;
            out.archiveUnopened = member.archiveUnopened;
            if (!member.status)
                SetMessageQX(member.status.message());
            else if (!member.archiveUnopened) {
                out.data = (member.compressed ? member.output : member.input).data.get();
                out.length = member.length;
            }
            return true;
        },
        [&] {
            // Without memory the run cannot go on: the caller hears of it as of an entry that
            // failed, and the range ends.
            state.ended = true;
            pipeline.clear();
            out = ExportedMember();
            out.status = Status::failure(Error::OutOfMemory, msg::kOutOfMemory);
            SetMessageQX(msg::kOutOfMemory);
            return true;
        });
}

} // namespace karv
