#pragma once
// The arithmetic of window snapping, free of any window: where a dragged window's rectangle goes
// so that its visible frame touches the work area's edges and the outer edges of other windows.

#include <windows.h>

#include <functional>
#include <vector>

namespace hml::ui {

namespace snap {

// The invisible border between a window's rectangle and its visible frame.
struct Margins {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// Which corners of a window can be seen: a window offers docking only on a side with a visible
// corner.
enum Corner : unsigned {
    kTopLeft = 1,
    kTopRight = 2,
    kBottomLeft = 4,
    kBottomRight = 8,
};

struct Neighbour {
    RECT rect;
    Margins margins;
    unsigned cornerMask;
};

// Margins from a window's rectangle and its visible (extended frame) bounds.
Margins MarginsOf(const RECT& rect, const RECT& visible);

// The corner mask of a window: a bit for each corner whose point just inside the rectangle
// belongs to the window itself.
unsigned CornerMask(const RECT& rect, const std::function<bool(POINT)>& ownsPoint);

// One step of a drag. Returns false, leaving rect as the system proposed it, while Shift is held;
// otherwise places rect at the cursor minus the grab offset, sticks it to the work area and then
// to the neighbours in order, and returns true.
bool SnapMove(RECT& rect, bool shiftHeld, POINT cursor, POINT grabOffset, const RECT& workArea,
              const Margins& own, const std::vector<Neighbour>& neighbours, int distance);

} // namespace snap

} // namespace hml::ui
