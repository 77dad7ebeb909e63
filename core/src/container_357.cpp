// The 357 container: chunk size, chunk count and total, a table of record sizes, then records
// of 64 KiB chunks at multiples of 128.
#include "boundary.h"
#include "byte_io.h"
#include "container_common.h"
#include "karvcore/karvcore.h"

using namespace karv;
using namespace karv::container;

namespace {

constexpr uint32_t kChunkSize = 65536;
constexpr uint32_t kHeaderSize = 12;
constexpr uint32_t kTableAlign = 128;

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
    kNoField,
    0,
    nullptr,
    compressWithChunkSize,
    UnCompressData357,
};

int32_t CompressData357(uint8_t*& out, const uint8_t* input, uint32_t inputLength,
                        uint32_t* usedLength, uint32_t* paddedLength, bool bigEndian, int level) {
    ContainerWriter writer;
    uint32_t count = 0;
    const TableLayout layout{kChunkSize, kHeaderSize, kTableAlign};
    Status status =
        compressTableContainer(layout, input, inputLength, bigEndian, level, writer, count);
    if (status.ok()) {
        uint8_t* header = writer.data();
        writeU32(header, kChunkSize, bigEndian);
        writeU32(header + 4, count, bigEndian);
        writeU32(header + 8, inputLength, bigEndian);
        status = writer.finish(0, kTablePaddedUnit, out, usedLength, paddedLength);
    }
    return reportStatus(status);
}

int32_t UnCompressData357(uint8_t*& out, const uint8_t* container, uint32_t containerLength,
                          uint32_t* outLength, bool bigEndian) {
    if (containerLength < kHeaderSize)
        return refuseTruncated(out);
    TableHeader header;
    header.chunkCapacity = karv::readU32(container, bigEndian);
    header.count = karv::readU32(container + 4, bigEndian);
    header.total = karv::readU32(container + 8, bigEndian);
    header.tableOffset = kHeaderSize;
    header.tableAlign = kTableAlign;
    return decompressTableContainer(header, container, containerLength, bigEndian, out, outLength);
}
