#include "config_file.h"

#include "platform/filesystem.h"
#include "temp_dir.h"

namespace karv::test {

std::wstring record(const std::wstring& name, const Lines& lines) {
    std::wstring text = L"#" + name + L"\r\n";
    for (const auto& [key, value] : lines)
        text += key + L"=" + value + L"\r\n";
    return text;
}

std::string ucs2File(const std::wstring& text) {
    std::string out = "\xFF\xFE";
    for (wchar_t c : text) {
        out += char(uint32_t(c) & 0xFF);
        out += char((uint32_t(c) >> 8) & 0xFF);
    }
    return out;
}

std::map<std::wstring, std::string> folderFiles(const std::wstring& folder) {
    std::vector<platform::DirectoryEntry> entries;
    std::map<std::wstring, std::string> files;
    if (!platform::listDirectory(folder, L"*", entries))
        return files;
    for (const auto& e : entries) {
        if (!e.isDirectory)
            files[e.name] = readFileBytes(folder + platform::kPathSeparator + e.name);
    }
    return files;
}

} // namespace karv::test
