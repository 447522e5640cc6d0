#include "mixer/StripGeometry.h"

namespace hml::mixer {

namespace strip {

namespace {
constexpr std::uint32_t kClipLevel = 32112; // 0.98 of full scale
constexpr std::uint32_t kFullScale = 32768;
} // namespace

int KnobTopForVolume(std::uint32_t volume) {
    const float fraction = static_cast<float>(volume) / 100.0f;
    return kKnobTopAtFull - static_cast<int>((static_cast<double>(fraction) - 1.0) * kFaderTravel);
}

int DraggedKnobTop(int mouseY, int dragStartMouseY, int dragStartKnobTop) {
    const int y = mouseY - dragStartMouseY + dragStartKnobTop;
    if (y >= kKnobTopAtZero) {
        return kKnobTopAtZero;
    }
    if (y <= kKnobTopAtFull) {
        return kKnobTopAtFull;
    }
    return y;
}

std::uint32_t VolumeForKnobTop(int knobTop) {
    const float travelled = static_cast<float>(knobTop - kKnobTopAtFull) / kFaderTravel;
    const float volume = (1.0f - travelled) * 100.0f;
    return volume <= 0.0f ? 0 : static_cast<std::uint32_t>(volume);
}

int MeterOffset(MeterSide& side, std::uint32_t level) {
    if (level >= kClipLevel) {
        side.clipHold = kClipHoldRedraws;
        side.previous = level;
        return 0;
    }
    const std::uint32_t displayed = (level + side.previous) / 2;
    side.previous = displayed;
    return static_cast<int>((static_cast<std::uint64_t>(kMeterHeight) * kFullScale -
                             static_cast<std::uint64_t>(displayed) * kMeterHeight) /
                            kFullScale);
}

} // namespace strip

} // namespace hml::mixer
