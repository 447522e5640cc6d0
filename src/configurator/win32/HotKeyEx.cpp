#include "configurator/win32/HotKeyEx.h"

#include "ui/HotkeyText.h"

#include <commctrl.h>

namespace hml::configurator {

std::uint32_t CHotKeyEx::Value() const {
    return static_cast<std::uint32_t>(Send(HKM_GETHOTKEY)) & 0xFFFF;
}

void CHotKeyEx::SetValue(std::uint32_t value) {
    Send(HKM_SETHOTKEY, value & 0xFFFF);
}

LRESULT CHotKeyEx::ControlProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != WM_PAINT) {
        return Default(msg, wParam, lParam);
    }
    const LRESULT result = Default(msg, wParam, lParam);
    const std::uint32_t value = Value();
    if (value != painted) {
        painted = value;
        text = ui::HotkeyDisplayText(value);
    }
    HWND window = GetHwnd();
    HDC dc = GetDC(window);
    RECT client{};
    GetClientRect(window, &client);
    if (text.empty()) {
        SetCaretPos(0, 0);
    } else {
        HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        // Cover the control's own text, then draw ours over it.
        FillRect(dc, &client,
                 GetSysColorBrush(IsWindowEnabled(window) ? COLOR_WINDOW : COLOR_BTNFACE));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        RECT area = client;
        area.left += 2;
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
                  DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
        SIZE extent{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
        SetCaretPos(2 + extent.cx + 1, (client.bottom - extent.cy) / 2);
        SelectObject(dc, oldFont);
    }
    ReleaseDC(window, dc);
    return result;
}

} // namespace hml::configurator
