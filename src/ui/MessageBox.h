#pragma once
// Every message box of the program goes through here, so the texts, captions and flags users see
// are decided in one place.

#include <string>

struct HWND__;

namespace hml::ui {

constexpr const wchar_t* kAppCaption = L"Tarnwick Harmolith";

// MessageBoxW with the given caption; returns the button pressed (IDOK, IDYES, ...).
int ShowMessageBox(const std::wstring& text, const std::wstring& caption, unsigned flags,
                   HWND__* owner = nullptr);

// An error with the application's caption: MB_ICONERROR | MB_TOPMOST.
int ShowError(const std::wstring& text);

// The same error box, shown on a thread of its own: the caller goes on at once. For threads
// that must never wait for a user (the listen thread) or that hold locks others need.
void ShowErrorLater(const std::wstring& text);

// "%lu: %s": a Windows error code followed by the system's text for it.
std::wstring WindowsErrorText(unsigned long code);

// The system's own text for a Windows error code, as FormatMessageW gives it.
std::wstring SystemMessage(unsigned long code);

} // namespace hml::ui
