// The promises every decompressor keeps, whatever the container holds: a status of the
// documented set, the total of the header on success, and no buffer left behind on failure.
#pragma once

#include "fuzz_support.h"

#include "formats/byte_io.h"
#include "karvcore/karvcore.h"

#include <cstdlib>

namespace karv::fuzz {

using Decompressor = int32_t (*)(uint8_t*&, const uint8_t*, uint32_t, uint32_t*, bool);

// Input: byte 0 bit 0 is the byte order (1 big-endian); the rest is the container.
// `totalAt` is where the container keeps its total.
inline void fuzzDecompressor(Decompressor decompress, uint32_t totalAt, const uint8_t* data,
                             size_t size) {
    if (size < 1)
        return;
    const bool bigEndian = (data[0] & 1) != 0;
    // An exact copy, so nothing the decompressor reads past the container goes unnoticed.
    Bytes container(data + 1, data + size);
    const uint8_t* bytes = container.empty() ? nullptr : container.data();
    const uint32_t length = uint32_t(container.size());

    uint8_t* out = reinterpret_cast<uint8_t*>(&container); // anything but null
    uint32_t outLength = 0xDEADBEEF;
    SetMessageQX(L"");
    int32_t status = decompress(out, bytes, length, &outLength, bigEndian);
    expect(status == 0 || status == -1 || status == -2 || status == -10, "undocumented status");
    if (status != 0) {
        expect(out == nullptr, "a failed decompression left a buffer");
        expect(!GetMessageQX().empty(), "a failed decompression set no message");
        return;
    }
    expect(out != nullptr, "success without a buffer");
    expect(length >= totalAt + 4, "success without a header");
    expect(outLength == readU32(bytes + totalAt, bigEndian),
           "the output length is not the header's total");
    // Every byte of the block must be there: the sanitizers see a short block on this walk.
    touch(out, outLength);
    std::free(out);
}

} // namespace karv::fuzz
