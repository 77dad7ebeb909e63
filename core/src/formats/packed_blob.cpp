// Packed blobs: a sub-file count N, a table, then the sub-files. Two table layouts, told apart
// by the first table value V1:
//
//  - offset and size (V1 = 8N + 4): N pairs (start, size) behind the count; the merge command
//    writes this one.
//  - offset only (V1 = 4N): the first sub-file starts right behind the table, so the table
//    holds only N - 1 numbers after the count: the starts of sub-files 0 to N - 2. Each of
//    these ends where the next one starts, and sub-file N - 2, the last one with a start,
//    ends at the end of the blob. Sub-file N - 1 has no start in the table (its number would
//    be the first bytes of sub-file 0) and is refused with -1, so a loop over 0..N-1 passes
//    it over like any other sub-file that cannot be located.
//
// Every number is untrusted: sums are taken in 64 bits and nothing is read outside the table.
#include "karvcore/packed_blob.h"
#include "boundary/boundary.h"
#include "formats/byte_io.h"

#include <cstring>

namespace karv {
namespace {

Status outOfRange() {
    return Status::failure(Error::SubFileBeyondTable);
}

struct Table {
    const uint8_t* blob;
    uint32_t length;
    uint32_t count;
    bool bigEndian;

    uint32_t at(uint64_t offset) const { return readU32(blob + offset, bigEndian); }
};

Status offsetOnly(const Table& t, uint32_t subFile, uint32_t& start, uint32_t& size) {
    if (uint64_t(subFile) + 1 >= t.count)
        return outOfRange();
    uint32_t first = t.at(4 + 4 * uint64_t(subFile));
    if (first >= t.length)
        return Status::failure(Error::SubFileOutside);
    bool last = uint64_t(subFile) + 2 == t.count;
    uint32_t end = last ? t.length : t.at(8 + 4 * uint64_t(subFile));
    if (end < first || end > t.length)
        return outOfRange();
    start = first;
    size = end - first;
    return Status();
}

Status offsetAndSize(const Table& t, uint32_t subFile, uint32_t& start, uint32_t& size) {
    if (subFile >= t.count)
        return outOfRange();
    uint32_t first = t.at(4 + 8 * uint64_t(subFile));
    uint32_t bytes = t.at(8 + 8 * uint64_t(subFile));
    if (first >= t.length)
        return Status::failure(Error::SubFileOutside);
    if (uint64_t(first) + bytes > t.length)
        return outOfRange();
    start = first;
    size = bytes;
    return Status();
}

} // namespace

Status LocateSubFile(const uint8_t* blob, uint32_t blobLength, uint32_t subFile, bool bigEndian,
                     uint32_t& start, uint32_t& size) {
    constexpr uint32_t kCountAndFirst = 8;
    if (blob == nullptr || blobLength < kCountAndFirst)
        return outOfRange();
    Table t{blob, blobLength, readU32(blob, bigEndian), bigEndian};
    uint32_t v1 = t.at(4);
    uint64_t offsetOnlyEnd = 4 * uint64_t(t.count);
    uint64_t pairsEnd = 8 * uint64_t(t.count) + 4;
    // V1 is where the table ends, so the checks against the blob length also keep every table
    // read inside the blob.
    if (v1 < offsetOnlyEnd || v1 == 0 || v1 > blobLength)
        return outOfRange();
    // The second value is a table value only when the table reaches past it; in a two-entry
    // offset-only table those bytes already belong to sub-file 0.
    if (v1 >= 12) {
        uint32_t v2 = t.at(8);
        if (v2 == 0 || v2 > blobLength)
            return outOfRange();
    }
    uint32_t first = 0, bytes = 0;
    Status status;
    if (v1 == offsetOnlyEnd)
        status = offsetOnly(t, subFile, first, bytes);
    else if (v1 == pairsEnd)
        status = offsetAndSize(t, subFile, first, bytes);
    else
        status = Status::failure(Error::BlobUnrecognised);
    if (status) {
        start = first;
        size = bytes;
    }
    return status;
}

} // namespace karv

namespace karv {

bool ReadFirstWord(const uint8_t* data, uint32_t length, bool bigEndian, uint32_t& word) {
    if (data == nullptr || length < 4)
        return false;
    word = readU32(data, bigEndian);
    return true;
}

// ---- Recognising a blob in a member's head ----

bool RecognisePackedBlob(const uint8_t* head, uint32_t headLength, uint32_t length, bool bigEndian,
                         PackedBlobTable& table) {
    if (head == nullptr || headLength < 8 || headLength > length)
        return false;
    const uint32_t count = readU32(head, bigEndian);
    if (count == 0 || count > kMaxPackedBlobFiles)
        return false;
    const uint32_t v1 = readU32(head + 4, bigEndian);
    const uint64_t pairsEnd = 8 * uint64_t(count) + 4;
    const uint64_t offsetsEnd = 4 * uint64_t(count);
    const bool pairs = v1 == pairsEnd;
    if (!pairs && !(v1 == offsetsEnd && count >= 2))
        return false;
    if (v1 > headLength)
        return false;
    uint64_t previous = v1;
    for (uint32_t i = 0; i < (pairs ? count : count - 1); ++i) {
        const uint64_t start = readU32(head + 4 + (pairs ? 8 : 4) * uint64_t(i), bigEndian);
        const uint64_t size = pairs ? readU32(head + 8 + 8 * uint64_t(i), bigEndian) : 0;
        if (start < (pairs ? v1 : previous) || start + size > length)
            return false;
        previous = start;
    }
    table = {count, pairs, length};
    return true;
}

bool PackedBlobSubFile(const uint8_t* head, const PackedBlobTable& table, bool bigEndian,
                       uint32_t subFile, uint32_t& start, uint32_t& size) {
    if (subFile >= table.count || (!table.pairs && subFile + 1 == table.count))
        return false;
    if (table.pairs) {
        start = readU32(head + 4 + 8 * uint64_t(subFile), bigEndian);
        size = readU32(head + 8 + 8 * uint64_t(subFile), bigEndian);
        return true;
    }
    start = readU32(head + 4 + 4 * uint64_t(subFile), bigEndian);
    const bool last = uint64_t(subFile) + 2 == table.count;
    const uint32_t end = last ? table.length : readU32(head + 8 + 4 * uint64_t(subFile), bigEndian);
    size = end - start;
    return true;
}

// ---- Writing ----

namespace {

// The count, then (start, size) per sub-file.
constexpr uint64_t kCountSize = 4;
constexpr uint64_t kPairSize = 8;

uint64_t roundedToFour(uint64_t size) {
    return (size + 3) / 4 * 4;
}

// Above 32 bits when the blob could not be written in one piece.
uint64_t blobLength(const std::vector<uint64_t>& listedSizes) {
    uint64_t length = kCountSize + kPairSize * listedSizes.size();
    for (uint64_t size : listedSizes) {
        if (length > UINT32_MAX || size > UINT32_MAX)
            return uint64_t(UINT32_MAX) + 1;
        length += roundedToFour(size);
    }
    return length;
}

} // namespace

Status PackedBlobWriter::start(const std::vector<uint64_t>& listedSizes) {
    const uint64_t length = blobLength(listedSizes);
    if (length > UINT32_MAX)
        return Status::failure(Error::TooLarge, msg::kDataTooLong);
    return guardMemory([&] {
        blob_.assign(size_t(length), 0);
        listed_ = listedSizes;
        next_ = 0;
        position_ = kCountSize + kPairSize * listedSizes.size();
        writeU32(blob_.data(), uint32_t(listedSizes.size()), false);
        return Status();
    });
}

// The listing sized the blob: a sub-file that has grown since would not fit.
Status PackedBlobWriter::add(const uint8_t* data, uint32_t size) {
    if (next_ >= listed_.size())
        return Status::failure(Error::TooManySubFiles);
    if (size > listed_[next_])
        return Status::failure(Error::SubFileGrew);
    uint8_t* pair = blob_.data() + kCountSize + kPairSize * next_;
    writeU32(pair, uint32_t(position_), false);
    writeU32(pair + 4, size, false);
    if (size > 0)
        std::memcpy(blob_.data() + position_, data, size);
    position_ += size;
    ++next_;
    return Status();
}

} // namespace karv
