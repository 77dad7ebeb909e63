// Packed blobs: a sub-file count, a table, then the sub-files.
#pragma once

#include "karvcore/karvcore.h"
#include "karvcore/status.h"

#include <cstdint>
#include <vector>

namespace karv {

// A first word at most this large is taken as the sub-file count of a packed blob.
inline constexpr uint32_t kMaxPackedBlobFiles = 0x10000;

// The first 32-bit word of `data` in the game's byte order; false when there are fewer than
// four bytes.
KARVCORE_API bool ReadFirstWord(const uint8_t* data, uint32_t length, bool bigEndian,
                                uint32_t& word);

// Where sub-file `subFile` of a packed blob lies, in either table layout. SubFileBeyondTable
// when the table or the sub-file is out of range, BlobUnrecognised when neither layout fits,
// SubFileOutside when it starts at or behind the end of the blob; no message.
KARVCORE_API Status LocateSubFile(const uint8_t* blob, uint32_t blobLength, uint32_t subFile,
                                  bool bigEndian, uint32_t& start, uint32_t& size);

// Lays out a new packed blob in the offset-and-size layout, every number little-endian
// whatever the game's byte order: the count, (start, size) per sub-file, the sub-files back to
// back, then zero bytes for each sub-file up to its listed size raised to a multiple of 4.
class KARVCORE_API PackedBlobWriter {
  public:
    // Sizes the blob for sub-files of the listed sizes. TooLarge when it would not fit in 32
    // bits; OutOfMemory.
    Status start(const std::vector<uint64_t>& listedSizes);
    // Puts the next sub-file in. SubFileGrew when it is larger than its listed size (the blob
    // was sized from the listing); TooManySubFiles beyond the listed count.
    Status add(const uint8_t* data, uint32_t size);

    const uint8_t* data() const { return blob_.data(); }
    uint32_t length() const { return uint32_t(blob_.size()); }

  private:
    std::vector<uint8_t> blob_;
    std::vector<uint64_t> listed_;
    uint32_t next_ = 0;
    uint64_t position_ = 0;
};

} // namespace karv
