#include "codec_commands.h"

#include "console.h"
#include "karvcore/karvcore.h"
#include "malloc_buffer.h"
#include "program_state.h"
#include "texts.h"

#include <cstring>

namespace karv::cli {
namespace {

constexpr uint32_t k358Magic = 0x0031707A; // "zp1" and a zero byte, read little-endian
constexpr uint32_t k358ChunkSize = 0x40000;
constexpr int kCommandLineLevel = 9;

struct LoadedFile {
    MallocBuffer data;
    uint32_t size = 0;
};

bool loadFile(const std::wstring& path, LoadedFile& file) {
    uint8_t* raw = nullptr;
    if (!LoadData(path, raw, &file.size)) {
        print(text::kLoadFileFailed);
        return false;
    }
    file.data.reset(raw);
    return true;
}

// The writer puts the magic bytes 7A 70 31 00 first in both byte orders; a PS3 file may also
// carry them as a big-endian number (00 31 70 7A).
bool has358Magic(const LoadedFile& file) {
    if (file.size < 4)
        return false;
    uint32_t raw;
    std::memcpy(&raw, file.data.get(), 4);
    uint32_t asWritten = Get4Data(raw, false, false);
    uint32_t inGameOrder = Get4Data(raw, archiveSelection.bigEndian, false);
    if (archiveSelection.bigEndian)
        return inGameOrder == k358Magic || asWritten == k358Magic;
    return inGameOrder == k358Magic;
}

int32_t runDecompressor(ContainerType type, const LoadedFile& in, uint8_t*& out, uint32_t& size) {
    bool big = archiveSelection.bigEndian;
    switch (type) {
    case ContainerType::Z54:
        return UnCompressDataZ54(out, in.data.get(), in.size, &size, big);
    case ContainerType::F357:
        return UnCompressData357(out, in.data.get(), in.size, &size, big);
    case ContainerType::F358:
        return UnCompressData358(out, in.data.get(), in.size, &size, big);
    }
    return -1;
}

int32_t runCompressor(ContainerType type, const LoadedFile& in, uint8_t*& out, uint32_t& size) {
    bool big = archiveSelection.bigEndian;
    uint32_t padded = 0;
    switch (type) {
    case ContainerType::Z54:
        return CompressDataZ54(out, in.data.get(), in.size, &size, &padded, big, kCommandLineLevel);
    case ContainerType::F357:
        return CompressData357(out, in.data.get(), in.size, &size, &padded, big, kCommandLineLevel);
    case ContainerType::F358:
        return CompressData358(out, in.data.get(), in.size, &size, &padded, k358ChunkSize, big,
                               kCommandLineLevel);
    }
    return -1;
}

// Runs one codec over the loaded file and writes path + suffix; prints the outcome.
template <typename Codec>
void convertFile(const LoadedFile& in, const std::wstring& outPath, Codec codec,
                 const wchar_t* failedBecause, const wchar_t* done) {
    uint8_t* raw = nullptr;
    uint32_t size = 0;
    if (codec(in, raw, size) != 0) {
        printFailure(failedBecause);
        return;
    }
    MallocBuffer out(raw);
    if (!SaveData(outPath, out.get(), 0, size, true)) {
        printFailure(failedBecause);
        return;
    }
    print(done);
}

} // namespace

bool parseContainerType(const std::wstring& text, ContainerType& type) {
    if (text == L"Z54")
        type = ContainerType::Z54;
    else if (text == L"357")
        type = ContainerType::F357;
    else if (text == L"358")
        type = ContainerType::F358;
    else
        return false;
    return true;
}

void decompressFile(ContainerType type, const std::wstring& path) {
    LoadedFile in;
    if (!loadFile(path, in))
        return;
    if (type == ContainerType::F358 && !has358Magic(in)) {
        print(text::kNotCompressedFile);
        return;
    }
    auto decompressor = [type](const LoadedFile& file, uint8_t*& out, uint32_t& size) {
        return runDecompressor(type, file, out, size);
    };
    convertFile(in, path + text::kDecompressedSuffix, decompressor,
                text::kDecompressFailedBecause, text::kDecompressDone);
}

void compressFile(ContainerType type, const std::wstring& path) {
    LoadedFile in;
    if (!loadFile(path, in))
        return;
    auto compressor = [type](const LoadedFile& file, uint8_t*& out, uint32_t& size) {
        return runCompressor(type, file, out, size);
    };
    convertFile(in, path + text::kCompressedSuffix, compressor, text::kCompressFailedBecause,
                text::kCompressDone);
}

} // namespace karv::cli
