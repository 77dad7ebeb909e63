// UnCompressDataZ54 on hostile containers. The Z54 container: the total, then length-prefixed
// records up to the end.
//
// Input: byte 0 bit 0 = big-endian; then the container.
#include "decompress_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    karv::fuzz::fuzzDecompressor(UnCompressDataZ54, 0, data, size);
    return 0;
}
