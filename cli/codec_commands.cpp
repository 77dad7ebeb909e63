#include "codec_commands.h"

#include "console.h"
#include "files.h"
#include "texts.h"

namespace karv::cli {
namespace {

constexpr int kCommandLineLevel = 9;

bool loadFile(const std::wstring& path, LoadedData& file) {
    if (!loadWhole(path, file)) {
        print(text::kLoadFileFailed);
        return false;
    }
    return true;
}

// Runs one codec over the loaded file and writes its output to `outPath`; prints the outcome.
template <typename Codec>
void convertFile(const LoadedData& in, const std::wstring& outPath, Codec codec,
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

void decompressFile(const ContainerKind& kind, const std::wstring& path, bool bigEndian) {
    LoadedData in;
    if (!loadFile(path, in))
        return;
    if (!HasContainerMagic(kind, in.bytes.get(), in.size, bigEndian)) {
        print(text::kNotCompressedFile);
        return;
    }
    auto decompressor = [&](const LoadedData& file, uint8_t*& out, uint32_t& size) {
        return kind.decompress(out, file.bytes.get(), file.size, &size, bigEndian);
    };
    convertFile(in, path + text::kDecompressedSuffix, decompressor, text::kDecompressFailedBecause,
                text::kDecompressDone);
}

void compressFile(const ContainerKind& kind, const std::wstring& path, bool bigEndian) {
    LoadedData in;
    if (!loadFile(path, in))
        return;
    auto compressor = [&](const LoadedData& file, uint8_t*& out, uint32_t& size) {
        uint32_t padded = 0;
        return kind.compress(out, file.bytes.get(), file.size, &size, &padded, kind.chunkSize,
                             bigEndian, kCommandLineLevel);
    };
    convertFile(in, path + text::kCompressedSuffix, compressor, text::kCompressFailedBecause,
                text::kCompressDone);
}

} // namespace karv::cli
