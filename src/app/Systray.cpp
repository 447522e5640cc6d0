#include "app/Systray.h"

#include "Resource.h"
#include "app/CommandLine.h"
#include "config/Language.h"
#include "config/Settings.h"
#include "mixer/MixerOwner.h"
#include "mixer/win32/MixerPorts.h"
#include "synth/win32/IpcServer.h"
#include "synth/win32/SynthEngine.h"
#include "ui/DeletionHost.h"
#include "ui/HotkeyText.h"
#include "ui/IconMenu.h"
#include "ui/MessageBox.h"
#include "ui/Window.h"

#include <cwchar>

namespace hml::app {

using namespace hml::config;
using namespace hml::mixer;
using namespace hml::synth;
using namespace hml::ui;

CSystray* systray = nullptr;
UINT taskbarCreatedMessage = 0;

namespace {

constexpr const wchar_t* kToolTip = L"Tarnwick Harmolith - 2.9.1";

template <std::size_t N> void CopyText(wchar_t (&target)[N], const std::wstring& text) {
    wcsncpy(target, text.c_str(), N - 1);
    target[N - 1] = 0;
}

std::wstring WithHotkey(const std::wstring& text, std::uint32_t hotkey) {
    return hotkey ? text + L" (" + ui::HotkeyDisplayText(hotkey) + L")" : text;
}

// The mixer window operations of a port go through its owner, which holds the one window.
void OpenMixer(std::uint32_t port) {
    if (mixer::IMixerOwner* owner = mixer::PortOwner(port)) {
        owner->OpenMixerWindow();
    }
}

bool IsMixerOpen(std::uint32_t port) {
    mixer::IMixerOwner* owner = mixer::PortOwner(port);
    return owner && owner->mixerWindow;
}

} // namespace

CSystray::CSystray(IAppWindows& windows_) : windows(windows_) {}

CSystray::~CSystray() {
    if (systray == this) {
        systray = nullptr;
    }
}

bool CSystray::Create() {
    return CreateEx(WS_EX_CLIENTEDGE, kClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr);
}

std::uint32_t CSystray::PortCount() const {
    // "DevicesCount" may already hold a count that waits for a restart.
    if (synthEngine) {
        return static_cast<std::uint32_t>(synthEngine->ports.size());
    }
    return settings ? settings->devicesCount.Get() : 1;
}

int CSystray::OnCreate(CREATESTRUCTW&) {
    ui::SetDeletionHost(GetHwnd());

    // The structure as the 32-bit shell of the oldest supported Windows knows it.
    iconData.cbSize = NOTIFYICONDATAW_V3_SIZE;
    iconData.hWnd = GetHwnd();
    iconData.uID = 0;
    iconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    iconData.uCallbackMessage = kIconMessage;
    iconData.hIcon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_HARMOLITH), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    CopyText(iconData.szTip, kToolTip);

    // The icon first: the update reminder and a hotkey failure show balloons on it.
    iconAdded = Shell_NotifyIconW(NIM_ADD, &iconData) != FALSE;
    RunUpdateDecision(*this);
    RegisterHotkeys();

    const std::uint32_t openStatus = settings ? settings->openStatus.Get() : 0;
    for (std::uint32_t port = 0; port < PortCount(); ++port) {
        if (openStatus & (1u << port)) {
            OpenMixer(port);
        }
    }
    if (synthEngine && !synthEngine->AllPortsHaveSoundFonts()) {
        ShowBalloon(Translate(L"err.noSoundfont"), NIIF_ERROR, kBalloonNoSoundFont);
    }
    return 0;
}

void CSystray::UnregisterHotkeys() {
    if (mixerHotkey) {
        UnregisterHotKey(GetHwnd(), kMixerHotkeyId);
        mixerHotkey = 0;
    }
    if (panicHotkey) {
        UnregisterHotKey(GetHwnd(), kPanicHotkeyId);
        panicHotkey = 0;
    }
}

std::uint32_t CSystray::RegisterOne(int id, std::uint32_t value, const wchar_t* actionKey) {
    if (value == 0) {
        return 0;
    }
    const HotkeyKeys keys = DecodeHotkey(value);
    if (!RegisterHotKey(GetHwnd(), id, keys.modifiers, keys.virtualKey)) {
        ShowBalloon(Translate(L"err.hotkeyCreation", StripMnemonics(Translate(actionKey)),
                              ui::HotkeyDisplayText(value)),
                    NIIF_ERROR, kBalloonHotkey);
        return 0;
    }
    return value;
}

void CSystray::RegisterHotkeys() {
    UnregisterHotkeys();
    if (!settings) {
        return;
    }
    mixerHotkey = RegisterOne(kMixerHotkeyId, settings->showMixer.Get(), L"scm.mixer");
    panicHotkey = RegisterOne(kPanicHotkeyId, settings->midiPanic.Get(), L"scm.panic");
}

bool CSystray::ShowBalloon(const std::wstring& text, DWORD iconFlags, std::uint32_t kind) {
    NOTIFYICONDATAW balloon = iconData;
    balloon.uFlags |= NIF_INFO;
    CopyText(balloon.szInfo, text);
    CopyText(balloon.szInfoTitle, ui::kAppCaption);
    balloon.dwInfoFlags = iconFlags;
    balloon.uTimeout = 3;
    balloonKind = kind;
    const bool shown = Shell_NotifyIconW(NIM_MODIFY, &balloon) != FALSE;
    balloonsShown += shown;
    return shown;
}

void CSystray::PostUpdateFound() {
    PostMessageW(GetHwnd(), kUpdateFoundMessage, 0, 0);
}

void CSystray::SetUpdateAvailable() {
    updateAvailable = true;
}

void CSystray::ShowUpdateBalloon() {
    if (settings) {
        SYSTEMTIME today{};
        GetLocalTime(&today);
        wchar_t date[16] = {};
        swprintf(date, 16, L"%04d-%02d-%02d", today.wYear, today.wMonth, today.wDay);
        settings->lastNotify.Set(date);
    }
    ShowBalloon(Translate(L"scm.updateAvailableBalloon"), NIIF_INFO, kBalloonUpdate);
}

void CSystray::DispatchWindows(const std::vector<std::wstring>& args, bool emptyMeansConfigurator) {
    switch (SelectWindow(args, emptyMeansConfigurator)) {
    case WindowRequest::kConfigurator:
        windows.OpenConfigurator(kCurrentPage);
        break;
    case WindowRequest::kConverter:
        windows.OpenConverter();
        break;
    case WindowRequest::kNone:
        break;
    }
}

UINT CSystray::ShowMenu() {
    ui::CIconMenu menu(GetHwnd());
    const std::uint32_t ports = PortCount();
    if (ports <= 1) {
        menu.AddItem(WithHotkey(Translate(L"scm.mixer"), mixerHotkey), kMenuMixerFirst);
        menu.SetDefaultItem(kMenuMixerFirst);
    } else {
        ui::CIconMenu mixers;
        for (std::uint32_t port = 0; port < ports; ++port) {
            std::wstring name = config::CSettings::PortDisplayName(port);
            mixers.AddItem(port == 0 ? WithHotkey(name, mixerHotkey) : name, kMenuMixerFirst + port,
                           IDI_MENU_MIXER);
        }
        mixers.SetDefaultItem(kMenuMixerFirst);
        menu.AddSubMenu(Translate(L"scm.mixers"), mixers, IDI_MENU_MIXER);
    }
    menu.AddItem(WithHotkey(Translate(L"scm.panic"), panicHotkey), kMenuPanic, IDI_MENU_PANIC);
    menu.AddSeparator();
    menu.AddItem(Translate(L"scm.midiConverter"), kMenuConverter, IDI_MENU_CONVERTER);
    menu.AddSeparator();
    menu.AddItem(Translate(L"scm.configure"), kMenuConfigure, IDI_MENU_CONFIGURE);
    menu.AddSeparator();
    menu.AddItem(Translate(L"scm.about"), kMenuAbout, IDI_MENU_ABOUT);
    menu.AddItem(Translate(L"scm.exit"), kMenuExit);
    if (updateAvailable) {
        menu.AddSeparator();
        menu.AddItem(Translate(L"scm.updateAvailableMenu"), kMenuUpdate);
    }

    SetForegroundWindow(GetHwnd());
    POINT cursor{};
    GetCursorPos(&cursor);
    UINT chosen = menu.Track(cursor, TPM_RIGHTBUTTON | TPM_NONOTIFY | TPM_RETURNCMD);
    // Lets the menu close properly when the user clicks elsewhere.
    PostMessageW(GetHwnd(), WM_NULL, 0, 0);
    return chosen;
}

void CSystray::OnCommand(UINT id) {
    if (id >= kMenuMixerFirst && id < kMenuMixerFirst + 4) {
        OpenMixer(id - kMenuMixerFirst);
        return;
    }
    switch (id) {
    case kMenuPanic:
        if (synthEngine) {
            synthEngine->PanicAll();
        }
        break;
    case kMenuConverter:
        windows.OpenConverter();
        break;
    case kMenuConfigure:
        windows.OpenConfigurator(kCurrentPage);
        break;
    case kMenuAbout:
        windows.OpenConfigurator(kAboutPage);
        break;
    case kMenuUpdate:
        windows.OpenConfigurator(kUpdatesPage);
        break;
    case kMenuExit:
        Exit();
        break;
    default:
        break;
    }
}

void CSystray::Exit() {
    if (ipcServer && !ipcServer->ConfirmClosingPorts()) {
        return;
    }
    SendMessageW(GetHwnd(), WM_CLOSE, 0, 0);
}

void CSystray::OpenBalloonPage() {
    switch (balloonKind) {
    case kBalloonHotkey:
        windows.OpenConfigurator(kShortcutsPage);
        break;
    case kBalloonUpdate:
        windows.OpenConfigurator(kUpdatesPage);
        break;
    case kBalloonNoSoundFont:
        windows.OpenConfigurator(kSoundFontsPage);
        break;
    default:
        windows.OpenConfigurator(kCurrentPage);
        break;
    }
}

void CSystray::OnIconMessage(LPARAM mouseMessage) {
    switch (LOWORD(mouseMessage)) {
    case WM_LBUTTONDBLCLK:
        doubleClicked = true;
        break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        if (doubleClicked) {
            doubleClicked = false;
            OpenMixer(0);
        } else if (UINT id = ShowMenu()) {
            OnCommand(id);
        }
        break;
    case NIN_BALLOONUSERCLICK:
        OpenBalloonPage();
        break;
    default:
        break;
    }
}

void CSystray::OnClose() {
    UnregisterHotkeys();
    if (iconAdded) {
        Shell_NotifyIconW(NIM_DELETE, &iconData);
        iconAdded = false;
    }
    std::uint32_t openMixers = 0;
    for (std::uint32_t port = 0; port < PortCount(); ++port) {
        if (IsMixerOpen(port)) {
            openMixers |= 1u << port;
            mixer::PortOwner(port)->ToggleMixerWindow(); // a close request
        }
    }
    if (settings) {
        settings->openStatus.Set(openMixers);
    }
    windows.DestroyConfigurator();
    Destroy();
}

LRESULT CSystray::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case kIconMessage:
        OnIconMessage(lParam);
        return 0;
    case kUpdateFoundMessage:
        SetUpdateAvailable();
        ShowUpdateBalloon();
        return 0;
    case WM_HOTKEY:
        if (wParam == kMixerHotkeyId) {
            if (mixer::IMixerOwner* owner = mixer::PortOwner(0)) {
                owner->ToggleMixerWindow();
            }
        } else if (wParam == kPanicHotkeyId && synthEngine) {
            synthEngine->PanicAll();
        }
        return 0;
    case WM_COPYDATA: {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (!data || data->dwData != kCopyDataId) {
            break;
        }
        std::wstring line(static_cast<const wchar_t*>(data->lpData),
                          data->lpData ? data->cbData / sizeof(wchar_t) : 0);
        line.resize(wcsnlen(line.c_str(), line.size()));
        DispatchWindows(SplitCommandLine(line), true);
        return TRUE;
    }
    case WM_USER: {
        // A modeless window whose window is gone; deleted here, never inside its own handling.
        // Anything else that arrives with WM_USER (any program can post it) is ignored.
        auto* finished = reinterpret_cast<ui::CWindow*>(wParam);
        if (finished && ui::ClaimForDeletion(finished)) {
            delete finished;
        }
        return 0;
    }
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        if (msg == taskbarCreatedMessage && taskbarCreatedMessage != 0) {
            iconAdded = Shell_NotifyIconW(NIM_ADD, &iconData) != FALSE;
            return 0;
        }
        break;
    }
    return WndProcDefault(msg, wParam, lParam);
}

} // namespace hml::app
