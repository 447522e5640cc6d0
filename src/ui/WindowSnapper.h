#pragma once
// Makes a top-level window that the user drags stick to the edges of its monitor's work area and
// to the outer edges of other visible windows. The owner feeds it WM_ENTERSIZEMOVE (BeginMove)
// and every WM_MOVING (Moving); holding Shift moves the window freely.

#include "ui/SnapRules.h"

#include <windows.h>

#include <map>

namespace hml::ui {

class CWindowSnapper {
public:
    CWindowSnapper();
    ~CWindowSnapper();
    CWindowSnapper(const CWindowSnapper&) = delete;
    CWindowSnapper& operator=(const CWindowSnapper&) = delete;

    void BeginMove(HWND window);
    // True when it changed the proposed rectangle; the window returns TRUE from WM_MOVING then.
    bool Moving(RECT& proposed);

private:
    using IsCompositionEnabledFn = HRESULT(WINAPI*)(BOOL*);
    using GetWindowAttributeFn = HRESULT(WINAPI*)(HWND, DWORD, void*, DWORD);

    snap::Margins FrameMargins(HWND window) const;
    static BOOL CALLBACK AddCandidate(HWND window, LPARAM self);

    const int suspendKey = VK_SHIFT;
    POINT grabOffset{};
    int snapDistance = 0;
    HMODULE dwm = nullptr;
    IsCompositionEnabledFn isCompositionEnabled = nullptr;
    GetWindowAttributeFn getWindowAttribute = nullptr;
    snap::Margins ownMargins;
    std::map<HWND, unsigned> candidates;
    HWND moving = nullptr;
};

} // namespace hml::ui
