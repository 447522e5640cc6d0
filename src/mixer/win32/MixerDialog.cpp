#include "mixer/win32/MixerDialog.h"

#include "Resource.h"
#include "config/Language.h"
#include "config/Settings.h"

#include <windowsx.h>

namespace hml::mixer {

using namespace hml::config;

namespace {

constexpr const wchar_t* kPositionKey = L"Mixer";
constexpr COLORREF kBackground = RGB(24, 24, 24);
constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 100;
constexpr DWORD kMeterCycleMs = 50;
constexpr int kMeterEveryPasses = 3;
constexpr DWORD kStopOnDestroyMs = 5000;
constexpr DWORD kStopOnSettingMs = 500;
constexpr int kStripMargin = 5;
constexpr int kMasterGap = 10;

ui::CFont MakeFont(int height, int weight, bool underline, int escapement) {
    LOGFONTW font{};
    font.lfHeight = height;
    font.lfWeight = weight;
    font.lfUnderline = underline;
    font.lfEscapement = escapement;
    font.lfOrientation = escapement;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = OUT_TT_PRECIS;
    font.lfQuality = CLEARTYPE_QUALITY;
    wcscpy_s(font.lfFaceName, L"Tahoma");
    return ui::CFont(font);
}

HICON LoadSmallIcon(UINT id) {
    return static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, LR_SHARED));
}

HBITMAP LoadBitmapResource(UINT id) {
    return static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                           IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

bool MeterDisabled() {
    return settings && settings->disableVUMeter.Get() == 1;
}

void CentreOnWorkArea(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    SetWindowPos(window, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

CMixerDialog::CMixerDialog(IMixerOwner& owner_) : ModelessDialog(IDD_MIXER), owner(owner_) {
    InitializeCriticalSection(&lock);
    for (std::uint32_t c = 0; c < strips.size(); ++c) {
        strips[c] = std::make_unique<CMixerChannel>(c, *this);
    }
}

CMixerDialog::~CMixerDialog() {
    StopMeter(kStopOnDestroyMs);
    // The strips' windows go before the lock they draw under.
    for (auto& strip : strips) {
        strip.reset();
    }
    DeleteCriticalSection(&lock);
}

void CMixerDialog::LoadArtwork() {
    art.labelFont = MakeFont(12, FW_BOLD, false, 0);
    art.selectedLabelFont = MakeFont(12, FW_BOLD, true, 0);
    art.instrumentFont = MakeFont(11, FW_LIGHT, false, 900);
    art.muted = LoadSmallIcon(IDI_MIXER_MUTED);
    art.notMuted = LoadSmallIcon(IDI_MIXER_NOT_MUTED);
    art.soloed = LoadSmallIcon(IDI_MIXER_SOLOED);
    art.notSoloed = LoadSmallIcon(IDI_MIXER_NOT_SOLOED);
    art.master = LoadSmallIcon(IDI_MIXER_MASTER);
    art.background = ui::CBrush(kBackground);
    art.faderTrack = ui::CGdiObject<HBITMAP>(LoadBitmapResource(IDB_MIXER_FADER_TRACK));
    art.knob = ui::CGdiObject<HBITMAP>(LoadBitmapResource(IDB_MIXER_KNOB));
    art.meterOff = ui::CGdiObject<HBITMAP>(LoadBitmapResource(IDB_MIXER_METER_OFF));
    art.meterOn = ui::CGdiObject<HBITMAP>(LoadBitmapResource(IDB_MIXER_METER_ON));
}

void CMixerDialog::LayOutStrips() {
    RECT place{kStripMargin, kStripMargin, kStripMargin + strip::kWidth,
               kStripMargin + strip::kHeight};
    for (std::uint32_t c = 0; c < IMixerOwner::kChannels; ++c) {
        strips[c]->Create(GetHwnd());
        MoveWindow(strips[c]->GetHwnd(), place.left, place.top, strip::kWidth, strip::kHeight,
                   FALSE);
        OffsetRect(&place, strip::kWidth, 0);
    }
    OffsetRect(&place, kMasterGap, 0);
    strips[kMasterStrip]->Create(GetHwnd());
    MoveWindow(strips[kMasterStrip]->GetHwnd(), place.left, place.top, strip::kWidth,
               strip::kHeight, FALSE);

    // The strips with a margin of 5 on every side make the client area; the frame comes on top,
    // so that no strip is cut off whatever the caption height.
    RECT outer{0, 0, place.right + kStripMargin, place.bottom + kStripMargin};
    AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongPtrW(GetHwnd(), GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(GetHwnd(), GWL_EXSTYLE)));
    SetWindowPos(GetHwnd(), nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CMixerDialog::OnInitDialog() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    SendMessageW(GetHwnd(), WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_MIXER_SMALL),
                                                     IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                     GetSystemMetrics(SM_CYSMICON), LR_SHARED)));
    SendMessageW(GetHwnd(), WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_MIXER_LARGE),
                                                     IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                     GetSystemMetrics(SM_CYICON), LR_SHARED)));
    LoadArtwork();
    const std::wstring caption = owner.GetTitle() + L" - " + Translate(L"mixer.title");
    SetWindowTextW(GetHwnd(), caption.c_str());
    selectedChannel = kMasterStrip;
    LayOutStrips();
    for (auto& strip : strips) {
        strip->Refresh();
    }
    if (!settings || !settings->RestoreWindowPosition(kPositionKey, GetHwnd(),
                                                      SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE,
                                                      owner.portSuffix)) {
        CentreOnWorkArea(GetHwnd());
    }
    SetTimer(GetHwnd(), kRefreshTimer, kRefreshMs, nullptr);
    ApplyMeterSetting();
    return TRUE;
}

void CMixerDialog::OnDestroy() {
    KillTimer(GetHwnd(), kRefreshTimer);
    StopMeter(kStopOnDestroyMs);
    if (settings) {
        owner.WriteMixerState(*settings);
        settings->SaveWindowPosition(kPositionKey, GetHwnd(), owner.portSuffix);
    }
}

void CMixerDialog::OnFinalMessage() {
    if (owner.mixerWindow == this) {
        owner.mixerWindow = nullptr;
    }
    ModelessDialog::OnFinalMessage();
}

void CMixerDialog::Show() {
    if (IsIconic(GetHwnd())) {
        ShowWindow(GetHwnd(), SW_RESTORE);
    }
    SetForegroundWindow(GetHwnd());
    const bool topMost = settings && settings->topMost.Get() == 1;
    SetWindowPos(GetHwnd(), topMost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
}

void CMixerDialog::RefreshChannel(std::uint32_t channel) {
    for (std::uint32_t c = 0; c < IMixerOwner::kChannels; ++c) {
        if ((channel == c || channel >= IMixerOwner::kChannels) && strips[c]->IsWindow()) {
            strips[c]->Refresh();
        }
    }
}

void CMixerDialog::RefreshMaster() {
    if (strips[kMasterStrip]->IsWindow()) {
        strips[kMasterStrip]->Refresh();
    }
}

void CMixerDialog::SelectChannel(std::uint32_t channel) {
    if (channel == selectedChannel || channel > kMasterStrip) {
        return;
    }
    const std::uint32_t previous = selectedChannel;
    selectedChannel = channel;
    strips[previous]->Refresh();
    strips[channel]->Refresh();
}

void CMixerDialog::ResetAll() {
    for (auto& strip : strips) {
        strip->ResetStrip(); // the master is the last
    }
}

void CMixerDialog::HandleKey(const MSG& msg) {
    const WPARAM key = msg.wParam;
    CMixerChannel& selected = *strips[selectedChannel];
    if (msg.message == WM_KEYUP) {
        switch (key) {
        case VK_HOME:
        case VK_END:
        case VK_UP:
        case VK_DOWN:
        case VK_ADD:
        case VK_SUBTRACT:
        case 'M':
            selected.HandleKey(WM_KEYUP, key);
            break;
        case 'R':
            ResetAll();
            break;
        default:
            break;
        }
        return;
    }
    const bool autoRepeat = (msg.lParam & (1 << 30)) != 0;
    switch (key) {
    case VK_HOME:
    case VK_END:
    case 'M':
    case 'R':
    case 'S':
        if (!autoRepeat) {
            selected.HandleKey(WM_KEYDOWN, key);
        }
        return;
    case VK_UP:
    case VK_DOWN:
    case VK_ADD:
    case VK_SUBTRACT:
        selected.HandleKey(WM_KEYDOWN, key);
        return;
    case VK_LEFT:
        if (selectedChannel > 0) {
            SelectChannel(selectedChannel - 1);
        }
        return;
    case VK_RIGHT:
        if (selectedChannel < kMasterStrip) {
            SelectChannel(selectedChannel + 1);
        }
        return;
    default:
        break;
    }
    int digit = -1;
    if (key >= '0' && key <= '9') {
        digit = static_cast<int>(key - '0');
    } else if (key >= VK_NUMPAD0 && key <= VK_NUMPAD9) {
        digit = static_cast<int>(key - VK_NUMPAD0);
    }
    if (digit < 0) {
        return;
    }
    const bool control = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
    if (!control) {
        SelectChannel(digit == 0 ? kMasterStrip : static_cast<std::uint32_t>(digit - 1));
    } else if (digit <= 6) {
        SelectChannel(static_cast<std::uint32_t>(9 + digit)); // Ctrl+0 is channel 10
    }
}

bool CMixerDialog::PreTranslateMessage(MSG& msg) {
    if ((msg.message == WM_KEYDOWN || msg.message == WM_KEYUP) &&
        (msg.hwnd == GetHwnd() || IsChild(GetHwnd(), msg.hwnd))) {
        HandleKey(msg);
    }
    // The keys go on to the dialog's own handling as well.
    return ModelessDialog::PreTranslateMessage(msg);
}

INT_PTR CMixerDialog::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(art.background.Get());
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, RGB(255, 255, 255));
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<INT_PTR>(art.background.Get());
    }
    case WM_LBUTTONDOWN: {
        POINT screen{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ClientToScreen(GetHwnd(), &screen);
        PostMessageW(GetHwnd(), WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(screen.x, screen.y));
        return TRUE;
    }
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU:
        ShowContextMenu();
        return TRUE;
    case WM_ENTERSIZEMOVE:
        snapper.BeginMove(GetHwnd());
        return FALSE;
    case WM_MOVING:
        if (snapper.Moving(*reinterpret_cast<RECT*>(lParam))) {
            SetWindowLongPtrW(GetHwnd(), DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        return FALSE;
    case WM_TIMER:
        if (wParam == kRefreshTimer) {
            const std::uint32_t marked = owner.TakeStripRefreshes();
            for (std::uint32_t c = 0; c < IMixerOwner::kChannels; ++c) {
                if (marked & (1u << c)) {
                    RefreshChannel(c);
                }
            }
            return TRUE;
        }
        break;
    default:
        break;
    }
    return ModelessDialog::DialogProc(msg, wParam, lParam);
}

void CMixerDialog::ApplyMeterSetting() {
    if (!MeterDisabled()) {
        StartMeter();
    } else if (meterThread) {
        StopMeter(kStopOnSettingMs);
        RedrawWindow(GetHwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
}

void CMixerDialog::StartMeter() {
    if (meterThread) {
        return;
    }
    stopMeter = false;
    meterThread = CreateThread(nullptr, 0, &CMixerDialog::MeterThread, this, 0, nullptr);
    if (meterThread) {
        SetThreadPriority(meterThread, THREAD_PRIORITY_ABOVE_NORMAL);
    }
}

void CMixerDialog::StopMeter(DWORD waitMs) {
    if (!meterThread) {
        return;
    }
    stopMeter = true;
    WaitForSingleObject(meterThread, waitMs);
    CloseHandle(meterThread);
    meterThread = nullptr;
}

DWORD WINAPI CMixerDialog::MeterThread(void* self) {
    static_cast<CMixerDialog*>(self)->MeterLoop();
    return 0;
}

void CMixerDialog::MeterLoop() {
    std::array<std::uint32_t, IMixerOwner::kChannels> shown{};
    int pass = 0;
    for (;;) {
        for (std::uint32_t c = 0; c < IMixerOwner::kChannels; ++c) {
            const std::uint32_t active = owner.channelActivity[c];
            if (active != shown[c]) {
                HWND window = strips[c]->GetHwnd();
                if (HDC dc = GetDC(window)) {
                    strips[c]->PaintActivityLight(dc);
                    ReleaseDC(window, dc);
                }
                shown[c] = active;
            }
        }
        if (++pass == kMeterEveryPasses) {
            pass = 0;
            HWND window = strips[kMasterStrip]->GetHwnd();
            if (HDC dc = GetDC(window)) {
                strips[kMasterStrip]->PaintLevelMeter(dc);
                ReleaseDC(window, dc);
            }
        }
        Sleep(kMeterCycleMs);
        if (stopMeter.exchange(false)) {
            return;
        }
    }
}

} // namespace hml::mixer
