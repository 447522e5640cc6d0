#include "ui/ToolTip.h"

#include <commctrl.h>

namespace hml::ui {

CBalloonToolTip::~CBalloonToolTip() {
    if (tip && IsWindow(tip)) {
        DestroyWindow(tip);
    }
}

bool CBalloonToolTip::Create(HWND owner_) {
    owner = owner_;
    tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                          WS_POPUP | TTS_NOPREFIX | TTS_BALLOON | TTS_ALWAYSTIP, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                          GetModuleHandleW(nullptr), nullptr);
    if (!tip) {
        return false;
    }
    if (HMODULE theme = LoadLibraryW(L"uxtheme.dll")) {
        using SetWindowThemeFn = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
        if (auto set = reinterpret_cast<SetWindowThemeFn>(
                reinterpret_cast<void*>(GetProcAddress(theme, "SetWindowTheme")))) {
            set(tip, L"", L"");
        }
        FreeLibrary(theme);
    }
    return true;
}

void CBalloonToolTip::AddTool(HWND control, const std::wstring& text) {
    if (!tip) {
        return;
    }
    TTTOOLINFOW info{};
    info.cbSize = sizeof(info);
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = owner;
    info.uId = reinterpret_cast<UINT_PTR>(control);
    info.lpszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

} // namespace hml::ui
