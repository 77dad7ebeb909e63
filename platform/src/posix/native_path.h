// Wide paths to the UTF-8 names the POSIX calls take.
#pragma once

#include "platform/text.h"

#include <string>

namespace karv::platform::posix {

// False for a path the system cannot name (an embedded NUL would cut it short).
inline bool toNativePath(const std::wstring& path, std::string& out) {
    if (path.find(L'\0') != std::wstring::npos)
        return false;
    out = wideToUtf8(path);
    return true;
}

} // namespace karv::platform::posix
