// The mixer window of a running synth, driven from this test process through window messages:
// keys go through the synth's own message loop, the context menu is answered with keys, and what
// the mixer did shows in the configuration the synth writes when the window closes.

#include "HarmolithProcess.h"

namespace {

using harness::CHarmolith;

class MixerProcessTest : public ::testing::Test {
protected:
    // Starts the synth and opens the first port's mixer with a double-click on the tray icon.
    HWND StartWithMixer(const std::string& config) {
        CHarmolith::SetDriverInstalled(true);
        harmolith.WriteConfig(config);
        harmolith.Start();
        tray = harmolith.Tray();
        if (!tray) {
            return nullptr;
        }
        PostMessageW(tray, WM_USER + 1, 0, WM_LBUTTONDBLCLK);
        PostMessageW(tray, WM_USER + 1, 0, WM_LBUTTONUP);
        return harmolith.WaitWindow(L"Harmolith #1 - Mixer");
    }

    static void Key(HWND mixer, WPARAM key) {
        PostMessageW(mixer, WM_KEYDOWN, key, 1);
        PostMessageW(mixer, WM_KEYUP, key, 1 | (3u << 30));
        Sleep(50);
    }

    void Choose(HWND mixer, std::initializer_list<WPARAM> keys) {
        PostMessageW(mixer, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(mixer), MAKELPARAM(-1, -1));
        HWND menu = harmolith.WaitMenu();
        ASSERT_NE(menu, nullptr);
        Sleep(500); // the menu takes keys once its loop runs
        for (WPARAM key : keys) {
            PostMessageW(menu, WM_KEYDOWN, key, 0);
            Sleep(100);
        }
    }

    void CloseMixer(HWND mixer) {
        PostMessageW(mixer, WM_CLOSE, 0, 0);
        EXPECT_TRUE(Eventually([&] { return !IsWindow(mixer); }, harness::kWaitMs));
    }

    void Exit() {
        PostMessageW(tray, WM_CLOSE, 0, 0);
        EXPECT_EQ(harmolith.ExitCode(), 0u);
    }

    CHarmolith harmolith;
    HWND tray = nullptr;
};

TEST_F(MixerProcessTest, KeysOfTheUserReachTheSelectedStripAndTheStateIsSavedOnClose) {
    HWND mixer = StartWithMixer("");
    ASSERT_NE(mixer, nullptr);
    Key(mixer, '1');
    Key(mixer, 'M');
    Key(mixer, '3');
    Key(mixer, 'S');
    Key(mixer, VK_END);
    Key(mixer, '0');
    Key(mixer, VK_DOWN);
    CloseMixer(mixer);
    const std::string config = harmolith.ReadConfig();
    EXPECT_NE(config.find("ChannelMute=1000000000000000"), std::string::npos) << config;
    EXPECT_NE(config.find("ChannelSolo=0010000000000000"), std::string::npos) << config;
    EXPECT_NE(config.find("ChannelVolume=100;100;0;100"), std::string::npos) << config;
    EXPECT_NE(config.find("MasterVolume=99"), std::string::npos) << config;
    EXPECT_NE(config.find("Mixer="), std::string::npos) << "the window position";
    Exit();
}

TEST_F(MixerProcessTest, ContextMenuMutesAllAndSetsTheSharedSoloRatio) {
    HWND mixer = StartWithMixer("[Advanced]\r\nDevicesCount=2\r\n");
    ASSERT_NE(mixer, nullptr);
    Choose(mixer, {VK_DOWN, VK_RETURN}); // mute all
    Sleep(300);
    // Solo ratio submenu: its first entry is selected on opening; two Downs reach 10 %.
    Choose(mixer,
           {VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_RIGHT, VK_DOWN, VK_DOWN, VK_RETURN});
    Sleep(300);
    CloseMixer(mixer);
    const std::string config = harmolith.ReadConfig();
    EXPECT_NE(config.find("ChannelMute=1111111111111111"), std::string::npos) << config;
    EXPECT_NE(config.find("SoloRatio=10"), std::string::npos) << config;
    Exit();
}

} // namespace
