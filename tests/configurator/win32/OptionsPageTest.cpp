// The Options page, its output device selector and the client blacklist editor, driven in a small
// stand-in frame: controls are set through their window messages, the page applies, and the
// configuration file and the registry are read back.
#include "config/Language.h"
#include "config/Settings.h"
#include "configurator/OptionsIds.h"
#include "configurator/win32/BlacklistEditor.h"
#include "configurator/win32/ConfiguratorTabOptions.h"
#include "configurator/win32/SystemOptionsHost.h"
#include "mixer/win32/MessagePump.h"
#include "support/ConfigFixture.h"

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

using namespace hml;
using namespace hml::configurator;

namespace {

constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class CStandInHost final : public IOptionsPageHost {
public:
    std::vector<SAudioDevice> OutputDevices() override { return devices; }
    std::optional<std::vector<std::wstring>> RunningClients() override { return clients; }
    void CreateMissingPorts() override { ++portsCreated; }

    std::vector<SAudioDevice> devices{{L"Speakers", true}, {L"Headphones", true}};
    std::optional<std::vector<std::wstring>> clients = std::vector<std::wstring>{};
    int portsCreated = 0;
};

class CStandInFrame final : public IConfiguratorFrame {
public:
    CStandInFrame(int width, int height) {
        window = CreateWindowExW(0, L"STATIC", L"Options", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                                 width, height, nullptr, nullptr, nullptr, nullptr);
    }
    ~CStandInFrame() override { DestroyWindow(window); }
    void SetModified(bool flag) override { modified = flag; }
    HWND FrameWindow() const override { return window; }

    HWND window = nullptr;
    bool modified = false;
};

void WriteRun(const std::wstring* value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    if (value) {
        RegSetValueExW(key, L"Harmolith", 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                       static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t)));
    } else {
        RegDeleteValueW(key, L"Harmolith");
    }
    RegCloseKey(key);
}

std::wstring ReadRun() {
    wchar_t value[1024] = {};
    DWORD bytes = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, L"Harmolith", RRF_RT_REG_SZ, nullptr, value,
                     &bytes) != ERROR_SUCCESS) {
        return L"<none>";
    }
    return value;
}

std::wstring WindowText(HWND window) {
    wchar_t text[2048] = {};
    GetWindowTextW(window, text, 2048);
    return text;
}

RECT RectIn(HWND child, HWND parent) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

class OptionsPageTest : public ConfigFixture {
protected:
    OptionsPageTest() : english(test::Source("."), config::CLanguage::kEnglish) {
        english.LoadSection(L"common");
        english.LoadSection(L"synth");
        config::language = &english;
        WriteRun(nullptr);
    }
    ~OptionsPageTest() override {
        page.reset();
        frame.reset();
        test_pump::Pump();
        config::settings = nullptr;
        config::language = nullptr;
        WriteRun(nullptr);
    }

    // Opens the page on the file as it is now.
    void OpenPage(int width = 560, int height = 400) {
        owned = Open();
        config::settings = owned.get();
        frame = std::make_unique<CStandInFrame>(width, height);
        page = std::make_unique<CConfiguratorTabOptions>(*frame, host);
        ASSERT_TRUE(page->Create(frame->window));
        ShowWindow(page->GetHwnd(), SW_SHOW);
        test_pump::Pump();
    }
    HWND Item(int id) const { return GetDlgItem(page->GetHwnd(), id); }
    // Sends what the control sends its parent when the user changes it.
    void Notify(int id, int code) {
        SendMessageW(page->GetHwnd(), WM_COMMAND, MAKEWPARAM(id, code),
                     reinterpret_cast<LPARAM>(Item(id)));
    }
    void Click(int id) {
        SendMessageW(Item(id), BM_SETCHECK,
                     SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED ? BST_UNCHECKED
                                                                              : BST_CHECKED,
                     0);
        Notify(id, BN_CLICKED);
    }
    void Type(int id, const std::wstring& text) {
        SetWindowTextW(Item(id), text.c_str());
        Notify(id, EN_CHANGE);
    }
    void Select(int id, int index) {
        SendMessageW(Item(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        Notify(id, CBN_SELCHANGE);
    }
    std::wstring ListText(int id, int index) const {
        wchar_t text[256] = {};
        SendMessageW(Item(id), CB_GETLBTEXT, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(text));
        return text;
    }
    int ListCount(int id) const {
        return static_cast<int>(SendMessageW(Item(id), CB_GETCOUNT, 0, 0));
    }
    int Selected(int id) const {
        return static_cast<int>(SendMessageW(Item(id), CB_GETCURSEL, 0, 0));
    }
    bool Checked(int id) const { return IsDlgButtonChecked(page->GetHwnd(), id) == BST_CHECKED; }
    std::wstring Adv(const std::wstring& key) { return Stored(L"Advanced", key); }

    config::CLanguage english;
    std::unique_ptr<CSettings> owned;
    CStandInHost host;
    std::unique_ptr<CStandInFrame> frame;
    std::unique_ptr<CConfiguratorTabOptions> page;
};

TEST_F(OptionsPageTest, LoadsTheSettingsAndAppliesEditsWithTheirChangeFlags) {
    Put(L"Advanced", L"ReverbLevel", L"10");
    Put(L"Advanced", L"DisableStereo", L"1");
    Put(L"Advanced", L"OutputSampleRate", L"44100");
    Put(L"Advanced", L"DevicesCount", L"2");
    OpenPage();
    EXPECT_EQ(WindowText(Item(IDC_OPT_REVERB)), L"10");
    EXPECT_EQ(WindowText(Item(IDC_OPT_VOICES_LIMIT)), L"500");
    EXPECT_TRUE(Checked(IDC_OPT_DISABLE_STEREO));
    EXPECT_TRUE(Checked(IDC_OPT_HW_MIXER));
    EXPECT_FALSE(Checked(IDC_OPT_AUTOSTART));
    EXPECT_EQ(Selected(IDC_OPT_DEVICES_COUNT), 1);
    EXPECT_EQ(ListCount(IDC_OPT_OUTPUT_RATE), 3);
    EXPECT_EQ(ListText(IDC_OPT_OUTPUT_RATE, Selected(IDC_OPT_OUTPUT_RATE)), L"44100");
    EXPECT_EQ(ListText(IDC_OPT_LANGUAGE, Selected(IDC_OPT_LANGUAGE)), L"English");
    EXPECT_EQ(WindowText(GetDlgItem(page->GetHwnd(), IDC_OPT_GRP_SYNTHESIS)), L"Synthesis");
    EXPECT_FALSE(frame->modified) << "filling the controls is no edit";

    // Nothing applies while nothing was edited.
    owned->audioChanged = false;
    EXPECT_TRUE(page->Apply(1051));
    EXPECT_FALSE(owned->audioChanged);

    Type(IDC_OPT_VOICES_LIMIT, L"200000");
    EXPECT_TRUE(frame->modified);
    Type(IDC_OPT_CPU_LIMIT, L"abc"); // unreadable: the up-down's position stands
    Click(IDC_OPT_DISABLE_STEREO);
    Click(IDC_OPT_DISABLE_VU);
    Select(IDC_OPT_OUTPUT_RATE, 2);
    EXPECT_TRUE(page->Apply(1051));
    EXPECT_FALSE(frame->modified);
    EXPECT_EQ(Adv(L"VoicesLimit"), L"100000");
    EXPECT_EQ(Adv(L"CpuLimit"), L"<none>");
    EXPECT_EQ(Adv(L"DisableStereo"), L"<none>");
    EXPECT_EQ(Adv(L"DisableVUMeter"), L"1");
    EXPECT_EQ(Adv(L"OutputSampleRate"), L"22050");
    EXPECT_EQ(Adv(L"ReverbLevel"), L"10");
    EXPECT_EQ(Adv(L"DevicesCount"), L"2");
    EXPECT_TRUE(owned->audioChanged);
    EXPECT_TRUE(owned->vuMeterChanged);
    EXPECT_FALSE(owned->portCountChanged);
    EXPECT_FALSE(owned->languageChanged);
    EXPECT_EQ(host.portsCreated, 0);

    // A new language is stored and flagged for the frame.
    Select(IDC_OPT_LANGUAGE, 0);
    ASSERT_EQ(ListText(IDC_OPT_LANGUAGE, 0), L"Deutsch");
    EXPECT_TRUE(page->Apply(1));
    EXPECT_EQ(Adv(L"LangID"), L"1031");
    EXPECT_TRUE(owned->languageChanged);
}

TEST_F(OptionsPageTest, UnlistedRateAndLanguageAreShownAndKept) {
    Put(L"Advanced", L"OutputSampleRate", L"96000");
    Put(L"Advanced", L"LangID", L"1036");
    OpenPage();
    ASSERT_EQ(ListCount(IDC_OPT_OUTPUT_RATE), 4);
    EXPECT_EQ(ListText(IDC_OPT_OUTPUT_RATE, Selected(IDC_OPT_OUTPUT_RATE)), L"96000");
    EXPECT_EQ(ListText(IDC_OPT_LANGUAGE, Selected(IDC_OPT_LANGUAGE)), L"(1036)");

    Click(IDC_OPT_FORCE_8BIT);
    owned->languageChanged = false;
    EXPECT_TRUE(page->Apply(1051));
    EXPECT_EQ(Adv(L"OutputSampleRate"), L"96000");
    EXPECT_EQ(Adv(L"LangID"), L"1036");
    EXPECT_EQ(Adv(L"Force8BitSamples"), L"1");
    EXPECT_FALSE(owned->languageChanged);
}

TEST_F(OptionsPageTest, ResetRestoresDefaultsButKeepsLanguageAndOffersTheRestart) {
    Put(L"Advanced", L"DevicesCount", L"3");
    Put(L"Advanced", L"LangID", L"1031");
    Put(L"Advanced", L"VoicesLimit", L"2000");
    Put(L"Advanced", L"EnableHardwareMixer", L"0");
    Put(L"Advanced", L"OutputSampleRate", L"22050");
    Put(L"Advanced", L"ClientBlacklist", L"a.exe");
    OpenPage();
    SendMessageW(page->GetHwnd(), WM_COMMAND, MAKEWPARAM(IDC_OPT_RESET, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Item(IDC_OPT_RESET)));
    EXPECT_TRUE(frame->modified);
    EXPECT_EQ(WindowText(Item(IDC_OPT_VOICES_LIMIT)), L"500");
    EXPECT_TRUE(Checked(IDC_OPT_HW_MIXER));
    EXPECT_EQ(Selected(IDC_OPT_DEVICES_COUNT), 0);

    owned->portCountChanged = false;
    EXPECT_TRUE(page->Apply(1051));
    EXPECT_EQ(Adv(L"DevicesCount"), L"<none>");
    EXPECT_TRUE(owned->portCountChanged) << "the frame offers the restart on this flag";
    EXPECT_EQ(host.portsCreated, 1);
    EXPECT_EQ(Adv(L"VoicesLimit"), L"<none>");
    EXPECT_EQ(Adv(L"EnableHardwareMixer"), L"<none>");
    EXPECT_EQ(Adv(L"OutputSampleRate"), L"<none>");
    EXPECT_EQ(Adv(L"LangID"), L"1031");
    EXPECT_EQ(Adv(L"ClientBlacklist"), L"a.exe");
}

TEST_F(OptionsPageTest, AutostartFollowsTheRunValueOfThisProgram) {
    const std::wstring ours = CConfiguratorTabOptions::AutostartCommand();
    std::wstring shouted = ours;
    for (auto& c : shouted) {
        c = static_cast<wchar_t>(towupper(c));
    }
    WriteRun(&shouted);
    OpenPage();
    EXPECT_TRUE(Checked(IDC_OPT_AUTOSTART)) << "a path differing in case is still this program";
    Click(IDC_OPT_AUTOSTART);
    EXPECT_TRUE(page->Apply(1051));
    EXPECT_EQ(ReadRun(), L"<none>");

    const std::wstring other = L"\"C:\\Other\\Other.exe\"";
    WriteRun(&other);
    page.reset();
    OpenPage();
    EXPECT_FALSE(Checked(IDC_OPT_AUTOSTART));
    Click(IDC_OPT_AUTOSTART);
    EXPECT_TRUE(page->Apply(1051));
    EXPECT_EQ(ReadRun(), ours);
}

TEST_F(OptionsPageTest, GroupsStackRowsInsideThemAndThePageFitsThem) {
    Put(L"Advanced", L"DevicesCount", L"4");
    OpenPage(620, 500);
    HWND p = page->GetHwnd();
    RECT pageRect{};
    GetClientRect(p, &pageRect);
    EXPECT_EQ(pageRect.bottom, page->ContentHeight()) << "the page grows to hold every group";

    const int groupIds[] = {IDC_OPT_GRP_DEVICE, IDC_OPT_GRP_SYNTHESIS, IDC_OPT_GRP_EFFECTS,
                            IDC_OPT_GRP_APPEARANCE};
    int previousBottom = 20;
    for (int id : groupIds) {
        const RECT g = RectIn(GetDlgItem(p, id), p);
        EXPECT_EQ(g.top, previousBottom + 10) << id;
        EXPECT_EQ(g.left, 10);
        EXPECT_EQ(g.right, pageRect.right - 10);
        previousBottom = g.bottom;
    }
    EXPECT_EQ(page->ContentHeight(), previousBottom + 10);

    // Rows sit inside their group; a label ends before its control.
    const struct {
        int group, control;
    } rows[] = {{IDC_OPT_GRP_DEVICE, IDC_OPT_DEVICES_COUNT},
                {IDC_OPT_GRP_DEVICE, IDC_OPT_BLACKLIST},
                {IDC_OPT_GRP_SYNTHESIS, IDC_OPT_VOICES_LIMIT},
                {IDC_OPT_GRP_EFFECTS, IDC_OPT_OVERRIDE_SYSEX},
                {IDC_OPT_GRP_APPEARANCE, IDC_OPT_LANGUAGE},
                {IDC_OPT_GRP_APPEARANCE, IDC_OPT_SNAP_WINDOWS}};
    for (const auto& row : rows) {
        const RECT g = RectIn(GetDlgItem(p, row.group), p);
        const RECT c = RectIn(Item(row.control), p);
        EXPECT_GT(c.top, g.top) << row.control;
        EXPECT_LE(c.right, g.right - 10) << row.control;
        if (row.control != IDC_OPT_DEVICES_COUNT && row.control != IDC_OPT_LANGUAGE) {
            EXPECT_LE(c.bottom, g.bottom) << row.control;
        }
    }
    const RECT count = RectIn(Item(IDC_OPT_DEVICES_COUNT), p);
    EXPECT_EQ(count.right - count.left, 35);
    const RECT voices = RectIn(Item(IDC_OPT_VOICES_LIMIT), p);
    HWND upDown = nullptr;
    for (HWND w = GetWindow(p, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (reinterpret_cast<HWND>(SendMessageW(w, UDM_GETBUDDY, 0, 0)) ==
            Item(IDC_OPT_VOICES_LIMIT)) {
            upDown = w;
        }
    }
    ASSERT_NE(upDown, nullptr);
    const RECT voicesUpDown = RectIn(upDown, p);
    EXPECT_EQ(voicesUpDown.top, voices.top) << "the up-down stays attached to its edit";
    const RECT selector = RectIn(Item(IDC_OPT_OUTPUT_DEVICE), p);
    EXPECT_EQ(selector.bottom - selector.top, 70) << "four ports: four rows";
    EXPECT_GE(selector.left, 20 + 200);

    // Held to a shorter body with a scroll bar, the wheel's page-down moves the groups up by one
    // page, and the last page stops at the end of the content.
    SetWindowLongW(p, GWL_STYLE, GetWindowLongW(p, GWL_STYLE) | WS_VSCROLL);
    SetWindowPos(p, nullptr, 0, 0, 620, 300, SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
    const int firstTop = RectIn(GetDlgItem(p, IDC_OPT_GRP_DEVICE), p).top;
    RECT body{};
    GetClientRect(p, &body);
    SendMessageW(p, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
    EXPECT_EQ(RectIn(GetDlgItem(p, IDC_OPT_GRP_DEVICE), p).top, firstTop - body.bottom);
    for (int i = 0; i < 10; ++i) {
        SendMessageW(p, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
    }
    EXPECT_EQ(RectIn(GetDlgItem(p, IDC_OPT_GRP_APPEARANCE), p).bottom + 10, body.bottom);
}

TEST_F(OptionsPageTest, DeviceSelectorOffersEachPortAndAllPorts) {
    host.devices = {{L"Speakers", true}, {L"Unplugged", false}, {L"USB", true}};
    OpenPage();
    COutputDeviceSelector& one = *page->DeviceSelector();
    RECT face{};
    GetWindowRect(one.GetHwnd(), &face);
    EXPECT_EQ(face.bottom - face.top, 22) << "one port: one row";
    HMENU menu = one.BuildMenu();
    ASSERT_EQ(GetMenuItemCount(menu), 3);
    EXPECT_EQ(GetMenuItemID(menu, 0), 2001u);
    EXPECT_EQ(GetMenuItemID(menu, 1), 2002u);
    EXPECT_EQ(GetMenuItemID(menu, 2), 2004u) << "the disabled device 3 is left out";
    EXPECT_TRUE(GetMenuState(menu, 0, MF_BYPOSITION) & MF_CHECKED);
    DestroyMenu(menu);

    page.reset();
    Put(L"Advanced", L"DevicesCount", L"2");
    Put(L"Advanced", L"OutputDevice", L"2;7");
    OpenPage();
    COutputDeviceSelector& two = *page->DeviceSelector();
    menu = two.BuildMenu();
    ASSERT_EQ(GetMenuItemCount(menu), 3);
    wchar_t title[64] = {};
    GetMenuStringW(menu, 0, title, 64, MF_BYPOSITION);
    EXPECT_STREQ(title, L"<All ports>");
    GetMenuStringW(menu, 2, title, 64, MF_BYPOSITION);
    EXPECT_STREQ(title, L"Harmolith #2");
    HMENU all = GetSubMenu(menu, 0);
    EXPECT_EQ(GetMenuItemID(all, 2), 1004u);
    EXPECT_FALSE(GetMenuState(all, 1, MF_BYPOSITION) & MF_CHECKED);
    HMENU first = GetSubMenu(menu, 1);
    EXPECT_TRUE(GetMenuState(first, 1, MF_BYPOSITION) & MF_CHECKED);
    HMENU second = GetSubMenu(menu, 2);
    for (int i = 0; i < GetMenuItemCount(second); ++i) {
        EXPECT_FALSE(GetMenuState(second, static_cast<UINT>(i), MF_BYPOSITION) & MF_CHECKED)
            << "device 7 is gone: nothing is marked";
    }
    DestroyMenu(menu);
    EXPECT_EQ(two.Choices().FaceName(owned->outputDevices[1]), L"<Default device>");

    // The user clicks the button and picks the first port's submenu, then USB.
    std::thread user([] {
        HWND shown = test_pump::WaitForMenu();
        for (WPARAM key : {VK_DOWN, VK_DOWN, VK_RIGHT, VK_DOWN, VK_DOWN, VK_RETURN}) {
            PostMessageW(shown, WM_KEYDOWN, key, 0);
            Sleep(60);
        }
    });
    Notify(IDC_OPT_OUTPUT_DEVICE, BN_CLICKED);
    user.join();
    EXPECT_EQ(owned->outputDevices[0], 4u);
    EXPECT_TRUE(frame->modified);
    two.Choose(1002); // all ports
    EXPECT_EQ(owned->outputDevices[1], 2u);
    EXPECT_TRUE(page->Apply(1051));
    EXPECT_EQ(Adv(L"OutputDevice"), L"2;2");
}

// Runs the editor modally while another thread plays the user: `act` gets the dialog window.
template <typename Act> bool EditBlacklist(CSettings& s, IRunningClients& clients, Act act) {
    std::thread user([&act] {
        const auto dialog = Eventually<HWND>([]() -> std::optional<HWND> {
            HWND w = FindWindowW(L"#32770", L"Client blacklist");
            return w && IsWindowVisible(w) ? std::optional(w) : std::nullopt;
        });
        if (dialog) {
            act(*dialog);
        }
    });
    const bool changed = CBlacklistEditor::Edit(s.clientBlacklist, nullptr, clients);
    user.join();
    return changed;
}

TEST_F(OptionsPageTest, BlacklistEditorNormalisesWhatIsTypedAndReportsChanges) {
    Put(L"Advanced", L"ClientBlacklist", L"b.exe;a.exe");
    owned = Open();
    config::settings = owned.get();
    std::wstring shown;
    const bool typed = EditBlacklist(*owned, host, [&shown](HWND dialog) {
        shown = WindowText(GetDlgItem(dialog, IDC_BE_LIST));
        SetDlgItemTextW(dialog, IDC_BE_LIST, L"Foo\r\n  bar.EXE \r\nfoo\r\n");
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(shown, L"a.exe\r\nb.exe\r\n");
    EXPECT_TRUE(typed);
    EXPECT_EQ(Adv(L"ClientBlacklist"), L"bar.exe;foo.exe");

    const auto pressOk = [](HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDOK, 0); };
    EXPECT_FALSE(EditBlacklist(*owned, host, pressOk)) << "already in stored form";

    owned->clientBlacklist.Set(L"NOTEPAD.EXE");
    EXPECT_TRUE(EditBlacklist(*owned, host, pressOk));
    EXPECT_EQ(Adv(L"ClientBlacklist"), L"notepad.exe");

    EXPECT_FALSE(EditBlacklist(*owned, host, [](HWND dialog) {
        SetDlgItemTextW(dialog, IDC_BE_LIST, L"other");
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    }));
    EXPECT_TRUE(EditBlacklist(*owned, host, [](HWND dialog) {
        SetDlgItemTextW(dialog, IDC_BE_LIST, L" \r\n");
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }));
    EXPECT_EQ(Adv(L"ClientBlacklist"), L"<none>");
}

TEST_F(OptionsPageTest, RunningClientsArePickedFromAPopUp) {
    owned = Open();
    config::settings = owned.get();
    // No client: one disabled item.
    std::wstring only;
    UINT state = 0;
    int count = 0;
    EditBlacklist(*owned, host, [&](HWND dialog) {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_BE_RUNNING, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_BE_RUNNING)));
        HWND shown = test_pump::WaitForMenu();
        HMENU menu = reinterpret_cast<HMENU>(SendMessageW(shown, 0x01E1 /* MN_GETHMENU */, 0, 0));
        count = GetMenuItemCount(menu);
        state = GetMenuState(menu, 0, MF_BYPOSITION);
        wchar_t text[128] = {};
        GetMenuStringW(menu, 0, text, 128, MF_BYPOSITION);
        only = text;
        PostMessageW(shown, WM_KEYDOWN, VK_ESCAPE, 0);
        Eventually([] {
            return !FindWindowW(L"#32768", nullptr) ||
                   !IsWindowVisible(FindWindowW(L"#32768", nullptr));
        });
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(count, 1);
    EXPECT_TRUE(state & MF_GRAYED);
    // Nothing in this test's prefix loads the driver, and the walk itself works.
    CSystemOptionsHost system({});
    const auto real = system.RunningClients();
    ASSERT_TRUE(real.has_value());
    EXPECT_TRUE(real->empty());
    EXPECT_EQ(only, L"No running program is using the Harmolith driver");

    // Two clients (one listed twice): the second is picked and joins the list in order.
    host.clients = std::vector<std::wstring>{L"Zed.exe", L"Player.exe", L"Zed.exe"};
    std::wstring after;
    const bool changed = EditBlacklist(*owned, host, [&](HWND dialog) {
        SetDlgItemTextW(dialog, IDC_BE_LIST, L"mine");
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_BE_RUNNING, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_BE_RUNNING)));
        HWND shown = test_pump::WaitForMenu();
        HMENU menu = reinterpret_cast<HMENU>(SendMessageW(shown, 0x01E1, 0, 0));
        count = GetMenuItemCount(menu);
        for (WPARAM key : {VK_DOWN, VK_DOWN, VK_RETURN}) {
            PostMessageW(shown, WM_KEYDOWN, key, 0);
            Sleep(60);
        }
        Eventually([&] { return WindowText(GetDlgItem(dialog, IDC_BE_LIST)) != L"mine"; });
        after = WindowText(GetDlgItem(dialog, IDC_BE_LIST));
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(count, 2);
    EXPECT_EQ(after, L"mine.exe\r\nzed.exe");
    EXPECT_TRUE(changed);
    EXPECT_EQ(Adv(L"ClientBlacklist"), L"mine.exe;zed.exe");
}

} // namespace

namespace {

// Not a check: poses the page, the device menu and the blacklist editor in English and German for
// scripts/posed-shots.sh options. For each pose it writes "<name>.pose" (the screen rectangle to
// keep) into HML_SHOTS_DIR and waits for "<name>.done".
TEST_F(OptionsPageTest, DISABLED_PosesForScreenshots) {
    const char* shots = std::getenv("HML_SHOTS_DIR");
    if (!shots) {
        GTEST_SKIP() << "only for scripts/posed-shots.sh options";
    }
    const std::filesystem::path dir = test::FromHost(shots);
    const auto pose = [&dir](const std::string& name, RECT area, bool pump) {
        if (pump) {
            test_pump::Pump(800);
        } else {
            Sleep(800);
        }
        std::ofstream(dir / (name + ".pose"))
            << area.left << ' ' << area.top << ' ' << area.right - area.left << ' '
            << area.bottom - area.top << '\n';
        const auto done = dir / (name + ".done");
        const ULONGLONG end = GetTickCount64() + 60000;
        while (!std::filesystem::exists(done) && GetTickCount64() < end) {
            if (pump) {
                test_pump::Pump(50);
            } else {
                Sleep(50);
            }
        }
    };
    host.devices = {{L"Realtek HD Audio", true}, {L"USB Headset", true}};
    host.clients = std::vector<std::wstring>{L"Player.exe", L"Sequencer.exe"};
    for (const std::uint32_t id : {1033u, 1031u}) {
        const std::string tag = id == 1033 ? "en" : "de";
        config::CLanguage chosen(test::Source("."), id);
        chosen.LoadSection(L"common");
        chosen.LoadSection(L"synth");
        config::language = &chosen;
        Put(L"Advanced", L"LangID", std::to_wstring(id));
        Put(L"Advanced", L"DevicesCount", L"2");
        Put(L"Advanced", L"OutputDevice", L"1;3");
        Put(L"Advanced", L"ClientBlacklist", L"game.exe;oldplayer.exe");
        page.reset();
        OpenPage(560, 400);
        RECT outer{};
        RECT inner{};
        GetWindowRect(frame->window, &outer);
        GetClientRect(frame->window, &inner);
        SetWindowPos(frame->window, nullptr, 0, 0, outer.right - outer.left,
                     page->ContentHeight() + (outer.bottom - outer.top) - inner.bottom,
                     SWP_NOMOVE | SWP_NOZORDER);
        const auto clientArea = [](HWND w) {
            RECT r{};
            GetClientRect(w, &r);
            MapWindowPoints(w, nullptr, reinterpret_cast<POINT*>(&r), 2);
            return r;
        };
        const RECT area = clientArea(frame->window);
        pose("cfg2-options-" + tag, area, true);

        // The device menu with the first port's submenu open.
        std::thread user([&] {
            HWND shown = test_pump::WaitForMenu();
            for (WPARAM key : {VK_DOWN, VK_DOWN, VK_RIGHT}) {
                PostMessageW(shown, WM_KEYDOWN, key, 0);
                Sleep(100);
            }
            RECT menuArea{};
            GetWindowRect(GetDlgItem(page->GetHwnd(), IDC_OPT_OUTPUT_DEVICE), &menuArea);
            menuArea.left -= 20;
            menuArea.right += 120;
            menuArea.bottom += 140;
            pose("cfg2-devicemenu-" + tag, menuArea, false);
            PostMessageW(shown, WM_KEYDOWN, VK_ESCAPE, 0);
            Sleep(100);
            PostMessageW(shown, WM_KEYDOWN, VK_ESCAPE, 0);
        });
        SetCursorPos(0, 0); // keyboard-style placement: under the button
        SendMessageW(page->GetHwnd(), WM_COMMAND, MAKEWPARAM(IDC_OPT_OUTPUT_DEVICE, BN_CLICKED),
                     reinterpret_cast<LPARAM>(Item(IDC_OPT_OUTPUT_DEVICE)));
        user.join();

        // The blacklist editor with its pop-up of running clients.
        const std::wstring title = config::Translate(L"be.title");
        std::thread editor([&] {
            const auto dialog = Eventually<HWND>([&]() -> std::optional<HWND> {
                HWND w = FindWindowW(L"#32770", title.c_str());
                return w && IsWindowVisible(w) ? std::optional(w) : std::nullopt;
            });
            if (!dialog) {
                return;
            }
            const RECT dialogArea = clientArea(*dialog);
            pose("cfg2-blacklist-" + tag, dialogArea, false);
            PostMessageW(*dialog, WM_COMMAND, MAKEWPARAM(IDC_BE_RUNNING, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(*dialog, IDC_BE_RUNNING)));
            HWND shown = test_pump::WaitForMenu();
            pose("cfg2-blacklist-clients-" + tag, dialogArea, false);
            PostMessageW(shown, WM_KEYDOWN, VK_ESCAPE, 0);
            Sleep(200);
            PostMessageW(*dialog, WM_COMMAND, IDCANCEL, 0);
        });
        SendMessageW(page->GetHwnd(), WM_COMMAND, MAKEWPARAM(IDC_OPT_BLACKLIST, BN_CLICKED),
                     reinterpret_cast<LPARAM>(Item(IDC_OPT_BLACKLIST)));
        editor.join();
        page.reset();
        config::language = &english;
    }
}

} // namespace
