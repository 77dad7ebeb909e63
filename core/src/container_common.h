// What the three compressed containers (357, Z54, 358) share: cutting the input into chunks and
// compressing them, laying out the table containers, and filling the output chunk by chunk.
//
// Every container number is untrusted: positions are kept in 64 bits and checked against the
// container length before a byte is read, and no chunk writes past the header's total.
#pragma once

#include "malloc_buffer.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace karv::container {

inline constexpr uint32_t kMaxChunks = 100000;
inline constexpr uint32_t kLengthFieldSize = 4;
// 357 and 358 records start at multiples of this, counted from the start of the container.
inline constexpr uint32_t kRecordAlign = 128;
// 357 and 358 buffers are handed out at a multiple of this.
inline constexpr uint32_t kTablePaddedUnit = 256;

// ---- Writing ----

// The input cut into chunks of one size, each compressed into its own zlib stream. The streams
// wait in one scratch block until the container's size is known.
class CompressedChunks {
  public:
    // 0, or -1 with the message set: empty input, chunk size 0, too many chunks, no memory,
    // or a failing compress2.
    int32_t compress(const uint8_t* input, uint32_t length, uint32_t chunkSize, int level);

    uint32_t count() const { return uint32_t(lengths_.size()); }
    uint32_t length(uint32_t i) const { return lengths_[i]; }
    const uint8_t* data(uint32_t i) const { return scratch_.get() + offsets_[i]; }

  private:
    int32_t reserve(uint32_t length, uint32_t chunkSize);

    MallocBuffer scratch_;
    std::vector<size_t> offsets_;
    std::vector<uint32_t> lengths_;
};

// A finished container: a zero-filled block of paddedLength bytes, the first usedLength in use.
struct Container {
    MallocBuffer data;
    uint32_t usedLength = 0;
    uint32_t paddedLength = 0;
};

// Allocates the zero-filled block, the used length raised to a multiple of `paddedUnit`.
// -1 with the message when either length does not fit in 32 bits or memory runs out.
int32_t allocateContainer(uint64_t usedLength, uint32_t paddedUnit, Container& out);

// Writes chunk i as a record at `at`: its length, then its bytes.
void writeRecord(uint8_t* at, const CompressedChunks& chunks, uint32_t i, bool bigEndian);

// 357 and 358: a header of `headerSize` bytes, the table of record sizes behind it, zero fill up
// to a multiple of `tableAlign`, then the records at multiples of 128. Writes the table and the
// records; the caller writes the header fields.
int32_t layOutTableContainer(const CompressedChunks& chunks, uint32_t headerSize,
                             uint32_t tableAlign, bool bigEndian, Container& out);

// Gives the container to the caller's out values; returns 0.
int32_t handOver(Container& container, uint8_t*& out, uint32_t* usedLength, uint32_t* paddedLength);

// ---- Reading ----

// True when the record at `pos` (length field and `length` bytes) lies inside the container.
bool recordFits(uint64_t pos, uint32_t length, uint32_t containerLength);

// How a chunk moved the output: the record position moves differently for each.
enum class ChunkKind { Inflated, Stored, Ignored };

// The decompressed output: T bytes filled chunk by chunk, never past T.
class Output {
  public:
    // -10 when T bytes cannot be allocated. A T that the container cannot possibly inflate to
    // is refused as a wrong total (-2) before anything is allocated.
    int32_t allocate(uint32_t total, uint32_t containerLength);

    // One nonzero chunk of `length` bytes: a zlib stream (first byte 0x78) is inflated in place,
    // at most `capacity` bytes; any other chunk is copied raw while both its length and the
    // produced count are below T. -1 when the stream is bad or would run past T.
    int32_t takeChunk(const uint8_t* bytes, uint32_t length, uint32_t capacity, ChunkKind& kind);

    // 0 with the block handed to the caller when the chunks made exactly T bytes.
    int32_t finish(uint8_t*& out, uint32_t* outLength);

  private:
    int32_t inflateChunk(const uint8_t* stream, uint32_t length, uint32_t capacity);
    int32_t copyStored(const uint8_t* bytes, uint32_t length);

    MallocBuffer data_;
    uint32_t total_ = 0;
    uint32_t produced_ = 0;
};

// Ends a decompressor: hands the output over when `status` is 0 and the total is right;
// otherwise leaves no buffer with the caller and sets the message of the status.
int32_t deliver(int32_t status, Output& output, uint8_t*& out, uint32_t* outLength);

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

// A container too short for its own header: -1, no buffer.
int32_t refuseTruncated(uint8_t*& out);

} // namespace karv::container
