// Checks on wide paths before they reach the Windows calls.
#pragma once

#include <string>

namespace karv::platform::win32 {

// False for a path the system cannot name (an embedded NUL would cut it short).
inline bool isNameable(const std::wstring& path) {
    return path.find(L'\0') == std::wstring::npos;
}

} // namespace karv::platform::win32
