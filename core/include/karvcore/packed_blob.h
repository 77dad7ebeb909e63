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

// The table of a member taken for a packed blob (RecognisePackedBlob).
struct PackedBlobTable {
    uint32_t count = 0;
    bool pairs = false;  // the offset-and-size layout; else offset only
    uint32_t length = 0; // the member's
};

// Whether a member of `length` bytes is a packed blob, judged from its first `headLength` bytes
// (a listing sees no more): its first word N is 1 to kMaxPackedBlobFiles and its table lies whole
// in the head in one of the two layouts, the first table value being where the table ends
// (8N + 4 for offset and size, 4N for offset only, which needs N >= 2); every sub-file starts at
// or behind the table's end and ends inside the member, and offset-only starts ascend. A table
// that says anything else is not one, so a short member whose first word happens to be small
// stays what it is.
KARVCORE_API bool RecognisePackedBlob(const uint8_t* head, uint32_t headLength, uint32_t length,
                                      bool bigEndian, PackedBlobTable& table);
// Where sub-file `subFile` of a recognised blob lies in the member; false beyond the count and
// for the last sub-file of an offset-only table, which has no start.
KARVCORE_API bool PackedBlobSubFile(const uint8_t* head, const PackedBlobTable& table,
                                    bool bigEndian, uint32_t subFile, uint32_t& start,
                                    uint32_t& size);

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
