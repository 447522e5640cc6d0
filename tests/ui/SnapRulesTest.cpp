// Where a dragged window lands: the work area's edges, the edges of other windows, the visible
// frame margins, the corner masks that decide which sides dock, and Shift.

#include "ui/SnapRules.h"

#include <gtest/gtest.h>

using namespace hml::ui;

namespace {

using hml::ui::snap::Margins;
using hml::ui::snap::Neighbour;

constexpr RECT kWork{0, 0, 1280, 770};
constexpr int kDistance = 20;
constexpr unsigned kAllCorners = 15;

// A 200 x 100 window dragged so that its top-left would be at (x, y): the grab point is the
// window's own top-left corner.
RECT Drag(int x, int y, const std::vector<Neighbour>& others = {}, Margins own = {},
          bool shift = false) {
    RECT rect{500, 500, 700, 600};
    hml::ui::snap::SnapMove(rect, shift, POINT{x, y}, POINT{0, 0}, kWork, own, others, kDistance);
    return rect;
}

TEST(SnapRulesTest, WorkAreaEdgesPullTheVisibleFrameOntoThem) {
    EXPECT_EQ(Drag(15, 300).left, 0);
    EXPECT_EQ(Drag(20, 300).left, 20); // at the distance itself: free
    EXPECT_EQ(Drag(1065, 300).right, 1280);
    EXPECT_EQ(Drag(300, 10).top, 0);
    EXPECT_EQ(Drag(300, 660).bottom, 770);
    // The invisible border lies beyond the work area so that the visible frame touches it.
    const Margins own{7, 0, 7, 7};
    RECT rect = Drag(12, 300, {}, own);
    EXPECT_EQ(rect.left, -7);
    EXPECT_EQ(Drag(1070, 300, {}, own).right, 1287);
}

TEST(SnapRulesTest, ShiftLeavesTheProposedRectangleAlone) {
    RECT rect{500, 500, 700, 600};
    EXPECT_FALSE(
        hml::ui::snap::SnapMove(rect, true, POINT{5, 5}, POINT{0, 0}, kWork, {}, {}, kDistance));
    EXPECT_EQ(rect.left, 500);
    EXPECT_EQ(rect.top, 500);
}

TEST(SnapRulesTest, WindowsDockSideBySideAndStackWithTheirFramesTouching) {
    const Neighbour other{{300, 200, 600, 400}, Margins{7, 0, 7, 7}, kAllCorners};
    const Margins own{7, 0, 7, 7};
    // Visible edges meet: the other's visible right edge is 593, ours starts 7 pixels in.
    EXPECT_EQ(Drag(610, 250, {other}, own).left, 586);
    EXPECT_EQ(Drag(85, 250, {other}, own).right, 314);
    EXPECT_EQ(Drag(350, 405, {other}, own).top, 393);
    EXPECT_EQ(Drag(350, 94, {other}, own).bottom, 207);
    // Side by side only while they overlap vertically; far above, nothing happens.
    EXPECT_EQ(Drag(605, 50, {other}).left, 605);
    // A window that the dragged one already overlaps is left out.
    EXPECT_EQ(Drag(590, 250, {other}).left, 590);
}

TEST(SnapRulesTest, CoveredCornersOfferNoDockingOnTheirSide) {
    const RECT r{300, 200, 600, 400};
    EXPECT_EQ(Drag(605, 250, {{r, {}, hml::ui::snap::kTopLeft | hml::ui::snap::kBottomLeft}}).left,
              605);
    EXPECT_EQ(Drag(605, 250, {{r, {}, hml::ui::snap::kBottomRight}}).left, 600);
    EXPECT_EQ(Drag(350, 405, {{r, {}, hml::ui::snap::kTopLeft | hml::ui::snap::kTopRight}}).top,
              405);
    EXPECT_EQ(Drag(350, 405, {{r, {}, hml::ui::snap::kBottomLeft}}).top, 400);
    EXPECT_EQ(
        Drag(92, 250, {{r, {}, hml::ui::snap::kTopRight | hml::ui::snap::kBottomRight}}).right,
        292);
}

TEST(SnapRulesTest, CornerMaskHasABitForEachCornerTheWindowItselfShows) {
    const RECT r{100, 100, 300, 200};
    // Another window covers the right-hand half.
    auto ownsLeftHalf = [](POINT p) { return p.x < 200; };
    EXPECT_EQ(hml::ui::snap::CornerMask(r, ownsLeftHalf),
              hml::ui::snap::kTopLeft | hml::ui::snap::kBottomLeft);
    EXPECT_EQ(hml::ui::snap::CornerMask(r, [](POINT) { return true; }), kAllCorners);
    POINT probed[4];
    int n = 0;
    hml::ui::snap::CornerMask(r, [&](POINT p) {
        probed[n++] = p;
        return false;
    });
    EXPECT_EQ(probed[0].x, 101); // one pixel inside every edge
    EXPECT_EQ(probed[0].y, 101);
    EXPECT_EQ(probed[3].x, 298);
    EXPECT_EQ(probed[3].y, 198);
}

TEST(SnapRulesTest, MarginsAreTheGapsToTheVisibleFrame) {
    const Margins m = hml::ui::snap::MarginsOf({100, 100, 300, 200}, {107, 100, 293, 193});
    EXPECT_EQ(m.left, 7);
    EXPECT_EQ(m.top, 0);
    EXPECT_EQ(m.right, 7);
    EXPECT_EQ(m.bottom, 7);
}

} // namespace
