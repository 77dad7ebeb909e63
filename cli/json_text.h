// The JSON documents of the archive commands, written with nlohmann-json. Names go in as wide
// text and come out as UTF-8; text that cannot be converted is replaced, never refused.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace karv::cli {

// Wide text as a JSON string (UTF-8; what does not convert becomes U+FFFD when dumped).
nlohmann::ordered_json jsonText(const std::wstring& text);
// Prints the document as the whole of standard output, with the replacing error handler so that
// a bad name cannot throw.
void printJson(const nlohmann::ordered_json& document);

} // namespace karv::cli
