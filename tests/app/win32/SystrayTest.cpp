// The tray window from the outside: its menu chosen with the keyboard the way a user would, the
// mixers it opens and remembers, the double-click, and the global hotkeys.

#include "HarmolithProcess.h"
#include "midiclient/ShmClient.h"

#include <commctrl.h>

namespace {

using harness::CHarmolith;

class SystrayTest : public ::testing::Test {
protected:
    void Run(const std::string& config) {
        CHarmolith::SetDriverInstalled(true);
        harmolith.WriteConfig(config);
        harmolith.Start();
        tray = harmolith.Tray();
        ASSERT_NE(tray, nullptr);
    }

    // Clicks the icon and waits for the pop-up menu.
    HWND OpenMenu() {
        PostMessageW(tray, WM_USER + 1, 0, WM_RBUTTONUP);
        return harmolith.WaitMenu();
    }

    static void Keys(HWND menu, std::initializer_list<WPARAM> keys) {
        for (WPARAM key : keys) {
            PostMessageW(menu, WM_KEYDOWN, key, 0);
            PostMessageW(menu, WM_KEYUP, key, 0xC0000000);
            Sleep(100);
        }
    }

    static void Mnemonic(HWND menu, wchar_t key) { PostMessageW(menu, WM_CHAR, key, 0); }

    // The configurator's selected page.
    static LRESULT ActivePage(HWND window) {
        return SendMessageW(GetDlgItem(window, 1048), TCM_GETCURSEL, 0, 0);
    }

    void Close() {
        PostMessageW(tray, WM_CLOSE, 0, 0);
        EXPECT_EQ(harmolith.ExitCode(), 0u);
    }

    CHarmolith harmolith;
    HWND tray = nullptr;
};

TEST_F(SystrayTest, OnePortMenuOpensTheMixerAndTheAboutPage) {
    Run("");
    HWND menu = OpenMenu();
    ASSERT_NE(menu, nullptr);
    Keys(menu, {VK_DOWN, VK_RETURN});
    EXPECT_NE(harmolith.WaitWindow(L"Harmolith #1 - Mixer"), nullptr);

    menu = OpenMenu();
    ASSERT_NE(menu, nullptr);
    Mnemonic(menu, L'a');
    HWND settings = harmolith.WaitWindow(L"Tarnwick Harmolith - 2.9.1");
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(ActivePage(settings), 5) << "the About page";
    Close();
}

TEST_F(SystrayTest, ThreePortsGetTheMixersSubmenuWithOneEntryPerPort) {
    Run("[Advanced]\r\nDevicesCount=3\r\n");
    HWND menu = OpenMenu();
    ASSERT_NE(menu, nullptr);
    // Mixers submenu, then its third entry.
    Keys(menu, {VK_DOWN, VK_RIGHT, VK_DOWN, VK_DOWN, VK_RETURN});
    EXPECT_NE(harmolith.WaitWindow(L"Harmolith #3 - Mixer"), nullptr);
    EXPECT_EQ(harmolith.WaitWindow(L"Harmolith #1 - Mixer", 0, 300), nullptr);
    Close();
}

TEST_F(SystrayTest, OpenMixersAreReopenedAtStartAndRememberedAtExit) {
    Run("[Advanced]\r\nDevicesCount=3\r\n[Mixer]\r\nOpenStatus=5\r\n");
    HWND first = harmolith.WaitWindow(L"Harmolith #1 - Mixer");
    HWND third = harmolith.WaitWindow(L"Harmolith #3 - Mixer");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(harmolith.WaitWindow(L"Harmolith #2 - Mixer", 0, 300), nullptr);

    PostMessageW(first, WM_CLOSE, 0, 0);
    PostMessageW(third, WM_CLOSE, 0, 0);
    HWND menu = OpenMenu();
    ASSERT_NE(menu, nullptr);
    Keys(menu, {VK_DOWN, VK_RIGHT, VK_DOWN, VK_RETURN});
    ASSERT_NE(harmolith.WaitWindow(L"Harmolith #2 - Mixer"), nullptr);
    EXPECT_FALSE(IsWindow(first));
    Close();
    EXPECT_NE(harmolith.ReadConfig().find("OpenStatus=2"), std::string::npos)
        << harmolith.ReadConfig();
}

TEST_F(SystrayTest, DoubleClickOpensTheFirstMixerWithoutMenu) {
    Run("[Advanced]\r\nDevicesCount=2\r\n");
    PostMessageW(tray, WM_USER + 1, 0, WM_LBUTTONDBLCLK);
    PostMessageW(tray, WM_USER + 1, 0, WM_LBUTTONUP);
    EXPECT_NE(harmolith.WaitWindow(L"Harmolith #1 - Mixer"), nullptr);
    EXPECT_TRUE(harness::WindowsOf(harmolith.ProcessId(), L"#32768").empty() ||
                !IsWindowVisible(harness::WindowsOf(harmolith.ProcessId(), L"#32768")[0]));
    Close();
}

TEST_F(SystrayTest, ExitFromTheMenuEndsWithZero) {
    Run("");
    HWND menu = OpenMenu();
    ASSERT_NE(menu, nullptr);
    Mnemonic(menu, L'x');
    EXPECT_EQ(harmolith.ExitCode(), 0u);
}

TEST_F(SystrayTest, ExitWithAConnectedClientAsksUntilContinueOrCancel) {
    Run("");
    CShmClient client; // this test process plays a client program
    ASSERT_TRUE(client.Connect());
    client.Open(0);
    Sleep(300);
    HWND menu = OpenMenu();
    ASSERT_NE(menu, nullptr);
    Mnemonic(menu, L'x');
    auto box = harmolith.WaitBox(L"Tarnwick Harmolith");
    ASSERT_TRUE(box.has_value()) << "the exit asks while a client holds a port";
    EXPECT_NE(box->text.find(L"=== Harmolith #1 ==="), std::wstring::npos) << box->text;
    EXPECT_NE(box->text.find(L"(#" + std::to_wstring(GetCurrentProcessId()) + L")"),
              std::wstring::npos)
        << "the client is listed";
    CHarmolith::Press(*box, IDTRYAGAIN);
    Sleep(300);
    box = harmolith.WaitBox(L"Tarnwick Harmolith");
    ASSERT_TRUE(box.has_value()) << "Try Again asks again";
    CHarmolith::Press(*box, IDCANCEL);
    Sleep(500);
    EXPECT_TRUE(IsWindow(tray)) << "Cancel keeps the synth running";
    client.Close(0);
    Sleep(300);
    Close();
}

TEST_F(SystrayTest, MixerHotkeyIsHeldAndTogglesTheFirstMixer) {
    Run(""); // ShowMixer 1613: Ctrl+Alt+M
    // The tray window exists before it has registered its hotkeys (after adding its icon).
    EXPECT_TRUE(Eventually(
        [] {
            if (RegisterHotKey(nullptr, 1, MOD_CONTROL | MOD_ALT, 'M')) {
                UnregisterHotKey(nullptr, 1);
                return false;
            }
            return true;
        },
        harness::kWaitMs))
        << "the synth holds the mixer hotkey";
    PostMessageW(tray, WM_HOTKEY, 1, 0);
    HWND mixer = harmolith.WaitWindow(L"Harmolith #1 - Mixer");
    ASSERT_NE(mixer, nullptr);
    PostMessageW(tray, WM_HOTKEY, 1, 0);
    EXPECT_TRUE(Eventually([&] { return !IsWindow(mixer); }, harness::kWaitMs));
    Close();
}

TEST_F(SystrayTest, StrayUserMessageFromAnotherProgramDeletesNothing) {
    Run("");
    PostMessageW(tray, WM_USER, 0x12345678, 0);
    PostMessageW(tray, WM_USER, reinterpret_cast<WPARAM>(tray), 0);
    PostMessageW(tray, WM_USER + 1, 0, WM_LBUTTONDBLCLK);
    PostMessageW(tray, WM_USER + 1, 0, WM_LBUTTONUP);
    HWND mixer = harmolith.WaitWindow(L"Harmolith #1 - Mixer");
    ASSERT_NE(mixer, nullptr) << "the synth runs on";
    PostMessageW(mixer, WM_CLOSE, 0, 0);
    // The closed mixer's own hand-over is still honoured.
    EXPECT_TRUE(Eventually([&] { return !IsWindow(mixer); }, harness::kWaitMs));
    Close();
}

TEST_F(SystrayTest, HotkeyTakenByAnotherProgramIsLeftToIt) {
    ASSERT_TRUE(RegisterHotKey(nullptr, 7, MOD_CONTROL | MOD_ALT, 'M'));
    Run("[Shortcuts]\r\nMIDIPanic=0\r\n");
    UnregisterHotKey(nullptr, 7);
    // The synth reported the key as not registered and does not hold it.
    EXPECT_TRUE(RegisterHotKey(nullptr, 7, MOD_CONTROL | MOD_ALT, 'M'));
    UnregisterHotKey(nullptr, 7);
    // No panic hotkey with "MIDIPanic" 0: Ctrl+Alt+Space is free.
    EXPECT_TRUE(RegisterHotKey(nullptr, 8, MOD_CONTROL | MOD_ALT, VK_SPACE));
    UnregisterHotKey(nullptr, 8);
    Close();
}

} // namespace
