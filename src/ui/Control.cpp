#include "ui/Control.h"

#include "ui/Window.h"

#include <commctrl.h>

namespace hml::ui {

namespace {
constexpr UINT_PTR kSubclassId = 0x484D4C; // one subclass per control: ours
}

CControl::~CControl() {
    Detach();
}

bool CControl::Attach(HWND dialog, int id) {
    Detach();
    HWND control = GetDlgItem(dialog, id);
    if (!control || !SetWindowSubclass(control, &CControl::SubclassProc, kSubclassId,
                                       reinterpret_cast<DWORD_PTR>(this))) {
        return false;
    }
    hwnd = control;
    OnAttach();
    return true;
}

void CControl::Detach() {
    if (hwnd) {
        RemoveWindowSubclass(hwnd, &CControl::SubclassProc, kSubclassId);
        hwnd = nullptr;
    }
}

LRESULT CControl::ControlProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    return Default(msg, wParam, lParam);
}

LRESULT CControl::Default(UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK CControl::SubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR, DWORD_PTR self) {
    auto* control = reinterpret_cast<CControl*>(self);
    if (msg == WM_NCDESTROY) {
        control->Detach();
        return DefSubclassProc(window, msg, wParam, lParam);
    }
    try {
        return control->ControlProc(msg, wParam, lParam);
    } catch (...) {
        ReportCallbackException();
        return 0;
    }
}

} // namespace hml::ui
