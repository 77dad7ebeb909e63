// The Z54 container: the total, then records of 32 KiB chunks back to back, ended by a zero
// record length. No table: the reader walks the records to the end of the container.
#include "boundary/boundary.h"
#include "boundary/messages.h"
#include "formats/byte_io.h"
#include "formats/container_common.h"
#include "karvcore/karvcore.h"

using namespace karv;
using namespace karv::container;

namespace {

constexpr uint32_t kChunkSize = 32768;
// The reader allows more than the writer's chunk size.
constexpr uint32_t kChunkCapacity = 65536;
constexpr uint32_t kHeaderSize = 4;
// Containers are handed out at a multiple of this; the import pads raw members to it, and
// archive offsets count in it.
constexpr uint32_t kAlignment = 2048;

// Zero lengths (the terminator and the zero fill behind it) are skipped; fewer than four bytes
// left end the walk, as at the end of a container written at its padded length.
template <typename TakeChunk>
Status walkRecords(const uint8_t* container, uint32_t containerLength, bool bigEndian,
                   TakeChunk&& take) {
    uint64_t offset = kHeaderSize;
    while (offset + kLengthFieldSize <= containerLength) {
        uint32_t length = readU32(container + offset, bigEndian);
        if (length != 0) {
            if (!recordFits(offset, length, containerLength))
                return corrupt();
            ChunkKind kind;
            if (Status status = take(container + offset + kLengthFieldSize, length, kind); !status)
                return status;
        }
        offset += kLengthFieldSize + uint64_t(length);
    }
    return Status();
}

// Records back to back behind the total, and the final zero record length.
Status compress(const uint8_t* input, uint32_t length, uint32_t /*chunkSize: fixed*/,
                bool bigEndian, int level, codec::StreamCodec& codec, WorkerPool* pool, Block& out,
                uint32_t& used, uint32_t& padded) {
    RecordLayout layout;
    layout.chunkSize = kChunkSize;
    if (Status status = countChunks(length, kChunkSize, layout.count); !status)
        return status;
    layout.firstRecord = kHeaderSize;
    layout.trailingZeros = kLengthFieldSize;
    layout.paddedUnit = kAlignment;
    std::vector<uint32_t> streamLengths;
    Status status = writeRecords(input, length, layout, level, bigEndian, codec, pool, out,
                                 streamLengths, used, padded);
    if (status)
        writeU32(out.data.get(), length, bigEndian);
    return status;
}

// A writer's records each inflate to its chunk size (the last to the rest); a container whose
// chunks differ is decoded record by record.
Status decompress(const uint8_t* container, uint32_t length, bool bigEndian,
                  codec::StreamCodec& codec, WorkerPool* pool, Block& out, uint32_t& total) {
    if (length < kHeaderSize)
        return corrupt();
    total = readU32(container, bigEndian);
    if (Status status = reserveOutput(total, length, out); !status)
        return status;
    if (pool != nullptr) {
        DecodePlan plan(total, kChunkSize);
        Status planned = walkRecords(container, length, bigEndian,
                                     [&](const uint8_t* bytes, uint32_t size, ChunkKind& kind) {
                                         return plan.add(bytes, size, kind) ? Status() : corrupt();
                                     });
        if (planned && plan.size() > 1 && plan.run(out.data.get(), *pool))
            return Status();
    }
    Output output(out, total);
    Status status = walkRecords(
        container, length, bigEndian, [&](const uint8_t* bytes, uint32_t size, ChunkKind& kind) {
            return output.takeChunk(bytes, size, kChunkCapacity, kind, codec);
        });
    return status ? output.finish() : status;
}

Status check(const uint8_t* container, uint32_t length, bool bigEndian, codec::StreamCodec& codec,
             Block& scratch, uint32_t& total) {
    if (length < kHeaderSize)
        return corrupt();
    total = readU32(container, bigEndian);
    if (Status status = reserveScratch(total, kChunkCapacity, length, scratch); !status)
        return status;
    Output output = Output::discarding(scratch, total);
    Status status = walkRecords(
        container, length, bigEndian, [&](const uint8_t* bytes, uint32_t size, ChunkKind& kind) {
            return output.takeChunk(bytes, size, kChunkCapacity, kind, codec);
        });
    return status ? output.finish() : status;
}

// The first record that holds bytes; the zero lengths before it are passed over as the walk
// passes them.
Status decodeHead(const uint8_t* container, uint32_t available, uint32_t length, bool bigEndian,
                  uint32_t limit, codec::StreamCodec& codec, uint8_t* out, ContainerHead& head) {
    if (length < kHeaderSize)
        return corrupt();
    head = ContainerHead();
    if (available < kHeaderSize) {
        head.needed = kHeaderSize;
        return Status();
    }
    head.total = readU32(container, bigEndian);
    if (!plausibleTotal(head.total, length))
        return Status::failure(Error::WrongTotal, msg::kDecompressedSizeWrong);
    for (uint64_t offset = kHeaderSize; offset + kLengthFieldSize <= length;) {
        if (offset + kLengthFieldSize > available) {
            head.needed = offset + kLengthFieldSize;
            return Status();
        }
        const uint32_t bytes = readU32(container + offset, bigEndian);
        if (bytes != 0) {
            if (!recordFits(offset, bytes, length))
                return corrupt();
            if (offset + kLengthFieldSize + bytes > available) {
                head.needed = offset + kLengthFieldSize + bytes;
                return Status();
            }
            return decodeFirstChunk(container + offset + kLengthFieldSize, bytes, kChunkCapacity,
                                    head.total, limit, codec, out, head.length);
        }
        offset += kLengthFieldSize;
    }
    if (head.total != 0)
        return Status::failure(Error::WrongTotal, msg::kDecompressedSizeWrong);
    return Status();
}

int32_t compressWithChunkSize(uint8_t*& out, const uint8_t* input, uint32_t inputLength,
                              uint32_t* usedLength, uint32_t* paddedLength,
                              uint32_t /*chunkSize: fixed*/, bool bigEndian, int level) {
    return CompressDataZ54(out, input, inputLength, usedLength, paddedLength, bigEndian, level);
}

} // namespace

const karv::ContainerKind karv::kContainerZ54 = {
    kDataTypeZ54,
    L"Z54",
    &kIndexLayoutZ54, // the index is the head of the archive file
    false,
    kChunkSize,
    false,
    kAlignment,
    nullptr, // no magic
    0,
    0, // the total
    kNoField,
    0,
    nullptr,
    compressWithChunkSize,
    UnCompressDataZ54,
};

const karv::ContainerEngine karv::kEngineZ54 = {compress, decompress, check, decodeHead};
