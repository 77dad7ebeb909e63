// GetData_Offset on hostile packed blobs: every sub-file it locates lies inside the blob, and
// every number it is asked for, in range or not, gets a documented status.
//
// Input: byte 0 bit 0 = big-endian; the rest is the blob.
#include "formats/byte_io.h"
#include "fuzz_support.h"
#include "karvcore/karvcore.h"

#include <algorithm>

namespace {

using karv::fuzz::expect;

constexpr uint32_t kSubFilesAsked = 1024;
constexpr uint32_t kUntouched = 0xA5A5A5A5;

void locate(const karv::fuzz::Bytes& blob, uint32_t subFile, bool bigEndian) {
    uint32_t start = kUntouched, size = kUntouched;
    const uint32_t length = uint32_t(blob.size());
    int32_t status = GetData_Offset(blob.empty() ? nullptr : blob.data(), length, subFile, &start,
                                    &size, bigEndian);
    expect(status >= -3 && status <= 0, "undocumented status");
    if (status != 0) {
        expect(start == kUntouched && size == kUntouched, "a failure wrote the out values");
        return;
    }
    expect(start < length && uint64_t(start) + size <= length, "a sub-file outside the blob");
    karv::fuzz::touch(blob.data() + start, size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const bool bigEndian = (data[0] & 1) != 0;
    const karv::fuzz::Bytes blob(data + 1, data + size);
    const uint32_t count = blob.size() >= 4 ? karv::readU32(blob.data(), bigEndian) : 0;
    for (uint32_t i = 0; i < std::min(count, kSubFilesAsked); ++i)
        locate(blob, i, bigEndian);
    for (uint32_t i : {count, count + 1, count - 1, 0x7FFFFFFFu, 0xFFFFFFFFu})
        locate(blob, i, bigEndian);
    return 0;
}
