// The Z54 container: the total, then records of 32 KiB chunks back to back, ended by a zero
// record length. No table: the reader walks the records to the end of the container.
#include "boundary.h"
#include "byte_io.h"
#include "container_common.h"
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
Status walkRecords(const uint8_t* container, uint32_t containerLength, bool bigEndian,
                   Output& output) {
    uint64_t offset = kHeaderSize;
    while (offset + kLengthFieldSize <= containerLength) {
        uint32_t length = readU32(container + offset, bigEndian);
        if (length != 0) {
            if (!recordFits(offset, length, containerLength))
                return corrupt();
            ChunkKind kind;
            const uint8_t* bytes = container + offset + kLengthFieldSize;
            if (Status status = output.takeChunk(bytes, length, kChunkCapacity, kind); !status)
                return status;
        }
        offset += kLengthFieldSize + uint64_t(length);
    }
    return Status();
}

// Records back to back behind the total, and the final zero record length.
Status writeContainer(const uint8_t* input, uint32_t inputLength, bool bigEndian, int level,
                      uint8_t*& out, uint32_t* usedLength, uint32_t* paddedLength) {
    uint32_t count = 0;
    if (Status status = countChunks(inputLength, kChunkSize, count); !status)
        return status;
    ContainerWriter writer;
    if (Status status = writer.reserve(input, inputLength, kChunkSize, count, kHeaderSize, 1);
        !status)
        return status;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t streamLength = 0;
        if (Status status = writer.compressNext(level, bigEndian, streamLength); !status)
            return status;
    }
    writeU32(writer.data(), inputLength, bigEndian);
    return writer.finish(kLengthFieldSize, kAlignment, out, usedLength, paddedLength);
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
    kNoField,
    0,
    nullptr,
    compressWithChunkSize,
    UnCompressDataZ54,
};

int32_t CompressDataZ54(uint8_t*& out, const uint8_t* input, uint32_t inputLength,
                        uint32_t* usedLength, uint32_t* paddedLength, bool bigEndian, int level) {
    return reportStatus(
        writeContainer(input, inputLength, bigEndian, level, out, usedLength, paddedLength));
}

int32_t UnCompressDataZ54(uint8_t*& out, const uint8_t* container, uint32_t containerLength,
                          uint32_t* outLength, bool bigEndian) {
    if (containerLength < kHeaderSize)
        return refuseTruncated(out);
    Output output;
    Status status = output.allocate(readU32(container, bigEndian), containerLength);
    if (status.ok())
        status = walkRecords(container, containerLength, bigEndian, output);
    return deliver(status, output, out, outLength);
}
