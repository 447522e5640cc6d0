#include "mixer/win32/MixerChannel.h"

#include "config/Language.h"
#include "config/Settings.h"
#include "mixer/win32/MixerDialog.h"
#include "ui/Gdi.h"

#include <windowsx.h>

#include <algorithm>

namespace hml::mixer {

using namespace hml::config;
using namespace hml::ui;

namespace {

constexpr const wchar_t* kStripClass = L"HarmolithMixerStrip";
constexpr RECT kMuteArea{18, 138, 34, 154};
constexpr RECT kSoloArea{18, 122, 34, 138};
constexpr RECT kActivityLight{5, 18, 9, 22};
constexpr int kIconSize = 16;
constexpr int kTrackHeight = 160;
constexpr int kInstrumentX = 1;
constexpr int kInstrumentY = strip::kHeight - 42;
constexpr int kMeterLeftX = 3;
constexpr int kMeterRightX = 8;
constexpr int kMeterWidth = 4;
constexpr std::size_t kLabelLength = 9;
constexpr COLORREF kLabelColour = RGB(215, 215, 235);
constexpr COLORREF kLightOn = RGB(0, 130, 0);
constexpr COLORREF kTrackTransparent = RGB(255, 255, 0);
constexpr COLORREF kKnobTransparent = RGB(0, 0, 0);
constexpr int kAccelerateAfter = 20;

// Key-downs since the last key-up, shared by every strip of every mixer: a held key speeds up.
int keyRepeats = 0;

bool Contains(const RECT& area, POINT at) {
    return PtInRect(&area, at) != FALSE;
}

bool MeterDisabled() {
    return settings && settings->disableVUMeter.Get() == 1;
}

// Copies a bitmap of the artwork, or nothing when it is missing from the resources.
void DrawBitmap(HDC target, HBITMAP bitmap, int x, int y, int width, int height, int sourceY = 0) {
    if (!bitmap || width <= 0 || height <= 0) {
        return;
    }
    ui::CMemDC source(target);
    source.Select(bitmap);
    BitBlt(target, x, y, width, height, source.Get(), 0, sourceY, SRCCOPY);
}

void DrawTransparent(HDC target, HBITMAP bitmap, const RECT& to, COLORREF transparent) {
    if (!bitmap) {
        return;
    }
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    ui::CMemDC source(target);
    source.Select(bitmap);
    TransparentBlt(target, to.left, to.top, to.right - to.left, to.bottom - to.top, source.Get(), 0,
                   0, info.bmWidth, info.bmHeight, transparent);
}

} // namespace

CMixerChannel::CMixerChannel(std::uint32_t channel_, CMixerDialog& dialog_)
    : channel(channel_), owner(dialog_.Owner()), dialog(dialog_) {
    if (IsMaster()) {
        label = Translate(L"mixer.master").substr(0, kLabelLength);
    } else {
        label = std::to_wstring(channel + 1);
    }
}

bool CMixerChannel::Create(HWND parent) {
    return CreateEx(0, kStripClass, label.c_str(), WS_CHILD | WS_VISIBLE, 0, 0, strip::kWidth,
                    strip::kHeight, parent);
}

std::uint32_t CMixerChannel::Volume() const {
    return IsMaster() ? owner.masterVolume.load() : owner.channelVolume[channel].load();
}

void CMixerChannel::SetVolume(std::int32_t volume) {
    if (IsMaster()) {
        owner.SetMasterVolume(volume);
    } else {
        owner.SetChannelVolume(volume, channel);
    }
    Refresh();
}

void CMixerChannel::PlaceKnob(int top) {
    knobRect = {strip::kKnobLeft, top, strip::kKnobRight, top + strip::kKnobHeight};
}

void CMixerChannel::Refresh() {
    PlaceKnob(strip::KnobTopForVolume(Volume()));
    Repaint();
}

void CMixerChannel::Repaint() {
    if (IsWindow()) {
        InvalidateRect(GetHwnd(), nullptr, FALSE);
        UpdateWindow(GetHwnd());
    }
}

void CMixerChannel::ToggleMute() {
    if (IsMaster()) {
        return;
    }
    owner.SetChannelMute(owner.channelMute[channel] == 0, channel);
    Repaint();
}

void CMixerChannel::ToggleSolo() {
    if (IsMaster()) {
        return;
    }
    owner.SetChannelSolo(owner.channelSolo[channel] == 0, channel);
    Repaint();
}

void CMixerChannel::ResetStrip() {
    if (IsMaster()) {
        owner.SetMasterVolume(100);
    } else {
        owner.SetChannelMute(false, channel);
        owner.SetChannelSolo(false, channel);
        owner.SetChannelVolume(100, channel);
    }
    Refresh();
}

void CMixerChannel::HandleKey(UINT message, WPARAM key) {
    if (message == WM_KEYUP) {
        keyRepeats = 0;
        return;
    }
    ++keyRepeats;
    const std::int32_t step = keyRepeats > kAccelerateAfter ? 3 : 1;
    const std::int32_t volume = static_cast<std::int32_t>(Volume());
    switch (key) {
    case VK_HOME:
        SetVolume(100);
        break;
    case VK_END:
        SetVolume(0);
        break;
    case VK_UP:
    case VK_ADD:
        if (volume < 100) {
            SetVolume(std::min(100, volume + step));
        }
        break;
    case VK_DOWN:
    case VK_SUBTRACT:
        if (volume > 0) {
            SetVolume(std::max(0, volume - step));
        }
        break;
    case 'M':
        ToggleMute();
        break;
    case 'S':
        ToggleSolo();
        break;
    default:
        break;
    }
}

void CMixerChannel::PaintActivityLight(HDC dc) {
    CMixerDialog::CDrawLock guard(dialog);
    const bool active = owner.channelActivity[channel] != 0;
    HBRUSH brush = CreateSolidBrush(active ? kLightOn : RGB(0, 0, 0));
    FillRect(dc, &kActivityLight, brush);
    DeleteObject(brush);
}

void CMixerChannel::PaintLevelMeter(HDC dc) {
    CMixerDialog::CDrawLock guard(dialog);
    const std::uint32_t level = owner.GetLevel();
    if (level == IMixerOwner::kNoLevel) {
        return;
    }
    const auto& art = dialog.Art();
    const int offsets[2] = {strip::MeterOffset(meter[0], level & 0xFFFF),
                            strip::MeterOffset(meter[1], level >> 16)};
    const int xs[2] = {kMeterLeftX, kMeterRightX};
    for (int side = 0; side < 2; ++side) {
        DrawBitmap(dc, art.meterOff.Get(), xs[side], strip::kMeterTop, kMeterWidth,
                   strip::kMeterHeight);
        DrawBitmap(dc, art.meterOn.Get(), xs[side], strip::kMeterTop + offsets[side], kMeterWidth,
                   strip::kMeterHeight - offsets[side], offsets[side]);
        if (meter[side].clipHold > 0) {
            DrawBitmap(dc, art.meterOn.Get(), xs[side], strip::kMeterTop, kMeterWidth,
                       strip::kClipMarkHeight);
            --meter[side].clipHold;
        }
    }
}

void CMixerChannel::Paint(HDC target) {
    CMixerDialog::CDrawLock guard(dialog);
    const auto& art = dialog.Art();
    ui::CMemDC canvas(target);
    ui::CBitmap picture(target, strip::kWidth, strip::kHeight);
    canvas.Select(picture.Get());
    HDC dc = canvas.Get();

    const RECT whole{0, 0, strip::kWidth, strip::kHeight};
    FillRect(dc, &whole, art.background.Get());
    DrawTransparent(dc, art.faderTrack.Get(), {0, 0, strip::kWidth, kTrackHeight},
                    kTrackTransparent);
    if (IsMaster()) {
        DrawIconEx(dc, kMuteArea.left, kMuteArea.top, art.master, kIconSize, kIconSize, 0, nullptr,
                   DI_NORMAL);
    } else {
        DrawIconEx(dc, kMuteArea.left, kMuteArea.top,
                   owner.channelMute[channel] ? art.muted : art.notMuted, kIconSize, kIconSize, 0,
                   nullptr, DI_NORMAL);
        DrawIconEx(dc, kSoloArea.left, kSoloArea.top,
                   owner.channelSolo[channel] ? art.soloed : art.notSoloed, kIconSize, kIconSize, 0,
                   nullptr, DI_NORMAL);
    }
    DrawTransparent(dc, art.knob.Get(), knobRect, kKnobTransparent);

    SetTextColor(dc, kLabelColour);
    SetBkMode(dc, TRANSPARENT);
    const bool selected = dialog.SelectedChannel() == channel;
    canvas.Select(selected ? art.selectedLabelFont.Get() : art.labelFont.Get());
    RECT labelRect = whole;
    DrawTextW(dc, label.c_str(), -1, &labelRect, DT_CENTER | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    if (!IsMaster()) {
        const std::wstring instrument = owner.GetInstrumentName(channel);
        canvas.Select(art.instrumentFont.Get());
        TextOutW(dc, kInstrumentX, kInstrumentY, instrument.c_str(),
                 static_cast<int>(instrument.size()));
    }
    if (!MeterDisabled()) {
        if (IsMaster()) {
            PaintLevelMeter(dc);
        } else {
            PaintActivityLight(dc);
        }
    }
    BitBlt(target, 0, 0, strip::kWidth, strip::kHeight, dc, 0, 0, SRCCOPY);
}

void CMixerChannel::OnLeftButtonDown(POINT at) {
    dialog.SelectChannel(channel);
    if (Contains(kMuteArea, at)) {
        if (IsMaster()) {
            // The master's icon is the way to the mixer's menu.
            POINT inDialog = at;
            MapWindowPoints(GetHwnd(), dialog.GetHwnd(), &inDialog, 1);
            PostMessageW(dialog.GetHwnd(), WM_RBUTTONUP, 0, MAKELPARAM(inDialog.x, inDialog.y));
        } else {
            ToggleMute();
        }
    } else if (Contains(kSoloArea, at)) {
        ToggleSolo();
    } else if (Contains(knobRect, at)) {
        dragging = true;
        dragStartMouse = at;
        dragStartKnobTop = knobRect.top;
        SetCapture(GetHwnd());
    } else {
        // Dragging a strip anywhere else moves the whole window.
        POINT screen = at;
        ClientToScreen(GetHwnd(), &screen);
        PostMessageW(dialog.GetHwnd(), WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(screen.x, screen.y));
    }
}

void CMixerChannel::OnMouseMove(POINT at) {
    if (!dragging) {
        return;
    }
    const int top = strip::DraggedKnobTop(at.y, dragStartMouse.y, dragStartKnobTop);
    PlaceKnob(top);
    const std::uint32_t volume = strip::VolumeForKnobTop(top);
    if (IsMaster()) {
        owner.masterVolume = std::min<std::uint32_t>(volume, 100);
        owner.ApplyChannel(IMixerOwner::kAllChannels);
    } else {
        owner.SetChannelVolume(static_cast<std::int32_t>(volume), channel);
    }
    Repaint();
}

LRESULT CMixerChannel::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (msg) {
    case WM_ERASEBKGND:
        return 1; // the paint covers every pixel
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(GetHwnd(), &paint);
        Paint(dc);
        EndPaint(GetHwnd(), &paint);
        return 0;
    }
    case WM_LBUTTONDOWN:
        OnLeftButtonDown(at);
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(at);
        return 0;
    case WM_LBUTTONUP:
        if (dragging) {
            dragging = false;
            ReleaseCapture();
        }
        return 0;
    case WM_CAPTURECHANGED:
        dragging = false;
        return 0;
    case WM_RBUTTONUP: {
        POINT inDialog = at;
        MapWindowPoints(GetHwnd(), dialog.GetHwnd(), &inDialog, 1);
        PostMessageW(dialog.GetHwnd(), WM_RBUTTONUP, wParam, MAKELPARAM(inDialog.x, inDialog.y));
        return 0;
    }
    default:
        return WndProcDefault(msg, wParam, lParam);
    }
}

} // namespace hml::mixer
