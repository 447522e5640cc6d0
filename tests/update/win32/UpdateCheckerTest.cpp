// The update check against a real HTTP server on 127.0.0.1, through WinINet and a real
// configuration file.

#include "update/win32/UpdateChecker.h"
#include "update/UpdateSchedule.h"

#include "LocalHttpServer.h"
#include "support/ConfigFixture.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <future>

namespace {

using namespace std::chrono_literals;
using Result = CUpdateChecker::CheckResult;

class UpdateCheckerTest : public ConfigFixture {
protected:
    UpdateCheckerTest() {
        configuration = Open();
        settings = configuration.get();
    }
    ~UpdateCheckerTest() override { settings = nullptr; }

    void SetUp() override {
        // WinINet would send the request to a proxy from the environment, off this machine.
        for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy"}) {
            const char* proxy = std::getenv(name);
            if (proxy && *proxy) {
                GTEST_SKIP() << "a proxy is configured: " << name;
            }
        }
        ASSERT_TRUE(server.Started());
    }

    bool WaitUntilIdle(const CUpdateChecker& checker) {
        for (int i = 0; i < 1000 && checker.IsChecking(); ++i) {
            Sleep(5);
        }
        return !checker.IsChecking();
    }

    std::wstring Today() { return update_check::DateText(update_check::LocalNow()); }

    std::unique_ptr<CSettings> configuration;
    CLocalHttpServer server{"LastVersion=2.9.2.0\r\nUpdateURL=https://example.invalid/get\r\n"};
};

TEST_F(UpdateCheckerTest, RequestNamesSoftwareAndVersionAndTheAnswerIsStoredWithoutLineEnds) {
    CUpdateChecker checker(server.Url(L"/check"));
    EXPECT_EQ(checker.Check(), Result::UpdateAvailable);
    EXPECT_EQ(checker.LastErrorText(), L"");
    EXPECT_EQ(Stored(L"Update", L"LastVersionFound"), L"2.9.2.0");
    EXPECT_EQ(Stored(L"Update", L"LastVersionURL"), L"https://example.invalid/get");
    EXPECT_EQ(Stored(L"Update", L"LastCheck"), Today());

    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string& request = requests[0];
    EXPECT_EQ(request.rfind("GET /check?swname=harmolith2&curver=2.9.1.0 HTTP/1.1\r\n", 0), 0u)
        << request;
    EXPECT_NE(request.find("\r\nUser-Agent: Tarnwick Web Updater\r\n"), std::string::npos)
        << request;
    EXPECT_NE(request.find("\r\nPragma: no-cache\r\n"), std::string::npos) << request;

    server.SetBody("lastversion=2.9.1.0\nupdateurl=u\n");
    EXPECT_EQ(CUpdateChecker(server.Url(L"/check"), L"harmolith2", L"2.9.0.5").Check(),
              Result::UpdateAvailable);
    EXPECT_NE(server.Requests().back().find("curver=2.9.0.5 "), std::string::npos);
    EXPECT_EQ(checker.Check(), Result::UpToDate);
}

TEST_F(UpdateCheckerTest, OnlyOneReadOfAtMost1023BytesIsTaken) {
    std::string head = "lastversion=2.9.2.0\nupdateurl=https://example.invalid/\n";
    std::string body = head + std::string(1023 - head.size() - 1, 'x') + "\nlastversion=9.9.9.9\n";
    server.SetBody(body);
    CUpdateChecker checker(server.Url(L"/"));
    EXPECT_EQ(checker.Check(), Result::UpdateAvailable);
    EXPECT_EQ(Stored(L"Update", L"LastVersionFound"), L"2.9.2.0");
}

TEST_F(UpdateCheckerTest, FailuresReportCheckFailedAndLeaveLastCheckAlone) {
    CRefusingPort refusing;
    ASSERT_TRUE(refusing.Started());
    EXPECT_EQ(CUpdateChecker(refusing.Url(L"/check")).Check(), Result::CheckFailed);

    server.SetBody("lastversion=2.9.2.0\n");
    CUpdateChecker checker(server.Url(L"/check"));
    EXPECT_EQ(checker.Check(), Result::CheckFailed);
    EXPECT_EQ(checker.LastErrorText(), L"") << "an incomplete answer gives no error text";
    EXPECT_EQ(Stored(L"Update", L"LastCheck"), L"<none>");

    server.SetBody("lastversion=2.9.2.0\nupdateurl=http://evil/\x1b\n");
    EXPECT_EQ(checker.Check(), Result::CheckFailed) << "a refused value is no value";
    EXPECT_EQ(Stored(L"Update", L"LastVersionURL"), L"<none>");
}

TEST_F(UpdateCheckerTest, OneCheckAtATimeRunsOnAnIdleWorkerThatCallsBack) {
    CUpdateChecker checker(server.Url(L"/check"));
    server.Hold(true);
    std::promise<std::pair<Result, int>> reported;
    const DWORD caller = GetCurrentThreadId();
    std::atomic<bool> onCaller{false};
    ASSERT_TRUE(checker.StartCheck([&](Result result) {
        onCaller = GetCurrentThreadId() == caller;
        reported.set_value({result, GetThreadPriority(GetCurrentThread())});
    }));
    EXPECT_TRUE(checker.IsChecking());
    ASSERT_TRUE(server.WaitForRequests(1, 5s));

    bool secondCalled = false;
    EXPECT_FALSE(checker.StartCheck([&](Result) { secondCalled = true; }));

    server.Hold(false);
    auto outcome = reported.get_future();
    ASSERT_EQ(outcome.wait_for(10s), std::future_status::ready);
    auto [result, priority] = outcome.get();
    EXPECT_EQ(result, Result::UpdateAvailable);
    EXPECT_EQ(priority, THREAD_PRIORITY_IDLE);
    EXPECT_FALSE(onCaller);
    ASSERT_TRUE(WaitUntilIdle(checker));
    EXPECT_FALSE(secondCalled) << "a refused start keeps the running check's callback";

    // Once idle, the next start runs with its own callback.
    std::promise<Result> again;
    server.SetBody("lastversion=2.9.1.0\nupdateurl=u\n");
    ASSERT_TRUE(checker.StartCheck([&](Result r) { again.set_value(r); }));
    auto second = again.get_future();
    ASSERT_EQ(second.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(second.get(), Result::UpToDate);
    EXPECT_TRUE(WaitUntilIdle(checker));
}

} // namespace
