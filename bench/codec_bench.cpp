// The containers' codecs against the least any tool must do: for every container and direction,
// a minimal loop over the same chunks with zlib and one with libdeflate (one stream object,
// one output buffer, reused; every chunk straight into its place), and karvcore's exported codec
// with one thread and with the default count, side by side in one run. Wall-clock seconds, the
// best of several turns taken in rotation, so that a busy machine disturbs every contender alike.
//
//   codec_bench [--mib N] [--mixed FILE...]
//
// Before that, the figures behind the choice of deflater: zlib's and libdeflate's total size,
// speed and zlib header at levels 1 and 9, on the benchmark's data and on real mixed data (text
// and machine code: the given files, else some of the machine's own). After it, where sharing
// one container's chunks between threads starts to pay.
#include "karvcore/formats.h"
#include "karvcore/tuning.h"
#include "sample_content.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// ---- Data ----

// Members as the benchmark game holds them: records, parameter tables, noise and textures.
Bytes benchmarkData(size_t total) {
    using namespace karv::sample;
    Bytes out;
    Random rng(430);
    for (uint64_t seed = 1; out.size() < total; ++seed) {
        uint32_t base = 8192u << rng.below(8);
        uint32_t size = base + rng.below(base);
        uint32_t roll = rng.below(100);
        Random r(seed);
        Bytes member = roll < 10   ? g1tContainer({{kDxt1, 8, 8, 9, 0}, {kArgb, 6, 6, 1, 0}}, false)
                       : roll < 30 ? parameterTable(r, size)
                       : roll < 45 ? noise(r, size)
                                   : recordTable(r, size, false);
        out.insert(out.end(), member.begin(), member.end());
    }
    out.resize(total);
    return out;
}

// Text and machine code: the given files, else the machine's documentation and programs.
Bytes mixedData(const std::vector<std::string>& given, size_t total) {
    std::vector<std::string> files = given;
    if (files.empty()) {
        for (const char* folder : {"/usr/share/common-licenses", "/usr/share/doc", "/usr/bin"}) {
            std::error_code error;
            for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
                 it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
                if (error)
                    break;
                if (it->is_regular_file(error) && !it->is_symlink(error))
                    files.push_back(it->path().string());
            }
        }
        std::sort(files.begin(), files.end());
    }
    Bytes out;
    for (size_t i = 0; i < files.size() && out.size() < total; ++i) {
        std::ifstream in(files[i], std::ios::binary);
        out.insert(out.end(), std::istreambuf_iterator<char>(in), {});
    }
    out.resize(std::min(out.size(), total));
    return out;
}

// ---- Timing ----

// The best of `turns` rounds, each running every contender once in turn.
std::vector<double> bestSeconds(const std::vector<std::function<void()>>& contenders, int turns) {
    std::vector<double> best(contenders.size(), 1e30);
    for (int turn = 0; turn < turns; ++turn)
        for (size_t i = 0; i < contenders.size(); ++i) {
            auto start = Clock::now();
            contenders[i]();
            best[i] =
                std::min(best[i], std::chrono::duration<double>(Clock::now() - start).count());
        }
    return best;
}

double mbps(size_t bytes, double seconds) {
    return double(bytes) / seconds / 1e6;
}

// ---- Minimal loops ----

size_t chunkCount(size_t length, uint32_t chunkSize) {
    return (length + chunkSize - 1) / chunkSize;
}

struct Streams {
    Bytes bytes;
    std::vector<size_t> at, length;
};

// zlib: one deflate stream, reset for every chunk, into one buffer.
void zlibCompress(const Bytes& in, uint32_t chunkSize, int level, Streams& out) {
    static z_stream stream{};
    static int streamLevel = -2;
    if (streamLevel != level) {
        if (streamLevel != -2)
            deflateEnd(&stream);
        stream = z_stream{};
        deflateInit(&stream, level);
        streamLevel = level;
    }
    const size_t count = chunkCount(in.size(), chunkSize);
    out.bytes.resize(count * compressBound(chunkSize));
    out.at.resize(count);
    out.length.resize(count);
    size_t pos = 0;
    for (size_t i = 0; i < count; ++i) {
        size_t start = i * chunkSize, n = std::min<size_t>(chunkSize, in.size() - start);
        deflateReset(&stream);
        stream.next_in = const_cast<Bytef*>(in.data() + start);
        stream.avail_in = uInt(n);
        stream.next_out = out.bytes.data() + pos;
        stream.avail_out = uInt(compressBound(uLong(n)));
        deflate(&stream, Z_FINISH);
        out.at[i] = pos;
        out.length[i] = stream.total_out;
        pos += stream.total_out;
    }
}

void libdeflateCompress(const Bytes& in, uint32_t chunkSize, int level, Streams& out) {
    static libdeflate_compressor* compressors[13] = {};
    libdeflate_compressor*& c = compressors[level];
    if (c == nullptr)
        c = libdeflate_alloc_compressor(level);
    const size_t count = chunkCount(in.size(), chunkSize);
    const size_t bound = libdeflate_zlib_compress_bound(nullptr, chunkSize);
    out.bytes.resize(count * bound);
    out.at.resize(count);
    out.length.resize(count);
    size_t pos = 0;
    for (size_t i = 0; i < count; ++i) {
        size_t start = i * chunkSize, n = std::min<size_t>(chunkSize, in.size() - start);
        size_t written =
            libdeflate_zlib_compress(c, in.data() + start, n, out.bytes.data() + pos, bound);
        out.at[i] = pos;
        out.length[i] = written;
        pos += written;
    }
}

// zlib: one inflate stream, reset for every chunk, each chunk straight into its place.
void zlibDecompress(const Streams& in, uint32_t chunkSize, Bytes& out) {
    static z_stream stream{};
    static bool ready = false;
    if (!ready)
        ready = inflateInit(&stream) == Z_OK;
    for (size_t i = 0; i < in.at.size(); ++i) {
        inflateReset(&stream);
        stream.next_in = const_cast<Bytef*>(in.bytes.data() + in.at[i]);
        stream.avail_in = uInt(in.length[i]);
        stream.next_out = out.data() + i * chunkSize;
        stream.avail_out = uInt(std::min<size_t>(chunkSize, out.size() - i * chunkSize));
        inflate(&stream, Z_FINISH);
    }
}

void libdeflateDecompress(const Streams& in, uint32_t chunkSize, Bytes& out) {
    static libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    for (size_t i = 0; i < in.at.size(); ++i) {
        size_t room = std::min<size_t>(chunkSize, out.size() - i * chunkSize), made = 0;
        libdeflate_zlib_decompress(d, in.bytes.data() + in.at[i], in.length[i],
                                   out.data() + i * chunkSize, room, &made);
    }
}

// ---- karvcore ----

struct Container {
    uint8_t* bytes = nullptr;
    uint32_t used = 0;
    ~Container() { std::free(bytes); }
};

void karvCompress(const karv::ContainerKind& kind, const Bytes& in, int level, Container& out) {
    std::free(out.bytes);
    out.bytes = nullptr;
    uint32_t padded = 0;
    if (kind.compress(out.bytes, in.data(), uint32_t(in.size()), &out.used, &padded, kind.chunkSize,
                      false, level) != 0) {
        std::fprintf(stderr, "codec_bench: compression failed\n");
        std::exit(1);
    }
}

void karvDecompress(const karv::ContainerKind& kind, const Container& in) {
    uint8_t* out = nullptr;
    uint32_t length = 0;
    if (kind.decompress(out, in.bytes, in.used, &length, false) != 0) {
        std::fprintf(stderr, "codec_bench: decompression failed\n");
        std::exit(1);
    }
    std::free(out);
}

std::string nameOf(const karv::ContainerKind& kind) {
    return std::string(kind.name, kind.name + std::wcslen(kind.name)); // ASCII
}

// ---- The tables ----

void deflateChoice(const char* name, const Bytes& data) {
    for (int level : {1, 9}) {
        Streams z, l;
        std::vector<double> s = bestSeconds({[&] { zlibCompress(data, 65536, level, z); },
                                             [&] { libdeflateCompress(data, 65536, level, l); }},
                                            2);
        size_t zt = 0, lt = 0;
        bool sameHeader = true;
        for (size_t i = 0; i < z.at.size(); ++i) {
            zt += z.length[i];
            lt += l.length[i];
            sameHeader = sameHeader && z.bytes[z.at[i]] == l.bytes[l.at[i]] &&
                         z.bytes[z.at[i] + 1] == l.bytes[l.at[i] + 1];
        }
        std::printf("%-9s %4d %12zu %8.1f %12zu %8.1f %+8.2f%% %6s  %s\n", name, level, zt,
                    mbps(data.size(), s[0]), lt, mbps(data.size(), s[1]),
                    100.0 * (double(lt) - double(zt)) / double(zt), sameHeader ? "same" : "DIFF",
                    sameHeader && lt <= zt ? "libdeflate" : "zlib");
    }
}

void containers(const Bytes& data, unsigned threads) {
    std::printf("\n%-15s %9s %9s %10s %10s %9s %9s   (MB/s of data; %u threads by default)\n",
                "work", "zlib", "libdefl.", "karv 1", "karv dflt", "dflt/zlib", "dflt/libd",
                threads);
    for (int32_t type : {karv::kDataType357, karv::kDataTypeZ54, karv::kDataType358}) {
        const karv::ContainerKind& kind = *karv::FindContainerKind(type);
        const uint32_t chunk = kind.chunkSize;
        Container container;
        auto row = [&](const std::string& work, const std::vector<std::function<void()>>& runs) {
            std::vector<double> s = bestSeconds(runs, 3);
            std::printf("%-15s %9.1f %9.1f %10.1f %10.1f %9.2f %9.2f\n", work.c_str(),
                        mbps(data.size(), s[0]), mbps(data.size(), s[1]), mbps(data.size(), s[2]),
                        mbps(data.size(), s[3]), s[0] / s[3], s[1] / s[3]);
        };
        for (int level : {9, 1}) {
            Streams z, l;
            row(nameOf(kind) + " C level " + std::to_string(level),
                {[&] { zlibCompress(data, chunk, level, z); },
                 [&] { libdeflateCompress(data, chunk, level, l); },
                 [&] {
                     karv::SetWorkerCount(1);
                     karvCompress(kind, data, level, container);
                 },
                 [&] {
                     karv::SetWorkerCount(0);
                     karvCompress(kind, data, level, container);
                 }});
        }
        Streams streams;
        zlibCompress(data, chunk, 9, streams);
        karvCompress(kind, data, 9, container);
        Bytes out(data.size());
        row(nameOf(kind) + " U", {[&] { zlibDecompress(streams, chunk, out); },
                                  [&] { libdeflateDecompress(streams, chunk, out); },
                                  [&] {
                                      karv::SetWorkerCount(1);
                                      karvDecompress(kind, container);
                                  },
                                  [&] {
                                      karv::SetWorkerCount(0);
                                      karvDecompress(kind, container);
                                  }});
    }
}

// One call on one thread against one call sharing its chunks, over growing sizes.
void threshold(const Bytes& data) {
    std::printf("\n%-10s %14s %14s %14s %14s   (Z54 at level 1; microseconds)\n", "size",
                "C one thread", "C shared", "U one thread", "U shared");
    const karv::ContainerKind& kind = *karv::FindContainerKind(karv::kDataTypeZ54);
    karv::SetWorkerCount(0);
    for (size_t size = 64 << 10; size <= (8u << 20); size *= 2) {
        Bytes part(data.begin(), data.begin() + std::min(size, data.size()));
        Container container;
        karvCompress(kind, part, 1, container);
        auto at = [&](uint64_t from, bool compress) {
            return [&, from, compress] {
                karv::SetParallelThreshold(from);
                for (int i = 0; i < 5; ++i) {
                    if (compress) {
                        Container c;
                        karvCompress(kind, part, 1, c);
                    } else {
                        karvDecompress(kind, container);
                    }
                }
            };
        };
        std::vector<double> s = bestSeconds(
            {at(UINT64_MAX, true), at(1, true), at(UINT64_MAX, false), at(1, false)}, 3);
        std::printf("%7zu KiB %14.0f %14.0f %14.0f %14.0f\n", size >> 10, s[0] / 5 * 1e6,
                    s[1] / 5 * 1e6, s[2] / 5 * 1e6, s[3] / 5 * 1e6);
    }
    karv::SetParallelThreshold(0);
}

} // namespace

int main(int argc, char** argv) {
    size_t mib = 32;
    std::vector<std::string> mixedFiles;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--mib" && i + 1 < argc)
            mib = std::strtoul(argv[++i], nullptr, 10);
        else if (arg == "--mixed")
            while (i + 1 < argc)
                mixedFiles.push_back(argv[++i]);
    }
    const Bytes data = benchmarkData(mib << 20);
    const Bytes mixed = mixedData(mixedFiles, mib << 20);
    std::printf("Deflate at the program's levels, 64 KiB chunks (MB/s of data, sizes in bytes):\n");
    std::printf("%-9s %4s %12s %8s %12s %8s %9s %6s  %s\n", "data", "lvl", "zlib size", "MB/s",
                "libdefl size", "MB/s", "size", "header", "chosen");
    deflateChoice("benchmark", data);
    deflateChoice("mixed", mixed);
    containers(data, karv::WorkerCount());
    threshold(data);
    return 0;
}
