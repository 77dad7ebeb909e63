#include "archive/member_stream.h"

#include "boundary/boundary.h"
#include "boundary/exported_codes.h"
#include "boundary/messages.h"
#include "formats/container_common.h"
#include "karvcore/formats.h"

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

} // namespace

// One entry on its way: its stored bytes read on the calling thread into the input block, a
// compressed member decompressed by a worker into the output block.
struct MemberStream::Pending : PipelineItem {
    uint32_t entry = 0;
    Status status;
    bool archiveUnopened = false;
    bool compressed = false;
    bool atItsTurn = false; // decompressed with every thread when handed over
    uint32_t storedSize = 0;
    uint32_t length = 0;
};

MemberStream::MemberStream(int32_t dataType, bool bigEndian, const linkinfo& link,
                           const std::wstring& archivePath)
    : dataType_(dataType), bigEndian_(bigEndian), link_(link), reader_(dataType, bigEndian),
      files_(dataType, link, archivePath), current_(std::make_unique<Pending>()) {}

MemberStream::~MemberStream() = default;

Status MemberStream::openFirst() {
    Status why;
    archive_ = File::open(files_.firstFile(), OpenMode::ReadExisting, &why);
    if (!archive_.isOpen())
        return why.as(Error::ArchiveUnopened, msg::kOpenFileFailed);
    uint8_t probe[kProbeLength] = {};
    uint32_t got = 0;
    if (Status read = archive_.read(probe, kProbeLength, got); !read) {
        archive_.close();
        return read.as(Error::ArchiveUnreadable, msg::kReadLinkFailed);
    }
    return Status();
}

void MemberStream::start(uint32_t first, uint32_t end) {
    fromList_ = false;
    next_ = first;
    end_ = end;
    startPipeline(end - first);
}

void MemberStream::start(std::vector<uint32_t> entries) {
    list_ = std::move(entries);
    fromList_ = true;
    next_ = 0;
    end_ = uint32_t(std::min<size_t>(list_.size(), UINT32_MAX));
    startPipeline(end_);
}

void MemberStream::startPipeline(size_t members) {
    ended_ = false;
    outOfMemory_ = false;
    pipeline_ = std::make_unique<Pipeline<Pending>>(members);
}

bool MemberStream::haveNext() const {
    return !ended_ && next_ < end_;
}

uint32_t MemberStream::takeNext() {
    const uint32_t at = next_++;
    return fromList_ ? list_[at] : at;
}

// An archive over several files reads each entry from the file that holds it; ascending
// entries open each file once. False when that file cannot be opened.
bool MemberStream::switchArchiveFile(uint32_t entry) {
    if (!ArchiveSpansFiles(dataType_) || link_.fileCount < 1)
        return true;
    std::optional<int32_t> file = ArchiveFileOf(link_, entry);
    if (!file || *file == openArchive_)
        return true;
    archive_.close();
    openArchive_ = *file;
    archive_ = File::open(link_.fileNames[*file], OpenMode::ReadExisting);
    return archive_.isOpen();
}

// The calling thread's part of one entry: the archive file, the entry, the stored bytes.
void MemberStream::read(Pending& member) {
    if (!switchArchiveFile(member.entry)) {
        member.archiveUnopened = true;
        ended_ = true;
        return;
    }
    idxinfo info{};
    if (member.status = reader_.locate(member.entry, info); !member.status)
        return;
    if (admit_) {
        if (member.status = admit_(member.entry, files_.fileOf(member.entry), info); !member.status)
            return;
    }
    member.compressed = MemberReader::compressed(info, false);
    member.storedSize = info.size;
    // A block that cannot be had is refused by the read itself.
    pipeline_->blocks().take(info.size, member.input);
    if (member.status = MemberReader::readStored(archive_, info, member.input); !member.status)
        return;
    if (member.compressed) {
        decompressAhead(member, info);
        return;
    }
    member.length = info.size;
    member.held = member.input.capacity;
    pipeline_->noteNeed(info.size);
}

// The output block is taken now, for the length the container names, unless no container of
// its size could make that much (the decoder refuses it then, before any block is made).
void MemberStream::decompressAhead(Pending& member, const idxinfo& info) {
    const ContainerKind* kind = FindContainerKind(dataType_);
    uint32_t total = 0;
    if (kind != nullptr &&
        ReadContainerTotal(*kind, member.input.data.get(), info.size, bigEndian_, total) &&
        container::plausibleTotal(total, info.size))
        pipeline_->blocks().take(total, member.output);
    member.held = member.input.capacity + member.output.capacity;
    pipeline_->noteNeed(uint64_t(info.size) + total);
    if (pipeline_->pool() && info.size >= kSharedMemberBytes) {
        member.atItsTurn = true;
        return;
    }
    Pending* target = &member;
    pipeline_->submit(member, [this, target](codec::StreamCodec& codec) {
        target->status =
            reader_.decompress(target->entry, target->input.data.get(), target->storedSize, codec,
                               nullptr, target->output, target->length);
    });
}

void MemberStream::readAhead() {
    while (haveNext() && pipeline_->roomAhead()) {
        Pending& member = pipeline_->push();
        member.entry = takeNext();
        read(member);
    }
}

// The member's decompression, done: a worker's, or the calling thread's with every thread.
void MemberStream::finish(Pending& member) {
    if (!pipeline_->finish(member))
        member.status = Status::failure(Error::OutOfMemory, msg::kOutOfMemory);
    else if (member.atItsTurn)
        member.status = reader_.decompress(member.entry, member.input.data.get(), member.storedSize,
                                           pipeline_->callerCodec(), pipeline_->pool(),
                                           member.output, member.length);
}

bool MemberStream::next(ExportedMember& out) {
    if (!pipeline_)
        return false;
    Pipeline<Pending>& pipeline = *pipeline_;
    return catchOutOfMemory(
        [&] {
            pipeline.giveBack(*current_);
            readAhead();
            if (pipeline.empty())
                return false;
            finish(pipeline.front());
            *current_ = pipeline.takeFront();
            // The next ones are read while the caller works on this one.
            readAhead();
            const Pending& member = *current_;
            out = ExportedMember();
            out.entry = member.entry;
            out.status = member.status;
            out.archiveUnopened = member.archiveUnopened;
            if (!member.status)
                SetMessageQX(member.status.message());
            else if (!member.archiveUnopened) {
                out.data = (member.compressed ? member.output : member.input).data.get();
                out.length = member.length;
                out.stored = member.input.data.get();
                out.storedLength = member.storedSize;
                out.compressed = member.compressed;
            }
            return true;
        },
        [&] {
            // Without memory the run cannot go on: the caller hears of it as of an entry that
            // failed, and the entries end.
            ended_ = true;
            outOfMemory_ = true;
            pipeline.clear();
            out = ExportedMember();
            out.status = Status::failure(Error::OutOfMemory, msg::kOutOfMemory);
            SetMessageQX(msg::kOutOfMemory);
            return true;
        });
}

} // namespace karv
