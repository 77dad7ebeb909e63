#include "archive/member_reader.h"

#include "boundary/boundary.h"
#include "boundary/messages.h"
#include "files/read_available.h"
#include "formats/index_file.h"

#include <cstring>
#include <iomanip>
#include <sstream>

namespace karv {
namespace {

using platform::SeekFrom;

// "解压文件 000007.data 出错！原因：" + reason + "\n"; the number is the export's file name.
std::wstring unpackFailure(uint32_t entry, const std::wstring& reason) {
    std::wostringstream text;
    text << msg::kUnpackMemberPrefix << std::setw(6) << std::setfill(L'0') << entry
         << msg::kUnpackMemberReason << reason << L"\n";
    return text.str();
}

// Reads up to `count` bytes; what the file does not hold stays zero.
bool readOrZero(platform::File& file, uint8_t* buffer, uint32_t count) {
    while (count > 0) {
        uint32_t done = 0;
        if (!file.read(buffer, count, done) || done > count)
            return false;
        if (done == 0)
            break;
        buffer += done;
        count -= done;
    }
    std::memset(buffer, 0, count);
    return true;
}

} // namespace

Status MemberReader::loadIndex(const std::wstring& indexPath) {
    if (dataType_ == kDataTypeNone)
        return Status::failure(Error::BadDataType, msg::kDataTypeNotSet);
    // A second load replaces the first table.
    reset(dataType_, bigEndian_);
    if (Status status = loadIndexFor(dataType_, indexPath, bigEndian_, table_); !status)
        return status;
    if (table_.count() == 0) {
        table_ = IndexTable();
        return Status::failure(Error::IndexHoldsNoEntry, msg::kIndexEmpty);
    }
    loaded_ = true;
    return Status();
}

void MemberReader::adoptTable(IndexTable table) {
    reset(dataType_, bigEndian_);
    if (table.count() == 0)
        return;
    table_ = std::move(table);
    loaded_ = true;
}

void MemberReader::reset(int32_t dataType, bool bigEndian) {
    table_ = IndexTable();
    loaded_ = false;
    dataType_ = dataType;
    bigEndian_ = bigEndian;
}

Status MemberReader::locate(uint32_t entry, idxinfo& info) const {
    if (!loaded_)
        return Status::failure(Error::IndexNotLoaded, msg::kIndexNotLoaded);
    if (!table_.entry(entry, info))
        return Status::failure(Error::EntryBeyondIndex, msg::kEntryBeyondIndex);
    if (IsUnusedEntry(info.size, info.marker))
        return Status::failure(Error::EntryUnused, msg::kSkipUnusedMember);
    return Status();
}

Status MemberReader::readStored(platform::File& archive, const idxinfo& info, Block& stored) {
    if (!stored.reserve(info.size))
        return Status::failure(Error::OutOfMemory, msg::kOutOfMemory);
    if (info.offset > uint64_t(INT64_MAX))
        return Status::failure(Error::ArchiveUnreadable, msg::kReadLinkFailed);
    if (Status sought = archive.seek(int64_t(info.offset), SeekFrom::Begin); !sought)
        return sought.as(Error::ArchiveUnreadable, msg::kReadLinkFailed);
    if (!readOrZero(archive, stored.data.get(), info.size))
        return Status::failure(Error::ArchiveUnreadable, msg::kReadLinkFailed);
    return Status();
}

Status MemberReader::decompress(uint32_t entry, const uint8_t* stored, uint32_t size,
                                codec::StreamCodec& codec, WorkerPool* pool, Block& out,
                                uint32_t& length, Status* codecStatus) const {
    const ContainerKind* kind = FindContainerKind(dataType_);
    // Only the container kinds have a codec.
    if (kind == nullptr)
        return Status::failure(Error::MemberUndecodable, unpackFailure(entry, msg::kWrongDataType));
    Status status = guardMemory([&] {
        return engineOf(*kind).decompress(stored, size, bigEndian_, codec, pool, out, length);
    });
    if (codecStatus != nullptr)
        *codecStatus = status;
    if (!status)
        return Status::failure(Error::MemberUndecodable, unpackFailure(entry, status.message()));
    return Status();
}

} // namespace karv
