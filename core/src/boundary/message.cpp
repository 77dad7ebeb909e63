#include "karvcore/karvcore.h"

namespace {
std::wstring& lastMessage() {
    static std::wstring message;
    return message;
}
} // namespace

void SetMessageQX(std::wstring message) {
    size_t nul = message.find(L'\0');
    if (nul != std::wstring::npos)
        message.resize(nul);
    lastMessage() = std::move(message);
}

std::wstring GetMessageQX() {
    return lastMessage();
}
