// The mixer window's context menu and the bulk commands behind it.

#include "Resource.h"
#include "config/Language.h"
#include "config/Settings.h"
#include "mixer/win32/MixerDialog.h"
#include "mixer/win32/MixerPorts.h"
#include "mixer/win32/MixerStateFile.h"
#include "ui/IconMenu.h"

#include <shellapi.h>

#include <cwchar>

namespace hml::mixer {

using namespace hml::config;
using namespace hml::ui;

namespace {

enum Command : UINT {
    kReset = 1024,
    kMuteAll = 1025,
    kUnmuteAll = 1026,
    kSoloAll = 1027,
    kUnsoloAll = 1028,
    kTopMost = 1029,
    kLoad = 1030,
    kSave = 1031,
    kWindowsMixer = 1032,
    kCopyFromFirst = 1033, // + port index
};

constexpr UINT kRatioStep = 5;
constexpr UINT kRatioMenuMax = 80;
constexpr UINT kRatioMax = 100;

// The solo-ratio commands follow the copy-state commands, whose count depends on the ports.
UINT RatioBase() {
    return 1034 + PortCount();
}

std::wstring RatioLabel(UINT ratio) {
    wchar_t text[16] = {};
    swprintf(text, 16, L"%lu%%", static_cast<unsigned long>(ratio));
    return text;
}

} // namespace

void CMixerDialog::ShowContextMenu() {
    POINT at{};
    GetCursorPos(&at);
    RECT window{};
    GetWindowRect(GetHwnd(), &window);
    if (!PtInRect(&window, at)) {
        at = {window.left, window.top}; // opened from the keyboard
    }

    const UINT base = RatioBase();
    const std::uint32_t currentRatio = CurrentSoloRatio();
    ui::CIconMenu menu(GetHwnd());
    ui::CIconMenu ratios;
    ui::CIconMenu copyFrom;
    menu.AddItem(Translate(L"mixer.muteAll"), kMuteAll, IDI_MIXER_MUTED);
    menu.AddItem(Translate(L"mixer.unmuteAll"), kUnmuteAll, IDI_MIXER_NOT_MUTED);
    menu.AddItem(Translate(L"mixer.soloAll"), kSoloAll, IDI_MIXER_SOLOED);
    menu.AddItem(Translate(L"mixer.unsoloAll"), kUnsoloAll, IDI_MIXER_NOT_SOLOED);
    for (UINT ratio = 0; ratio <= kRatioMenuMax; ratio += kRatioStep) {
        ratios.AddItem(RatioLabel(ratio), base + ratio, 0, ratio == currentRatio);
    }
    menu.AddSubMenu(Translate(L"mixer.soloRatio"), ratios);
    menu.AddSeparator();
    menu.AddItem(Translate(L"mixer.topmost"), kTopMost, 0,
                 settings && settings->topMost.Get() == 1);
    menu.AddSeparator();
    menu.AddItem(Translate(L"mixer.load"), kLoad, IDI_MIXER_LOAD);
    menu.AddItem(Translate(L"mixer.save"), kSave, IDI_MIXER_SAVE);
    bool anyOtherPort = false;
    for (std::uint32_t port = 0; port < PortCount(); ++port) {
        if (PortOwner(port) != &owner) {
            copyFrom.AddItem(config::CSettings::PortDisplayName(port), kCopyFromFirst + port,
                             IDI_MIXER_SMALL);
            anyOtherPort = true;
        }
    }
    if (anyOtherPort) {
        menu.AddSubMenu(Translate(L"mixer.copyStateFrom"), copyFrom, IDI_MIXER_COPY);
    }
    menu.AddItem(Translate(L"mixer.reset") + L" (R)", kReset, IDI_MIXER_RESET);
    menu.AddSeparator();
    menu.AddItem(Translate(L"mixer.openWindowsMixer"), kWindowsMixer, IDI_WINDOWS_MIXER);

    SetForegroundWindow(GetHwnd());
    const UINT chosen = menu.Track(at, TPM_RIGHTBUTTON | TPM_NONOTIFY | TPM_RETURNCMD);
    // Lets the menu close properly when the user clicks elsewhere.
    PostMessageW(GetHwnd(), WM_NULL, 0, 0);
    RunMenuCommand(chosen);
}

void CMixerDialog::RunMenuCommand(UINT command) {
    const UINT base = RatioBase();
    switch (command) {
    case kMuteAll:
    case kUnmuteAll:
        for (std::uint32_t c = 0; c < IMixerOwner::kChannels; ++c) {
            owner.SetChannelMute(command == kMuteAll, c);
            RefreshChannel(c);
        }
        return;
    case kSoloAll:
    case kUnsoloAll:
        for (std::uint32_t c = 0; c < IMixerOwner::kChannels; ++c) {
            owner.SetChannelSolo(command == kSoloAll, c);
            RefreshChannel(c);
        }
        return;
    case kTopMost:
        if (settings) {
            settings->topMost.Set(settings->topMost.Get() == 1 ? 0 : 1);
        }
        Show();
        return;
    case kLoad:
        LoadStateFile();
        return;
    case kSave:
        SaveStateFile();
        return;
    case kReset:
        ResetAll();
        return;
    case kWindowsMixer:
        ShellExecuteW(nullptr, L"open", L"sndvol.exe", L"/P", L"", SW_SHOWNORMAL);
        return;
    default:
        break;
    }
    if (command >= kCopyFromFirst && command < base) {
        CopyStateFrom(command - kCopyFromFirst);
    } else if (command >= base && command <= base + kRatioMax && settings) {
        settings->soloRatio.Set(command - base);
        // One ratio for all: every port plays its non-solo channels at the new level.
        bool ownerIsPort = false;
        for (std::uint32_t port = 0; port < PortCount(); ++port) {
            if (IMixerOwner* other = PortOwner(port)) {
                other->ApplyChannel(IMixerOwner::kAllChannels);
                ownerIsPort = ownerIsPort || other == &owner;
            }
        }
        if (!ownerIsPort) {
            owner.ApplyChannel(IMixerOwner::kAllChannels); // the converter
        }
    }
}

void CMixerDialog::CopyStateFrom(std::uint32_t port) {
    IMixerOwner* from = PortOwner(port);
    if (!from || from == &owner) {
        return;
    }
    owner.masterVolume = from->masterVolume.load();
    for (std::uint32_t c = 0; c < IMixerOwner::kChannels; ++c) {
        owner.channelVolume[c] = from->channelVolume[c].load();
        owner.channelMute[c] = from->channelMute[c].load();
        owner.channelSolo[c] = from->channelSolo[c].load();
    }
    owner.ApplyChannel(IMixerOwner::kAllChannels);
    RefreshChannel(IMixerOwner::kAllChannels);
    RefreshMaster();
}

void CMixerDialog::LoadStateFile() {
    const std::wstring path = AskLoadPath(GetHwnd());
    if (path.empty() || !settings) {
        return;
    }
    owner.ReadMixerState(*settings, path);
    RefreshChannel(IMixerOwner::kAllChannels);
    RefreshMaster();
    owner.ApplyChannel(IMixerOwner::kAllChannels);
}

void CMixerDialog::SaveStateFile() {
    const std::wstring path = AskSavePath(GetHwnd());
    if (path.empty() || !settings) {
        return;
    }
    Save(owner, *settings, path);
}

} // namespace hml::mixer
