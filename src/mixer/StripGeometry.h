#pragma once
// The numbers of a channel strip: where the fader knob sits for a volume and back, and the master
// level meter's bars with their clip hold. No window here, so the rules run the same everywhere.

#include <cstdint>

namespace hml::mixer {

namespace strip {

constexpr int kWidth = 40;
constexpr int kHeight = 190;
constexpr int kKnobLeft = 19;
constexpr int kKnobRight = 33;
constexpr int kKnobHeight = 29;
constexpr int kKnobTopAtFull = 21; // volume 100
constexpr int kKnobTopAtZero = 90; // volume 0
constexpr int kFaderTravel = kKnobTopAtZero - kKnobTopAtFull;

constexpr int kMeterTop = 16;
constexpr int kMeterHeight = 134;
constexpr int kClipMarkHeight = 6;
constexpr int kClipHoldRedraws = 10;

// The knob's top for a volume 0..100.
int KnobTopForVolume(std::uint32_t volume);
// The knob's top while dragging, kept on the track.
int DraggedKnobTop(int mouseY, int dragStartMouseY, int dragStartKnobTop);
// The volume a knob top stands for.
std::uint32_t VolumeForKnobTop(int knobTop);

// One side of the master meter between redraws.
struct MeterSide {
    std::uint32_t previous = 0;
    int clipHold = 0;
};

// Takes a new level 0..32768 for one side and returns the unlit part of the bar in pixels (from
// the top); a level at 98 % of full scale or more fills the bar and starts the clip hold.
int MeterOffset(MeterSide& side, std::uint32_t level);

} // namespace strip

} // namespace hml::mixer
