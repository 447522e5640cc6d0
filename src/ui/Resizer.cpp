#include "ui/Resizer.h"

#include <algorithm>

namespace hml::ui {

void CResizer::Initialize(HWND dialog_) {
    dialog = dialog_;
    RECT client{};
    GetClientRect(dialog, &client);
    initialClient = {client.right, client.bottom};
    items.clear();
}

void CResizer::Add(int id, Anchor anchor, bool stretchWidth, bool stretchHeight) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) {
        return;
    }
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    items.push_back({control, rect, anchor, stretchWidth, stretchHeight});
}

void CResizer::Resize() const {
    RECT client{};
    GetClientRect(dialog, &client);
    const int dx = std::max(0L, client.right - initialClient.cx);
    const int dy = std::max(0L, client.bottom - initialClient.cy);
    HDWP positions = BeginDeferWindowPos(static_cast<int>(items.size()));
    for (const Item& item : items) {
        RECT r = item.initial;
        if (item.anchor != kTopLeft) {
            OffsetRect(&r, 0, dy);
        }
        if (item.anchor == kBottomRight) {
            OffsetRect(&r, dx, 0);
        }
        if (item.stretchWidth) {
            r.right += dx;
        }
        if (item.stretchHeight) {
            r.bottom += dy;
        }
        if (positions) {
            positions =
                DeferWindowPos(positions, item.control, nullptr, r.left, r.top, r.right - r.left,
                               r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    if (positions) {
        EndDeferWindowPos(positions);
    }
    InvalidateRect(dialog, nullptr, TRUE);
}

} // namespace hml::ui
