// The Updates page in a stand-in frame: the frequency list against stored values, and checks run
// against an HTTP server of the test's own on 127.0.0.1, whose results come back to the page's
// thread (message boxes are caught on this thread only).

#include "LocalHttpServer.h"
#include "StandInFrame.h"
#include "configurator/PagesIds.h"
#include "configurator/win32/ConfiguratorTabUpdates.h"
#include "support/win32/MessageBoxCatcher.h"
#include "update/UpdateSchedule.h"
#include "update/win32/UpdateChecker.h"

#include <cstdlib>

using namespace page_test;

namespace {

class UpdatesPageTest : public PageFixture {
protected:
    void SetUp() override {
        // WinINet would hand the request to a proxy from the environment, off this machine.
        if (std::getenv("http_proxy") && *std::getenv("http_proxy")) {
            GTEST_SKIP() << "http_proxy is set";
        }
    }

    std::unique_ptr<CConfiguratorTabUpdates> Make() {
        auto page = std::make_unique<CConfiguratorTabUpdates>(frame, host);
        EXPECT_TRUE(page->Create(frame.window));
        return page;
    }
    static HWND Item(const CConfiguratorTabUpdates& page, int id) {
        return GetDlgItem(page.GetHwnd(), id);
    }
    static LRESULT Frequency(const CConfiguratorTabUpdates& page) {
        return SendMessageW(Item(page, IDC_UPD_FREQ), CB_GETCURSEL, 0, 0);
    }
    static void Click(const CConfiguratorTabUpdates& page, int id, int code = BN_CLICKED) {
        SendMessageW(page.GetHwnd(), WM_COMMAND, MAKEWPARAM(id, code),
                     reinterpret_cast<LPARAM>(Item(page, id)));
    }
    bool WaitIdle(const update::CUpdateChecker& checker) {
        return PumpUntil([&] { return !checker.IsChecking(); }) && (Pump(100), true);
    }
};

TEST_F(UpdatesPageTest, FrequencyListShowsStoredDaysAndKeepsAnUnlistedValue) {
    Put(L"Update", L"CheckFrequency", L"14");
    Put(L"Update", L"LastCheck", L"2026-11-30");
    configuration = Reopened();
    config::settings = configuration.get();
    auto page = Make();
    EXPECT_EQ(SendMessageW(Item(*page, IDC_UPD_FREQ), CB_GETCOUNT, 0, 0), 5);
    EXPECT_EQ(Frequency(*page), 2);
    EXPECT_EQ(TextOf(Item(*page, IDC_UPD_LAST_VALUE)), L"2026-11-30");
    EXPECT_EQ(TextOf(Item(*page, IDC_UPD_CUR_VALUE)), L"2.9.1.0");
    page->Destroy();

    Put(L"Update", L"CheckFrequency", L"90");
    configuration = Reopened();
    config::settings = configuration.get();
    page = Make();
    EXPECT_EQ(Frequency(*page), 0);
    EXPECT_TRUE(page->Apply(1051));
    EXPECT_EQ(Stored(L"Update", L"CheckFrequency"), L"90") << "an untouched list stores nothing";

    Choose(page->GetHwnd(), IDC_UPD_FREQ, 4);
    EXPECT_TRUE(frame.modified);
    EXPECT_TRUE(page->Apply(1051));
    EXPECT_EQ(Stored(L"Update", L"CheckFrequency"), L"60");
}

TEST_F(UpdatesPageTest, AFoundUpdateIsShownWhiteOnRedWithOneMessageOnThePagesThread) {
    CLocalHttpServer server{"LastVersion=2.9.2.0\r\nUpdateURL=https://example.invalid/get\r\n"};
    ASSERT_TRUE(server.Started());
    update::CUpdateChecker checker(server.Url(L"/check"));
    host.checker = &checker;
    UseLanguage(1033);
    auto page = Make();
    CMessageBoxCatcher boxes;

    server.Hold(true);
    Click(*page, IDC_UPD_CHECK);
    EXPECT_EQ(TextOf(page->AvailableVersion().GetHwnd()), L"checking...");
    // A second press while the first check waits for its answer.
    Click(*page, IDC_UPD_CHECK);
    Pump(50);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, L"Version check in progress...");
    server.Hold(false);

    ASSERT_TRUE(WaitIdle(checker));
    EXPECT_EQ(TextOf(page->AvailableVersion().GetHwnd()), L"2.9.2.0");
    EXPECT_TRUE(page->AvailableVersion().HasColors());
    EXPECT_EQ(page->AvailableVersion().TextColor(), RGB(255, 255, 255));
    EXPECT_EQ(page->AvailableVersion().BackgroundColor(), RGB(255, 0, 0));
    ASSERT_EQ(boxes.boxes.size(), 2u) << "the update message comes once, on this thread";
    EXPECT_EQ(boxes.boxes[1].caption, L"Tarnwick Harmolith");
    EXPECT_NE(boxes.boxes[1].text.find(L"new version"), std::wstring::npos);
    EXPECT_EQ(Stored(L"Update", L"LastNotify"), update::DateText(update::LocalNow()));

    // Clicking the value opens the page the service named.
    Click(*page, IDC_UPD_AVAIL_VALUE, STN_CLICKED);
    EXPECT_EQ(host.opened, std::vector<std::wstring>{L"https://example.invalid/get"});

    // The running version again: default colours, no message.
    server.SetBody("LastVersion=2.9.1.0\r\n");
    Click(*page, IDC_UPD_CHECK);
    ASSERT_TRUE(WaitIdle(checker));
    EXPECT_EQ(TextOf(page->AvailableVersion().GetHwnd()), L"2.9.1.0");
    EXPECT_FALSE(page->AvailableVersion().HasColors());
    EXPECT_EQ(boxes.boxes.size(), 2u);
}

TEST_F(UpdatesPageTest, AFailedCheckShowsErrorAndAClickShowsWhy) {
    CLocalHttpServer refusing{"", false};
    ASSERT_TRUE(refusing.Started());
    update::CUpdateChecker checker(refusing.Url(L"/check"));
    host.checker = &checker;
    auto page = Make();
    CMessageBoxCatcher boxes;
    Click(*page, IDC_UPD_CHECK);
    ASSERT_TRUE(WaitIdle(checker));
    EXPECT_EQ(TextOf(page->AvailableVersion().GetHwnd()), L"Error!");
    EXPECT_TRUE(boxes.boxes.empty());

    Click(*page, IDC_UPD_AVAIL_LABEL, STN_CLICKED);
    if (checker.LastErrorText().empty()) {
        EXPECT_EQ(host.opened, std::vector<std::wstring>{CConfiguratorTabUpdates::kProductPage});
    } else {
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].caption, L"Update check error");
        EXPECT_TRUE(host.opened.empty());
    }
}

TEST_F(UpdatesPageTest, ACheckEndingAfterThePageIsGoneChangesNothing) {
    CLocalHttpServer server{"LastVersion=2.9.2.0\r\nUpdateURL=https://example.invalid/get\r\n"};
    ASSERT_TRUE(server.Started());
    update::CUpdateChecker checker(server.Url(L"/check"));
    host.checker = &checker;
    auto page = Make();
    CMessageBoxCatcher boxes;
    server.Hold(true);
    Click(*page, IDC_UPD_CHECK);
    page.reset();
    server.Hold(false);
    ASSERT_TRUE(WaitIdle(checker));
    EXPECT_TRUE(boxes.boxes.empty());
}

} // namespace
