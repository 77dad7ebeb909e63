// What the three compressed containers (357, Z54, 358) share: cutting the input into chunks and
// compressing them, laying out the records, and filling the output chunk by chunk.
//
// Every chunk is an independent zlib stream, so chunks are compressed and decompressed on the
// threads of a worker pool when the caller gives one. Decompression plans where each chunk's
// output lands as the writers lay it out, decodes the chunks there side by side, and checks
// every chunk's length; when any differs (a container no writer of ours made, or a corrupt one)
// the member is decoded again chunk by chunk, so the result is always the sequential result.
//
// Every container number is untrusted: positions are kept in 64 bits and checked against the
// container length before a byte is read, and no chunk writes past the header's total.
#pragma once

#include "boundary/boundary.h"
#include "karvcore/buffer.h"
#include "karvcore/formats.h"
#include "work/block.h"
#include "work/stream_codec.h"
#include "work/worker_pool.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace karv {

// What a look at the head of a container found: the header's total and, decoded, the start of
// the member, from the container's first chunk.
struct ContainerHead {
    uint32_t total = 0;
    // Bytes from the container's start that hold its header and its first record. When more
    // than were at hand, nothing is decoded: the caller reads that many and asks again.
    uint64_t needed = 0;
    uint32_t length = 0; // bytes decoded
};

// The library's own workings of a container kind, behind its row of the table.
struct ContainerEngine {
    // Compresses `length` bytes into `out` (chunk size: the kind's own unless the caller
    // chooses it). `used` and `padded` as the exported compressors give them.
    Status (*compress)(const uint8_t* input, uint32_t length, uint32_t chunkSize, bool bigEndian,
                       int level, codec::StreamCodec& codec, WorkerPool* pool, Block& out,
                       uint32_t& used, uint32_t& padded);
    // Decompresses a container into `out`; `total` receives its length.
    Status (*decompress)(const uint8_t* container, uint32_t length, bool bigEndian,
                         codec::StreamCodec& codec, WorkerPool* pool, Block& out, uint32_t& total);
    // Decodes the head of a container of `length` bytes of which the first `available` are at
    // hand: the header, and of the first record that holds bytes, at most `limit` bytes into
    // `out` (never more than the header's chunk size and total). Nothing is read beyond
    // `available`. CorruptData or WrongTotal where the whole decode would fail the same way.
    // Decodes every chunk of a container into `scratch` (room for one chunk is made there) and
    // keeps none: the whole decode's outcome without holding the member. `total` receives the
    // header's total.
    Status (*check)(const uint8_t* container, uint32_t length, bool bigEndian,
                    codec::StreamCodec& codec, Block& scratch, uint32_t& total);
    Status (*decodeHead)(const uint8_t* container, uint32_t available, uint32_t length,
                         bool bigEndian, uint32_t limit, codec::StreamCodec& codec, uint8_t* out,
                         ContainerHead& head);
};

// The rows of the container table and their engines, each defined in its container's own file;
// adding a kind is one more file and one more row in container_kinds.cpp.
extern const ContainerKind kContainer357;
extern const ContainerKind kContainerZ54;
extern const ContainerKind kContainer358;
extern const ContainerEngine kEngine357;
extern const ContainerEngine kEngineZ54;
extern const ContainerEngine kEngine358;

// The engine behind a row of the table.
const ContainerEngine& engineOf(const ContainerKind& kind);

} // namespace karv

namespace karv::container {

inline constexpr uint32_t kMaxChunks = 100000;
inline constexpr uint32_t kLengthFieldSize = 4;
// 357 and 358 records start at multiples of this, counted from the start of the container.
inline constexpr uint32_t kRecordAlign = 128;
// 357 and 358 buffers are handed out at a multiple of this.
inline constexpr uint32_t kTablePaddedUnit = 256;

// The pool for one call of an exported codec over `bytes` of data in `chunks` chunks: none
// (everything on the calling thread) when one thread is asked for or the work is too small
// for threads to pay for themselves.
std::unique_ptr<WorkerPool> poolFor(uint64_t bytes, uint32_t chunks);

// Runs the work of one codec call with a pool when the work pays for one (poolFor), else on
// the calling thread. Running out of memory is a failure like any other.
template <typename Work> Status onThreads(uint64_t bytes, uint32_t chunks, Work&& work) {
    return guardMemory([&] {
        if (std::unique_ptr<WorkerPool> pool = poolFor(bytes, chunks))
            return work(pool->callerCodec(), pool.get());
        codec::StreamCodec codec;
        WorkerPool* none = nullptr;
        return work(codec, none);
    });
}

// One member compressed in a kind's container, with threads when they pay: `out` receives the
// container (used bytes, then zeros up to the padded length). The chunk size is the caller's
// for the kinds that take it and the kind's own for the others. Every failure is
// CompressFailed (the message says which) or OutOfMemory.
Status compressMember(const ContainerKind& kind, const uint8_t* input, uint32_t length,
                      uint32_t chunkSize, bool bigEndian, int level, Block& out, uint32_t& used,
                      uint32_t& padded);
// One container decompressed, with threads when they pay: `out` receives `total` bytes.
// CorruptData, WrongTotal or OutOfMemory.
Status decompressMember(const ContainerKind& kind, const uint8_t* container, uint32_t length,
                        bool bigEndian, Block& out, uint32_t& total);

// ---- Writing ----

// The number of chunks of `chunkSize` in `length` bytes; refused for an empty input, a chunk
// size of 0 or more chunks than a container may hold.
Status countChunks(uint32_t length, uint32_t chunkSize, uint32_t& count);

// Where a writer puts its records: from `firstRecord` on, each followed by zero fill to a
// multiple of `recordAlign`; then `trailingZeros` zero bytes (the used length ends there); then
// zero fill to a multiple of `paddedUnit`. The bytes before `firstRecord` are zero, for the
// caller's header and table.
struct RecordLayout {
    uint32_t chunkSize = 0;
    uint32_t count = 0;
    uint64_t firstRecord = 0;
    uint32_t recordAlign = 1;
    uint32_t trailingZeros = 0;
    uint32_t paddedUnit = 1;
};

// Compresses every chunk into its record (a length field and the stream) in `out`;
// `streamLengths` receives each chunk's stream length.
Status writeRecords(const uint8_t* input, uint32_t length, const RecordLayout& layout, int level,
                    bool bigEndian, codec::StreamCodec& codec, WorkerPool* pool, Block& out,
                    std::vector<uint32_t>& streamLengths, uint32_t& used, uint32_t& padded);

// 357 and 358: a header of `headerSize` bytes, the table of record sizes behind it, zero fill up
// to a multiple of `tableAlign`, then the records at multiples of 128. Writes everything but the
// header fields, which the caller writes into the block.
struct TableLayout {
    uint32_t chunkSize = 0;
    uint32_t headerSize = 0;
    uint32_t tableAlign = 0;
};
Status compressTableContainer(const TableLayout& layout, const uint8_t* input, uint32_t length,
                              bool bigEndian, int level, codec::StreamCodec& codec,
                              WorkerPool* pool, Block& out, uint32_t& count, uint32_t& used,
                              uint32_t& padded);

// ---- Reading ----

// True when the record at `pos` (length field and `length` bytes) lies inside the container.
bool recordFits(uint64_t pos, uint32_t length, uint32_t containerLength);

// How a chunk moved the output: the record position moves differently for each.
enum class ChunkKind { Inflated, Stored, Ignored };

// A chunk whose first byte is this is a zlib stream; any other is stored as it is.
inline constexpr uint8_t kZlibFirstByte = 0x78;

// Whether a container of `containerLength` bytes can possibly inflate to `total` bytes.
bool plausibleTotal(uint32_t total, uint32_t containerLength);

// Room for the decompressed output: T bytes in `out`. A T that the container cannot possibly
// inflate to is refused as a wrong total before anything is allocated.
Status reserveOutput(uint32_t total, uint32_t containerLength, Block& out);

// The output filled chunk by chunk, never past T.
class Output {
  public:
    Output(Block& block, uint32_t total) : data_(block.data.get()), total_(total) {}
    // Keeps no member: every chunk lands at the start of `scratch`, which has room for one (the
    // smaller of the chunk capacity and T), so a check knows the chunks decode and make T.
    static Output discarding(Block& scratch, uint32_t total) {
        Output output(scratch, total);
        output.discard_ = true;
        return output;
    }

    // One nonzero chunk of `length` bytes: a zlib stream is inflated in place, at most
    // `capacity` bytes; any other chunk is copied raw while both its length and the produced
    // count are below T. CorruptData when the stream is bad or would run past T.
    Status takeChunk(const uint8_t* bytes, uint32_t length, uint32_t capacity, ChunkKind& kind,
                     codec::StreamCodec& codec);
    // Ok when the chunks made exactly T bytes.
    Status finish() const;

  private:
    uint8_t* at() const { return discard_ ? data_ : data_ + produced_; }

    uint8_t* data_;
    uint32_t total_;
    uint32_t produced_ = 0;
    bool discard_ = false;
};

// One chunk of a planned decode: its bytes, where its output lands and how long it must be.
struct PlannedChunk {
    const uint8_t* bytes = nullptr;
    uint32_t length = 0;
    uint32_t at = 0;
    uint32_t expected = 0;
    bool stored = false;
};

// Where the chunks of a container land when each zlib stream makes `chunkSize` bytes (the
// rest of T for the last), as the writers lay them out. Walks as the sequential reader does.
class DecodePlan {
  public:
    DecodePlan(uint32_t total, uint32_t chunkSize) : total_(total), chunkSize_(chunkSize) {}

    // Adds a nonzero chunk; the kind says how the reader's position moves. False when the
    // plan cannot hold (a stored chunk past T): the sequential reader decides then.
    bool add(const uint8_t* bytes, uint32_t length, ChunkKind& kind);
    // Decodes every chunk where the plan puts it, on the pool's threads; true only when every
    // chunk made exactly its planned length and together they make T.
    bool run(uint8_t* out, WorkerPool& pool) const;
    size_t size() const { return chunks_.size(); }

  private:
    uint32_t total_;
    uint32_t chunkSize_;
    uint32_t produced_ = 0;
    std::vector<PlannedChunk> chunks_;
};

// Where a 357 or 358 header keeps the fields that drive the walk over its table, which follows
// the header and is padded to a multiple of `tableAlign`.
struct TableFields {
    uint32_t headerSize = 0;
    uint32_t chunkCapacity = 0; // offsets of the fields in the header
    uint32_t count = 0;
    uint32_t total = 0;
    uint32_t tableAlign = 0;
};

// The parts of a header that drive the walk over the table, once read.
struct TableHeader {
    uint32_t total = 0;
    uint32_t chunkCapacity = 0;
    uint32_t count = 0;
    uint32_t tableOffset = 0;
    uint32_t tableAlign = 0;
};

// The head of a 357 or 358 container (ContainerEngine::decodeHead): its first nonzero record.
Status decodeTableHead(const TableFields& fields, const uint8_t* container, uint32_t available,
                       uint32_t length, bool bigEndian, uint32_t limit, codec::StreamCodec& codec,
                       uint8_t* out, ContainerHead& head);

// The first chunk of a head, `length` bytes, as the whole decode would take it, of which at most
// `limit` bytes go to `out`: a zlib stream inflated (whole when its chunk fits in the limit,
// else only its start), a stored chunk copied, an ignored one (as long as the total) left out.
Status decodeFirstChunk(const uint8_t* bytes, uint32_t length, uint32_t chunkCapacity,
                        uint32_t total, uint32_t limit, codec::StreamCodec& codec, uint8_t* out,
                        uint32_t& made);

// 357 and 358 check (ContainerEngine::check).
Status checkTableContainer(const TableFields& fields, const uint8_t* container,
                           uint32_t containerLength, bool bigEndian, codec::StreamCodec& codec,
                           Block& scratch, uint32_t& total);
// Room for one chunk of output in `scratch`, once the total is found plausible.
Status reserveScratch(uint32_t total, uint32_t chunkCapacity, uint32_t containerLength,
                      Block& scratch);

// 357 and 358 decompression (ContainerEngine::decompress).
Status decompressTableContainer(const TableFields& fields, const uint8_t* container,
                                uint32_t containerLength, bool bigEndian, codec::StreamCodec& codec,
                                WorkerPool* pool, Block& out, uint32_t& total);

// A corrupt container.
Status corrupt();

} // namespace karv::container
