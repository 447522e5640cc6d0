// The update check through WinINet against an HTTP server of the test's own on 127.0.0.1, with a
// real configuration file.

#include "update/win32/UpdateChecker.h"
#include "update/UpdateSchedule.h"

#include "LocalHttpServer.h"
#include "support/ConfigFixture.h"

#include <windows.h>

#include <cstdlib>
#include <future>

using namespace hml::config;
using namespace hml::update;

namespace {

using namespace std::chrono_literals;
using Result = CUpdateChecker::CheckResult;

class UpdateCheckerTest : public ConfigFixture {
protected:
    UpdateCheckerTest() : configuration(Open()) { settings = configuration.get(); }
    ~UpdateCheckerTest() override { settings = nullptr; }

    void SetUp() override {
        // WinINet would hand the request to a proxy from the environment, off this machine.
        if (std::getenv("http_proxy") && *std::getenv("http_proxy")) {
            GTEST_SKIP() << "http_proxy is set";
        }
        ASSERT_TRUE(server.Started());
    }

    // The worker clears its handle just after calling back.
    static bool WaitUntilIdle(const CUpdateChecker& checker) {
        for (int i = 0; i < 1000 && checker.IsChecking(); ++i) {
            Sleep(5);
        }
        return !checker.IsChecking();
    }

    std::unique_ptr<CSettings> configuration;
    CLocalHttpServer server{"LastVersion=2.9.2.0\r\nUpdateURL=https://example.invalid/get\r\n"};
};

TEST_F(UpdateCheckerTest, RequestNamesSoftwareAndVersionAndTheAnswerIsStoredWithoutLineEnds) {
    EXPECT_EQ(CUpdateChecker(server.Url(L"/check")).Check(), Result::UpdateAvailable);
    EXPECT_EQ(Stored(L"Update", L"LastVersionFound"), L"2.9.2.0");
    EXPECT_EQ(Stored(L"Update", L"LastVersionURL"), L"https://example.invalid/get");
    EXPECT_EQ(Stored(L"Update", L"LastCheck"), hml::update::DateText(hml::update::LocalNow()));

    ASSERT_EQ(server.Requests().size(), 1u);
    const std::string request = server.Requests()[0];
    EXPECT_EQ(request.rfind("GET /check?swname=harmolith2&curver=2.9.1.0 HTTP/1.1\r\n", 0), 0u)
        << request;
    EXPECT_NE(request.find("\r\nUser-Agent: Tarnwick Web Updater\r\n"), std::string::npos);
    EXPECT_NE(request.find("\r\nPragma: no-cache\r\n"), std::string::npos) << request;
}

TEST_F(UpdateCheckerTest, OnlyOneReadOfAtMost1023BytesIsTaken) {
    std::string head = "lastversion=2.9.2.0\nupdateurl=https://example.invalid/\n";
    server.SetBody(head + std::string(1022 - head.size(), 'x') + "\nlastversion=9.9.9.9\n");
    EXPECT_EQ(CUpdateChecker(server.Url(L"/")).Check(), Result::UpdateAvailable);
    EXPECT_EQ(Stored(L"Update", L"LastVersionFound"), L"2.9.2.0");
}

TEST_F(UpdateCheckerTest, RefusedConnectionOrIncompleteAnswerFailsWithoutDatingTheCheck) {
    CLocalHttpServer refusing("", false);
    ASSERT_TRUE(refusing.Started());
    EXPECT_EQ(CUpdateChecker(refusing.Url(L"/check")).Check(), Result::CheckFailed);

    server.SetBody("lastversion=2.9.2.0\nupdateurl=http://evil/\x1b\n");
    CUpdateChecker checker(server.Url(L"/check"));
    EXPECT_EQ(checker.Check(), Result::CheckFailed) << "a refused value is no value";
    EXPECT_EQ(checker.LastErrorText(), L"");
    EXPECT_EQ(Stored(L"Update", L"LastCheck"), L"<none>");
}

TEST_F(UpdateCheckerTest, OneCheckAtATimeRunsOnAnIdleWorkerThatCallsBack) {
    CUpdateChecker checker(server.Url(L"/check"));
    server.Hold(true);
    std::promise<std::pair<Result, int>> first;
    const DWORD caller = GetCurrentThreadId();
    ASSERT_TRUE(checker.StartCheck([&](Result result) {
        int priority = GetCurrentThreadId() == caller ? -1 : GetThreadPriority(GetCurrentThread());
        first.set_value({result, priority});
    }));
    bool secondCalled = false;
    EXPECT_FALSE(checker.StartCheck([&](Result) { secondCalled = true; }));
    server.Hold(false);

    auto reported = first.get_future();
    ASSERT_EQ(reported.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(reported.get(), std::make_pair(Result::UpdateAvailable, THREAD_PRIORITY_IDLE));
    ASSERT_TRUE(WaitUntilIdle(checker));
    EXPECT_FALSE(secondCalled) << "a refused start keeps the running check's callback";

    std::promise<Result> second;
    server.SetBody("lastversion=2.9.1.0\nupdateurl=u\n");
    ASSERT_TRUE(checker.StartCheck([&](Result result) { second.set_value(result); }));
    auto secondResult = second.get_future();
    ASSERT_EQ(secondResult.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(secondResult.get(), Result::UpToDate) << "the new callback gets the new result";
    EXPECT_TRUE(WaitUntilIdle(checker));
}

} // namespace
