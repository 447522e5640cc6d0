#include "ui/IconButtons.h"

namespace hml::ui {

void SetUpIconButtons(HWND dialog, HINSTANCE instance, std::span<const SIconButton> buttons,
                      CBalloonToolTip& tips, std::wstring (*translate)(const std::wstring&)) {
    const int side = GetSystemMetrics(SM_CXSMICON);
    for (const SIconButton& b : buttons) {
        HWND button = GetDlgItem(dialog, b.id);
        HANDLE icon =
            LoadImageW(instance, MAKEINTRESOURCEW(b.icon), IMAGE_ICON, side, side, LR_SHARED);
        SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
        tips.AddTool(button, translate(b.tipKey));
    }
}

} // namespace hml::ui
