#include "work/stream_codec.h"

#include <libdeflate.h>

#include <atomic>
#include <mutex>

namespace karv::codec {
namespace {

std::atomic<CodecEngine> chosenEngine{CodecEngine::Fast};

// Where libdeflate compresses: at these levels (the import's 1, the best 9 of the command line
// and of refits) its streams carry zlib's header bytes and came out smaller than zlib's on the
// benchmark's data and on text and machine code alike; every other level stays with zlib.
bool libdeflateDeflates(int level) {
    return level == 1 || level == 9;
}

// libdeflate picks its code for this processor on the first call and keeps the choice in plain
// globals. One compress and one inflate on the first thread that builds a codec make that choice
// before any worker can race on it; every later codec is built after it (call_once orders them).
void settleLibdeflateChoice() {
    static std::once_flag settled;
    std::call_once(settled, [] {
        const uint8_t input[16] = {};
        uint8_t stream[64];
        uint8_t output[16];
        libdeflate_compressor* compressor = libdeflate_alloc_compressor(1);
        libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
        if (compressor != nullptr && decompressor != nullptr) {
            size_t length =
                libdeflate_zlib_compress(compressor, input, sizeof input, stream, sizeof stream);
            if (length != 0)
                libdeflate_zlib_decompress(decompressor, stream, length, output, sizeof output,
                                           nullptr);
        }
        libdeflate_free_compressor(compressor);
        libdeflate_free_decompressor(decompressor);
    });
}

} // namespace

CodecEngine engine() {
    return chosenEngine.load(std::memory_order_relaxed);
}

StreamCodec::StreamCodec() {
    settleLibdeflateChoice();
}

StreamCodec::~StreamCodec() {
    libdeflate_free_decompressor(decompressor_);
    for (libdeflate_compressor* compressor : compressors_)
        libdeflate_free_compressor(compressor);
    if (deflateReady_)
        deflateEnd(&deflateStream_);
    if (inflateReady_)
        inflateEnd(&inflateStream_);
}

bool StreamCodec::inflate(const uint8_t* stream, uint32_t length, uint8_t* dest, uint32_t capacity,
                          uint32_t& produced) {
    if (engine() == CodecEngine::Fast) {
        if (decompressor_ == nullptr)
            decompressor_ = libdeflate_alloc_decompressor();
        size_t actual = 0;
        if (decompressor_ != nullptr &&
            libdeflate_zlib_decompress(decompressor_, stream, length, dest, capacity, &actual) ==
                LIBDEFLATE_SUCCESS) {
            produced = uint32_t(actual);
            return true;
        }
    }
    // Whatever libdeflate refuses, zlib decides.
    return inflateWithZlib(stream, length, dest, capacity, produced);
}

bool StreamCodec::inflateWithZlib(const uint8_t* stream, uint32_t length, uint8_t* dest,
                                  uint32_t capacity, uint32_t& produced) {
    // uncompress quietly drops a lone byte when given no room, so an exhausted output gets a
    // spare byte of its own and any byte landing there is a stream too long.
    uint8_t spare = 0;
    uLongf inflated = capacity != 0 ? capacity : 1;
    if (uncompress(capacity != 0 ? dest : &spare, &inflated, stream, length) != Z_OK ||
        inflated > capacity)
        return false;
    produced = uint32_t(inflated);
    return true;
}

// zlib stops where the room ends; libdeflate cannot, and would inflate the whole stream.
bool StreamCodec::inflatePrefix(const uint8_t* stream, uint32_t length, uint8_t* dest,
                                uint32_t capacity, uint32_t& produced) {
    if (inflateReady_ ? inflateReset(&inflateStream_) != Z_OK
                      : inflateInit(&inflateStream_) != Z_OK)
        return false;
    inflateReady_ = true;
    inflateStream_.next_in = const_cast<Bytef*>(stream);
    inflateStream_.avail_in = length;
    inflateStream_.next_out = dest;
    inflateStream_.avail_out = capacity;
    int result = Z_OK;
    while (result == Z_OK && inflateStream_.avail_out > 0 && inflateStream_.avail_in > 0)
        result = ::inflate(&inflateStream_, Z_NO_FLUSH);
    const bool full = inflateStream_.avail_out == 0 && (result == Z_OK || result == Z_BUF_ERROR);
    if (result != Z_STREAM_END && !full)
        return false;
    produced = capacity - inflateStream_.avail_out;
    return true;
}

bool StreamCodec::deflate(const uint8_t* input, uint32_t length, int level, uint8_t* dest,
                          uint64_t room, uint32_t& written) {
    if (engine() == CodecEngine::Fast && libdeflateDeflates(level)) {
        libdeflate_compressor*& compressor = compressors_[level];
        if (compressor == nullptr)
            compressor = libdeflate_alloc_compressor(level);
        if (compressor == nullptr)
            return false;
        size_t out = libdeflate_zlib_compress(compressor, input, length, dest, size_t(room));
        written = uint32_t(out);
        return out != 0;
    }
    return deflateWithZlib(input, length, level, dest, room, written);
}

// One deflate stream for every chunk, reset between chunks: it writes exactly what compress2
// writes, without zlib allocating and freeing its state (a quarter of a MiB) for each chunk.
bool StreamCodec::deflateWithZlib(const uint8_t* input, uint32_t length, int level, uint8_t* dest,
                                  uint64_t room, uint32_t& written) {
    if (deflateReady_ && level == deflateLevel_) {
        if (deflateReset(&deflateStream_) != Z_OK)
            return false;
    } else {
        if (deflateReady_)
            deflateEnd(&deflateStream_);
        deflateReady_ = false;
        deflateStream_ = z_stream{};
        if (deflateInit(&deflateStream_, level) != Z_OK)
            return false;
        deflateReady_ = true;
        deflateLevel_ = level;
    }
    deflateStream_.next_in = const_cast<Bytef*>(input);
    deflateStream_.avail_in = length;
    deflateStream_.next_out = dest;
    deflateStream_.avail_out = uInt(room < UINT32_MAX ? room : UINT32_MAX);
    if (::deflate(&deflateStream_, Z_FINISH) != Z_STREAM_END)
        return false;
    written = uint32_t(deflateStream_.total_out);
    return true;
}

uint64_t StreamCodec::bound(uint32_t length) {
    uint64_t zlibBound = compressBound(length);
    uint64_t libdeflateBound = libdeflate_zlib_compress_bound(nullptr, length);
    return zlibBound > libdeflateBound ? zlibBound : libdeflateBound;
}

} // namespace karv::codec

void karv::SetCodecEngine(CodecEngine engine) {
    codec::chosenEngine.store(engine, std::memory_order_relaxed);
}
