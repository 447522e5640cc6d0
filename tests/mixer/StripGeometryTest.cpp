// Where a strip's knob sits for a volume and back, and the master meter's bar with its clip hold.

#include "mixer/StripGeometry.h"

#include <gtest/gtest.h>

using namespace hml::mixer;

namespace {

TEST(StripGeometryTest, KnobTravelsSixtyNinePixelsAndDragsStopAtTheTrackEnds) {
    EXPECT_EQ(hml::mixer::strip::KnobTopForVolume(100), 21);
    EXPECT_EQ(hml::mixer::strip::KnobTopForVolume(0), 90);
    EXPECT_EQ(hml::mixer::strip::DraggedKnobTop(-500, 30, 21), 21);
    EXPECT_EQ(hml::mixer::strip::DraggedKnobTop(900, 30, 21), 90);
    EXPECT_EQ(hml::mixer::strip::VolumeForKnobTop(21), 100u);
    EXPECT_EQ(hml::mixer::strip::VolumeForKnobTop(90), 0u);
}

TEST(StripGeometryTest, ADragBackToItsStartPixelMayChangeTheVolumeByOne) {
    int changed = 0;
    for (std::uint32_t volume = 0; volume <= 100; ++volume) {
        const int top = hml::mixer::strip::KnobTopForVolume(volume);
        const std::uint32_t back =
            hml::mixer::strip::VolumeForKnobTop(hml::mixer::strip::DraggedKnobTop(50, 50, top));
        EXPECT_LE(back > volume ? back - volume : volume - back, 1u) << volume;
        changed += back != volume;
    }
    EXPECT_GT(changed, 0); // the knob has 70 positions for 101 volumes
}

TEST(StripGeometryTest, MeterAveragesWithThePreviousLevelAndHoldsAClipForTenRedraws) {
    hml::mixer::strip::MeterSide side;
    EXPECT_EQ(hml::mixer::strip::MeterOffset(side, 0), 134);
    EXPECT_EQ(hml::mixer::strip::MeterOffset(side, 16384),
              100); // shows (16384 + 0) / 2: a quarter lit
    EXPECT_EQ(side.previous, 8192u);
    EXPECT_EQ(hml::mixer::strip::MeterOffset(side, 32112), 0);
    EXPECT_EQ(side.clipHold, 10);
    EXPECT_EQ(side.previous, 32112u);
    EXPECT_EQ(hml::mixer::strip::MeterOffset(side, 32111),
              2); // just below the clip level: averaged again
}

} // namespace
