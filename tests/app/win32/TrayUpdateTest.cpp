// The tray window in this process at start-up: the update reminder and the automatic check reach
// the user through the tray's own thread, on an icon that exists; and the elevated install run.

#include "LocalHttpServer.h"
#include "NoWindows.h"
#include "app/DriverRegistration.h"
#include "app/Systray.h"
#include "support/ConfigFixture.h"
#include "update/UpdateSchedule.h"
#include "update/win32/UpdateChecker.h"

#include <cstdlib>

using namespace hml;
using namespace hml::app;

namespace {

void Pump(DWORD forMs) {
    const ULONGLONG end = GetTickCount64() + forMs;
    do {
        MSG msg{};
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message != WM_QUIT) {
                DispatchMessageW(&msg);
            }
        }
        Sleep(5);
    } while (GetTickCount64() < end);
}

class TrayUpdateTest : public ConfigFixture {
protected:
    TrayUpdateTest() : configuration(Open()) { config::settings = configuration.get(); }
    ~TrayUpdateTest() override {
        tray.Destroy();
        Pump(0);
        delete update::updateChecker;
        update::updateChecker = nullptr;
        config::settings = nullptr;
    }

    void Reopen() {
        configuration = Open();
        config::settings = configuration.get();
    }

    std::unique_ptr<config::CSettings> configuration;
    harness::CNoWindows windows;
    CSystray tray{windows};
};

TEST_F(TrayUpdateTest, ADueReminderIsShownOnTheIconAndRecorded) {
    const std::wstring today = update::DateText(update::LocalNow());
    Put(L"Update", L"CheckFrequency", L"7");
    Put(L"Update", L"LastCheck", today);
    Put(L"Update", L"LastVersionFound", L"2.9.2.0");
    Put(L"Update", L"LastNotify", L"2000-01-01");
    Reopen();
    update::updateChecker = new update::CUpdateChecker(L"http://127.0.0.1:9/never");
    ASSERT_TRUE(tray.Create());
    EXPECT_TRUE(tray.IsUpdateAvailable());
    EXPECT_EQ(tray.BalloonsShown(), 1u) << "the balloon needs the icon to exist";
    EXPECT_EQ(Stored(L"Update", L"LastNotify"), today);
}

TEST_F(TrayUpdateTest, AFoundUpdateIsHandledOnTheTraysThread) {
    if (std::getenv("http_proxy") && *std::getenv("http_proxy")) {
        GTEST_SKIP() << "http_proxy is set";
    }
    CLocalHttpServer server{"LastVersion=2.9.2.0\r\nUpdateURL=https://example.invalid/get\r\n"};
    ASSERT_TRUE(server.Started());
    Put(L"Update", L"CheckFrequency", L"7");
    Reopen();
    update::updateChecker = new update::CUpdateChecker(server.Url(L"/check"));
    ASSERT_TRUE(tray.Create());
    ASSERT_TRUE(update::updateChecker->IsChecking());
    for (int i = 0; i < 1000 && update::updateChecker->IsChecking(); ++i) {
        Sleep(5);
    }
    ASSERT_FALSE(update::updateChecker->IsChecking());
    // Nothing happened on the checker's thread: the news waits in the tray's queue.
    EXPECT_FALSE(tray.IsUpdateAvailable());
    EXPECT_EQ(Stored(L"Update", L"LastNotify"), L"<none>");
    Pump(100);
    EXPECT_TRUE(tray.IsUpdateAvailable());
    EXPECT_EQ(Stored(L"Update", L"LastNotify"), update::DateText(update::LocalNow()));
}

TEST(ElevatedInstallTest, TheRunsExitCodeIsReportedAndAFailedStartIsOne) {
    EXPECT_EQ(RunElevated(L"C:\\no such folder\\Harmolith.exe", L"--install", 5000), 1);
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring cmd = std::wstring(system) + L"\\cmd.exe";
    EXPECT_EQ(RunElevated(cmd, L"/c exit 3", 10000), 3);
    EXPECT_EQ(RunElevated(cmd, L"/c exit 0", 10000), 0);
}

} // namespace
