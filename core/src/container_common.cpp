#include "container_common.h"

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

int32_t fail(const wchar_t* message) {
    SetMessageQX(message);
    return -1;
}

} // namespace

// ---- Writing ----

namespace {

uint32_t chunkLength(uint32_t i, uint32_t length, uint32_t chunkSize) {
    uint64_t start = uint64_t(i) * chunkSize;
    return uint32_t(std::min<uint64_t>(chunkSize, length - start));
}

} // namespace

int32_t CompressedChunks::reserve(uint32_t length, uint32_t chunkSize) {
    uint32_t count = length / chunkSize + (length % chunkSize != 0 ? 1 : 0);
    if (count > kMaxChunks)
        return fail(msg::kDataTooLong);
    offsets_.reserve(count);
    lengths_.reserve(count);
    uint64_t scratchSize = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t chunk = chunkLength(i, length, chunkSize);
        if (chunk > kMaxChunkLength)
            return fail(msg::kDataTooLong);
        offsets_.push_back(size_t(scratchSize));
        lengths_.push_back(uint32_t(compressBound(chunk)));
        scratchSize += lengths_.back();
        if (scratchSize > SIZE_MAX)
            return fail(msg::kDataTooLong);
    }
    scratch_.reset(static_cast<uint8_t*>(std::malloc(size_t(scratchSize))));
    if (!scratch_)
        return fail(msg::kOutOfMemory);
    return 0;
}

int32_t CompressedChunks::compress(const uint8_t* input, uint32_t length, uint32_t chunkSize,
                                   int level) {
    if (length == 0)
        return fail(msg::kDataLengthZero);
    if (chunkSize == 0)
        return fail(msg::kChunkSizeZero);
    if (int32_t status = reserve(length, chunkSize))
        return status;
    // lengths_ holds each chunk's bound until compress2 replaces it with the stream's length.
    for (uint32_t i = 0; i < count(); ++i) {
        uLongf streamLength = lengths_[i];
        const uint8_t* chunk = input + uint64_t(i) * chunkSize;
        if (compress2(scratch_.get() + offsets_[i], &streamLength, chunk,
                      chunkLength(i, length, chunkSize), level) != Z_OK)
            return fail(msg::kCompressFailed);
        lengths_[i] = uint32_t(streamLength);
    }
    return 0;
}

int32_t allocateContainer(uint64_t usedLength, uint32_t paddedUnit, Container& out) {
    uint32_t padded = 0;
    if (usedLength > UINT32_MAX || !roundUp(usedLength, paddedUnit, padded))
        return fail(msg::kDataTooLong);
    out.data.reset(static_cast<uint8_t*>(std::calloc(padded, 1)));
    if (!out.data)
        return fail(msg::kOutOfMemory);
    out.usedLength = uint32_t(usedLength);
    out.paddedLength = padded;
    return 0;
}

void writeRecord(uint8_t* at, const CompressedChunks& chunks, uint32_t i, bool bigEndian) {
    writeU32(at, chunks.length(i), bigEndian);
    std::memcpy(at + kLengthFieldSize, chunks.data(i), chunks.length(i));
}

int32_t layOutTableContainer(const CompressedChunks& chunks, uint32_t headerSize,
                             uint32_t tableAlign, bool bigEndian, Container& out) {
    uint32_t count = chunks.count();
    uint64_t firstRecord = alignUp(headerSize + uint64_t(kLengthFieldSize) * count, tableAlign);
    uint64_t used = firstRecord;
    for (uint32_t i = 0; i < count; ++i)
        used += alignUp(uint64_t(kLengthFieldSize) + chunks.length(i), kRecordAlign);
    if (int32_t status = allocateContainer(used, kTablePaddedUnit, out))
        return status;
    uint8_t* data = out.data.get();
    uint64_t pos = firstRecord;
    for (uint32_t i = 0; i < count; ++i) {
        writeU32(data + headerSize + kLengthFieldSize * i, kLengthFieldSize + chunks.length(i),
                 bigEndian);
        writeRecord(data + pos, chunks, i, bigEndian);
        pos += alignUp(uint64_t(kLengthFieldSize) + chunks.length(i), kRecordAlign);
    }
    return 0;
}

int32_t handOver(Container& container, uint8_t*& out, uint32_t* usedLength,
                 uint32_t* paddedLength) {
    *usedLength = container.usedLength;
    *paddedLength = container.paddedLength;
    out = container.data.release();
    return 0;
}

// ---- Reading ----

bool recordFits(uint64_t pos, uint32_t length, uint32_t containerLength) {
    return pos + kLengthFieldSize + length <= containerLength;
}

int32_t Output::allocate(uint32_t total, uint32_t containerLength) {
    if (total > kMaxInflateRatio * containerLength)
        return -2;
    // Not zeroed: a success has written every byte, and a failure frees the block. One spare byte
    // keeps an empty result a valid block (malloc(0) may return null).
    data_.reset(static_cast<uint8_t*>(std::malloc(total != 0 ? total : 1)));
    if (!data_)
        return -10;
    total_ = total;
    produced_ = 0;
    return 0;
}

int32_t Output::inflateChunk(const uint8_t* stream, uint32_t length, uint32_t capacity) {
    capacity = std::min(capacity, total_ - produced_);
    // uncompress quietly drops a lone byte when given no room, so an exhausted output gets a
    // spare byte of its own and any byte landing there is a chunk too many.
    uint8_t spare = 0;
    uint8_t* dest = capacity != 0 ? data_.get() + produced_ : &spare;
    uLongf inflated = capacity != 0 ? capacity : 1;
    if (uncompress(dest, &inflated, stream, length) != Z_OK || inflated > capacity)
        return -1;
    produced_ += uint32_t(inflated);
    return 0;
}

int32_t Output::copyStored(const uint8_t* bytes, uint32_t length) {
    if (length > total_ - produced_)
        return -1;
    std::memcpy(data_.get() + produced_, bytes, length);
    produced_ += length;
    return 0;
}

int32_t Output::takeChunk(const uint8_t* bytes, uint32_t length, uint32_t capacity,
                          ChunkKind& kind) {
    if (bytes[0] == kZlibFirstByte) {
        kind = ChunkKind::Inflated;
        return inflateChunk(bytes, length, capacity);
    }
    if (length >= total_ || produced_ >= total_) {
        kind = ChunkKind::Ignored;
        return 0;
    }
    kind = ChunkKind::Stored;
    return copyStored(bytes, length);
}

int32_t Output::finish(uint8_t*& out, uint32_t* outLength) {
    if (produced_ != total_)
        return -2;
    out = data_.release();
    *outLength = total_;
    return 0;
}

int32_t deliver(int32_t status, Output& output, uint8_t*& out, uint32_t* outLength) {
    if (status == 0)
        status = output.finish(out, outLength);
    if (status == 0)
        return 0;
    out = nullptr;
    if (status == -2) {
        *outLength = 0;
        SetMessageQX(msg::kDecompressedSizeWrong);
    } else {
        SetMessageQX(status == -10 ? msg::kOutOfMemory : msg::kDecompressFailed);
    }
    return status;
}

int32_t refuseTruncated(uint8_t*& out) {
    out = nullptr;
    return fail(msg::kDecompressFailed);
}

namespace {

int32_t walkTable(const TableHeader& header, const uint8_t* container, uint32_t containerLength,
                  bool bigEndian, Output& output) {
    uint64_t pos =
        alignUp(header.tableOffset + uint64_t(kLengthFieldSize) * header.count, header.tableAlign);
    for (uint32_t i = 0; i < header.count; ++i) {
        uint32_t recordSize =
            readU32(container + header.tableOffset + kLengthFieldSize * uint64_t(i), bigEndian);
        if (recordSize < kLengthFieldSize)
            return -1;
        uint32_t length = recordSize - kLengthFieldSize;
        if (length == 0)
            continue;
        if (!recordFits(pos, length, containerLength))
            return -1;
        ChunkKind kind;
        const uint8_t* bytes = container + pos + kLengthFieldSize;
        if (int32_t status = output.takeChunk(bytes, length, header.chunkCapacity, kind))
            return status;
        // A stored chunk moves the position by its length alone: stored files are laid out so.
        if (kind == ChunkKind::Inflated)
            pos = alignUp(pos + kLengthFieldSize + length, kRecordAlign);
        else if (kind == ChunkKind::Stored)
            pos += length;
    }
    return 0;
}

} // namespace

int32_t decompressTableContainer(const TableHeader& header, const uint8_t* container,
                                 uint32_t containerLength, bool bigEndian, uint8_t*& out,
                                 uint32_t* outLength) {
    uint64_t tableEnd = header.tableOffset + uint64_t(kLengthFieldSize) * header.count;
    if (tableEnd > containerLength)
        return refuseTruncated(out);
    Output output;
    int32_t status = output.allocate(header.total, containerLength);
    if (status == 0)
        status = walkTable(header, container, containerLength, bigEndian, output);
    return deliver(status, output, out, outLength);
}

} // namespace karv::container
