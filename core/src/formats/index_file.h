// Loading the index of a data type, for the library's own users of the index table.
#pragma once

#include "karvcore/index_table.h"

#include <string>

namespace karv {

// LoadIndexData's work as a Status: data type 0 is refused with "错误的游戏数据类型！", and
// every failure carries LoadIndexData's message. A headerless index without a whole entry
// loads with count 0.
Status loadIndexFor(int32_t dataType, const std::wstring& path, bool bigEndian, IndexTable& out);

// The stored bytes of one entry decoded; an offset in units whose byte value does not fit in 64
// bits decodes as UINT64_MAX.
idxinfo decodeIndexEntry(const IndexLayout& layout, const uint8_t* at, uint32_t offsetUnit,
                         bool bigEndian);

} // namespace karv
