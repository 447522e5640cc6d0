#include "configurator/win32/ConfiguratorTabBase.h"

#include "config/Language.h"

namespace hml::configurator {

void CConfiguratorTabBase::SetModified(bool flag) {
    modified = flag;
    frame.SetModified(flag);
}

void CConfiguratorTabBase::Translate() {
    if (config::language && GetHwnd()) {
        config::language->TranslateWindow(GetHwnd());
    }
}

INT_PTR CConfiguratorTabBase::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SIZE) {
        resizer.Resize();
    }
    switch (msg) {
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        // Pages sit on the tab control's body, which is painted in the window colour.
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
    }
    case WM_MOUSEWHEEL:
        if (GetWindowLongW(GetHwnd(), GWL_STYLE) & WS_VSCROLL) {
            const bool forward = GET_WHEEL_DELTA_WPARAM(wParam) > 0;
            SendMessageW(GetHwnd(), WM_VSCROLL, forward ? SB_PAGEUP : SB_PAGEDOWN, 0);
            InvalidateRect(GetHwnd(), nullptr, TRUE);
            return TRUE;
        }
        break;
    case WM_VSCROLL:
        if (LOWORD(wParam) == SB_ENDSCROLL) {
            InvalidateRect(GetHwnd(), nullptr, TRUE);
        }
        break;
    default:
        break;
    }
    return DialogProcDefault(msg, wParam, lParam);
}

} // namespace hml::configurator
