// What the three compressed containers (357, Z54, 358) share: cutting the input into chunks and
// compressing them, laying out the table containers, and filling the output chunk by chunk.
//
// Every container number is untrusted: positions are kept in 64 bits and checked against the
// container length before a byte is read, and no chunk writes past the header's total.
#pragma once

#include "karvcore/archive.h"

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace karv {

// The rows of the container table, each defined in its container's own file; adding a kind is
// one more file and one more row in container_kinds.cpp.
extern const ContainerKind kContainer357;
extern const ContainerKind kContainerZ54;
extern const ContainerKind kContainer358;

} // namespace karv

namespace karv::container {

inline constexpr uint32_t kMaxChunks = 100000;
inline constexpr uint32_t kLengthFieldSize = 4;
// 357 and 358 records start at multiples of this, counted from the start of the container.
inline constexpr uint32_t kRecordAlign = 128;
// 357 and 358 buffers are handed out at a multiple of this.
inline constexpr uint32_t kTablePaddedUnit = 256;

// ---- Writing ----

// Every failure of a compressor is -1; the message says which.
inline constexpr int32_t kCompressorFailed = -1;
// The decompressors' failures.
inline constexpr int32_t kCorruptData = -1;
inline constexpr int32_t kWrongTotal = -2;
inline constexpr int32_t kNoMemory = -10;

// The number of chunks of `chunkSize` in `length` bytes; refused for an empty input, a chunk
// size of 0 or more chunks than a container may hold.
Status countChunks(uint32_t length, uint32_t chunkSize, uint32_t& count);

// One deflate stream for every chunk of a container. Reset between chunks, it writes exactly
// what compress2 writes, without zlib allocating and freeing its state (a quarter of a MiB)
// for each chunk, which is what made many small chunks slow where allocation is costly.
class ChunkDeflater {
  public:
    ChunkDeflater() = default;
    ChunkDeflater(const ChunkDeflater&) = delete;
    ChunkDeflater& operator=(const ChunkDeflater&) = delete;
    ~ChunkDeflater() { end(); }

    // Compresses `length` bytes into `out`, which holds `room` bytes (compressBound of the
    // length, below 4 GiB); false when zlib refuses (a bad level, no memory) or runs out of room.
    bool compress(const uint8_t* input, uint32_t length, uint8_t* out, uLong room, int level,
                  uLong& written);

  private:
    bool start(int level);
    void end();

    z_stream stream_{};
    bool ready_ = false;
    int level_ = 0;
};

// A container being written. The chunks are compressed straight into their records in a block
// big enough for the worst case, which shrinks to the padded length at the end: no second copy
// of the compressed data, and only the bytes in use are ever touched.
class ContainerWriter {
  public:
    // Reserves the block for `count` chunks of `chunkSize` from `input`, records from
    // `firstRecord` on, each followed by zero fill to a multiple of `recordAlign`. The bytes
    // before `firstRecord` (header and table) start out zero.
    Status reserve(const uint8_t* input, uint32_t length, uint32_t chunkSize, uint32_t count,
                   uint64_t firstRecord, uint32_t recordAlign);

    // Compresses the next chunk into a record at the current position: its length, the zlib
    // stream and the zero fill. Gives the stream's length.
    Status compressNext(int level, bool bigEndian, uint32_t& streamLength);

    // Appends `trailingZeros` zero bytes (the used length ends there), zero-fills up to the used
    // length raised to a multiple of `paddedUnit`, and hands the block to the caller's out
    // values. Refused when a length does not fit in 32 bits.
    Status finish(uint32_t trailingZeros, uint32_t paddedUnit, uint8_t*& out, uint32_t* usedLength,
                  uint32_t* paddedLength);

    uint8_t* data() { return block_.get(); }

  private:
    MallocBuffer block_;
    ChunkDeflater deflater_;
    uint64_t capacity_ = 0;
    const uint8_t* input_ = nullptr;
    uint32_t length_ = 0;
    uint32_t chunkSize_ = 0;
    uint32_t next_ = 0;
    uint32_t recordAlign_ = 1;
    uint64_t pos_ = 0;
};

// 357 and 358: a header of `headerSize` bytes, the table of record sizes behind it, zero fill up
// to a multiple of `tableAlign`, then the records at multiples of 128. Writes everything but the
// header fields, which the caller writes into `header` before the block is handed over.
struct TableLayout {
    uint32_t chunkSize = 0;
    uint32_t headerSize = 0;
    uint32_t tableAlign = 0;
};
Status compressTableContainer(const TableLayout& layout, const uint8_t* input, uint32_t length,
                              bool bigEndian, int level, ContainerWriter& writer, uint32_t& count);

// ---- Reading ----

// True when the record at `pos` (length field and `length` bytes) lies inside the container.
bool recordFits(uint64_t pos, uint32_t length, uint32_t containerLength);

// How a chunk moved the output: the record position moves differently for each.
enum class ChunkKind { Inflated, Stored, Ignored };

// The decompressed output: T bytes filled chunk by chunk, never past T.
class Output {
  public:
    // kNoMemory when T bytes cannot be allocated. A T that the container cannot possibly inflate
    // to is refused as a wrong total before anything is allocated.
    Status allocate(uint32_t total, uint32_t containerLength);

    // One nonzero chunk of `length` bytes: a zlib stream (first byte 0x78) is inflated in place,
    // at most `capacity` bytes; any other chunk is copied raw while both its length and the
    // produced count are below T. kCorruptData when the stream is bad or would run past T.
    Status takeChunk(const uint8_t* bytes, uint32_t length, uint32_t capacity, ChunkKind& kind);

    // The block handed to the caller when the chunks made exactly T bytes.
    Status finish(uint8_t*& out, uint32_t* outLength);

  private:
    Status inflateChunk(const uint8_t* stream, uint32_t length, uint32_t capacity);
    Status copyStored(const uint8_t* bytes, uint32_t length);

    MallocBuffer data_;
    uint32_t total_ = 0;
    uint32_t produced_ = 0;
};

// Ends a decompressor: hands the output over when the walk succeeded and the total is right;
// otherwise leaves no buffer with the caller (and, for a wrong total, an out length of 0) and
// reports the failure.
int32_t deliver(const Status& walked, Output& output, uint8_t*& out, uint32_t* outLength);

// The parts of a 357 or 358 header that drive the walk over the table.
struct TableHeader {
    uint32_t total = 0;
    uint32_t chunkCapacity = 0;
    uint32_t count = 0;
    uint32_t tableOffset = 0;
    uint32_t tableAlign = 0;
};

// 357 and 358 decompression once the header has been read.
int32_t decompressTableContainer(const TableHeader& header, const uint8_t* container,
                                 uint32_t containerLength, bool bigEndian, uint8_t*& out,
                                 uint32_t* outLength);

// A container too short for its own header: corrupt, no buffer.
int32_t refuseTruncated(uint8_t*& out);

// A corrupt container.
Status corrupt();

} // namespace karv::container
