#include "ui/IconMenu.h"

#include "ui/Window.h"

#include <algorithm>

namespace hml::ui {

namespace {
constexpr const wchar_t* kMenuProp = L"Harmolith.IconMenu";
}

CIconMenu::CIconMenu(HWND owner_) : menu(CreatePopupMenu()), owner(owner_) {
    if (owner) {
        SetPropW(owner, kMenuProp, this);
        previousProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CIconMenu::OwnerProc)));
    }
}

CIconMenu::~CIconMenu() {
    if (owner && previousProc) {
        SetWindowLongPtrW(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc));
        RemovePropW(owner, kMenuProp);
    }
    if (menu) {
        DestroyMenu(menu);
    }
}

int CIconMenu::IconSize() {
    return std::max({16, GetSystemMetrics(SM_CXMENUCHECK), GetSystemMetrics(SM_CYMENUCHECK)});
}

void CIconMenu::Insert(MENUITEMINFOW& item, const std::wstring& label, UINT iconId) {
    item.cbSize = sizeof(item);
    item.fMask |= MIIM_STRING | MIIM_DATA;
    item.dwTypeData = const_cast<wchar_t*>(label.c_str());
    item.dwItemData = iconId;
    if (iconId) {
        item.fMask |= MIIM_BITMAP;
        item.hbmpItem = HBMMENU_CALLBACK;
    }
    InsertMenuItemW(menu, GetMenuItemCount(menu), TRUE, &item);
}

void CIconMenu::AddItem(const std::wstring& label, UINT id, UINT iconId, bool checked) {
    MENUITEMINFOW item{};
    item.fMask = MIIM_ID | MIIM_STATE;
    item.wID = id;
    item.fState = checked ? MFS_CHECKED : MFS_UNCHECKED;
    Insert(item, label, iconId);
}

void CIconMenu::AddSubMenu(const std::wstring& label, CIconMenu& subMenu, UINT iconId) {
    MENUITEMINFOW item{};
    item.fMask = MIIM_SUBMENU;
    item.hSubMenu = subMenu.menu;
    subMenu.menu = nullptr;
    Insert(item, label, iconId);
}

void CIconMenu::AddSeparator() {
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
}

void CIconMenu::SetDefaultItem(UINT id) {
    SetMenuDefaultItem(menu, id, FALSE);
}

UINT CIconMenu::Track(POINT at, UINT flags) {
    return static_cast<UINT>(TrackPopupMenu(menu, flags, at.x, at.y, 0, owner, nullptr));
}

LRESULT CALLBACK CIconMenu::OwnerProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<CIconMenu*>(GetPropW(window, kMenuProp));
    if (!self) {
        return DefWindowProcW(window, msg, wParam, lParam);
    }
    try {
        if (msg == WM_MEASUREITEM) {
            auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
            if (measure->CtlType == ODT_MENU) {
                // Room for the icon and an edge on either side, so that the text starts
                // after the icon instead of under it.
                measure->itemWidth = IconSize() + 2 * GetSystemMetrics(SM_CXEDGE);
                measure->itemHeight = IconSize() + 2 * GetSystemMetrics(SM_CYEDGE);
                return TRUE;
            }
        } else if (msg == WM_DRAWITEM) {
            auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
            if (draw->CtlType == ODT_MENU && draw->itemData) {
                int size = IconSize();
                auto icon = static_cast<HICON>(LoadImageW(
                    GetModuleHandleW(nullptr), MAKEINTRESOURCEW(static_cast<UINT>(draw->itemData)),
                    IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
                if (icon) {
                    DrawIconEx(draw->hDC, draw->rcItem.left + GetSystemMetrics(SM_CXEDGE),
                               draw->rcItem.top + GetSystemMetrics(SM_CYEDGE), icon, size, size, 0,
                               nullptr, DI_NORMAL);
                    DestroyIcon(icon);
                }
                return TRUE;
            }
        }
    } catch (...) {
        ReportCallbackException();
    }
    return CallWindowProcW(self->previousProc, window, msg, wParam, lParam);
}

} // namespace hml::ui
