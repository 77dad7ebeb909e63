// One zlib stream at a time, in and out: what every chunk of every container is. libdeflate
// does the work where it gives exactly zlib's answer; zlib stays the judge wherever libdeflate
// refuses a stream, and keeps the levels where libdeflate's streams were not found to be at
// least as small. One object per thread: the state of both libraries is allocated once and
// reused for every chunk.
#pragma once

#include "karvcore/tuning.h"

#include <zlib.h>

#include <cstdint>

struct libdeflate_compressor;
struct libdeflate_decompressor;

namespace karv::codec {

// The engine setting of the library (SetCodecEngine), for the calls that start now.
CodecEngine engine();

class StreamCodec {
  public:
    StreamCodec();
    StreamCodec(const StreamCodec&) = delete;
    StreamCodec& operator=(const StreamCodec&) = delete;
    ~StreamCodec();

    // Inflates one zlib stream of `length` bytes into `dest`, which has room for `capacity`
    // bytes; `produced` receives the count. False exactly when zlib's uncompress refuses the
    // stream: a bad stream, or one that inflates to more than `capacity`.
    bool inflate(const uint8_t* stream, uint32_t length, uint8_t* dest, uint32_t capacity,
                 uint32_t& produced);

    // Inflates no more than the first `capacity` bytes of one zlib stream (its end unchecked
    // when it makes more): what a look at a member's head needs, at the cost of those bytes
    // only. False when the stream is bad before that or its `length` bytes end it early.
    bool inflatePrefix(const uint8_t* stream, uint32_t length, uint8_t* dest, uint32_t capacity,
                       uint32_t& produced);

    // Compresses `length` bytes into one zlib stream at `level` in `dest`, which holds `room`
    // bytes (at least bound(length)). False when the level is not one zlib knows, or memory
    // runs out.
    bool deflate(const uint8_t* input, uint32_t length, int level, uint8_t* dest, uint64_t room,
                 uint32_t& written);

    // The most bytes deflate() may write for `length` bytes, whichever library writes them.
    static uint64_t bound(uint32_t length);

  private:
    bool inflateWithZlib(const uint8_t* stream, uint32_t length, uint8_t* dest, uint32_t capacity,
                         uint32_t& produced);
    bool deflateWithZlib(const uint8_t* input, uint32_t length, int level, uint8_t* dest,
                         uint64_t room, uint32_t& written);

    libdeflate_decompressor* decompressor_ = nullptr;
    libdeflate_compressor* compressors_[10] = {};
    z_stream inflateStream_{};
    bool inflateReady_ = false;
    z_stream deflateStream_{};
    bool deflateReady_ = false;
    int deflateLevel_ = 0;
};

} // namespace karv::codec
