#include "config/Language.h"

#include <windows.h>

namespace hml::config {

namespace {

void TranslateText(const CLanguage& lang, HWND window) {
    int length = GetWindowTextLengthW(window);
    if (length <= 0) {
        return;
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    if (!text.empty()) {
        SetWindowTextW(window, lang.Translate(text).c_str());
    }
}

} // namespace

void CLanguage::TranslateWindow(HWND window) const {
    TranslateText(*this, window);
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        TranslateText(*this, child);
    }
}

} // namespace hml::config
