#include "command_report.h"

#include "console.h"
#include "json_text.h"

namespace karv::cli {
namespace {

std::wstring firstLine(const std::wstring& lines) {
    return lines.substr(0, lines.find(L'\n'));
}

} // namespace

int CommandReport::refuse(const std::wstring& lines, int exitCode) const {
    if (!json_) {
        print(lines);
        return exitCode;
    }
    nlohmann::ordered_json document = nlohmann::ordered_json::object();
    document["error"] = jsonText(firstLine(lines));
    document["exit"] = exitCode;
    printJson(document);
    return exitCode;
}

int CommandReport::wrongCommandLine(const std::wstring& line, const std::wstring& usage) const {
    if (!json_) {
        print(line + usage);
        return kExitWrongCommand;
    }
    nlohmann::ordered_json document = nlohmann::ordered_json::object();
    document["error"] = jsonText(firstLine(line));
    document["exit"] = kExitWrongCommand;
    document["usage"] = jsonText(firstLine(usage));
    printJson(document);
    return kExitWrongCommand;
}

} // namespace karv::cli
