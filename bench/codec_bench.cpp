// Throughput of the three containers against raw zlib doing the same work: compress2 and
// uncompress over the same chunks, at the chunk size each container uses. After the usual
// output, a table gives the best of the repetitions in MB/s of uncompressed data per CPU second and
// the ratio container / raw (the goal is at least 0.95).
//
// The raw runs come in two kinds: "raw" works in buffers allocated once, "raw+alloc" allocates
// its output block on every run as the containers must (they hand out a new malloc block).
#include "karvcore/archive.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cwchar>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kDataSize = 64u << 20;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using MallocBuffer = std::unique_ptr<uint8_t, FreeDeleter>;

// 64 MiB alternating between text-like runs (words, spaces, line breaks) and pseudo-random
// runs, each between 1 KiB and 128 KiB long, about 60 % text.
const Bytes& mixedData() {
    static const Bytes data = [] {
        static const char* kWords[] = {"archive", "member", "index",  "chunk", "texture",
                                       "offset",  "the",    "of",     "game",  "data",
                                       "file",    "header", "record", "size",  "level"};
        Bytes out;
        out.reserve(kDataSize);
        uint64_t state = 0x9E3779B97F4A7C15u;
        auto next = [&state] {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            return state;
        };
        while (out.size() < kDataSize) {
            size_t run = std::min<size_t>(1024 + next() % (127 * 1024), kDataSize - out.size());
            bool text = next() % 10 < 6;
            for (size_t end = out.size() + run; out.size() < end;) {
                if (!text) {
                    out.push_back(uint8_t(next()));
                    continue;
                }
                const char* word = kWords[next() % 15];
                for (size_t i = 0; word[i] && out.size() < end; ++i)
                    out.push_back(uint8_t(word[i]));
                if (out.size() < end)
                    out.push_back(next() % 12 == 0 ? '\n' : ' ');
            }
        }
        return out;
    }();
    return data;
}

struct Format {
    std::string name;
    uint32_t chunkSize;
    std::function<int32_t(uint8_t*&, const Bytes&, uint32_t*, uint32_t*, int)> compress;
    int32_t (*decompress)(uint8_t*&, const uint8_t*, uint32_t, uint32_t*, bool);
};

const std::vector<Format>& formats() {
    static const std::vector<Format> list = [] {
        std::vector<Format> kinds;
        for (int32_t type : {karv::kDataType357, karv::kDataTypeZ54, karv::kDataType358}) {
            const karv::ContainerKind* kind = karv::FindContainerKind(type);
            Format format;
            format.name.assign(kind->name, kind->name + std::wcslen(kind->name)); // ASCII
            format.chunkSize = kind->chunkSize;
            format.compress = [kind](uint8_t*& out, const Bytes& in, uint32_t* used,
                                     uint32_t* padded, int level) {
                return kind->compress(out, in.data(), uint32_t(in.size()), used, padded,
                                      kind->chunkSize, false, level);
            };
            format.decompress = kind->decompress;
            kinds.push_back(std::move(format));
        }
        return kinds;
    }();
    return list;
}

// ---- Raw zlib over the chunks ----

struct RawChunks {
    Bytes streams;
    std::vector<size_t> offsets;
    std::vector<uLongf> lengths;
};

size_t chunkCount(uint32_t chunkSize) {
    return (kDataSize + chunkSize - 1) / chunkSize;
}

size_t boundsTotal(uint32_t chunkSize) {
    size_t total = 0;
    for (size_t i = 0; i < chunkCount(chunkSize); ++i)
        total += compressBound(std::min<uLong>(chunkSize, kDataSize - i * chunkSize));
    return total;
}

void rawCompress(const Bytes& in, uint32_t chunkSize, int level, uint8_t* dest, RawChunks& out) {
    size_t at = 0;
    for (size_t i = 0; i < chunkCount(chunkSize); ++i) {
        size_t start = i * chunkSize;
        uLong n = uLong(std::min<size_t>(chunkSize, in.size() - start));
        uLongf length = compressBound(n);
        if (compress2(dest + at, &length, in.data() + start, n, level) != Z_OK)
            throw std::runtime_error("compress2");
        out.offsets[i] = at;
        out.lengths[i] = length;
        at += length;
    }
}

RawChunks rawStreams(uint32_t chunkSize) {
    RawChunks raw;
    raw.streams.resize(boundsTotal(chunkSize));
    raw.offsets.resize(chunkCount(chunkSize));
    raw.lengths.resize(chunkCount(chunkSize));
    rawCompress(mixedData(), chunkSize, 9, raw.streams.data(), raw);
    return raw;
}

void rawDecompress(const RawChunks& raw, uint32_t chunkSize, uint8_t* dest) {
    for (size_t i = 0; i < raw.offsets.size(); ++i) {
        uLongf length = chunkSize;
        if (uncompress(dest + i * chunkSize, &length, raw.streams.data() + raw.offsets[i],
                       raw.lengths[i]) != Z_OK)
            throw std::runtime_error("uncompress");
    }
}

// ---- The benchmarks ----

void setBytes(benchmark::State& state) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kDataSize));
}

void containerCompress(benchmark::State& state, const Format& f, int level) {
    const Bytes& in = mixedData();
    for (auto _ : state) {
        uint8_t* out = nullptr;
        uint32_t used = 0, padded = 0;
        if (f.compress(out, in, &used, &padded, level) != 0)
            state.SkipWithError("compress failed");
        benchmark::DoNotOptimize(out);
        std::free(out);
    }
    setBytes(state);
}

void rawCompressBench(benchmark::State& state, const Format& f, int level, bool allocate) {
    const Bytes& in = mixedData();
    RawChunks raw;
    raw.offsets.resize(chunkCount(f.chunkSize));
    raw.lengths.resize(chunkCount(f.chunkSize));
    Bytes warm(boundsTotal(f.chunkSize));
    for (auto _ : state) {
        MallocBuffer fresh;
        if (allocate)
            fresh.reset(static_cast<uint8_t*>(std::malloc(warm.size())));
        rawCompress(in, f.chunkSize, level, allocate ? fresh.get() : warm.data(), raw);
        benchmark::DoNotOptimize(raw.lengths.data());
    }
    setBytes(state);
}

void containerDecompress(benchmark::State& state, const Format& f) {
    uint8_t* container = nullptr;
    uint32_t used = 0, padded = 0;
    if (f.compress(container, mixedData(), &used, &padded, 9) != 0) {
        state.SkipWithError("compress failed");
        return;
    }
    MallocBuffer owned(container);
    for (auto _ : state) {
        uint8_t* out = nullptr;
        uint32_t length = 0;
        if (f.decompress(out, container, used, &length, false) != 0)
            state.SkipWithError("decompress failed");
        benchmark::DoNotOptimize(out);
        std::free(out);
    }
    setBytes(state);
}

void rawDecompressBench(benchmark::State& state, const Format& f, bool allocate) {
    RawChunks raw = rawStreams(f.chunkSize);
    Bytes warm(kDataSize);
    for (auto _ : state) {
        MallocBuffer fresh;
        if (allocate)
            fresh.reset(static_cast<uint8_t*>(std::malloc(kDataSize)));
        uint8_t* dest = allocate ? fresh.get() : warm.data();
        rawDecompress(raw, f.chunkSize, dest);
        benchmark::DoNotOptimize(dest);
    }
    setBytes(state);
}

// ---- The table ----

// Keeps the best run of each benchmark and prints the comparison at the end.
class TableReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            double mbps =
                double(kDataSize) * double(run.iterations) / run.cpu_accumulated_time / 1e6;
            double& best = best_[run.run_name.function_name];
            best = std::max(best, mbps);
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-26s %10s %10s %10s %8s %8s\n", "work (64 MiB mixed)", "container", "raw",
                    "raw+alloc", "c/raw", "c/r+a");
        for (const Format& f : formats())
            for (const char* work : {"compress level 1", "compress level 9", "decompress"}) {
                std::string key = f.name + " " + work;
                double c = best_[key + " container"], r = best_[key + " raw"],
                       ra = best_[key + " raw+alloc"];
                std::printf("%-26s %10.1f %10.1f %10.1f %8.3f %8.3f\n", key.c_str(), c, r, ra,
                            r > 0 ? c / r : 0, ra > 0 ? c / ra : 0);
            }
    }

  private:
    std::map<std::string, double> best_;
};

// Three repetitions each, timed in CPU time of the running thread (page faults included); the
// table takes the best, which is the least disturbed by other work on the machine.
void tune(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->Repetitions(3);
}

void registerAll() {
    for (const Format& f : formats()) {
        std::string base = f.name;
        for (int level : {1, 9}) {
            std::string key = base + " compress level " + std::to_string(level);
            tune(benchmark::RegisterBenchmark((key + " raw").c_str(), rawCompressBench, f, level,
                                              false));
            tune(benchmark::RegisterBenchmark((key + " container").c_str(), containerCompress, f,
                                              level));
            tune(benchmark::RegisterBenchmark((key + " raw+alloc").c_str(), rawCompressBench, f,
                                              level, true));
        }
        std::string key = base + " decompress";
        tune(benchmark::RegisterBenchmark((key + " raw").c_str(), rawDecompressBench, f, false));
        tune(benchmark::RegisterBenchmark((key + " container").c_str(), containerDecompress, f));
        tune(benchmark::RegisterBenchmark((key + " raw+alloc").c_str(), rawDecompressBench, f,
                                          true));
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    mixedData();
    registerAll();
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
