#include "karvcore/karvcore.h"

void SplitString(const std::wstring& text, const std::wstring& delimiters,
                 std::vector<std::wstring>& pieces) {
    size_t p = 0;
    while (true) {
        size_t separator = delimiters.empty() || p >= text.size()
                               ? std::wstring::npos
                               : text.find_first_of(delimiters, p);
        if (separator == std::wstring::npos) {
            if (p < text.size())
                pieces.push_back(text.substr(p));
            return;
        }
        if (separator > p)
            pieces.push_back(text.substr(p, separator - p));
        p = separator + 1;
    }
}
