// "游戏信息.txt" for tests that run karvex: records written key by key, as UCS-2 with its mark,
// and the files of a folder for comparing what a run left behind.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace karv::test {

inline const std::wstring kLocation = L"Voxbank 位置";
inline const std::wstring kMode = L"数据模式";
inline const std::wstring kType = L"Voxbank 类型";
inline const std::wstring kIdxCount = L"IDX 文件数量";
inline const std::wstring kIdxNames = L"IDX 文件名";
inline const std::wstring kCount = L"Voxbank 数量";
inline const std::wstring kNames = L"Voxbank 文件名";
inline const std::wstring kSplit = L"Voxbank 地址";
inline const std::wstring kExport = L"导出路径";
inline const std::wstring kImport = L"导入路径";

using Lines = std::vector<std::pair<std::wstring, std::wstring>>;

// One record: "#" + name, then "key=value" lines.
std::wstring record(const std::wstring& name, const Lines& lines);
// UCS-2 little-endian with its mark; the texts of the tests are all in the basic plane.
std::string ucs2File(const std::wstring& text);
// Every file of a folder by name, with its bytes (folders are passed over).
std::map<std::wstring, std::string> folderFiles(const std::wstring& folder);

} // namespace karv::test
