#include "ui/WindowSnapper.h"

#include <vector>

namespace hml::ui {

namespace {

// DWMWA_EXTENDED_FRAME_BOUNDS: the visible frame without the invisible resize border.
constexpr DWORD kExtendedFrameBounds = 9;

bool TitleBarInvisible(HWND window) {
    TITLEBARINFO info{};
    info.cbSize = sizeof info;
    return GetTitleBarInfo(window, &info) && (info.rgstate[0] & STATE_SYSTEM_INVISIBLE);
}

} // namespace

CWindowSnapper::CWindowSnapper() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    snapDistance = SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)
                       ? metrics.iCaptionHeight
                       : GetSystemMetrics(SM_CYCAPTION);
    dwm = LoadLibraryW(L"dwmapi.dll");
    if (dwm) {
        isCompositionEnabled = reinterpret_cast<IsCompositionEnabledFn>(
            reinterpret_cast<void*>(GetProcAddress(dwm, "DwmIsCompositionEnabled")));
        getWindowAttribute = reinterpret_cast<GetWindowAttributeFn>(
            reinterpret_cast<void*>(GetProcAddress(dwm, "DwmGetWindowAttribute")));
        if (!isCompositionEnabled || !getWindowAttribute) {
            isCompositionEnabled = nullptr;
            getWindowAttribute = nullptr;
        }
    }
}

CWindowSnapper::~CWindowSnapper() {
    if (dwm) {
        FreeLibrary(dwm);
    }
}

snap::Margins CWindowSnapper::FrameMargins(HWND window) const {
    BOOL composition = FALSE;
    RECT rect{}, visible{};
    if (isCompositionEnabled && SUCCEEDED(isCompositionEnabled(&composition)) && composition &&
        GetWindowRect(window, &rect) &&
        SUCCEEDED(getWindowAttribute(window, kExtendedFrameBounds, &visible, sizeof visible))) {
        return snap::MarginsOf(rect, visible);
    }
    return {};
}

BOOL CALLBACK CWindowSnapper::AddCandidate(HWND window, LPARAM param) {
    auto* self = reinterpret_cast<CWindowSnapper*>(param);
    // The moving window would otherwise stick to where it just was.
    if (window == self->moving || !IsWindowVisible(window) || IsIconic(window) ||
        IsZoomed(window) || TitleBarInvisible(window)) {
        return TRUE;
    }
    RECT rect{};
    GetWindowRect(window, &rect);
    const unsigned mask = snap::CornerMask(rect, [window](POINT point) {
        return GetAncestor(WindowFromPoint(point), GA_ROOT) == window;
    });
    if (mask != 0) {
        self->candidates[window] = mask;
    }
    return TRUE;
}

void CWindowSnapper::BeginMove(HWND window) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    RECT current{};
    if (IsZoomed(window) || !GetWindowPlacement(window, &placement) ||
        !GetWindowRect(window, &current)) {
        return;
    }
    // Snapped by the shell to half a screen: the normal position is not where the window is.
    if (placement.showCmd == SW_SHOWNORMAL && !EqualRect(&current, &placement.rcNormalPosition)) {
        return;
    }
    moving = window;
    POINT cursor{};
    GetCursorPos(&cursor);
    grabOffset = {cursor.x - current.left, cursor.y - current.top};
    ownMargins = FrameMargins(window);
    candidates.clear();
    EnumWindows(&CWindowSnapper::AddCandidate, reinterpret_cast<LPARAM>(this));
}

bool CWindowSnapper::Moving(RECT& proposed) {
    const bool shiftHeld = (GetKeyState(suspendKey) & 0x8000) != 0;
    if (shiftHeld) {
        return false;
    }
    POINT cursor{};
    GetCursorPos(&cursor);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromRect(&proposed, MONITOR_DEFAULTTONEAREST), &monitor);
    std::vector<snap::Neighbour> neighbours;
    neighbours.reserve(candidates.size());
    for (const auto& [window, mask] : candidates) {
        RECT rect{};
        if (::IsWindow(window) && GetWindowRect(window, &rect)) {
            neighbours.push_back({rect, FrameMargins(window), mask});
        }
    }
    return snap::SnapMove(proposed, false, cursor, grabOffset, monitor.rcWork, ownMargins,
                          neighbours, snapDistance);
}

} // namespace hml::ui
