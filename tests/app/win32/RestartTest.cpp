// What the synth process does when the port count changes: the tray lists the ports that run,
// and a restart whose new instance cannot start leaves this one running as the one instance.

#include "NoWindows.h"
#include "app/AppWindows.h"
#include "app/MainApp.h"
#include "app/Systray.h"
#include "config/Settings.h"
#include "config/win32/Win32ProfileStore.h"
#include "support/TestPaths.h"
#include "support/win32/MessageBoxCatcher.h"
#include "synth/win32/SynthEngine.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace hml::app;
using namespace hml::config;
using namespace hml::synth;

namespace {

class RestartTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::wstring config = folder.File(L"Harmolith.conf");
        std::ofstream(std::filesystem::path(config)) << "[Advanced]\nDevicesCount=2\n";
        owned = std::make_unique<CSettings>(std::make_unique<CWin32ProfileStore>(), folder.Wide(),
                                            config);
        settings = owned.get();
    }
    void TearDown() override { settings = nullptr; }

    hml::test::CTempFolder folder;
    std::unique_ptr<CSettings> owned;
};

TEST_F(RestartTest, TheTrayListsTheRunningPortsNotTheStoredCount) {
    SynthEngine engine;
    synthEngine = &engine;
    ASSERT_TRUE(engine.Init());
    // Stored by the Options page; the restart was declined.
    settings->devicesCount.Set(4);
    harness::CNoWindows windows;
    CSystray tray(windows);
    EXPECT_EQ(tray.PortCount(), 2u);
    engine.Free();
    synthEngine = nullptr;
}

TEST_F(RestartTest, ARestartThatCannotStartKeepsThisInstanceAndSaysWhy) {
    ASSERT_TRUE(TakeInstanceMutex());
    {
        CMessageBoxCatcher catcher(IDOK);
        EXPECT_FALSE(RestartProcess(folder.File(L"missing\\Harmolith.exe")));
        ASSERT_EQ(catcher.boxes.size(), 2u) << "the question, then why it failed";
        EXPECT_NE(catcher.boxes[1].text.find(L"err.restartFailed"), std::wstring::npos)
            << catcher.boxes[1].text;
    }
    HANDLE held = OpenMutexW(SYNCHRONIZE, FALSE, kInstanceMutex);
    EXPECT_NE(held, nullptr) << "the instance mutex is held again";
    if (held) {
        CloseHandle(held);
    }
    ReleaseInstanceMutex(); // the program runs in the tests after this one
}

} // namespace
