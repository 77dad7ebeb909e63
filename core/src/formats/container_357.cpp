// The 357 container: chunk size, chunk count and total, a table of record sizes, then records
// of 64 KiB chunks at multiples of 128.
#include "boundary/boundary.h"
#include "formats/byte_io.h"
#include "formats/container_common.h"
#include "karvcore/karvcore.h"

using namespace karv;
using namespace karv::container;

namespace {

constexpr uint32_t kChunkSize = 65536;
constexpr uint32_t kHeaderSize = 12;
constexpr uint32_t kTableAlign = 128;
constexpr uint32_t kChunkSizeField = 0;
constexpr uint32_t kCountField = 4;
constexpr uint32_t kTotalField = 8;
constexpr TableFields kFields{kHeaderSize, kChunkSizeField, kCountField, kTotalField, kTableAlign};

Status compress(const uint8_t* input, uint32_t length, uint32_t /*chunkSize: fixed*/,
                bool bigEndian, int level, codec::StreamCodec& codec, WorkerPool* pool, Block& out,
                uint32_t& used, uint32_t& padded) {
    uint32_t count = 0;
    const TableLayout layout{kChunkSize, kHeaderSize, kTableAlign};
    Status status = compressTableContainer(layout, input, length, bigEndian, level, codec, pool,
                                           out, count, used, padded);
    if (status) {
        uint8_t* header = out.data.get();
        writeU32(header + kChunkSizeField, kChunkSize, bigEndian);
        writeU32(header + kCountField, count, bigEndian);
        writeU32(header + kTotalField, length, bigEndian);
    }
    return status;
}

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

int32_t compressWithChunkSize(uint8_t*& out, const uint8_t* input, uint32_t inputLength,
                              uint32_t* usedLength, uint32_t* paddedLength,
                              uint32_t /*chunkSize: fixed*/, bool bigEndian, int level) {
    return CompressData357(out, input, inputLength, usedLength, paddedLength, bigEndian, level);
}

} // namespace

const karv::ContainerKind karv::kContainer357 = {
    kDataType357,
    L"357",
    &kIndexLayout32,
    true, // several archive files share one index
    kChunkSize,
    false,
    kTablePaddedUnit,
    nullptr, // no magic
    0,
    kTotalField,
    kNoField,
    0,
    nullptr,
    compressWithChunkSize,
    UnCompressData357,
};

const karv::ContainerEngine karv::kEngine357 = {compress, decompress, check, decodeHead};
