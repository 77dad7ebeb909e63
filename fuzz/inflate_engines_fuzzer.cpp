// The two ways of inflating against each other: whatever a container holds, the library's fast
// path (libdeflate, with zlib deciding what libdeflate refuses, and the chunks decoded on worker
// threads where the plan holds) gives exactly what zlib alone on one thread gives: the same
// status, the same bytes, the same out length and the same message.
//
// Input: byte 0 = container (bits 0-1: 357, Z54, 358, one bare stream), byte order (bit 2),
// threads for the fast path (bit 3: 2, else 1). A bare stream is wrapped as the one record of a
// Z54 container whose total is the 16-bit number of bytes 1-2 (little-endian); otherwise the
// rest is the container.
#include "fuzz_support.h"

#include "formats/byte_io.h"
#include "karvcore/formats.h"
#include "karvcore/tuning.h"

#include <cstdlib>
#include <cstring>

namespace {

using karv::fuzz::Bytes;
using karv::fuzz::expect;

struct Outcome {
    int32_t status = 0;
    bool outNull = false;
    uint32_t length = 0;
    Bytes data;
    std::wstring message;
};

Outcome decompress(const karv::ContainerKind& kind, const Bytes& container, bool bigEndian) {
    // An exact copy, so nothing read past the container goes unnoticed.
    Bytes copy(container);
    uint8_t* out = reinterpret_cast<uint8_t*>(&copy); // anything but null
    Outcome o;
    o.length = 0xDEADBEEF;
    SetMessageQX(L"");
    o.status = kind.decompress(out, copy.empty() ? nullptr : copy.data(), uint32_t(copy.size()),
                               &o.length, bigEndian);
    o.outNull = out == nullptr;
    if (o.status == 0) {
        o.data.assign(out, out + o.length);
        std::free(out);
    }
    o.message = GetMessageQX();
    return o;
}

// One record holding the stream, then the terminator.
Bytes bareStream(karv::fuzz::InputReader& in) {
    Bytes container(4, 0);
    karv::writeU32(container.data(), in.u16(), false);
    const Bytes stream = in.rest();
    container.resize(8);
    karv::writeU32(container.data() + 4, uint32_t(stream.size()), false);
    container.insert(container.end(), stream.begin(), stream.end());
    container.resize(container.size() + 4, 0);
    return container;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    karv::fuzz::InputReader in(data, size);
    const uint8_t mode = in.u8();
    const int32_t types[] = {karv::kDataType357, karv::kDataTypeZ54, karv::kDataType358,
                             karv::kDataTypeZ54};
    const karv::ContainerKind& kind = *karv::FindContainerKind(types[mode & 3]);
    const bool bigEndian = (mode & 3) != 3 && (mode & 4) != 0;
    const Bytes container = (mode & 3) == 3 ? bareStream(in) : in.rest();

    karv::SetCodecEngine(karv::CodecEngine::Zlib);
    karv::SetWorkerCount(1);
    const Outcome zlib = decompress(kind, container, bigEndian);

    karv::SetCodecEngine(karv::CodecEngine::Fast);
    karv::SetWorkerCount((mode & 8) != 0 ? 2 : 1);
    karv::SetParallelThreshold(1);
    const Outcome fast = decompress(kind, container, bigEndian);
    karv::SetParallelThreshold(0);
    karv::SetWorkerCount(0);

    expect(fast.status == zlib.status, "the engines disagree on the status");
    expect(fast.outNull == zlib.outNull, "the engines disagree on the buffer");
    expect(fast.length == zlib.length, "the engines disagree on the out length");
    expect(fast.data == zlib.data, "the engines disagree on the bytes");
    expect(fast.message == zlib.message, "the engines disagree on the message");
    return 0;
}
