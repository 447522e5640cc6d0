// Harmolith.exe from the outside: what each command line does, the start-up failures with their
// messages and exit codes, and the hand-over to a running synth process.

#include "HarmolithProcess.h"

using namespace hml::config;

namespace {

using harness::CHarmolith;

constexpr const wchar_t* kCaption = L"Tarnwick Harmolith";

class StartupTest : public ::testing::Test {
protected:
    CHarmolith harmolith;
};

// The messages themselves are the settings' (SettingsStartupTest); here the process shows one and
// ends with 1 before it has any window.
TEST_F(StartupTest, MissingRegistryValueOrConfigurationEndsWithOneBeforeAnyWindow) {
    const std::function<void()> breakages[] = {
        [] { RegDeleteKeyExW(HKEY_LOCAL_MACHINE, CSettings::kRegistryKey, KEY_WOW64_64KEY, 0); },
        [this] {
            CHarmolith::SetRegistryPath(harmolith.folder.Wide());
            std::filesystem::remove(harmolith.folder.path / "Harmolith.conf");
        }};
    const wchar_t* named[] = {L"configuration registry key", L"Harmolith.conf"};
    for (std::size_t run = 0; run < 2; ++run) {
        breakages[run]();
        harmolith.Start();
        auto box = harmolith.WaitBox(L"Harmolith initialization error", run);
        ASSERT_TRUE(box) << run;
        EXPECT_NE(box->text.find(named[run]), std::wstring::npos) << box->text;
        EXPECT_EQ(FindWindowW(L"MSGWND", nullptr), nullptr);
        CHarmolith::Press(*box, IDOK);
        EXPECT_EQ(harmolith.ExitCode(run), 1u);
    }
}

TEST_F(StartupTest, InstallWinsOverUninstallAndBothEndWithZero) {
    CHarmolith::SetDriverInstalled(false);
    harmolith.Start(L"--uninstall --install");
    EXPECT_EQ(harmolith.ExitCode(0), 0u);
    EXPECT_TRUE(hml::app::IsDriverRegistered());
    harmolith.Start(L"x --uninstall");
    EXPECT_EQ(harmolith.ExitCode(1), 0u);
    EXPECT_FALSE(hml::app::IsDriverRegistered());
}

TEST_F(StartupTest, DriverPromptAnsweredNoStartsTheSynthWithoutDriver) {
    CHarmolith::SetDriverInstalled(false);
    harmolith.Start();
    auto box = harmolith.WaitBox(kCaption);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text.rfind(L"The Harmolith MIDI driver is not installed", 0), 0u) << box->text;
    CHarmolith::Press(*box, IDNO);
    HWND tray = harmolith.Tray();
    ASSERT_NE(tray, nullptr);
    EXPECT_FALSE(hml::app::IsDriverRegistered());
    EXPECT_FALSE(IsWindowVisible(tray));
    PostMessageW(tray, WM_CLOSE, 0, 0);
    EXPECT_EQ(harmolith.ExitCode(), 0u);
}

TEST_F(StartupTest, DriverPromptAnsweredYesInstallsAndEndsWithZero) {
    CHarmolith::SetDriverInstalled(false);
    harmolith.Start();
    auto question = harmolith.WaitBox(kCaption);
    ASSERT_TRUE(question);
    CHarmolith::Press(*question, IDYES);
    // Wine runs every program as an administrator, so the program installs by itself.
    auto done = harmolith.WaitBox(kCaption);
    ASSERT_TRUE(done);
    if (done->window == question->window) {
        Sleep(500);
        done = harmolith.WaitBox(kCaption);
        ASSERT_TRUE(done);
    }
    EXPECT_EQ(done->text.rfind(L"Installation of the Harmolith MIDI driver has finished", 0), 0u)
        << done->text;
    CHarmolith::Press(*done, IDOK);
    EXPECT_EQ(harmolith.ExitCode(), 0u);
    EXPECT_TRUE(hml::app::IsDriverRegistered());
    EXPECT_EQ(FindWindowW(L"MSGWND", nullptr), nullptr);
}

TEST_F(StartupTest, SecondStartHandsItsCommandLineToTheRunningSynth) {
    CHarmolith::SetDriverInstalled(true);
    harmolith.Start();
    HWND tray = harmolith.Tray();
    ASSERT_NE(tray, nullptr);

    // Without arguments the running process opens its configurator.
    harmolith.Start();
    EXPECT_EQ(harmolith.ExitCode(1), 0u);
    EXPECT_NE(harmolith.WaitWindow(L"Tarnwick Harmolith - 2.9.1", 0), nullptr);

    harmolith.Start(L"--converter");
    EXPECT_EQ(harmolith.ExitCode(2), 0u);
    EXPECT_NE(harmolith.WaitWindow(L"MIDI Converter", 0), nullptr);

    PostMessageW(tray, WM_CLOSE, 0, 0);
    EXPECT_EQ(harmolith.ExitCode(0), 0u);
}

TEST_F(StartupTest, FirstStartOpensTheWindowItsArgumentAsksFor) {
    CHarmolith::SetDriverInstalled(true);
    harmolith.Start(L"--configurator");
    EXPECT_NE(harmolith.WaitWindow(L"Tarnwick Harmolith - 2.9.1"), nullptr);
    HWND tray = harmolith.Tray();
    ASSERT_NE(tray, nullptr);
    PostMessageW(tray, WM_CLOSE, 0, 0);
    EXPECT_EQ(harmolith.ExitCode(), 0u);
}

TEST_F(StartupTest, InstanceWithoutTrayWindowIsReportedAfterFiveSearches) {
    CHarmolith::SetDriverInstalled(true);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Harmolith_Synth");
    const ULONGLONG start = GetTickCount64();
    harmolith.Start();
    auto box = harmolith.WaitBox(kCaption, 0, 15000);
    const ULONGLONG waited = GetTickCount64() - start;
    CloseHandle(mutex);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, L"Another instance of Harmolith is already running, but can't find it.");
    EXPECT_GE(waited, 3500u);
    CHarmolith::Press(*box, IDOK);
    EXPECT_EQ(harmolith.ExitCode(), 1u);
}

} // namespace
