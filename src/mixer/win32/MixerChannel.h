#pragma once
// One strip of a mixer window: the fader, mute and solo of a MIDI channel, or the master fader
// with the level meter. It draws into an off-screen bitmap under the mixer's lock, because the
// mixer's meter thread draws the activity light and the meter into the same window.

#include "mixer/StripGeometry.h"
#include "ui/Window.h"

#include <array>
#include <cstdint>
#include <string>

namespace hml::mixer {

class CMixerDialog;
class IMixerOwner;

class CMixerChannel : public ui::CWindow {
public:
    // channel 0..15, or 16 for the master strip.
    CMixerChannel(std::uint32_t channel_, CMixerDialog& dialog_);

    bool Create(HWND parent);
    // Puts the knob where the stored volume says and repaints.
    void Refresh();
    void ToggleMute();
    void ToggleSolo();
    void ResetStrip();
    // A key-down or key-up forwarded by the mixer window.
    void HandleKey(UINT message, WPARAM key);

    // The meter thread's drawing, each under the mixer's lock through a device context of its own.
    void PaintActivityLight(HDC dc);
    void PaintLevelMeter(HDC dc);

    bool IsMaster() const { return channel == kMaster; }

    static constexpr std::uint32_t kMaster = 16;

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    std::uint32_t Volume() const;
    void SetVolume(std::int32_t volume);
    void PlaceKnob(int top);
    void Repaint();
    void Paint(HDC target);
    void OnLeftButtonDown(POINT at);
    void OnMouseMove(POINT at);

    const std::uint32_t channel;
    std::wstring label;
    IMixerOwner& owner;
    CMixerDialog& dialog;
    bool dragging = false;
    POINT dragStartMouse{};
    int dragStartKnobTop = 0;
    std::array<strip::MeterSide, 2> meter{};
    RECT knobRect{strip::kKnobLeft, strip::kKnobTopAtFull, strip::kKnobRight,
                  strip::kKnobTopAtFull + strip::kKnobHeight};
};

} // namespace hml::mixer
