#include "container_common.h"

#include "boundary.h"
#include "byte_io.h"
#include "karvcore/karvcore.h"
#include "messages.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace karv::container {
namespace {

constexpr uint8_t kZlibFirstByte = 0x78;
// Deflate turns one byte into at most 1032 (a 258-byte match in two one-bit codes), so a
// container of n bytes can never inflate to more than 1032 n.
constexpr uint64_t kMaxInflateRatio = 1032;
// Largest chunk whose compressBound still fits in zlib's 32-bit lengths on Windows, with room
// for the record's length field.
constexpr uint32_t kMaxChunkLength = 0xFFE00000;
// The largest unit a used length is raised to (Z54's 2048).
constexpr uint32_t kMaxPaddedUnit = 2048;

Status fail(const wchar_t* message) {
    return Status::failure(kCompressorFailed, message);
}

uint32_t chunkLength(uint32_t i, uint32_t length, uint32_t chunkSize) {
    uint64_t start = uint64_t(i) * chunkSize;
    return uint32_t(std::min<uint64_t>(chunkSize, length - start));
}

} // namespace

// ---- Writing ----

bool ChunkDeflater::compress(const uint8_t* input, uint32_t length, uint8_t* out, uLong room,
                             int level, uLong& written) {
    if (!start(level))
        return false;
    stream_.next_in = const_cast<Bytef*>(input);
    stream_.avail_in = length;
    stream_.next_out = out;
    stream_.avail_out = uInt(room);
    if (deflate(&stream_, Z_FINISH) != Z_STREAM_END)
        return false;
    written = stream_.total_out;
    return true;
}

bool ChunkDeflater::start(int level) {
    if (ready_ && level == level_)
        return deflateReset(&stream_) == Z_OK;
    end();
    stream_ = z_stream{};
    if (deflateInit(&stream_, level) != Z_OK)
        return false;
    ready_ = true;
    level_ = level;
    return true;
}

void ChunkDeflater::end() {
    if (ready_)
        deflateEnd(&stream_);
    ready_ = false;
}

Status countChunks(uint32_t length, uint32_t chunkSize, uint32_t& count) {
    if (length == 0)
        return fail(msg::kDataLengthZero);
    if (chunkSize == 0)
        return fail(msg::kChunkSizeZero);
    count = length / chunkSize + (length % chunkSize != 0 ? 1 : 0);
    if (count > kMaxChunks)
        return fail(msg::kDataTooLong);
    return Status();
}

Status ContainerWriter::reserve(const uint8_t* input, uint32_t length, uint32_t chunkSize,
                                uint32_t count, uint64_t firstRecord, uint32_t recordAlign) {
    // Worst case: every stream as long as compressBound allows. Only the final lengths must fit
    // in 32 bits; this bound may not.
    uint64_t worst = firstRecord;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t chunk = chunkLength(i, length, chunkSize);
        if (chunk > kMaxChunkLength)
            return fail(msg::kDataTooLong);
        worst += alignUp(kLengthFieldSize + uint64_t(compressBound(chunk)), recordAlign);
    }
    worst = alignUp(worst + kLengthFieldSize, kMaxPaddedUnit);
    if (worst > SIZE_MAX)
        return fail(msg::kDataTooLong);
    block_.reset(static_cast<uint8_t*>(std::malloc(size_t(worst))));
    if (!block_)
        return fail(msg::kOutOfMemory);
    std::memset(block_.get(), 0, size_t(firstRecord));
    capacity_ = worst;
    input_ = input;
    length_ = length;
    chunkSize_ = chunkSize;
    next_ = 0;
    recordAlign_ = recordAlign;
    pos_ = firstRecord;
    return Status();
}

Status ContainerWriter::compressNext(int level, bool bigEndian, uint32_t& streamLength) {
    uint32_t chunk = chunkLength(next_, length_, chunkSize_);
    uint8_t* record = block_.get() + pos_;
    uLong written = 0;
    if (!deflater_.compress(input_ + uint64_t(next_) * chunkSize_, chunk, record + kLengthFieldSize,
                            compressBound(chunk), level, written))
        return fail(msg::kCompressFailed);
    streamLength = uint32_t(written);
    writeU32(record, streamLength, bigEndian);
    uint64_t end = pos_ + kLengthFieldSize + streamLength;
    pos_ = alignUp(end, recordAlign_);
    std::memset(block_.get() + end, 0, size_t(pos_ - end));
    ++next_;
    return Status();
}

Status ContainerWriter::finish(uint32_t trailingZeros, uint32_t paddedUnit, uint8_t*& out,
                               uint32_t* usedLength, uint32_t* paddedLength) {
    uint64_t used = pos_ + trailingZeros;
    uint64_t padded = alignUp(used, paddedUnit);
    if (padded > UINT32_MAX)
        return fail(msg::kDataTooLong);
    std::memset(block_.get() + pos_, 0, size_t(padded - pos_));
    // Give back the unused worst-case room; a block that cannot shrink is still a good one.
    uint8_t* data = block_.release();
    if (padded < capacity_) {
        if (auto* smaller = static_cast<uint8_t*>(std::realloc(data, size_t(padded))))
            data = smaller;
    }
    out = data;
    *usedLength = uint32_t(used);
    *paddedLength = uint32_t(padded);
    return Status();
}

Status compressTableContainer(const TableLayout& layout, const uint8_t* input, uint32_t length,
                              bool bigEndian, int level, ContainerWriter& writer, uint32_t& count) {
    if (Status status = countChunks(length, layout.chunkSize, count); !status)
        return status;
    uint64_t firstRecord =
        alignUp(layout.headerSize + uint64_t(kLengthFieldSize) * count, layout.tableAlign);
    if (Status status =
            writer.reserve(input, length, layout.chunkSize, count, firstRecord, kRecordAlign);
        !status)
        return status;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t streamLength = 0;
        if (Status status = writer.compressNext(level, bigEndian, streamLength); !status)
            return status;
        writeU32(writer.data() + layout.headerSize + kLengthFieldSize * i,
                 kLengthFieldSize + streamLength, bigEndian);
    }
    return Status();
}

// ---- Reading ----

bool recordFits(uint64_t pos, uint32_t length, uint32_t containerLength) {
    return pos + kLengthFieldSize + length <= containerLength;
}

Status corrupt() {
    return Status::failure(kCorruptData, msg::kDecompressFailed);
}

Status Output::allocate(uint32_t total, uint32_t containerLength) {
    if (total > kMaxInflateRatio * containerLength)
        return Status::failure(kWrongTotal, msg::kDecompressedSizeWrong);
    // Not zeroed: a success has written every byte, and a failure frees the block. One spare byte
    // keeps an empty result a valid block (malloc(0) may return null).
    data_.reset(static_cast<uint8_t*>(std::malloc(total != 0 ? total : 1)));
    if (!data_)
        return Status::failure(kNoMemory, msg::kOutOfMemory);
    total_ = total;
    produced_ = 0;
    return Status();
}

Status Output::inflateChunk(const uint8_t* stream, uint32_t length, uint32_t capacity) {
    capacity = std::min(capacity, total_ - produced_);
    // uncompress quietly drops a lone byte when given no room, so an exhausted output gets a
    // spare byte of its own and any byte landing there is a chunk too many.
    uint8_t spare = 0;
    uint8_t* dest = capacity != 0 ? data_.get() + produced_ : &spare;
    uLongf inflated = capacity != 0 ? capacity : 1;
    if (uncompress(dest, &inflated, stream, length) != Z_OK || inflated > capacity)
        return corrupt();
    produced_ += uint32_t(inflated);
    return Status();
}

Status Output::copyStored(const uint8_t* bytes, uint32_t length) {
    if (length > total_ - produced_)
        return corrupt();
    std::memcpy(data_.get() + produced_, bytes, length);
    produced_ += length;
    return Status();
}

Status Output::takeChunk(const uint8_t* bytes, uint32_t length, uint32_t capacity,
                         ChunkKind& kind) {
    if (bytes[0] == kZlibFirstByte) {
        kind = ChunkKind::Inflated;
        return inflateChunk(bytes, length, capacity);
    }
    if (length >= total_ || produced_ >= total_) {
        kind = ChunkKind::Ignored;
        return Status();
    }
    kind = ChunkKind::Stored;
    return copyStored(bytes, length);
}

Status Output::finish(uint8_t*& out, uint32_t* outLength) {
    if (produced_ != total_)
        return Status::failure(kWrongTotal, msg::kDecompressedSizeWrong);
    out = data_.release();
    *outLength = total_;
    return Status();
}

int32_t deliver(const Status& walked, Output& output, uint8_t*& out, uint32_t* outLength) {
    Status status = walked.ok() ? output.finish(out, outLength) : walked;
    if (status.ok())
        return 0;
    out = nullptr;
    if (status.code() == kWrongTotal)
        *outLength = 0;
    return reportStatus(status);
}

int32_t refuseTruncated(uint8_t*& out) {
    out = nullptr;
    return reportStatus(corrupt());
}

namespace {

Status walkTable(const TableHeader& header, const uint8_t* container, uint32_t containerLength,
                 bool bigEndian, Output& output) {
    uint64_t pos =
        alignUp(header.tableOffset + uint64_t(kLengthFieldSize) * header.count, header.tableAlign);
    for (uint32_t i = 0; i < header.count; ++i) {
        uint32_t recordSize =
            readU32(container + header.tableOffset + kLengthFieldSize * uint64_t(i), bigEndian);
        if (recordSize < kLengthFieldSize)
            return corrupt();
        uint32_t length = recordSize - kLengthFieldSize;
        if (length == 0)
            continue;
        if (!recordFits(pos, length, containerLength))
            return corrupt();
        ChunkKind kind;
        const uint8_t* bytes = container + pos + kLengthFieldSize;
        if (Status status = output.takeChunk(bytes, length, header.chunkCapacity, kind); !status)
            return status;
        // A stored chunk moves the position by its length alone: stored files are laid out so.
        if (kind == ChunkKind::Inflated)
            pos = alignUp(pos + kLengthFieldSize + length, kRecordAlign);
        else if (kind == ChunkKind::Stored)
            pos += length;
    }
    return Status();
}

} // namespace

int32_t decompressTableContainer(const TableHeader& header, const uint8_t* container,
                                 uint32_t containerLength, bool bigEndian, uint8_t*& out,
                                 uint32_t* outLength) {
    uint64_t tableEnd = header.tableOffset + uint64_t(kLengthFieldSize) * header.count;
    if (tableEnd > containerLength)
        return refuseTruncated(out);
    Output output;
    Status status = output.allocate(header.total, containerLength);
    if (status.ok())
        status = walkTable(header, container, containerLength, bigEndian, output);
    return deliver(status, output, out, outLength);
}

} // namespace karv::container
