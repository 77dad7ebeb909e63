// The texture container on hostile input: open, export every texture, put every exported
// DDS file back (which must change nothing), then import a hostile DDS file. No call may
// read or write outside the container, and no failed call may change the caller's buffer.
//
// Input: byte 0 = byte order (bit 0), seek to the hostile import's number (bit 1); byte 1 =
// bytes in front of the container in the caller's buffer; a 16-bit container length; a
// 32-bit texture number for the hostile import; the bytes in front, the container; the rest
// is the hostile DDS file.
#include "fuzz_support.h"
#include "karvcore/karvcore.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

using karv::fuzz::Bytes;
using karv::fuzz::expect;

constexpr uint32_t kExportsKept = 64;
constexpr uint32_t kMostCalls = 4096;

bool documented(int32_t status) {
    // A positive status is an unsupported format code; 0 and 1 are the supported ARGB codes.
    return status == 0 || status == -1 || (status <= -10 && status >= -16) ||
           (status >= 2 && status <= 255);
}

struct Exported {
    uint32_t number;
    Bytes dds;
};

void checkDds(const uint8_t* dds, uint32_t length) {
    expect(length >= 128, "a DDS file shorter than its header");
    expect(dds[0] == 'D' && dds[1] == 'D' && dds[2] == 'S' && dds[3] == ' ' && dds[4] == 124,
           "DDS magic and header size");
    karv::fuzz::touch(dds, length);
}

std::vector<Exported> exportAll(GT1GDataQX& g1t, const Bytes& buffer, uint32_t count) {
    std::vector<Exported> kept;
    for (uint32_t call = 0; call <= std::min(count, kMostCalls); ++call) {
        uint8_t* dds = nullptr;
        uint32_t length = 0xA5A5A5A5;
        std::wstring name = L"-";
        int32_t status = g1t.ExportTexture(buffer.data(), dds, &length, &name, false, 0);
        expect(documented(status), "undocumented export status");
        if (status != 0) {
            expect(length == 0 && dds == nullptr && name == L"-", "a failed export gave output");
            expect(!GetMessageQX().empty(), "a failed export set no message");
            if (status == -1) {
                expect(call == count, "the end came before the count");
                break;
            }
            continue;
        }
        expect(call < count, "a texture beyond the count");
        checkDds(dds, length);
        if (kept.size() < kExportsKept)
            kept.push_back({call, Bytes(dds, dds + length)});
        std::free(dds);
    }
    return kept;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    karv::fuzz::InputReader in(data, size);
    const uint8_t mode = in.u8();
    const bool bigEndian = (mode & 1) != 0;
    const bool seekFirst = (mode & 2) != 0;
    const uint32_t front = in.u8();
    const uint32_t claimed = in.u16();
    const uint32_t number = in.u32();
    Bytes buffer = in.take(front + claimed);
    const Bytes hostile = in.rest();
    // The caller's promise: offset and size lie inside its buffer.
    const uint32_t offset = std::min<uint32_t>(front, uint32_t(buffer.size()));
    const uint32_t containerSize = uint32_t(buffer.size()) - offset;
    if (buffer.empty())
        buffer.push_back(0); // a buffer to point at, outside the zero-size container

    std::unique_ptr<GT1GDataQX> g1t(CreateGT1GDataInterface());
    expect(g1t != nullptr, "no container object");
    uint32_t count = 0xA5A5A5A5;
    int32_t status = g1t->OpenData(buffer.data(), offset, containerSize, &count, bigEndian);
    expect(documented(status), "undocumented open status");
    if (status != 0)
        return 0;
    expect(g1t->OpenData(buffer.data(), offset, containerSize, &count, bigEndian) == -10,
           "a second open was taken");

    const Bytes original = buffer;
    std::vector<Exported> exported = exportAll(*g1t, buffer, count);
    expect(buffer == original, "the export changed the container");

    // An exported texture put back is the same texture.
    for (const Exported& e : exported) {
        status =
            g1t->ImportTexture(buffer.data(), e.dds.data(), uint32_t(e.dds.size()), true, e.number);
        expect(status == 0, "an exported DDS file was refused");
        expect(buffer == original, "putting an exported texture back changed the container");
    }

    status = g1t->ImportTexture(buffer.data(), hostile.empty() ? nullptr : hostile.data(),
                                uint32_t(hostile.size()), seekFirst, number);
    expect(documented(status), "undocumented import status");
    if (status != 0)
        expect(buffer == original, "a failed import changed the buffer");
    expect(std::equal(buffer.begin(), buffer.begin() + offset, original.begin()),
           "an import wrote in front of the container");
    g1t->CloseData();
    return 0;
}
