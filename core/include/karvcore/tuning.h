// How the library does its work: the worker threads and the zlib engine. Results are the same
// for every setting; the settings are for tests, benchmarks and the program's own choice.
#pragma once

#include "karvcore/karvcore.h"

#include <cstdint>

namespace karv {

// The threads that compress and decompress chunks and members, the calling thread included:
// 1 does everything on the calling thread; 0 (the start) means the hardware's thread count.
// Results are the same for every count. Set it before an operation, not during one.
KARVCORE_API void SetWorkerCount(unsigned count);
// The count operations use now.
KARVCORE_API unsigned WorkerCount();
// How large a single container must be (its bytes, or its input's when compressing) before one
// call shares its chunks between threads; 0 sets the library's own figure back. For tests and
// benchmarks.
KARVCORE_API void SetParallelThreshold(uint64_t bytes);

// Which library does the zlib work: Fast (the start) inflates with libdeflate, falling back to
// zlib wherever libdeflate refuses a stream, and deflates with libdeflate at the levels where
// that gives zlib's header and no larger output; Zlib does all of it with zlib, byte for byte
// as compress2 and uncompress would. For comparisons in tests and benchmarks.
enum class CodecEngine { Fast, Zlib };
KARVCORE_API void SetCodecEngine(CodecEngine engine);

} // namespace karv
