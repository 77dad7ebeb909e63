// The command-line codes "U" and "C": one member file decompressed or compressed.
#pragma once

#include <string>

namespace karv::cli {

enum class ContainerType { Z54, F357, F358 };

// Recognises "Z54", "357" or "358" (already upper-cased); false for anything else.
bool parseContainerType(const std::wstring& text, ContainerType& type);

void decompressFile(ContainerType type, const std::wstring& path);
void compressFile(ContainerType type, const std::wstring& path);

} // namespace karv::cli
