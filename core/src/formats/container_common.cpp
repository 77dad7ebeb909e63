#include "formats/container_common.h"

#include "boundary/boundary.h"
#include "boundary/messages.h"
#include "formats/byte_io.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace karv::container {
namespace {

// Deflate turns one byte into at most 1032 (a 258-byte match in two one-bit codes), so a
// container of n bytes can never inflate to more than 1032 n.
constexpr uint64_t kMaxInflateRatio = 1032;
// Largest chunk whose bound still fits in zlib's 32-bit lengths on Windows, with room for the
// record's length field.
constexpr uint32_t kMaxChunkLength = 0xFFE00000;
// The largest unit a used length is raised to (Z54's 2048).
constexpr uint32_t kMaxPaddedUnit = 2048;
// Below this much data (a compressor's input, a decompressor's container) a call stays on the
// calling thread: starting and joining threads costs more than they save. Measured on two cores
// (codec_bench): sharing a Z54 member's chunks pays from 128 KiB of input when compressing at
// level 1 and from 256 KiB of output when decompressing.
constexpr uint64_t kThreadsPayFrom = 256u << 10;
std::atomic<uint64_t> threadsPayFrom{kThreadsPayFrom};

Status fail(const wchar_t* message) {
    return Status::failure(Error::CompressFailed, message);
}

uint32_t chunkLength(uint32_t i, uint32_t length, uint32_t chunkSize) {
    uint64_t start = uint64_t(i) * chunkSize;
    return uint32_t(std::min<uint64_t>(chunkSize, length - start));
}

// Where each record may start at the latest: every stream before it as long as the bound
// allows. The block holds the last of them; the final length must fit in 32 bits, this need not.
Status worstCaseSlots(const RecordLayout& layout, uint32_t length, std::vector<uint64_t>& slots,
                      uint64_t& worst) {
    slots.resize(layout.count);
    worst = layout.firstRecord;
    for (uint32_t i = 0; i < layout.count; ++i) {
        uint32_t chunk = chunkLength(i, length, layout.chunkSize);
        if (chunk > kMaxChunkLength)
            return fail(msg::kDataTooLong);
        slots[i] = worst;
        worst += alignUp(kLengthFieldSize + codec::StreamCodec::bound(chunk), layout.recordAlign);
    }
    worst = alignUp(worst + std::max(layout.trailingZeros, kLengthFieldSize), kMaxPaddedUnit);
    if (worst > SIZE_MAX)
        return fail(msg::kDataTooLong);
    return Status();
}

// A record's length field and the zero fill behind its stream; the next record's position.
uint64_t closeRecord(uint8_t* block, uint64_t pos, uint32_t streamLength, uint32_t recordAlign,
                     bool bigEndian) {
    writeU32(block + pos, streamLength, bigEndian);
    uint64_t end = pos + kLengthFieldSize + streamLength;
    uint64_t next = alignUp(end, recordAlign);
    std::memset(block + end, 0, size_t(next - end));
    return next;
}

// Each chunk into the slot it may fill at the latest, side by side; then the records are moved
// down into place in order (a record never moves up), as the sequential writer lays them out.
Status writeOnThreads(const uint8_t* input, uint32_t length, const RecordLayout& layout, int level,
                      bool bigEndian, const std::vector<uint64_t>& slots, WorkerPool& pool,
                      uint8_t* block, std::vector<uint32_t>& streamLengths, uint64_t& end) {
    std::atomic<bool> failed{false};
    bool enoughMemory = pool.forEach(layout.count, [&](size_t i, codec::StreamCodec& codec) {
        uint32_t chunk = chunkLength(uint32_t(i), length, layout.chunkSize);
        if (!codec.deflate(input + uint64_t(i) * layout.chunkSize, chunk, level,
                           block + slots[i] + kLengthFieldSize, codec::StreamCodec::bound(chunk),
                           streamLengths[i]))
            failed = true;
    });
    if (!enoughMemory)
        return fail(msg::kOutOfMemory);
    if (failed)
        return fail(msg::kCompressFailed);
    uint64_t pos = layout.firstRecord;
    for (uint32_t i = 0; i < layout.count; ++i) {
        std::memmove(block + pos + kLengthFieldSize, block + slots[i] + kLengthFieldSize,
                     streamLengths[i]);
        pos = closeRecord(block, pos, streamLengths[i], layout.recordAlign, bigEndian);
    }
    end = pos;
    return Status();
}

Status writeHere(const uint8_t* input, uint32_t length, const RecordLayout& layout, int level,
                 bool bigEndian, codec::StreamCodec& codec, uint8_t* block,
                 std::vector<uint32_t>& streamLengths, uint64_t& end) {
    uint64_t pos = layout.firstRecord;
    for (uint32_t i = 0; i < layout.count; ++i) {
        uint32_t chunk = chunkLength(i, length, layout.chunkSize);
        if (!codec.deflate(input + uint64_t(i) * layout.chunkSize, chunk, level,
                           block + pos + kLengthFieldSize, codec::StreamCodec::bound(chunk),
                           streamLengths[i]))
            return fail(msg::kCompressFailed);
        pos = closeRecord(block, pos, streamLengths[i], layout.recordAlign, bigEndian);
    }
    end = pos;
    return Status();
}

} // namespace

std::unique_ptr<WorkerPool> poolFor(uint64_t bytes, uint32_t chunks) {
    unsigned threads = workerThreads();
    if (threads < 2 || chunks < 2 || bytes < threadsPayFrom.load(std::memory_order_relaxed))
        return nullptr;
    return std::make_unique<WorkerPool>(std::min<uint64_t>(threads, chunks));
}

// ---- Writing ----

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

Status writeRecords(const uint8_t* input, uint32_t length, const RecordLayout& layout, int level,
                    bool bigEndian, codec::StreamCodec& codec, WorkerPool* pool, Block& out,
                    std::vector<uint32_t>& streamLengths, uint32_t& used, uint32_t& padded) {
    std::vector<uint64_t> slots;
    uint64_t worst = 0;
    if (Status status = worstCaseSlots(layout, length, slots, worst); !status)
        return status;
    if (!out.reserve(worst))
        return fail(msg::kOutOfMemory);
    uint8_t* block = out.data.get();
    std::memset(block, 0, size_t(layout.firstRecord));
    streamLengths.assign(layout.count, 0);
    uint64_t end = 0;
    Status status =
        pool != nullptr && pool->threads() > 1 && layout.count > 1
            ? writeOnThreads(input, length, layout, level, bigEndian, slots, *pool, block,
                             streamLengths, end)
            : writeHere(input, length, layout, level, bigEndian, codec, block, streamLengths, end);
    if (!status)
        return status;
    uint64_t usedLength = end + layout.trailingZeros;
    uint64_t paddedLength = alignUp(usedLength, layout.paddedUnit);
    if (paddedLength > UINT32_MAX)
        return fail(msg::kDataTooLong);
    std::memset(block + end, 0, size_t(paddedLength - end));
    used = uint32_t(usedLength);
    padded = uint32_t(paddedLength);
    return Status();
}

Status compressTableContainer(const TableLayout& layout, const uint8_t* input, uint32_t length,
                              bool bigEndian, int level, codec::StreamCodec& codec,
                              WorkerPool* pool, Block& out, uint32_t& count, uint32_t& used,
                              uint32_t& padded) {
    if (Status status = countChunks(length, layout.chunkSize, count); !status)
        return status;
    RecordLayout records;
    records.chunkSize = layout.chunkSize;
    records.count = count;
    records.firstRecord =
        alignUp(layout.headerSize + uint64_t(kLengthFieldSize) * count, layout.tableAlign);
    records.recordAlign = kRecordAlign;
    records.paddedUnit = kTablePaddedUnit;
    std::vector<uint32_t> streamLengths;
    if (Status status = writeRecords(input, length, records, level, bigEndian, codec, pool, out,
                                     streamLengths, used, padded);
        !status)
        return status;
    for (uint32_t i = 0; i < count; ++i)
        writeU32(out.data.get() + layout.headerSize + kLengthFieldSize * i,
                 kLengthFieldSize + streamLengths[i], bigEndian);
    return Status();
}

Status compressMember(const ContainerKind& kind, const uint8_t* input, uint32_t length,
                      uint32_t chunkSize, bool bigEndian, int level, Block& out, uint32_t& used,
                      uint32_t& padded) {
    const uint32_t chunk = kind.chunkSizeFromCaller ? chunkSize : kind.chunkSize;
    const uint32_t chunks = chunk == 0 ? 0 : length / chunk + 1;
    return onThreads(length, chunks, [&](codec::StreamCodec& codec, WorkerPool* pool) {
        return engineOf(kind).compress(input, length, chunk, bigEndian, level, codec, pool, out,
                                       used, padded);
    });
}

Status decompressMember(const ContainerKind& kind, const uint8_t* container, uint32_t length,
                        bool bigEndian, Block& out, uint32_t& total) {
    return onThreads(length, kMaxChunks, [&](codec::StreamCodec& codec, WorkerPool* pool) {
        return engineOf(kind).decompress(container, length, bigEndian, codec, pool, out, total);
    });
}

// ---- Reading ----

Status corrupt() {
    return Status::failure(Error::CorruptData, msg::kDecompressFailed);
}

bool recordFits(uint64_t pos, uint32_t length, uint32_t containerLength) {
    return pos + kLengthFieldSize + length <= containerLength;
}

bool plausibleTotal(uint32_t total, uint32_t containerLength) {
    return total <= kMaxInflateRatio * containerLength;
}

Status reserveOutput(uint32_t total, uint32_t containerLength, Block& out) {
    if (!plausibleTotal(total, containerLength))
        return Status::failure(Error::WrongTotal, msg::kDecompressedSizeWrong);
    // Not zeroed: a success has written every byte, and a failure drops the bytes.
    if (!out.reserve(total))
        return Status::failure(Error::OutOfMemory, msg::kOutOfMemory);
    return Status();
}

Status Output::takeChunk(const uint8_t* bytes, uint32_t length, uint32_t capacity, ChunkKind& kind,
                         codec::StreamCodec& codec) {
    if (bytes[0] == kZlibFirstByte) {
        kind = ChunkKind::Inflated;
        uint32_t made = 0;
        if (!codec.inflate(bytes, length, at(), std::min(capacity, total_ - produced_), made))
            return corrupt();
        produced_ += made;
        return Status();
    }
    if (length >= total_ || produced_ >= total_) {
        kind = ChunkKind::Ignored;
        return Status();
    }
    kind = ChunkKind::Stored;
    if (length > total_ - produced_)
        return corrupt();
    if (!discard_)
        std::memcpy(data_ + produced_, bytes, length);
    produced_ += length;
    return Status();
}

Status Output::finish() const {
    if (produced_ != total_)
        return Status::failure(Error::WrongTotal, msg::kDecompressedSizeWrong);
    return Status();
}

bool DecodePlan::add(const uint8_t* bytes, uint32_t length, ChunkKind& kind) {
    if (bytes[0] == kZlibFirstByte) {
        kind = ChunkKind::Inflated;
        uint32_t expected = std::min(chunkSize_, total_ - produced_);
        chunks_.push_back({bytes, length, produced_, expected, false});
        produced_ += expected;
        return true;
    }
    if (length >= total_ || produced_ >= total_) {
        kind = ChunkKind::Ignored;
        return true;
    }
    kind = ChunkKind::Stored;
    if (length > total_ - produced_)
        return false;
    chunks_.push_back({bytes, length, produced_, length, true});
    produced_ += length;
    return true;
}

bool DecodePlan::run(uint8_t* out, WorkerPool& pool) const {
    if (produced_ != total_)
        return false;
    std::atomic<bool> differs{false};
    bool enoughMemory = pool.forEach(chunks_.size(), [&](size_t i, codec::StreamCodec& codec) {
        const PlannedChunk& chunk = chunks_[i];
        if (chunk.stored) {
            std::memcpy(out + chunk.at, chunk.bytes, chunk.length);
            return;
        }
        uint32_t made = 0;
        if (!codec.inflate(chunk.bytes, chunk.length, out + chunk.at, chunk.expected, made) ||
            made != chunk.expected)
            differs = true;
    });
    return enoughMemory && !differs;
}

namespace {

// The table walk, either to plan (where a writer's chunks land) or to decode chunk by chunk.
template <typename TakeChunk>
Status walkTable(const TableHeader& header, const uint8_t* container, uint32_t containerLength,
                 bool bigEndian, TakeChunk&& take) {
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
        if (Status status = take(container + pos + kLengthFieldSize, length, kind); !status)
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

Status decodeFirstChunk(const uint8_t* bytes, uint32_t length, uint32_t chunkCapacity,
                        uint32_t total, uint32_t limit, codec::StreamCodec& codec, uint8_t* out,
                        uint32_t& made) {
    made = 0;
    const uint32_t chunk = std::min(chunkCapacity, total);
    if (bytes[0] == kZlibFirstByte) {
        // A whole chunk is checked to its end, as the whole decode would check it.
        const bool whole = chunk <= limit;
        if (!(whole ? codec.inflate(bytes, length, out, chunk, made)
                    : codec.inflatePrefix(bytes, length, out, limit, made)))
            return corrupt();
        return Status();
    }
    if (length >= total)
        return Status();
    made = std::min(length, limit);
    std::memcpy(out, bytes, made);
    return Status();
}

namespace {

TableHeader readTableHeader(const TableFields& fields, const uint8_t* container, bool bigEndian) {
    TableHeader header;
    header.total = readU32(container + fields.total, bigEndian);
    header.chunkCapacity = readU32(container + fields.chunkCapacity, bigEndian);
    header.count = readU32(container + fields.count, bigEndian);
    header.tableOffset = fields.headerSize;
    header.tableAlign = fields.tableAlign;
    return header;
}

} // namespace

Status decodeTableHead(const TableFields& fields, const uint8_t* container, uint32_t available,
                       uint32_t length, bool bigEndian, uint32_t limit, codec::StreamCodec& codec,
                       uint8_t* out, ContainerHead& head) {
    if (length < fields.headerSize)
        return corrupt();
    head = ContainerHead();
    if (available < fields.headerSize) {
        head.needed = fields.headerSize;
        return Status();
    }
    const TableHeader header = readTableHeader(fields, container, bigEndian);
    head.total = header.total;
    const uint64_t tableEnd = header.tableOffset + uint64_t(kLengthFieldSize) * header.count;
    if (tableEnd > length)
        return corrupt();
    if (!plausibleTotal(header.total, length))
        return Status::failure(Error::WrongTotal, msg::kDecompressedSizeWrong);
    // The records follow the table; a record of zero bytes holds nothing and moves nothing.
    const uint64_t pos = alignUp(tableEnd, header.tableAlign);
    for (uint32_t i = 0; i < header.count; ++i) {
        const uint64_t field = header.tableOffset + uint64_t(kLengthFieldSize) * i;
        if (field + kLengthFieldSize > available) {
            head.needed = field + kLengthFieldSize;
            return Status();
        }
        const uint32_t recordSize = readU32(container + field, bigEndian);
        if (recordSize < kLengthFieldSize)
            return corrupt();
        const uint32_t bytes = recordSize - kLengthFieldSize;
        if (bytes == 0)
            continue;
        if (!recordFits(pos, bytes, length))
            return corrupt();
        if (pos + kLengthFieldSize + bytes > available) {
            head.needed = pos + kLengthFieldSize + bytes;
            return Status();
        }
        return decodeFirstChunk(container + pos + kLengthFieldSize, bytes, header.chunkCapacity,
                                header.total, limit, codec, out, head.length);
    }
    // No chunk: only an empty member is whole.
    if (header.total != 0)
        return Status::failure(Error::WrongTotal, msg::kDecompressedSizeWrong);
    return Status();
}

Status reserveScratch(uint32_t total, uint32_t chunkCapacity, uint32_t containerLength,
                      Block& scratch) {
    if (!plausibleTotal(total, containerLength))
        return Status::failure(Error::WrongTotal, msg::kDecompressedSizeWrong);
    if (!scratch.reserve(std::min(total, chunkCapacity)))
        return Status::failure(Error::OutOfMemory, msg::kOutOfMemory);
    return Status();
}

Status checkTableContainer(const TableFields& fields, const uint8_t* container,
                           uint32_t containerLength, bool bigEndian, codec::StreamCodec& codec,
                           Block& scratch, uint32_t& total) {
    if (containerLength < fields.headerSize)
        return corrupt();
    const TableHeader header = readTableHeader(fields, container, bigEndian);
    total = header.total;
    uint64_t tableEnd = header.tableOffset + uint64_t(kLengthFieldSize) * header.count;
    if (tableEnd > containerLength)
        return corrupt();
    if (Status status =
            reserveScratch(header.total, header.chunkCapacity, containerLength, scratch);
        !status)
        return status;
    Output output = Output::discarding(scratch, header.total);
    Status status =
        walkTable(header, container, containerLength, bigEndian,
                  [&](const uint8_t* bytes, uint32_t length, ChunkKind& kind) {
                      return output.takeChunk(bytes, length, header.chunkCapacity, kind, codec);
                  });
    return status ? output.finish() : status;
}

Status decompressTableContainer(const TableFields& fields, const uint8_t* container,
                                uint32_t containerLength, bool bigEndian, codec::StreamCodec& codec,
                                WorkerPool* pool, Block& out, uint32_t& total) {
    if (containerLength < fields.headerSize)
        return corrupt();
    const TableHeader header = readTableHeader(fields, container, bigEndian);
    total = header.total;
    uint64_t tableEnd = header.tableOffset + uint64_t(kLengthFieldSize) * header.count;
    if (tableEnd > containerLength)
        return corrupt();
    if (Status status = reserveOutput(header.total, containerLength, out); !status)
        return status;
    if (pool != nullptr) {
        DecodePlan plan(header.total, header.chunkCapacity);
        Status planned = walkTable(header, container, containerLength, bigEndian,
                                   [&](const uint8_t* bytes, uint32_t length, ChunkKind& kind) {
                                       return plan.add(bytes, length, kind) ? Status() : corrupt();
                                   });
        if (planned && plan.size() > 1 && plan.run(out.data.get(), *pool))
            return Status();
    }
    Output output(out, header.total);
    Status status =
        walkTable(header, container, containerLength, bigEndian,
                  [&](const uint8_t* bytes, uint32_t length, ChunkKind& kind) {
                      return output.takeChunk(bytes, length, header.chunkCapacity, kind, codec);
                  });
    return status ? output.finish() : status;
}

} // namespace karv::container

void karv::SetParallelThreshold(uint64_t bytes) {
    container::threadsPayFrom.store(bytes == 0 ? container::kThreadsPayFrom : bytes,
                                    std::memory_order_relaxed);
}
