// The exported index functions: LoadIndexData and GetIndexInfo.
#include "boundary/exported_codes.h"
#include "boundary/messages.h"
#include "formats/index_file.h"
#include "karvcore/index_table.h"

uint32_t LoadIndexData(int32_t dataType, const std::wstring& indexPath, uint8_t*& table,
                       uint32_t* offsetUnit, bool bigEndian) {
    karv::IndexTable index;
    karv::Status status = karv::loadIndexFor(dataType, indexPath, bigEndian, index);
    if (!status.ok()) {
        // A Z54 table that was opened but could not be read is released and null.
        if (dataType == karv::kDataTypeZ54 && status.error() != karv::Error::IndexUnopened)
            table = nullptr;
        karv::reportSucceeded(status);
        return 0;
    }
    if (index.layout().inArchive)
        *offsetUnit = index.offsetUnit();
    uint32_t count = index.count();
    table = index.release().release();
    // Callers take a count of 0 as a failure; they find the reason in the channel.
    if (count == 0)
        SetMessageQX(karv::msg::kIndexEmpty);
    return count;
}

void GetIndexInfo(int32_t dataType, const uint8_t* table, uint32_t offsetUnit, bool bigEndian,
                  uint32_t entry, idxinfo* info) {
    if (table == nullptr || info == nullptr)
        return;
    const karv::IndexLayout& layout = karv::IndexLayoutFor(dataType);
    *info = karv::decodeIndexEntry(layout, table + size_t(entry) * layout.entrySize, offsetUnit,
                                   bigEndian);
}
