// Index files. Z54: a 16-byte header (entry count at 4, offset unit at 8) and 16-byte entries
// whose offsets count in that unit; the index sits at the start of the archive itself. Every
// other data type: no header, the whole file is a table of 32-byte entries.
#include "byte_io.h"
#include "karvcore/karvcore.h"
#include "malloc_buffer.h"
#include "messages.h"
#include "platform/file.h"
#include "read_available.h"

#include <algorithm>
#include <cstdlib>
#include <new>

using karv::platform::File;
using karv::platform::OpenMode;
using karv::platform::SeekFrom;

namespace {

constexpr int32_t kDataTypeZ54 = 2;
constexpr uint32_t kZ54HeaderSize = 16;
constexpr uint32_t kZ54EntrySize = 16;
constexpr uint32_t kEntrySize = 32;

uint32_t failZ54(const wchar_t* message, uint8_t*& table) {
    table = nullptr;
    SetMessageQX(message);
    return 0;
}

// Whole entries behind the header; the header's count is never trusted beyond this, so a
// hostile count cannot make an allocation larger than the file. The table length must fit
// in 32 bits like every other length of the data model.
uint32_t z54EntriesHeld(uint64_t fileSize) {
    if (fileSize < kZ54HeaderSize)
        return 0;
    uint64_t held = (fileSize - kZ54HeaderSize) / kZ54EntrySize;
    return uint32_t(std::min<uint64_t>(held, UINT32_MAX / kZ54EntrySize));
}

uint32_t loadZ54(const std::wstring& path, uint8_t*& table, uint32_t* offsetUnit, bool bigEndian) {
    File file = File::open(path, OpenMode::ReadExisting);
    if (!file.isOpen()) {
        SetMessageQX(karv::msg::kOpenIndexFailed);
        return 0;
    }
    uint8_t header[kZ54HeaderSize] = {};
    uint64_t fileSize = 0;
    // A header cut short by the end of the file is a header that cannot be read.
    if (!file.size(fileSize) || fileSize < kZ54HeaderSize ||
        !karv::readAvailable(file, header, kZ54HeaderSize))
        return failZ54(karv::msg::kReadIndexFailed, table);
    uint32_t declared = karv::readU32(header + 4, bigEndian);
    uint32_t unit = karv::readU32(header + 8, bigEndian);
    // A unit of 0 would put every member at offset 0: the header is not an index header.
    if (unit == 0)
        return failZ54(karv::msg::kReadIndexFailed, table);
    if (declared == 0)
        return failZ54(karv::msg::kIndexEmpty, table);
    uint32_t count = std::min(declared, z54EntriesHeld(fileSize));
    if (count == 0)
        return failZ54(karv::msg::kReadIndexFailed, table);

    karv::MallocBuffer entries(static_cast<uint8_t*>(std::calloc(count, kZ54EntrySize)));
    if (!entries)
        return failZ54(karv::msg::kOutOfMemory, table);
    if (!file.seek(kZ54HeaderSize, SeekFrom::Begin) ||
        !karv::readAvailable(file, entries.get(), count * kZ54EntrySize))
        return failZ54(karv::msg::kReadIndexFailed, table);
    *offsetUnit = unit;
    table = entries.release();
    return count;
}

// The table is the file as it stands; a partial last entry stays in it but is not counted.
uint32_t loadEntryTable(const std::wstring& path, uint8_t*& table) {
    uint32_t size = 0;
    if (!LoadData(path, table, &size)) {
        SetMessageQX(karv::msg::kLoadIndexFailed);
        return 0;
    }
    uint32_t count = size / kEntrySize;
    // Callers take a count of 0 as a failure; they find the reason in the channel.
    if (count == 0)
        SetMessageQX(karv::msg::kIndexEmpty);
    return count;
}

// Z54 offsets in bytes. A product beyond 64 bits becomes UINT64_MAX, an offset no file has,
// rather than wrapping round to a position that holds other data.
uint64_t unitsToBytes(uint64_t units, uint32_t unit) {
    if (unit != 0 && units > UINT64_MAX / unit)
        return UINT64_MAX;
    return units * unit;
}

} // namespace

uint32_t LoadIndexData(int32_t dataType, const std::wstring& indexPath, uint8_t*& table,
                       uint32_t* offsetUnit, bool bigEndian) {
    if (dataType == 0) {
        SetMessageQX(karv::msg::kWrongDataType);
        return 0;
    }
    // Running out of memory is a failure like any other, never an exception for the caller.
    try {
        if (dataType == kDataTypeZ54)
            return loadZ54(indexPath, table, offsetUnit, bigEndian);
        return loadEntryTable(indexPath, table);
    } catch (const std::bad_alloc&) {
        SetMessageQX(karv::msg::kOutOfMemory);
        return 0;
    }
}

void GetIndexInfo(int32_t dataType, const uint8_t* table, uint32_t offsetUnit, bool bigEndian,
                  uint32_t entry, idxinfo* info) {
    if (table == nullptr || info == nullptr)
        return;
    if (dataType == kDataTypeZ54) {
        const uint8_t* at = table + size_t(entry) * kZ54EntrySize;
        info->offset = unitsToBytes(karv::readU64(at, bigEndian), offsetUnit);
        info->size = karv::readU32(at + 8, bigEndian);
        info->marker = karv::readU32(at + 12, bigEndian);
        return;
    }
    const uint8_t* at = table + size_t(entry) * kEntrySize;
    info->offset = karv::readU64(at, bigEndian);
    info->size = karv::readU32(at + 16, bigEndian);
    info->marker = karv::readU32(at + 24, bigEndian);
}
