// The verifier, on the export's pipeline: the calling thread checks each entry against its
// archive file and reads the member whole, the workers decode the compressed members ahead of
// it into blocks of the pool, and the calling thread takes the outcomes back in entry order and
// reports them. Nothing is written; a decoded member's block goes straight back to the pool.
#include "archive/archive_files.h"
#include "archive/member_reader.h"
#include "boundary/boundary.h"
#include "boundary/exported_codes.h"
#include "boundary/messages.h"
#include "formats/container_common.h"
#include "karvcore/archive.h"
#include "platform/file.h"
#include "work/pipeline.h"

#include <algorithm>
#include <vector>

namespace karv {
namespace {

using platform::File;

// As in the export: a member this large is decoded at its turn with every thread.
constexpr uint32_t kSharedMemberBytes = 8u << 20;
// Raw members are read in pieces of this size.
constexpr uint32_t kRawPiece = 1u << 20;

struct Checked : PipelineItem {
    uint32_t entry = 0;
    bool used = false;
    bool checked = false; // false for an entry whose archive file cannot be read
    bool compressed = false;
    bool atItsTurn = false;
    uint32_t storedSize = 0;
    std::optional<VerifyProblem> problem; // found while reading
    Status decoded;                       // the codec's own outcome
};

class Verifier {
  public:
    Verifier(const ArchiveRequest& request, const std::function<void(const VerifyProblem&)>& tell,
             VerifyCounts& counts)
        : request_(request), tell_(tell), counts_(counts),
          kind_(FindContainerKind(request.dataType)), reader_(request.dataType, request.bigEndian),
          files_(request.dataType, request.link, request.archivePath), opened_(files_) {}

    Status open();
    Status run();

  private:
    void readAhead();
    void read(Checked& member);
    void decodeAhead(Checked& member);
    Status readRaw(File& file, const idxinfo& info);
    Status report(Checked& member);
    void found(Checked& member, VerifyProblem::Kind kind, const std::wstring& message,
               bool ofEntry = true);

    const ArchiveRequest& request_;
    const std::function<void(const VerifyProblem&)>& tell_;
    VerifyCounts& counts_;
    const ContainerKind* kind_;
    MemberReader reader_;
    ArchiveFiles files_;
    OpenedArchiveFiles opened_;
    std::unique_ptr<Pipeline<Checked>> pipeline_;
    uint32_t nextEntry_ = 0;
    std::vector<uint8_t> rawPieces_;
};

Status Verifier::open() {
    if (Status opened = opened_.openFirst(); !opened)
        return opened;
    if (Status loaded = reader_.loadIndex(files_.indexPath()); !loaded)
        return loaded;
    pipeline_ = std::make_unique<Pipeline<Checked>>(reader_.count());
    return Status();
}

void Verifier::found(Checked& member, VerifyProblem::Kind kind, const std::wstring& message,
                     bool ofEntry) {
    VerifyProblem problem;
    problem.file = files_.fileOf(member.entry);
    if (ofEntry)
        problem.entry = member.entry;
    problem.kind = kind;
    problem.message = message;
    member.problem = std::move(problem);
}

// The calling thread's part: the entry, its archive file, its bounds, its stored bytes.
void Verifier::read(Checked& member) {
    idxinfo info{};
    member.used = reader_.locate(member.entry, info).ok();
    if (!member.used)
        return;
    uint64_t fileSize = 0;
    Status why;
    bool firstTime = false;
    File* file = opened_.get(files_.fileOf(member.entry), fileSize, why, firstTime);
    if (file == nullptr) {
        // Once for the file; its entries are not checked.
        if (firstTime)
            found(member, VerifyProblem::kFile, why.message(), false);
        return;
    }
    member.checked = true;
    // readStored fills what the file does not hold with zeros: the bounds are checked here.
    if (info.offset > fileSize || info.size > fileSize - info.offset)
        return found(member, VerifyProblem::kBounds, msg::kMemberBeyondFile);
    member.compressed = MemberReader::compressed(info, false);
    member.storedSize = info.size;
    if (!member.compressed) {
        if (Status status = readRaw(*file, info); !status)
            found(member, VerifyProblem::kFile, status.message());
        return;
    }
    pipeline_->blocks().take(info.size, member.input);
    if (Status status = MemberReader::readStored(*file, info, member.input); !status) {
        if (status.error() == Error::OutOfMemory)
            member.decoded = status;
        else
            found(member, VerifyProblem::kFile, status.message());
        return;
    }
    member.held = member.input.capacity;
    if (kind_ != nullptr &&
        !HasContainerMagic(*kind_, member.input.data.get(), info.size, request_.bigEndian))
        return found(member, VerifyProblem::kDecode, msg::kContainerHeaderWrong);
    decodeAhead(member);
}

// A worker decodes the member chunk by chunk into a block of one chunk, keeping none of it: the
// member is never held whole. A large member is decoded at its turn with every thread, into a
// block for the length the container names (unless no container of its size could make that
// much: the decoder refuses it before any block is made).
void Verifier::decodeAhead(Checked& member) {
    uint32_t total = 0;
    const bool named = kind_ != nullptr &&
                       ReadContainerTotal(*kind_, member.input.data.get(), member.storedSize,
                                          request_.bigEndian, total) &&
                       container::plausibleTotal(total, member.storedSize);
    if (pipeline_->pool() && member.storedSize >= kSharedMemberBytes) {
        member.atItsTurn = true;
        if (named)
            pipeline_->blocks().take(total, member.output);
    } else if (kind_ != nullptr) {
        pipeline_->blocks().take(std::min(total, kind_->chunkSize), member.output);
    }
    member.held = member.input.capacity + member.output.capacity;
    pipeline_->noteNeed(member.held);
    if (member.atItsTurn || kind_ == nullptr)
        return;
    Checked* target = &member;
    const ContainerEngine& engine = engineOf(*kind_);
    pipeline_->submit(member, [this, target, &engine](codec::StreamCodec& codec) {
        uint32_t made = 0;
        target->decoded = guardMemory([&] {
            return engine.check(target->input.data.get(), target->storedSize, request_.bigEndian,
                                codec, target->output, made);
        });
    });
}

// A raw member only has to be read: piece by piece into one buffer of the run, which costs no
// block of the member's size (and no fresh pages) per member.
Status Verifier::readRaw(File& file, const idxinfo& info) {
    if (rawPieces_.empty())
        rawPieces_.resize(kRawPiece);
    if (info.offset > uint64_t(INT64_MAX))
        return Status::failure(Error::ArchiveUnreadable, msg::kReadLinkFailed);
    if (Status sought = file.seek(int64_t(info.offset), platform::SeekFrom::Begin); !sought)
        return sought.as(Error::ArchiveUnreadable, msg::kReadLinkFailed);
    for (uint32_t left = info.size; left > 0;) {
        const uint32_t piece = std::min(left, kRawPiece);
        if (!file.readAll(rawPieces_.data(), piece))
            return Status::failure(Error::ArchiveUnreadable, msg::kReadLinkFailed);
        left -= piece;
    }
    return Status();
}

void Verifier::readAhead() {
    while (nextEntry_ < reader_.count() && pipeline_->roomAhead()) {
        Checked& member = pipeline_->push();
        member.entry = nextEntry_++;
        read(member);
    }
}

// The member's outcome, in entry order. A decoder that ran out of memory ends the run.
Status Verifier::report(Checked& member) {
    if (!pipeline_->finish(member))
        return Status::failure(Error::OutOfMemory, msg::kOutOfMemory);
    if (member.compressed && kind_ == nullptr && !member.problem) {
        found(member, VerifyProblem::kDecode, msg::kWrongDataType);
    } else if (member.atItsTurn) {
        uint32_t length = 0;
        reader_.decompress(member.entry, member.input.data.get(), member.storedSize,
                           pipeline_->callerCodec(), pipeline_->pool(), member.output, length,
                           &member.decoded);
    }
    if (member.decoded.error() == Error::OutOfMemory)
        return member.decoded;
    if (!member.used) {
        ++counts_.unused;
        return Status();
    }
    if (member.checked)
        ++counts_.checked;
    if (!member.problem && !member.decoded) {
        const bool size = member.decoded.error() == Error::WrongTotal;
        found(member, size ? VerifyProblem::kSize : VerifyProblem::kDecode,
              member.decoded.message());
    }
    if (member.problem)
        tell_(*member.problem);
    return Status();
}

Status Verifier::run() {
    Pipeline<Checked>& pipeline = *pipeline_;
    readAhead();
    while (!pipeline.empty()) {
        if (Status reported = report(pipeline.front()); !reported) {
            pipeline.clear();
            return reported;
        }
        // Its blocks go back before the next member is read into one.
        Checked member = pipeline.takeFront();
        pipeline.giveBack(member);
        readAhead();
    }
    return Status();
}

} // namespace

Status VerifyArchive(const ArchiveRequest& request,
                     const std::function<void(const VerifyProblem&)>& problem,
                     VerifyCounts& counts) {
    counts = VerifyCounts();
    Status status = guardMemory([&] {
        Verifier verifier(request, problem, counts);
        if (Status opened = verifier.open(); !opened)
            return opened;
        return verifier.run();
    });
    reportSucceeded(status);
    return status;
}

} // namespace karv
