// Loading the index of a data type, for the library's own users of the index table.
#pragma once

#include "karvcore/index_table.h"

#include <string>

namespace karv {

// LoadIndexData's work as a Status: data type 0 is refused with "错误的游戏数据类型！", and
// every failure carries LoadIndexData's message. A headerless index without a whole entry
// loads with count 0.
Status loadIndexFor(int32_t dataType, const std::wstring& path, bool bigEndian, IndexTable& out);

} // namespace karv
