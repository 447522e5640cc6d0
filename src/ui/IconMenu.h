#pragma once
// A pop-up menu whose entries may carry an icon of the program's resources. For an owner window it
// answers the menu's measure and draw requests by standing in for the owner's window procedure
// while it lives; without an owner (a submenu) it only owns the menu handle.

#include <windows.h>

#include <string>

namespace hml::ui {

class CIconMenu {
public:
    explicit CIconMenu(HWND owner_ = nullptr);
    ~CIconMenu();
    CIconMenu(const CIconMenu&) = delete;
    CIconMenu& operator=(const CIconMenu&) = delete;

    // iconId 0: no icon.
    void AddItem(const std::wstring& label, UINT id, UINT iconId = 0, bool checked = false);
    // The submenu's handle passes to this menu.
    void AddSubMenu(const std::wstring& label, CIconMenu& subMenu, UINT iconId = 0);
    void AddSeparator();
    void SetDefaultItem(UINT id);

    HMENU Get() const { return menu; }
    // TrackPopupMenu at the point with the owner given at construction.
    UINT Track(POINT at, UINT flags);

    // The edge length icons are drawn at: the menu check-mark size, at least 16 pixels.
    static int IconSize();

private:
    static LRESULT CALLBACK OwnerProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    void Insert(MENUITEMINFOW& item, const std::wstring& label, UINT iconId);

    HMENU menu;
    HWND owner;
    WNDPROC previousProc = nullptr;
};

} // namespace hml::ui
