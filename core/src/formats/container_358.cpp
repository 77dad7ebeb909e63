// The 358 container: magic "zp1", total, chunk size and chunk count, a table of record sizes
// padded to 2048, then records of chunks of the writer's size at multiples of 128.
#include "boundary/boundary.h"
#include "formats/byte_io.h"
#include "formats/container_common.h"
#include "karvcore/karvcore.h"

#include <cstring>

using namespace karv;
using namespace karv::container;

namespace {

// The same bytes in both byte orders.
constexpr uint8_t kMagic[4] = {0x7A, 0x70, 0x31, 0x00};
constexpr uint32_t kHeaderSize = 16;
constexpr uint32_t kTableAlign = 2048;
constexpr uint32_t kTotalField = 4;
constexpr uint32_t kChunkSizeField = 8;
constexpr uint32_t kCountField = 12;
constexpr TableFields kFields{kHeaderSize, kChunkSizeField, kCountField, kTotalField, kTableAlign};
// The writer takes any chunk size. The command line gives this one, and so does the import for
// a file of at most this size when the replaced member's header names none; larger files get
// the large one.
constexpr uint32_t kDefaultChunkSize = 262144;
constexpr uint32_t kLargeChunkSize = 524288;
// A chunk size in a member's header above this is not believed.
constexpr uint32_t kLargestChunkSize = 16u << 20;

uint32_t defaultChunkSize(uint32_t fileLength) {
    return fileLength <= kDefaultChunkSize ? kDefaultChunkSize : kLargeChunkSize;
}

Status compress(const uint8_t* input, uint32_t length, uint32_t chunkSize, bool bigEndian,
                int level, codec::StreamCodec& codec, WorkerPool* pool, Block& out, uint32_t& used,
                uint32_t& padded) {
    uint32_t count = 0;
    const TableLayout layout{chunkSize, kHeaderSize, kTableAlign};
    Status status = compressTableContainer(layout, input, length, bigEndian, level, codec, pool,
                                           out, count, used, padded);
    if (status) {
        uint8_t* header = out.data.get();
        std::memcpy(header, kMagic, sizeof kMagic);
        writeU32(header + kTotalField, length, bigEndian);
        writeU32(header + kChunkSizeField, chunkSize, bigEndian);
        writeU32(header + kCountField, count, bigEndian);
    }
    return status;
}

// The magic is the caller's business: the header is read without testing it.
Status decompress(const uint8_t* container, uint32_t length, bool bigEndian,
                  codec::StreamCodec& codec, WorkerPool* pool, Block& out, uint32_t& total) {
    return decompressTableContainer(kFields, container, length, bigEndian, codec, pool, out, total);
}

Status check(const uint8_t* container, uint32_t length, bool bigEndian, codec::StreamCodec& codec,
             Block& scratch, uint32_t& total) {
    return checkTableContainer(kFields, container, length, bigEndian, codec, scratch, total);
}

Status decodeHead(const uint8_t* container, uint32_t available, uint32_t length, bool bigEndian,
                  uint32_t limit, codec::StreamCodec& codec, uint8_t* out, ContainerHead& head) {
    return decodeTableHead(kFields, container, available, length, bigEndian, limit, codec, out,
                           head);
}

} // namespace

const karv::ContainerKind karv::kContainer358 = {
    kDataType358,
    L"358",
    &kIndexLayout32,
    false,
    kDefaultChunkSize,
    true, // the caller chooses the chunk size
    kTablePaddedUnit,
    kMagic,
    sizeof kMagic,
    kTotalField,
    kChunkSizeField,
    kLargestChunkSize,
    defaultChunkSize,
    CompressData358,
    UnCompressData358,
};

const karv::ContainerEngine karv::kEngine358 = {compress, decompress, check, decodeHead};
