// UnCompressData358 on hostile containers. The 358 container: magic, total, chunk size, count, the
// table padded to 2048, records.
//
// Input: byte 0 bit 0 = big-endian; then the container.
#include "decompress_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    karv::fuzz::fuzzDecompressor(UnCompressData358, 4, data, size);
    return 0;
}
