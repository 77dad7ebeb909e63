// The 358 container: magic "zp1", total, chunk size and chunk count, a table of record sizes
// padded to 2048, then records of chunks of the writer's size at multiples of 128.
#include "byte_io.h"
#include "container_common.h"
#include "karvcore/karvcore.h"

#include <cstring>

using namespace karv::container;

namespace {

// The same bytes in both byte orders.
constexpr uint8_t kMagic[4] = {0x7A, 0x70, 0x31, 0x00};
constexpr uint32_t kHeaderSize = 16;
constexpr uint32_t kTableAlign = 2048;

} // namespace

int32_t CompressData358(uint8_t*& out, const uint8_t* input, uint32_t inputLength,
                        uint32_t* usedLength, uint32_t* paddedLength, uint32_t chunkSize,
                        bool bigEndian, int level) {
    ContainerWriter writer;
    uint32_t count = 0;
    const TableLayout layout{chunkSize, kHeaderSize, kTableAlign};
    if (int32_t status =
            compressTableContainer(layout, input, inputLength, bigEndian, level, writer, count))
        return status;
    uint8_t* header = writer.data();
    std::memcpy(header, kMagic, sizeof kMagic);
    karv::writeU32(header + 4, inputLength, bigEndian);
    karv::writeU32(header + 8, chunkSize, bigEndian);
    karv::writeU32(header + 12, count, bigEndian);
    return writer.finish(0, kTablePaddedUnit, out, usedLength, paddedLength);
}

// The magic is the caller's business: the header is read without testing it.
int32_t UnCompressData358(uint8_t*& out, const uint8_t* container, uint32_t containerLength,
                          uint32_t* outLength, bool bigEndian) {
    if (containerLength < kHeaderSize)
        return refuseTruncated(out);
    TableHeader header;
    header.total = karv::readU32(container + 4, bigEndian);
    header.chunkCapacity = karv::readU32(container + 8, bigEndian);
    header.count = karv::readU32(container + 12, bigEndian);
    header.tableOffset = kHeaderSize;
    header.tableAlign = kTableAlign;
    return decompressTableContainer(header, container, containerLength, bigEndian, out, outLength);
}
