// Index files and the index table. Z54: a 16-byte header (entry count at 4, offset unit at 8)
// and 16-byte entries whose offsets count in that unit; the index sits at the start of the
// archive itself. Every other data type: no header, the whole file is a table of 32-byte
// entries. The layouts themselves are declared in karvcore/formats.h.
#include "formats/index_file.h"
#include "boundary/boundary.h"
#include "boundary/messages.h"
#include "files/file_helpers.h"
#include "files/read_available.h"
#include "formats/byte_io.h"
#include "karvcore/buffer.h"
#include "karvcore/formats.h"
#include "karvcore/index_table.h"
#include "platform/file.h"

#include <algorithm>
#include <cstdlib>

using karv::platform::File;
using karv::platform::OpenMode;
using karv::platform::SeekFrom;

namespace karv {
namespace {

// Offsets in units as bytes. A product beyond 64 bits becomes UINT64_MAX, an offset no file
// has, rather than wrapping round to a position that holds other data.
uint64_t unitsToBytes(uint64_t units, uint32_t unit) {
    if (unit != 0 && units > UINT64_MAX / unit)
        return UINT64_MAX;
    return units * unit;
}

} // namespace

idxinfo decodeIndexEntry(const IndexLayout& layout, const uint8_t* at, uint32_t offsetUnit,
                         bool bigEndian) {
    idxinfo info;
    uint64_t offset = readU64(at + layout.offsetAt, bigEndian);
    info.offset = layout.inArchive ? unitsToBytes(offset, offsetUnit) : offset;
    info.size = readU32(at + layout.storedSizeAt, bigEndian);
    info.marker = readU32(at + layout.markerAt, bigEndian);
    return info;
}

namespace {

// Whole entries behind the header; the header's count is never trusted beyond this, so a
// hostile count cannot make an allocation larger than the file. The table length must fit in
// 32 bits like every other length of the data model.
uint32_t entriesHeld(const IndexLayout& layout, uint64_t fileSize) {
    if (fileSize < layout.headerSize)
        return 0;
    uint64_t held = (fileSize - layout.headerSize) / layout.entrySize;
    return uint32_t(std::min<uint64_t>(held, UINT32_MAX / layout.entrySize));
}

Status failIndex(Error error, const wchar_t* message) {
    return Status::failure(error, message);
}

} // namespace

// ---- IndexTable ----

Status IndexTable::load(const IndexLayout& layout, const std::wstring& path, bool bigEndian,
                        IndexTable& out) {
    out = IndexTable();
    out.layout_ = &layout;
    out.bigEndian_ = bigEndian;
    if (!layout.inArchive) {
        // The table is the file as it stands; a partial last entry stays in it but is not
        // counted.
        if (!loadWholeFile(path, out.table_, out.tableLength_))
            return failIndex(Error::IndexUnloadable, msg::kLoadIndexFailed);
        out.count_ = out.tableLength_ / layout.entrySize;
        return Status();
    }
    File file = File::open(path, OpenMode::ReadExisting);
    if (!file.isOpen())
        return failIndex(Error::IndexUnopened, msg::kOpenIndexFailed);
    uint8_t header[64] = {};
    uint64_t fileSize = 0;
    // A header cut short by the end of the file is a header that cannot be read.
    if (layout.headerSize > sizeof header || !file.size(fileSize) || fileSize < layout.headerSize ||
        !readAvailable(file, header, layout.headerSize))
        return failIndex(Error::IndexHeaderUnreadable, msg::kReadIndexFailed);
    uint32_t declared = readU32(header + layout.countAt, bigEndian);
    uint32_t unit = readU32(header + layout.unitAt, bigEndian);
    // A unit of 0 would put every member at offset 0: the header is not an index header.
    if (unit == 0)
        return failIndex(Error::IndexUnitZero, msg::kReadIndexFailed);
    if (declared == 0)
        return failIndex(Error::IndexDeclaredEmpty, msg::kIndexEmpty);
    uint32_t count = std::min(declared, entriesHeld(layout, fileSize));
    if (count == 0)
        return failIndex(Error::IndexHoldsNoEntry, msg::kReadIndexFailed);
    MallocBuffer entries(static_cast<uint8_t*>(std::calloc(count, layout.entrySize)));
    if (!entries)
        return failIndex(Error::OutOfMemory, msg::kOutOfMemory);
    if (!file.seek(layout.headerSize, SeekFrom::Begin) ||
        !readAvailable(file, entries.get(), count * layout.entrySize))
        return failIndex(Error::IndexTableUnreadable, msg::kReadIndexFailed);
    out.table_ = std::move(entries);
    out.tableLength_ = count * layout.entrySize;
    out.count_ = count;
    out.offsetUnit_ = unit;
    return Status();
}

Status IndexTable::create(const IndexLayout& layout, bool bigEndian, uint32_t count,
                          uint32_t offsetUnit, IndexTable& out) {
    out = IndexTable();
    if (count > UINT32_MAX / layout.entrySize || (layout.inArchive && offsetUnit == 0))
        return failIndex(Error::TooLarge, msg::kDataTooLong);
    uint32_t length = count * layout.entrySize;
    out.table_.reset(static_cast<uint8_t*>(std::calloc(length ? length : 1, 1)));
    if (!out.table_)
        return failIndex(Error::OutOfMemory, msg::kOutOfMemory);
    out.layout_ = &layout;
    out.bigEndian_ = bigEndian;
    out.tableLength_ = length;
    out.count_ = count;
    out.offsetUnit_ = layout.inArchive ? offsetUnit : 0;
    return Status();
}

Status IndexTable::adopt(const IndexLayout& layout, bool bigEndian, uint32_t offsetUnit,
                         MallocBuffer entries, uint32_t length, IndexTable& out) {
    out = IndexTable();
    if (layout.inArchive && offsetUnit == 0)
        return failIndex(Error::IndexUnitZero, msg::kReadIndexFailed);
    out.layout_ = &layout;
    out.bigEndian_ = bigEndian;
    out.table_ = std::move(entries);
    out.tableLength_ = out.table_ ? length : 0;
    out.count_ = out.tableLength_ / layout.entrySize;
    out.offsetUnit_ = layout.inArchive ? offsetUnit : 0;
    return Status();
}

bool IndexTable::entry(uint32_t n, idxinfo& info) const {
    const uint8_t* bytes = entryBytes(n);
    if (bytes == nullptr)
        return false;
    info = decode(bytes);
    return true;
}

const uint8_t* IndexTable::entryBytes(uint32_t n) const {
    if (n >= count_)
        return nullptr;
    return table_.get() + size_t(n) * layout_->entrySize;
}

uint64_t IndexTable::filePosition(uint32_t n) const {
    return layout_->headerSize + uint64_t(n) * layout_->entrySize;
}

uint32_t IndexTable::importMarker(bool compressed, uint32_t fileLength, uint32_t storedLength,
                                  uint32_t oldMarker) const {
    if (layout_->compressedMarker == CompressedMarker::DecompressedLength) {
        if (compressed)
            return fileLength;
        return oldMarker == kIdxMarkerRawTagged ? kIdxMarkerRawTagged : kIdxMarkerRaw;
    }
    // The flag is the marker's first byte alone; read as a word it depends on the byte order.
    // A compressed member is marked even when its container is as long as the file.
    if (!compressed && storedLength == fileLength)
        return kIdxMarkerRaw;
    const uint8_t flag[4] = {1, 0, 0, 0};
    return readU32(flag, bigEndian_);
}

std::vector<uint8_t> IndexTable::encode(const EntryValues& values) const {
    const IndexLayout& layout = *layout_;
    std::vector<uint8_t> bytes(layout.entrySize, 0);
    uint64_t offset = values.offset;
    if (layout.inArchive && offsetUnit_ != 0)
        offset /= offsetUnit_;
    writeU64(bytes.data() + layout.offsetAt, offset, bigEndian_);
    if (layout.fileLengthAt != kNoField)
        writeU32(bytes.data() + layout.fileLengthAt, values.fileLength, bigEndian_);
    writeU32(bytes.data() + layout.storedSizeAt, values.storedLength, bigEndian_);
    writeU32(bytes.data() + layout.markerAt, values.marker, bigEndian_);
    return bytes;
}

idxinfo IndexTable::decode(const uint8_t* bytes) const {
    return decodeIndexEntry(*layout_, bytes, offsetUnit_, bigEndian_);
}

bool IndexTable::store(uint32_t n, const std::vector<uint8_t>& bytes) {
    if (n >= count_ || bytes.size() != layout_->entrySize)
        return false;
    std::copy(bytes.begin(), bytes.end(), table_.get() + size_t(n) * layout_->entrySize);
    return true;
}

uint32_t IndexTable::entriesLength() const {
    return count_ * layout_->entrySize;
}

std::vector<uint8_t> IndexTable::header() const {
    std::vector<uint8_t> bytes;
    if (!layout_->inArchive)
        return bytes;
    bytes.assign(layout_->headerSize, 0);
    writeU32(bytes.data() + layout_->countAt, count_, bigEndian_);
    writeU32(bytes.data() + layout_->unitAt, offsetUnit_, bigEndian_);
    return bytes;
}

MallocBuffer IndexTable::release() {
    count_ = 0;
    tableLength_ = 0;
    return std::move(table_);
}

// ---- Loading by data type ----

Status loadIndexFor(int32_t dataType, const std::wstring& path, bool bigEndian, IndexTable& out) {
    if (dataType == kDataTypeNone)
        return Status::failure(Error::BadDataType, msg::kWrongDataType);
    return guardMemory(
        [&] { return IndexTable::load(IndexLayoutFor(dataType), path, bigEndian, out); });
}

} // namespace karv
