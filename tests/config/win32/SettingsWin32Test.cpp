// Finding the configuration through the registry, and window positions, on a real Windows API
// (under Wine in the test run's own prefix).

#include "config/Language.h"
#include "config/Settings.h"
#include "support/TestPaths.h"
#include "support/win32/MessageBoxCatcher.h"
#include "ui/MessageBox.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace hml::config;
using namespace hml::ui;

namespace {

const std::wstring kRegistryError = L"\nError reading configuration registry key:\n"
                                    L"HKLM\\SOFTWARE\\Tarnwick Harmolith\\path";

class SettingsStartupTest : public ::testing::Test {
protected:
    ~SettingsStartupTest() override {
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, CSettings::kRegistryKey, KEY_WOW64_64KEY, 0);
    }

    void SetPath(const std::wstring& value) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, CSettings::kRegistryKey, 0, nullptr, 0,
                                  KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, L"path", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }

    void WriteConfig(const std::string& text) {
        std::ofstream(folder.path / "Harmolith.conf", std::ios::binary) << text;
    }

    hml::test::CTempFolder folder;
};

TEST_F(SettingsStartupTest, MissingRegistryValueIsReportedWithTheSystemsReason) {
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, CSettings::kRegistryKey, KEY_WOW64_64KEY, 0);
    CMessageBoxCatcher catcher;
    CSettings s;
    EXPECT_FALSE(s.IsLoaded());
    EXPECT_TRUE(s.InstallFolder().empty());
    EXPECT_TRUE(s.ConfigFile().empty());
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_EQ(catcher.boxes[0].caption, L"Harmolith initialization error");
    EXPECT_EQ(catcher.boxes[0].text, hml::ui::SystemMessage(ERROR_FILE_NOT_FOUND) + kRegistryError);
}

TEST_F(SettingsStartupTest, EmptyRegistryValueIsReportedAsInvalidData) {
    SetPath(L"");
    CMessageBoxCatcher catcher;
    CSettings s;
    EXPECT_FALSE(s.IsLoaded());
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_EQ(catcher.boxes[0].text, hml::ui::SystemMessage(ERROR_INVALID_DATA) + kRegistryError);
}

TEST_F(SettingsStartupTest, MissingFileIsReportedWithItsPath) {
    SetPath(folder.Wide());
    CMessageBoxCatcher catcher;
    CSettings s;
    EXPECT_FALSE(s.IsLoaded());
    EXPECT_TRUE(s.ConfigFile().empty());
    EXPECT_EQ(s.InstallFolder(), folder.Wide());
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_EQ(catcher.boxes[0].caption, L"Harmolith initialization error");
    EXPECT_EQ(catcher.boxes[0].text, L"ERROR: configuration file is missing or unreadable: " +
                                         folder.Wide() + L"\\Harmolith.conf");
}

TEST_F(SettingsStartupTest, FoundFileLoadsListsAndDevicesWithoutAnyMessage) {
    SetPath(folder.Wide());
    WriteConfig("[Advanced]\r\nDevicesCount=2\r\nOutputDevice=3;4\r\n"
                "[SoundFonts]\r\nsf1=C:\\fonts\\gm.sf2\r\nsf1.enabled=2\r\n");
    CMessageBoxCatcher catcher;
    CSettings s;
    EXPECT_TRUE(catcher.boxes.empty());
    ASSERT_TRUE(s.IsLoaded());
    EXPECT_EQ(s.ConfigFile(), folder.Wide() + L"\\Harmolith.conf");
    ASSERT_EQ(s.soundFonts.size(), 1u);
    EXPECT_EQ(s.soundFonts[0].enabled, 2u);
    EXPECT_EQ(s.outputDevices[1], 4u);
}

// A plain top-level window to place.
class WindowPositionTest : public SettingsStartupTest {
protected:
    WindowPositionTest() {
        SetPath(folder.Wide());
        WriteConfig("[Advanced]\r\n");
        window = CreateWindowExW(0, L"STATIC", L"test", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        s = std::make_unique<CSettings>();
    }
    ~WindowPositionTest() override { DestroyWindow(window); }

    RECT Rect() {
        RECT r{};
        GetWindowRect(window, &r);
        return r;
    }
    std::wstring Stored(const wchar_t* key) {
        return s->ReadString(L"Windows", key, L"<none>", 100);
    }

    HWND window = nullptr;
    std::unique_ptr<CSettings> s;
};

TEST_F(WindowPositionTest, RestoreNeedsFourNumbersAndKeepsTheWindowOnScreen) {
    const std::wstring value = L"10,20,300,200";
    s->WriteString(L"Windows", L"Mixer", &value, L"2");
    EXPECT_FALSE(s->RestoreWindowPosition(L"Mixer", window, SWP_NOZORDER))
        << "no suffix: another key";
    ASSERT_TRUE(s->RestoreWindowPosition(L"Mixer", window, SWP_NOZORDER, L"2"));
    RECT r = Rect();
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.right - r.left, 300);
    EXPECT_EQ(r.bottom - r.top, 200);
    EXPECT_FALSE(IsZoomed(window));

    const std::wstring three = L"10,20,300";
    s->WriteString(L"Windows", L"Configurator", &three);
    EXPECT_FALSE(s->RestoreWindowPosition(L"Configurator", window, 0));

    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const std::wstring offScreen = L"90000,-90000,300,200";
    s->WriteString(L"Windows", L"MIDIConverter", &offScreen);
    ASSERT_TRUE(s->RestoreWindowPosition(L"MIDIConverter", window, SWP_NOZORDER));
    r = Rect();
    EXPECT_EQ(r.left, work.right + 20 - 300);
    EXPECT_EQ(r.top, work.top - 20);
}

TEST_F(WindowPositionTest, SaveWritesTheNormalRectangleAndTheMaximizedMark) {
    SetWindowPos(window, nullptr, 15, 25, 320, 240, SWP_NOZORDER);
    s->SaveWindowPosition(L"Configurator", window);
    EXPECT_EQ(Stored(L"Configurator"), L"15,25,320,240");

    ShowWindow(window, SW_MAXIMIZE);
    s->SaveWindowPosition(L"Mixer", window, L"3");
    EXPECT_EQ(Stored(L"Mixer3"), L"15,25,320,240,1");

    ShowWindow(window, SW_RESTORE);
    ASSERT_TRUE(s->RestoreWindowPosition(L"Mixer", window, SWP_NOZORDER, L"3"));
    EXPECT_TRUE(IsZoomed(window));
}

TEST(LanguageWindowTest, WindowAndDirectChildrenAreTranslated) {
    hml::test::CTempFolder folder;
    std::filesystem::create_directories(folder.path / "lang");
    std::ofstream(folder.path / "lang" / "1033.lang", std::ios::binary)
        << "[synth]\nmixer.title=Mixer\ncommon.ok=OK\nnested.key=Nested\n";
    CLanguage lang(folder.Wide(), 1033);
    lang.LoadSection(L"synth");

    HWND parent = CreateWindowExW(0, L"STATIC", L"mixer.title", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200,
                                  nullptr, nullptr, nullptr, nullptr);
    HWND button = CreateWindowExW(0, L"BUTTON", L"common.ok", WS_CHILD, 0, 0, 50, 20, parent,
                                  nullptr, nullptr, nullptr);
    HWND plain = CreateWindowExW(0, L"STATIC", L"Plain text", WS_CHILD, 0, 30, 50, 20, parent,
                                 nullptr, nullptr, nullptr);
    HWND nested = CreateWindowExW(0, L"STATIC", L"nested.key", WS_CHILD, 0, 0, 50, 20, plain,
                                  nullptr, nullptr, nullptr);
    lang.TranslateWindow(parent);
    auto text = [](HWND w) {
        wchar_t t[64] = {};
        GetWindowTextW(w, t, 64);
        return std::wstring(t);
    };
    EXPECT_EQ(text(parent), L"Mixer");
    EXPECT_EQ(text(button), L"OK");
    EXPECT_EQ(text(plain), L"Plain text");
    EXPECT_EQ(text(nested), L"nested.key") << "only direct children are translated";
    DestroyWindow(parent);
}

} // namespace
