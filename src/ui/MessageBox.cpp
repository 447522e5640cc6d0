#include "ui/MessageBox.h"

#include <windows.h>

#include <memory>

namespace hml::ui {

int ShowMessageBox(const std::wstring& text, const std::wstring& caption, unsigned flags,
                   HWND owner) {
    return MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
}

int ShowError(const std::wstring& text) {
    return ShowMessageBox(text, kAppCaption, MB_ICONERROR | MB_TOPMOST);
}

namespace {

DWORD WINAPI ShowOwnedError(LPVOID param) {
    std::unique_ptr<std::wstring> message(static_cast<std::wstring*>(param));
    ShowError(*message);
    return 0;
}

} // namespace

void ShowErrorLater(const std::wstring& text) {
    auto* owned = new std::wstring(text);
    if (HANDLE thread = CreateThread(nullptr, 0, &ShowOwnedError, owned, 0, nullptr)) {
        CloseHandle(thread);
    } else {
        delete owned;
    }
}

std::wstring SystemMessage(unsigned long code) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length && buffer ? std::wstring(buffer, length) : std::wstring();
    if (buffer) {
        LocalFree(buffer);
    }
    return text;
}

std::wstring WindowsErrorText(unsigned long code) {
    return std::to_wstring(code) + L": " + SystemMessage(code);
}

} // namespace hml::ui
