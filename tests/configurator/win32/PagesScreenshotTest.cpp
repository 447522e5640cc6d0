// Poses the MIDI device, Shortcuts, Updates and About pages, in English and German, for
// scripts/posed-shots.sh pages; only that script runs it. For each pose it writes
// "<name>.pose" (the page's screen rectangle) into HML_SHOTS_DIR and waits for "<name>.done".

#include "StandInFrame.h"
#include "configurator/win32/ConfiguratorTabAbout.h"
#include "configurator/win32/ConfiguratorTabMidiDevice.h"
#include "configurator/win32/ConfiguratorTabShortcuts.h"
#include "configurator/win32/ConfiguratorTabUpdates.h"

#include <cstdlib>
#include <fstream>

using namespace page_test;

namespace {

class PagesScreenshotTest : public PageFixture {
protected:
    void Pose(CConfiguratorTabBase& page, const std::string& name) {
        ASSERT_TRUE(page.Create(frame.window));
        RECT pageRect{};
        GetWindowRect(page.GetHwnd(), &pageRect);
        // No frame around the page: without a window manager nobody would draw one.
        SetWindowLongW(frame.window, GWL_STYLE, WS_POPUP);
        SetWindowPos(frame.window, HWND_TOP, 0, 0, pageRect.right - pageRect.left,
                     pageRect.bottom - pageRect.top, SWP_SHOWWINDOW | SWP_FRAMECHANGED);
        ShowWindow(page.GetHwnd(), SW_SHOW);
        Pump(400);
        GetWindowRect(page.GetHwnd(), &pageRect);
        const std::filesystem::path dir(std::getenv("HML_SHOTS_DIR"));
        std::ofstream(dir / (name + ".pose"))
            << pageRect.left << ' ' << pageRect.top << ' ' << pageRect.right - pageRect.left << ' '
            << pageRect.bottom - pageRect.top << '\n';
        EXPECT_TRUE(
            PumpUntil([&] { return std::filesystem::exists(dir / (name + ".done")); }, 60000));
        page.Destroy();
    }
};

TEST_F(PagesScreenshotTest, DISABLED_PosesForScreenshots) {
    ASSERT_NE(std::getenv("HML_SHOTS_DIR"), nullptr);
    Put(L"Update", L"CheckFrequency", L"14");
    Put(L"Update", L"LastCheck", L"2026-12-07");
    Put(L"Update", L"LastVersionFound", L"2.9.2.0");
    configuration = Reopened();
    config::settings = configuration.get();
    host.devices = {L"Microsoft GS Wavetable Synth", L"Harmolith #1", L"Harmolith #2"};
    host.status = L"Harmolith #1: player.exe (pid 412), 24 voices, 3% load\r\n"
                  L"Harmolith #2: free\r\n";
    for (const auto& [id, suffix] : {std::pair{1033u, "en"}, std::pair{1031u, "de"}}) {
        UseLanguage(id);
        host.choosable = true;
        CConfiguratorTabMidiDevice midi(frame, host);
        Pose(midi, std::string("cfg3-midi-") + suffix);
        host.choosable = false;
        CConfiguratorTabMidiDevice midiNotice(frame, host);
        Pose(midiNotice, std::string("cfg3-midi-notice-") + suffix);
        CConfiguratorTabShortcuts shortcuts(frame);
        Pose(shortcuts, std::string("cfg3-shortcuts-") + suffix);
        CConfiguratorTabUpdates updates(frame, host);
        Pose(updates, std::string("cfg3-updates-") + suffix);
        CConfiguratorTabAbout about(frame, host);
        Pose(about, std::string("cfg3-about-") + suffix);
    }
}

} // namespace
