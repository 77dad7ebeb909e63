// Reading the members of a range for the export: the archive's own index, the range clamped to
// it, on the member stream (the calling thread reads, the workers decompress ahead of it).
#include "archive/member_stream.h"
#include "boundary/boundary.h"
#include "boundary/exported_codes.h"
#include "karvcore/archive.h"

#include <algorithm>

namespace karv {

struct ArchiveExport::State {
    ExportRequest request;
    MemberStream stream;

    explicit State(ExportRequest r)
        : request(std::move(r)),
          stream(request.dataType, request.bigEndian, request.link, request.archivePath) {}

    Status open();
};

Status ArchiveExport::State::open() {
    if (Status opened = stream.openFirst(); !opened)
        return opened;
    MemberReader& reader = stream.reader();
    if (Status loaded = reader.loadIndex(stream.files().indexPath()); !loaded)
        return loaded;
    // The asked range inside the index.
    const uint32_t count = reader.count();
    const uint32_t last = std::min(request.last, count);
    const uint32_t first = std::min(request.first, last);
    stream.start(first, last < count ? last + 1 : count);
    return Status();
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
    return state_->stream.files().firstFile();
}

bool ArchiveExport::next(ExportedMember& member) {
    return state_->stream.next(member);
}

} // namespace karv
