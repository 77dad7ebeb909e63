// The record a backup leaves beside archive file 0 (".qxdata"): the byte size of each of up to
// ten archive files at backup time, then one 32-bit slot per index entry that the import keeps
// up to date (the length of the region the entry owns behind the backup's end; 0 for none).
// Always little-endian, whatever the game's byte order. The record is read back from disk, so
// every accessor checks the record's length itself.
#pragma once

#include "formats/byte_io.h"
#include "karvcore/karvcore.h"

#include <cstdint>

namespace karv::record {

// One size for each archive file an archive may have.
inline constexpr uint32_t kArchiveSlots = kMaxArchiveFiles;
inline constexpr uint32_t kSizeWidth = 8;
inline constexpr uint32_t kSlotsStart = kArchiveSlots * kSizeWidth; // 80
inline constexpr uint32_t kSlotWidth = 4;

// Length of the record of an index with `entries` entries; false when it would not fit 32 bits.
inline bool lengthFor(uint32_t entries, uint32_t& length) {
    uint64_t total = kSlotsStart + uint64_t(entries) * kSlotWidth;
    if (total > UINT32_MAX)
        return false;
    length = uint32_t(total);
    return true;
}

// True when a record of `length` bytes holds all ten sizes and a slot for each of `entries`.
inline bool holds(uint32_t length, uint32_t entries) {
    return length >= kSlotsStart && (length - kSlotsStart) / kSlotWidth >= entries;
}

// The saved size of archive file `file`; 0 ("not recorded") beyond the ten sizes or the record.
inline uint64_t archiveSize(const uint8_t* record, uint32_t length, uint32_t file) {
    if (file >= kArchiveSlots || length < kSlotsStart)
        return 0;
    return readU64(record + file * kSizeWidth, false);
}

inline bool setArchiveSize(uint8_t* record, uint32_t length, uint32_t file, uint64_t size) {
    if (file >= kArchiveSlots || length < kSlotsStart)
        return false;
    for (uint32_t i = 0; i < kSizeWidth; ++i)
        record[file * kSizeWidth + i] = uint8_t(size >> (8 * i));
    return true;
}

inline bool holdsSlot(uint32_t length, uint32_t entry) {
    return length >= kSlotsStart && (length - kSlotsStart) / kSlotWidth > entry;
}

// Slot of index entry `entry`; false when the record holds no slot for it.
inline bool slot(const uint8_t* record, uint32_t length, uint32_t entry, uint32_t& value) {
    if (!holdsSlot(length, entry))
        return false;
    value = readU32(record + kSlotsStart + uint64_t(entry) * kSlotWidth, false);
    return true;
}

inline bool setSlot(uint8_t* record, uint32_t length, uint32_t entry, uint32_t value) {
    if (!holdsSlot(length, entry))
        return false;
    writeU32(record + kSlotsStart + uint64_t(entry) * kSlotWidth, value, false);
    return true;
}

} // namespace karv::record
