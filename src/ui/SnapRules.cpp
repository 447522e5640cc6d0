#include "ui/SnapRules.h"

#include <cstdlib>

namespace hml::ui {

namespace snap {

namespace {

bool Near(LONG a, LONG b, int distance) {
    return std::abs(a - b) < distance;
}

void MoveLeftTo(RECT& rect, LONG left) {
    OffsetRect(&rect, left - rect.left, 0);
}
void MoveRightTo(RECT& rect, LONG right) {
    OffsetRect(&rect, right - rect.right, 0);
}
void MoveTopTo(RECT& rect, LONG top) {
    OffsetRect(&rect, 0, top - rect.top);
}
void MoveBottomTo(RECT& rect, LONG bottom) {
    OffsetRect(&rect, 0, bottom - rect.bottom);
}

void StickToWorkArea(RECT& rect, const RECT& work, const Margins& own, int distance) {
    if (Near(work.left, rect.left, distance)) {
        MoveLeftTo(rect, work.left - own.left);
    } else if (Near(work.right, rect.right, distance)) {
        MoveRightTo(rect, work.right + own.right);
    }
    if (Near(work.top, rect.top, distance)) {
        MoveTopTo(rect, work.top - own.top);
    } else if (Near(work.bottom, rect.bottom, distance)) {
        MoveBottomTo(rect, work.bottom + own.bottom);
    }
}

void StickToNeighbour(RECT& rect, const Neighbour& other, const Margins& own, int distance) {
    const RECT& r = other.rect;
    const Margins& m = other.margins;
    RECT overlap{};
    if (IntersectRect(&overlap, &rect, &r)) {
        return;
    }
    if (rect.bottom > r.top && rect.top < r.bottom) {
        if (Near(rect.left, r.right, distance) && (other.cornerMask & (kTopRight | kBottomRight))) {
            MoveLeftTo(rect, r.right - own.left - m.right);
        } else if (Near(r.left, rect.right, distance) &&
                   (other.cornerMask & (kTopLeft | kBottomLeft))) {
            MoveRightTo(rect, r.left + m.left + own.right);
        }
    }
    if (rect.left < r.right && rect.right > r.left) {
        if (Near(rect.top, r.bottom, distance) &&
            (other.cornerMask & (kBottomLeft | kBottomRight))) {
            MoveTopTo(rect, r.bottom - own.top - m.bottom);
        } else if (Near(r.top, rect.bottom, distance) &&
                   (other.cornerMask & (kTopLeft | kTopRight))) {
            MoveBottomTo(rect, r.top + m.top + own.bottom);
        }
    }
}

} // namespace

Margins MarginsOf(const RECT& rect, const RECT& visible) {
    return {visible.left - rect.left, visible.top - rect.top, rect.right - visible.right,
            rect.bottom - visible.bottom};
}

unsigned CornerMask(const RECT& rect, const std::function<bool(POINT)>& ownsPoint) {
    // The rectangle's right and bottom edges lie outside it; one more pixel in gives the same
    // inset on every side.
    const POINT corners[] = {{rect.left + 1, rect.top + 1},
                             {rect.right - 2, rect.top + 1},
                             {rect.left + 1, rect.bottom - 2},
                             {rect.right - 2, rect.bottom - 2}};
    const unsigned bits[] = {kTopLeft, kTopRight, kBottomLeft, kBottomRight};
    unsigned mask = 0;
    for (int i = 0; i < 4; ++i) {
        if (ownsPoint(corners[i])) {
            mask |= bits[i];
        }
    }
    return mask;
}

bool SnapMove(RECT& rect, bool shiftHeld, POINT cursor, POINT grabOffset, const RECT& workArea,
              const Margins& own, const std::vector<Neighbour>& neighbours, int distance) {
    if (shiftHeld) {
        return false;
    }
    OffsetRect(&rect, cursor.x - grabOffset.x - rect.left, cursor.y - grabOffset.y - rect.top);
    StickToWorkArea(rect, workArea, own, distance);
    for (const Neighbour& other : neighbours) {
        StickToNeighbour(rect, other, own, distance);
    }
    return true;
}

} // namespace snap

} // namespace hml::ui
