// The work of the whole-file helpers, for the library's own use: the same outcomes as LoadData
// and SaveData, as a Status, without touching the last-error channel.
#pragma once

#include "karvcore/buffer.h"
#include "karvcore/status.h"

#include <string>

namespace karv {

// The whole file in a new block (one spare byte for an empty file). Fails with LoadData's
// messages; a file of 4 GiB or more is refused.
Status loadWholeFile(const std::wstring& path, MallocBuffer& data, uint32_t& size);

} // namespace karv
