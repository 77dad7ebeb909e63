#include "json_text.h"

#include "console.h"
#include "platform/text.h"

namespace karv::cli {

nlohmann::ordered_json jsonText(const std::wstring& text) {
    return nlohmann::ordered_json(platform::wideToUtf8(text));
}

void printJson(const nlohmann::ordered_json& document) {
    const std::string dumped =
        document.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    print(platform::utf8ToWide(dumped) + L"\n");
}

} // namespace karv::cli
