// A real mixer window in this process, driven through window messages the way the mouse, the
// keyboard and the context menu drive it; its owners are stand-in ports that record what the
// audio side was asked to apply.

#include "MessagePump.h"
#include "config/Settings.h"
#include "mixer/MixerOwner.h"
#include "mixer/win32/MixerDialog.h"
#include "mixer/win32/MixerPorts.h"
#include "mixer/win32/MixerStateFile.h"
#include "support/ConfigFixture.h"
#include "support/win32/MessageBoxCatcher.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

using namespace hml::config;
using namespace hml::mixer;

namespace {

constexpr std::uint32_t kAll = IMixerOwner::kAllChannels;

class CStandInPort : public IMixerOwner {
public:
    std::uint32_t GetLevel() override { return level; }
    std::wstring GetInstrumentName(std::uint32_t) override { return L"Acoustic Grand Piano"; }
    std::wstring GetTitle() override { return title; }
    void ApplyChannel(std::uint32_t channel) override { applied.push_back(channel); }

    std::atomic<std::uint32_t> level{0};
    std::wstring title = L"Harmolith #1";
    std::vector<std::uint32_t> applied;
};

std::array<CStandInPort, 4> ports;

IMixerOwner* StandInPort(std::uint32_t port) {
    return port < ports.size() ? &ports[port] : nullptr;
}

using test_pump::Pump;

class MixerWindowTest : public ConfigFixture {
protected:
    MixerWindowTest() {
        Put(L"Advanced", L"DevicesCount", L"2");
        owned = Open();
        settings = owned.get();
        for (std::uint32_t i = 0; i < ports.size(); ++i) {
            auto& port = ports[i];
            port.title = CSettings::PortDisplayName(i);
            port.portSuffix = i == 0 ? L"" : std::to_wstring(i + 1);
            port.SetMasterVolume(100);
            port.SetChannelVolume(100, kAll);
            port.SetChannelMute(false, kAll);
            port.SetChannelSolo(false, kAll);
            port.level = 0;
            port.applied.clear();
        }
        hml::mixer::SetPortOwnerLookup(&StandInPort);
        ResetKeyboard();
    }
    ~MixerWindowTest() override {
        for (auto& port : ports) {
            if (port.mixerWindow) {
                SendMessageW(port.mixerWindow->GetHwnd(), WM_CLOSE, 0, 0);
            }
        }
        Pump();
        hml::mixer::SetPortOwnerLookup(nullptr);
        ResetKeyboard();
        settings = nullptr;
    }

    static void ResetKeyboard() {
        BYTE keys[256] = {};
        SetKeyboardState(keys);
    }

    CMixerDialog& OpenMixer(CStandInPort& port = ports[0]) {
        port.OpenMixerWindow();
        EXPECT_NE(port.mixerWindow, nullptr);
        Pump();
        return *port.mixerWindow;
    }

    static HWND Strip(CMixerDialog& mixer, std::uint32_t channel) {
        HWND child = GetWindow(mixer.GetHwnd(), GW_CHILD);
        for (std::uint32_t i = 0; child && i < channel; ++i) {
            child = GetWindow(child, GW_HWNDNEXT);
        }
        return child;
    }

    // A key as the keyboard sends it: pressed (repeats more key-downs with the repeat bit), then
    // released.
    static void Key(CMixerDialog& mixer, WPARAM key, int repeats = 0, bool release = true) {
        PostMessageW(mixer.GetHwnd(), WM_KEYDOWN, key, 1);
        for (int i = 0; i < repeats; ++i) {
            PostMessageW(mixer.GetHwnd(), WM_KEYDOWN, key, 1 | (1 << 30));
        }
        if (release) {
            PostMessageW(mixer.GetHwnd(), WM_KEYUP, key, 1 | (3u << 30));
        }
        Pump();
    }

    static void Click(HWND strip, int x, int y) {
        SendMessageW(strip, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        SendMessageW(strip, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        Pump();
    }

    // Opens the context menu and answers it with keys from another thread, as a user would; the
    // menu's own loop runs here.
    static void ChooseFromMenu(CMixerDialog& mixer, std::vector<WPARAM> keys,
                               std::function<void()> afterMenu = {}) {
        std::thread user([keys, afterMenu] {
            HWND menu = test_pump::WaitForMenu();
            for (WPARAM key : keys) {
                PostMessageW(menu, WM_KEYDOWN, key, 0);
                Sleep(60);
            }
            if (afterMenu) {
                afterMenu();
            }
        });
        SendMessageW(mixer.GetHwnd(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(mixer.GetHwnd()),
                     MAKELPARAM(-1, -1));
        user.join();
        Pump();
    }

    // Down n times from the top of the menu, then Return.
    static std::vector<WPARAM> Item(int n) {
        std::vector<WPARAM> keys(static_cast<std::size_t>(n), VK_DOWN);
        keys.push_back(VK_RETURN);
        return keys;
    }

    std::unique_ptr<CSettings> owned;
};

// Menu positions (entries that take a Down key; separators are skipped) with two ports.
constexpr int kMuteAll = 1, kUnmuteAll = 2, kSoloAll = 3, kUnsoloAll = 4, kRatios = 5, kTopMost = 6,
              kLoad = 7, kSave = 8, kCopyFrom = 9, kReset = 10, kWindowsMixer = 11;

TEST_F(MixerWindowTest, OneWindowPerOwnerWithItsCaptionAndSeventeenStripsInside) {
    CMixerDialog& mixer = OpenMixer(ports[1]);
    ports[1].OpenMixerWindow();
    EXPECT_EQ(ports[1].mixerWindow, &mixer);
    wchar_t caption[128] = {};
    GetWindowTextW(mixer.GetHwnd(), caption, 128);
    EXPECT_EQ(std::wstring(caption), L"Harmolith #2 - mixer.title"); // no language loaded
    RECT client{};
    GetClientRect(mixer.GetHwnd(), &client);
    EXPECT_EQ(client.right, 700);
    EXPECT_EQ(client.bottom, 200);
    RECT master{};
    GetWindowRect(Strip(mixer, 16), &master);
    MapWindowPoints(nullptr, mixer.GetHwnd(), reinterpret_cast<POINT*>(&master), 2);
    EXPECT_EQ(master.left, 655);
    EXPECT_EQ(master.right - master.left, 40);
    EXPECT_EQ(master.bottom - master.top, 190);
    EXPECT_EQ(mixer.SelectedChannel(), 16u);

    SendMessageW(mixer.GetHwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(ports[1].mixerWindow, nullptr);
}

TEST_F(MixerWindowTest, KnobDragStopsAtBothEndsOfTheTrack) {
    CMixerDialog& mixer = OpenMixer();
    ports[0].SetChannelVolume(50, 2);
    mixer.RefreshChannel(2);
    HWND strip = Strip(mixer, 2);
    const int knobTop = hml::mixer::strip::KnobTopForVolume(50);
    SendMessageW(strip, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(26, knobTop + 5));
    EXPECT_EQ(mixer.SelectedChannel(), 2u);
    SendMessageW(strip, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(26, knobTop + 5 - 300));
    EXPECT_EQ(ports[0].channelVolume[2], 100u);
    SendMessageW(strip, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(26, knobTop + 5 + 300));
    EXPECT_EQ(ports[0].channelVolume[2], 0u);
    EXPECT_EQ(ports[0].applied.back(), 2u);
    SendMessageW(strip, WM_LBUTTONUP, 0, MAKELPARAM(26, knobTop + 5 + 300));
    SendMessageW(strip, WM_MOUSEMOVE, 0, MAKELPARAM(26, knobTop));
    EXPECT_EQ(ports[0].channelVolume[2], 0u); // the drag has ended

    HWND master = Strip(mixer, 16);
    SendMessageW(master, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(26, 30));
    SendMessageW(master, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(26, 500));
    SendMessageW(master, WM_LBUTTONUP, 0, MAKELPARAM(26, 500));
    EXPECT_EQ(ports[0].masterVolume, 0u);
    EXPECT_EQ(ports[0].applied.back(), kAll);
}

TEST_F(MixerWindowTest, HeldUpArrowStepsByOneForTwentyRepeatsThenByThree) {
    CMixerDialog& mixer = OpenMixer();
    Key(mixer, '4');
    EXPECT_EQ(mixer.SelectedChannel(), 3u);
    Key(mixer, VK_END);
    EXPECT_EQ(ports[0].channelVolume[3], 0u);
    Key(mixer, VK_UP, 24); // 25 key-downs: 20 steps of 1, then 5 of 3
    EXPECT_EQ(ports[0].channelVolume[3], 35u);
    Key(mixer, VK_UP); // released in between: back to steps of 1
    EXPECT_EQ(ports[0].channelVolume[3], 36u);
    Key(mixer, VK_DOWN, 40);
    EXPECT_EQ(ports[0].channelVolume[3], 0u); // stops at 0
    Key(mixer, VK_ADD, 200);
    EXPECT_EQ(ports[0].channelVolume[3], 100u); // stops at 100
}

TEST_F(MixerWindowTest, LettersHomeAndEndEditTheSelectedStripAndDigitsSelectOne) {
    CMixerDialog& mixer = OpenMixer();
    Key(mixer, '1');
    Key(mixer, 'M');
    EXPECT_EQ(ports[0].channelMute[0], 1u);
    Key(mixer, 'M', 3); // repeats of M are ignored: muted once, not toggled back and forth
    EXPECT_EQ(ports[0].channelMute[0], 0u);
    Key(mixer, 'M');
    Key(mixer, 'S'); // a solo clears the mute
    EXPECT_EQ(ports[0].channelSolo[0], 1u);
    EXPECT_EQ(ports[0].channelMute[0], 0u);
    EXPECT_EQ(ports[0].GetEffectiveVolume(1), 20u);
    Key(mixer, VK_END);
    EXPECT_EQ(ports[0].channelVolume[0], 0u);
    Key(mixer, VK_HOME);
    EXPECT_EQ(ports[0].channelVolume[0], 100u);

    BYTE keys[256] = {};
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    Key(mixer, '6');
    EXPECT_EQ(mixer.SelectedChannel(), 15u);
    Key(mixer, VK_NUMPAD0);
    EXPECT_EQ(mixer.SelectedChannel(), 9u);
    Key(mixer, '7'); // Ctrl with 7..9 selects nothing
    EXPECT_EQ(mixer.SelectedChannel(), 9u);
    ResetKeyboard();
    Key(mixer, '0');
    EXPECT_EQ(mixer.SelectedChannel(), 16u);
    Key(mixer, VK_RIGHT);
    EXPECT_EQ(mixer.SelectedChannel(), 16u);
    Key(mixer, 'M'); // the master has no mute or solo
    Key(mixer, 'S');
    EXPECT_EQ(ports[0].channelMute[15], 0u);
    EXPECT_EQ(ports[0].channelSolo[15], 0u);
    Key(mixer, VK_END);
    EXPECT_EQ(ports[0].masterVolume, 0u);
    Key(mixer, '1');
    Key(mixer, VK_LEFT);
    EXPECT_EQ(mixer.SelectedChannel(), 0u);
}

TEST_F(MixerWindowTest, ClicksOnTheIconsToggleMuteAndSolo) {
    CMixerDialog& mixer = OpenMixer();
    Click(Strip(mixer, 5), 25, 145);
    EXPECT_EQ(ports[0].channelMute[5], 1u);
    EXPECT_EQ(mixer.SelectedChannel(), 5u);
    Click(Strip(mixer, 5), 25, 130);
    EXPECT_EQ(ports[0].channelSolo[5], 1u);
    EXPECT_EQ(ports[0].channelMute[5], 0u);
}

TEST_F(MixerWindowTest, RResetsEveryStripOnceWhenReleasedEvenWhenHeld) {
    CMixerDialog& mixer = OpenMixer();
    ports[0].SetChannelVolume(40, kAll);
    ports[0].SetChannelMute(true, 3);
    ports[0].SetChannelSolo(true, 4);
    ports[0].SetMasterVolume(60);
    Key(mixer, 'R', 10, false);
    EXPECT_EQ(ports[0].channelVolume[0], 40u);
    EXPECT_EQ(ports[0].masterVolume, 60u);
    ports[0].applied.clear();
    PostMessageW(mixer.GetHwnd(), WM_KEYUP, 'R', 1 | (3u << 30));
    Pump();
    for (std::uint32_t c = 0; c < 16; ++c) {
        EXPECT_EQ(ports[0].channelVolume[c], 100u);
        EXPECT_EQ(ports[0].channelMute[c], 0u);
        EXPECT_EQ(ports[0].channelSolo[c], 0u);
    }
    EXPECT_EQ(ports[0].masterVolume, 100u);
    // One reset: three setters for each of the 16 channels, then the master.
    EXPECT_EQ(ports[0].applied.size(), 16u * 3u + 1u);
}

TEST_F(MixerWindowTest, MenuMutesSolosAndResetsAllChannels) {
    CMixerDialog& mixer = OpenMixer();
    ChooseFromMenu(mixer, Item(kMuteAll));
    for (std::uint32_t c = 0; c < 16; ++c) {
        EXPECT_EQ(ports[0].channelMute[c], 1u);
    }
    ChooseFromMenu(mixer, Item(kSoloAll));
    for (std::uint32_t c = 0; c < 16; ++c) {
        EXPECT_EQ(ports[0].channelSolo[c], 1u);
        EXPECT_EQ(ports[0].channelMute[c], 0u); // a solo clears the mute
    }
    ChooseFromMenu(mixer, Item(kUnsoloAll));
    ChooseFromMenu(mixer, Item(kMuteAll));
    ChooseFromMenu(mixer, Item(kUnmuteAll));
    for (std::uint32_t c = 0; c < 16; ++c) {
        EXPECT_EQ(ports[0].channelMute[c], 0u);
        EXPECT_EQ(ports[0].channelSolo[c], 0u);
    }
    ports[0].SetChannelVolume(10, 7);
    ports[0].SetMasterVolume(30);
    ChooseFromMenu(mixer, Item(kReset));
    EXPECT_EQ(ports[0].channelVolume[7], 100u);
    EXPECT_EQ(ports[0].masterVolume, 100u);
}

TEST_F(MixerWindowTest, MenuSoloRatioIsOneValueAppliedToEveryPortAtOnce) {
    CMixerDialog& mixer = OpenMixer();
    ports[1].SetChannelSolo(true, 0);
    ports[0].applied.clear();
    ports[1].applied.clear();
    // The ratio submenu opens with its first entry (0 %) selected; 10 Downs reach 50 %.
    std::vector<WPARAM> keys(kRatios, VK_DOWN);
    keys.push_back(VK_RIGHT);
    keys.insert(keys.end(), 10, VK_DOWN);
    keys.push_back(VK_RETURN);
    ChooseFromMenu(mixer, keys);
    EXPECT_EQ(settings->soloRatio.Get(), 50u);
    EXPECT_EQ(ports[0].applied, std::vector<std::uint32_t>{kAll});
    EXPECT_EQ(ports[1].applied, std::vector<std::uint32_t>{kAll});
    EXPECT_EQ(ports[1].GetEffectiveVolume(1), 50u);
}

TEST_F(MixerWindowTest, MenuTopMostIsStoredAndAppliedAtOnce) {
    CMixerDialog& mixer = OpenMixer();
    ChooseFromMenu(mixer, Item(kTopMost));
    EXPECT_EQ(settings->topMost.Get(), 1u);
    EXPECT_TRUE(GetWindowLongPtrW(mixer.GetHwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    ChooseFromMenu(mixer, Item(kTopMost));
    EXPECT_EQ(settings->topMost.Get(), 0u);
    EXPECT_FALSE(GetWindowLongPtrW(mixer.GetHwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(MixerWindowTest, MenuCopiesAnotherPortsStateButNotItsActivity) {
    CMixerDialog& mixer = OpenMixer();
    ports[1].SetChannelVolume(33, 9);
    ports[1].SetChannelMute(true, 2);
    ports[1].SetChannelSolo(true, 4);
    ports[1].SetMasterVolume(77);
    ports[1].channelActivity[0] = 1;
    std::vector<WPARAM> keys(kCopyFrom, VK_DOWN);
    keys.push_back(VK_RIGHT); // the only other port is the submenu's one entry
    keys.push_back(VK_RETURN);
    ChooseFromMenu(mixer, keys);
    EXPECT_EQ(ports[0].channelVolume[9], 33u);
    EXPECT_EQ(ports[0].channelMute[2], 1u);
    EXPECT_EQ(ports[0].channelSolo[4], 1u);
    EXPECT_EQ(ports[0].masterVolume, 77u);
    EXPECT_EQ(ports[0].channelActivity[0], 0u);
    EXPECT_EQ(ports[0].applied.back(), kAll);
}

TEST_F(MixerWindowTest, MenuOpensTheWindowsMixerAndCarriesOn) {
    CMixerDialog& mixer = OpenMixer();
    ChooseFromMenu(mixer, Item(kWindowsMixer));
    Key(mixer, VK_END);
    EXPECT_EQ(ports[0].masterVolume, 0u); // still answering
}

// Picks a file name in the open or save dialog that the menu command brings up.
// With confirmOverwrite it also answers Yes to the question whether to replace the file.
std::function<void()> AnswerFileDialog(const wchar_t* title, std::wstring path,
                                       bool confirmOverwrite = false) {
    return [title, path, confirmOverwrite] {
        HWND dialog = nullptr;
        for (int tries = 0; tries < 400 && !dialog; ++tries) {
            Sleep(25);
            dialog = FindWindowW(L"#32770", title);
        }
        ASSERT_NE(dialog, nullptr);
        Sleep(200);
        HWND name = GetDlgItem(dialog, 1148); // the file name box
        if (!name) {
            name = GetDlgItem(dialog, 1152);
        }
        ASSERT_NE(name, nullptr);
        SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        if (!confirmOverwrite) {
            return;
        }
        HWND question = nullptr;
        for (int tries = 0; tries < 400 && !question; ++tries) {
            Sleep(25);
            for (HWND w = FindWindowExW(nullptr, nullptr, L"#32770", title); w && !question;
                 w = FindWindowExW(nullptr, w, L"#32770", title)) {
                if (w != dialog && IsWindowVisible(w)) {
                    question = w;
                }
            }
        }
        ASSERT_NE(question, nullptr);
        PostMessageW(question, WM_COMMAND, IDYES, 0);
    };
}

std::string ReadAll(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

TEST_F(MixerWindowTest, StateFilesSaveAndLoadThroughTheMenu) {
    CMixerDialog& mixer = OpenMixer();
    ports[0].SetChannelMute(true, 0);
    ports[0].SetChannelSolo(true, 15);
    ports[0].SetChannelVolume(7, 1);
    ports[0].SetMasterVolume(80);
    const std::wstring file = folder.File(L"state.hmlms");
    std::ofstream(std::filesystem::path(file)) << "old contents\n";
    ChooseFromMenu(mixer, Item(kSave), AnswerFileDialog(L"mixer.save", file, true));
    const std::string saved = ReadAll(file);
    EXPECT_EQ(saved.find("old contents"), std::string::npos);
    EXPECT_NE(saved.find("ChannelMute=1000000000000000"), std::string::npos) << saved;
    EXPECT_NE(saved.find("ChannelSolo=0000000000000001"), std::string::npos);
    EXPECT_NE(saved.find("ChannelVolume=100;7;100;"), std::string::npos);
    EXPECT_NE(saved.find("MasterVolume=80"), std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path),
                            std::filesystem::directory_iterator()),
              2); // the configuration and the state file: nothing left over

    ports[0].SetChannelVolume(100, kAll);
    ports[0].SetChannelMute(false, kAll);
    ports[0].SetChannelSolo(false, kAll);
    ports[0].SetMasterVolume(100);
    ports[0].applied.clear();
    ChooseFromMenu(mixer, Item(kLoad), AnswerFileDialog(L"mixer.load", file));
    EXPECT_EQ(ports[0].channelMute[0], 1u);
    EXPECT_EQ(ports[0].channelSolo[15], 1u);
    EXPECT_EQ(ports[0].channelVolume[1], 7u);
    EXPECT_EQ(ports[0].masterVolume, 80u);
    EXPECT_EQ(ports[0].applied.back(), kAll);
}

TEST_F(MixerWindowTest, SaveThatCannotReplaceTheTargetSaysSoAndLeavesNothingBehind) {
    const std::wstring target = folder.File(L"taken.hmlms");
    std::filesystem::create_directory(std::filesystem::path(target)); // not a file to replace
    CMessageBoxCatcher catcher;
    EXPECT_FALSE(hml::mixer::Save(ports[0], *settings, target));
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_NE(catcher.boxes[0].text.find(target), std::wstring::npos) << catcher.boxes[0].text;
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(target)));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path),
                            std::filesystem::directory_iterator()),
              2); // the configuration and the folder: no temporary file left
}

TEST_F(MixerWindowTest, OnePortHasNoCopySubmenuAndARatioOfTwentyTwoChecksNothing) {
    settings->devicesCount.Set(1);
    settings->soloRatio.Set(22);
    CMixerDialog& mixer = OpenMixer();
    HMENU seen = nullptr;
    int count = 0;
    bool anyChecked = false;
    // Read the menu while it is open: Down to the ratio submenu, open it, and look.
    std::thread user([&] {
        HWND menu = test_pump::WaitForMenu();
        seen = reinterpret_cast<HMENU>(SendMessageW(menu, 0x01E1 /* MN_GETHMENU */, 0, 0));
        count = GetMenuItemCount(seen);
        HMENU ratios = GetSubMenu(seen, 4);
        for (int i = 0; i < GetMenuItemCount(ratios); ++i) {
            anyChecked = anyChecked || (GetMenuState(ratios, i, MF_BYPOSITION) & MF_CHECKED);
        }
        PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    SendMessageW(mixer.GetHwnd(), WM_CONTEXTMENU, 0, MAKELPARAM(-1, -1));
    user.join();
    EXPECT_EQ(count, 13); // 11 entries and 3 separators, less the copy submenu
    EXPECT_FALSE(anyChecked);
}

// The colour of a strip's pixel on the screen.
COLORREF PixelOf(HWND strip, int x, int y) {
    HDC dc = GetDC(strip);
    COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(strip, dc);
    return colour;
}

TEST_F(MixerWindowTest, MeterThreadLightsActivityAndTurningTheMeterOffStopsItLive) {
    CMixerDialog& mixer = OpenMixer();
    SetWindowPos(mixer.GetHwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ports[0].channelActivity[6] = 1;
    ports[0].level = 32768u | (32768u << 16);
    Pump(400);
    EXPECT_EQ(PixelOf(Strip(mixer, 6), 6, 19), RGB(0, 130, 0));
    EXPECT_EQ(PixelOf(Strip(mixer, 16), 4, 17), RGB(255, 40, 30)) << "clip mark";

    settings->disableVUMeter.Set(1);
    mixer.ApplyMeterSetting();
    Pump(100);
    EXPECT_NE(PixelOf(Strip(mixer, 6), 6, 19), RGB(0, 130, 0));
    ports[0].channelActivity[6] = 0;
    ports[0].channelActivity[7] = 1;
    Pump(300);
    EXPECT_NE(PixelOf(Strip(mixer, 7), 6, 19), RGB(0, 130, 0));
}

TEST_F(MixerWindowTest, ClosingSavesTheStateAndThePositionUnderThePortSuffix) {
    CMixerDialog& mixer = OpenMixer(ports[2]);
    SetWindowPos(mixer.GetHwnd(), nullptr, 40, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ports[2].SetChannelMute(true, 1);
    SendMessageW(mixer.GetHwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(ports[2].mixerWindow, nullptr);
    EXPECT_EQ(Stored(L"Mixer", L"ChannelMute3"), L"0100000000000000");
    EXPECT_EQ(Stored(L"Windows", L"Mixer3").substr(0, 6), L"40,50,");

    CMixerDialog& again = OpenMixer(ports[2]);
    RECT rect{};
    GetWindowRect(again.GetHwnd(), &rect);
    EXPECT_EQ(rect.left, 40);
    EXPECT_EQ(rect.top, 50);
}

} // namespace
