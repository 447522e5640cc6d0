// The About page in a stand-in frame: the live status and its refresh while visible, and the
// debug report written to a file and read back.

#include "StandInFrame.h"
#include "base/Utf8.h"
#include "configurator/PagesIds.h"
#include "configurator/win32/ConfiguratorTabAbout.h"
#include "support/win32/MessageBoxCatcher.h"

#include <fstream>
#include <iterator>

using namespace page_test;

namespace {

constexpr const wchar_t* kDriversKey =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
// A path with characters beyond Latin-1, which an 8-bit stream cannot hold.
const std::wstring kFontPath = L"C:\\Kl\u00E4nge\\Fl\u00F6te \u2603 \u6F22.sf2";

class AboutPageTest : public PageFixture {
protected:
    AboutPageTest() { host.status = L"Clients: none\r\n"; }

    // The configuration as a user keeps it: UTF-16 so the path survives, with comments.
    void WriteUnicodeConfig() {
        const std::wstring text = L"\uFEFF; Harmolith settings\r\n[Advanced]\r\nDevicesCount=3\r\n"
                                  L"\r\n;DevicesCount=9\r\n[SoundFonts]\r\nsf1=" +
                                  kFontPath + L"\r\nsf1.enabled=5\r\nsf1.preset=-1\r\n";
        std::ofstream file(std::filesystem::path(configFile), std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(text.data()),
                   static_cast<std::streamsize>(text.size() * sizeof(wchar_t)));
    }

    std::unique_ptr<CConfiguratorTabAbout> Make() {
        auto page = std::make_unique<CConfiguratorTabAbout>(frame, host);
        EXPECT_TRUE(page->Create(frame.window));
        return page;
    }

    static std::string ReadBytes(const std::wstring& path) {
        std::ifstream file(std::filesystem::path(path), std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }
};

TEST_F(AboutPageTest, StatusShowsTheBuildAndServerAndRefreshesOnlyWhileVisible) {
    auto page = Make();
    const std::wstring first = page->StatusText();
    EXPECT_NE(first.find(L"\r\nHarmolith: 2.9.1 (x64)\r\nMemory (MB): total "), std::wstring::npos)
        << first;
    EXPECT_NE(first.find(L"Available devices: 1\r\nClients: none\r\n"), std::wstring::npos);
    EXPECT_EQ(TextOf(GetDlgItem(page->GetHwnd(), IDC_ABOUT_STATUS)), first);
    EXPECT_FALSE(page->IsRefreshing());

    ShowWindow(frame.window, SW_SHOW);
    ShowWindow(page->GetHwnd(), SW_SHOW);
    EXPECT_TRUE(page->IsRefreshing());
    host.status = L"Clients: player.exe\r\n";
    EXPECT_TRUE(PumpUntil(
        [&] { return page->StatusText().find(L"player.exe") != std::wstring::npos; }, 2000));

    ShowWindow(page->GetHwnd(), SW_HIDE);
    EXPECT_FALSE(page->IsRefreshing());
    host.status = L"Clients: later.exe\r\n";
    Pump(500);
    EXPECT_EQ(page->StatusText().find(L"later.exe"), std::wstring::npos);
    ShowWindow(page->GetHwnd(), SW_SHOW);
    EXPECT_TRUE(page->IsRefreshing());
    page->Destroy();
    EXPECT_FALSE(page->IsRefreshing()) << "the thread ends with the window";
}

TEST_F(AboutPageTest, DebugReportIsUtf8WithEverySectionInOrder) {
    WriteUnicodeConfig();
    configuration = Reopened();
    config::settings = configuration.get();
    ASSERT_EQ(config::settings->soundFonts.size(), 1u);
    ASSERT_EQ(config::settings->soundFonts[0].filename, kFontPath);
    HKEY drivers = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kDriversKey, 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &drivers, nullptr),
              ERROR_SUCCESS);
    const wchar_t driver[] = L"Harmolith.dll";
    RegSetValueExW(drivers, L"midi1", 0, REG_SZ, reinterpret_cast<const BYTE*>(driver),
                   sizeof driver);
    RegDeleteValueW(drivers, L"midi3");
    RegCloseKey(drivers);
    host.devices = {L"Harmolith #1", L"\u00C9tude \u266B Synth"};

    auto page = Make();
    const std::wstring path = folder.File(L"Harmolith_debug_report.txt");
    ASSERT_TRUE(page->WriteDebugReportTo(path));
    const std::string bytes = ReadBytes(path);
    ASSERT_EQ(bytes.compare(0, 3, "\xEF\xBB\xBF"), 0) << "a byte-order mark";
    const std::wstring report = base::WideFromUtf8(std::string_view(bytes).substr(3));
    EXPECT_EQ(report.find(L'\n'), report.find(L"\r\n") + 1) << "lines end in CR LF";

    const std::wstring sections[] = {
        L"Status\r\n======\r\n",
        L"Soundfonts\r\n==========\r\nfilename: " + kFontPath +
            L"\r\nenabled: 5, preload: 1, bank: 0, preset: -1\r\n\r\n",
        L"MIDI Devices (x64)\r\n==================\r\n[0]: Harmolith #1\r\n"
        L"[1]: \u00C9tude \u266B Synth\r\n\r\n",
        L"Audio Devices (x64)\r\n===================\r\n",
        L"Configuration file\r\n" + std::wstring(72, L'=') +
            L"\r\n[Advanced]\r\nDevicesCount=3\r\n"
            L"[SoundFonts]\r\nsf1=" +
            kFontPath + L"\r\nsf1.enabled=5\r\nsf1.preset=-1\r\n" + std::wstring(72, L'=') +
            L"\r\n\r\n",
        L"Registry keys\r\n=======================\r\n",
        L"*** x86: HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32 ***\r\n",
        L"*** HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Multimedia\\MIDIMap ***\r\n",
        L"*** HKCU\\Software\\Microsoft\\ActiveMovie\\devenum\\"
        L"{4EFE2452-168A-11D1-BC76-00C04FB9453B}\\Default MidiOut Device ***\r\n",
    };
    std::size_t at = 0;
    for (const std::wstring& section : sections) {
        const std::size_t found = report.find(section, at);
        ASSERT_NE(found, std::wstring::npos) << "missing or out of order:\n"
                                             << base::Utf8FromWide(section) << "\nin\n"
                                             << bytes;
        at = found + section.size();
    }
    EXPECT_EQ(report.find(L"; Harmolith settings"), std::wstring::npos);
    EXPECT_EQ(report.find(L"DevicesCount=9"), std::wstring::npos);
    EXPECT_NE(report.find(L"\r\nmidi1: Harmolith.dll\r\n"), std::wstring::npos);
    EXPECT_EQ(report.find(L"midi3:"), std::wstring::npos) << "a missing value is left out";
    EXPECT_NE(report.find(L"*** x64: HKLM"), std::wstring::npos) << "64-bit Windows";
    EXPECT_NE(report.find(L"Available devices: 3\r\n"), std::wstring::npos) << "the status view";
}

TEST_F(AboutPageTest, AnUnwritableReportSaysSoAndLeavesNothingBehind) {
    UseLanguage(1033);
    auto page = Make();
    CMessageBoxCatcher boxes;
    const std::wstring path = folder.File(L"missing folder\\report.txt");
    EXPECT_FALSE(page->WriteDebugReportTo(path));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_NE(boxes.boxes[0].text.find(path), std::wstring::npos);
    EXPECT_EQ(folder.Names().size(), 1u) << "only the configuration file";
}

} // namespace
