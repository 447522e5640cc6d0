#pragma once
// Balloon tooltips for a dialog's controls, drawn without the visual theme where the theme
// library is present.

#include <windows.h>

#include <string>

namespace hml::ui {

class CBalloonToolTip {
public:
    CBalloonToolTip() = default;
    ~CBalloonToolTip();
    CBalloonToolTip(const CBalloonToolTip&) = delete;
    CBalloonToolTip& operator=(const CBalloonToolTip&) = delete;

    bool Create(HWND owner);
    void AddTool(HWND control, const std::wstring& text);
    HWND GetHwnd() const { return tip; }

private:
    HWND owner = nullptr;
    HWND tip = nullptr;
};

} // namespace hml::ui
