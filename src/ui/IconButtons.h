#pragma once
// Push buttons that show a small icon instead of a caption and explain themselves in a tooltip.

#include "ui/ToolTip.h"

#include <windows.h>

#include <span>
#include <string>

namespace hml::ui {

struct SIconButton {
    int id;
    int icon;
    const wchar_t* tipKey;
};

// Gives each of the dialog's buttons its icon resource (loaded shared at the small-icon size, so
// it is never freed) and its tooltip, the text being translate(tipKey).
void SetUpIconButtons(HWND dialog, HINSTANCE instance, std::span<const SIconButton> buttons,
                      CBalloonToolTip& tips, std::wstring (*translate)(const std::wstring&));

} // namespace hml::ui
