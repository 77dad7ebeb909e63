// The exported compressors and decompressors of the three containers. The work is the
// containers' own (compressMember, decompressMember); here it becomes a malloc block for the
// caller and the codes the functions return.
#include "boundary/exported_codes.h"
#include "formats/container_common.h"
#include "karvcore/karvcore.h"

#include <cstdlib>

namespace {

using karv::Block;
using karv::ContainerKind;
using karv::Error;
using karv::Exported;
using karv::Status;

// A compressor's ending: the block, cut to its padded length, to the caller.
int32_t handOver(const Status& status, Block& block, uint32_t used, uint32_t padded, uint8_t*& out,
                 uint32_t* usedLength, uint32_t* paddedLength) {
    if (!status)
        return karv::report(Exported::Compress, status);
    // Give back the unused worst-case room; a block that cannot shrink is still a good one.
    uint8_t* data = block.data.release();
    if (padded < block.capacity) {
        if (auto* smaller = static_cast<uint8_t*>(std::realloc(data, padded)))
            data = smaller;
    }
    block.capacity = 0;
    out = data;
    *usedLength = used;
    *paddedLength = padded;
    return 0;
}

int32_t compressIn(const ContainerKind& kind, uint8_t*& out, const uint8_t* input,
                   uint32_t inputLength, uint32_t* usedLength, uint32_t* paddedLength,
                   uint32_t chunkSize, bool bigEndian, int level) {
    Block block;
    uint32_t used = 0, padded = 0;
    Status status = karv::container::compressMember(kind, input, inputLength, chunkSize, bigEndian,
                                                    level, block, used, padded);
    return handOver(status, block, used, padded, out, usedLength, paddedLength);
}

// A decompressor's ending: a new malloc block of T bytes when the work succeeded; otherwise no
// buffer with the caller (and, for a wrong total, an out length of 0) and the failure reported.
int32_t decompressIn(const ContainerKind& kind, uint8_t*& out, const uint8_t* container,
                     uint32_t containerLength, uint32_t* outLength, bool bigEndian) {
    Block block;
    uint32_t total = 0;
    Status status = karv::container::decompressMember(kind, container, containerLength, bigEndian,
                                                      block, total);
    if (status) {
        out = block.data.release();
        *outLength = total;
        return 0;
    }
    out = nullptr;
    if (status.error() == Error::WrongTotal)
        *outLength = 0;
    return karv::report(Exported::Decompress, status);
}

} // namespace

int32_t CompressData357(uint8_t*& out, const uint8_t* input, uint32_t inputLength,
                        uint32_t* usedLength, uint32_t* paddedLength, bool bigEndian, int level) {
    return compressIn(karv::kContainer357, out, input, inputLength, usedLength, paddedLength, 0,
                      bigEndian, level);
}

int32_t CompressDataZ54(uint8_t*& out, const uint8_t* input, uint32_t inputLength,
                        uint32_t* usedLength, uint32_t* paddedLength, bool bigEndian, int level) {
    return compressIn(karv::kContainerZ54, out, input, inputLength, usedLength, paddedLength, 0,
                      bigEndian, level);
}

int32_t CompressData358(uint8_t*& out, const uint8_t* input, uint32_t inputLength,
                        uint32_t* usedLength, uint32_t* paddedLength, uint32_t chunkSize,
                        bool bigEndian, int level) {
    return compressIn(karv::kContainer358, out, input, inputLength, usedLength, paddedLength,
                      chunkSize, bigEndian, level);
}

int32_t UnCompressData357(uint8_t*& out, const uint8_t* container, uint32_t containerLength,
                          uint32_t* outLength, bool bigEndian) {
    return decompressIn(karv::kContainer357, out, container, containerLength, outLength, bigEndian);
}

int32_t UnCompressDataZ54(uint8_t*& out, const uint8_t* container, uint32_t containerLength,
                          uint32_t* outLength, bool bigEndian) {
    return decompressIn(karv::kContainerZ54, out, container, containerLength, outLength, bigEndian);
}

int32_t UnCompressData358(uint8_t*& out, const uint8_t* container, uint32_t containerLength,
                          uint32_t* outLength, bool bigEndian) {
    return decompressIn(karv::kContainer358, out, container, containerLength, outLength, bigEndian);
}
