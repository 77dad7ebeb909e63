// UnCompressData357 on hostile containers. The 357 container: chunk size, count and total, the
// record-size table, records at multiples of 128.
//
// Input: byte 0 bit 0 = big-endian; then the container.
#include "decompress_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    karv::fuzz::fuzzDecompressor(UnCompressData357, 8, data, size);
    return 0;
}
