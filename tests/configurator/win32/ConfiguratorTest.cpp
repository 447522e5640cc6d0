// The configurator in this process with a stand-in for the running program: the frame's tabs,
// keys and Apply button, and the SoundFonts page and editor driven through their window messages,
// checked in the configuration file.

#include "configurator/win32/Configurator.h"
#include "MessagePump.h"
#include "config/Language.h"
#include "config/Settings.h"
#include "configurator/FrameIds.h"
#include "configurator/win32/PageHost.h"
#include "configurator/win32/SoundFontEditor.h"
#include "configurator/win32/TabSoundFonts.h"
#include "support/CSf2Writer.h"
#include "support/ConfigFixture.h"
#include "ui/MessageBox.h"

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

using namespace hml::configurator;

namespace {

class CStandInHost final : public IConfiguratorHost {
public:
    bool RestartProcess() override {
        ++restarts;
        return false;
    }
    void RestartAudio() override { ++audioRestarts; }
    void RegisterHotkeys() override {}
    void ApplyMeters() override {}
    void CheckSoundFonts() override {}
    void ReplaceSoundFonts(const std::vector<SoundFontEntry>& list) override {
        ++replaced;
        settings->soundFonts = list;
        settings->WriteSoundFonts();
    }
    std::uint32_t RunningPortCount() override { return 1; }
    void ReloadLanguage() override { ++languageLoads; }
    void OpenWebPage(const std::wstring&) override {}
    IOptionsPageHost& OptionsPageHost() override { return options; }
    IPageHost& PageHost() override { return pages; }

    // No devices and no clients: the Options page shows only the default device.
    class CNoDevices final : public IOptionsPageHost {
    public:
        std::vector<SAudioDevice> OutputDevices() override { return {}; }
        std::optional<std::vector<std::wstring>> RunningClients() override { return {}; }
        void CreateMissingPorts() override {}
    } options;

    // No MIDI outputs, no server and no update checker.
    class CNoProgram final : public IPageHost {
    public:
        std::vector<std::wstring> MidiOutputNames() override { return {}; }
        bool DefaultDeviceChoosable() override { return true; }
        std::wstring ServerStatusText() override { return {}; }
        hml::update::CUpdateChecker* UpdateChecker() override { return nullptr; }
        void Open(const std::wstring&) override {}
    } pages;

    int restarts = 0, audioRestarts = 0, replaced = 0, languageLoads = 0;
};

// Answers the next modal dialog with this caption from inside its own message loop.
class CDialogDriver {
public:
    CDialogDriver(std::wstring caption_, std::function<void(HWND)> act_)
        : caption(std::move(caption_)), act(std::move(act_)) {
        current = this;
        hook = SetWindowsHookExW(WH_CBT, &CDialogDriver::Hook, nullptr, GetCurrentThreadId());
    }
    ~CDialogDriver() {
        UnhookWindowsHookEx(hook);
        current = nullptr;
    }
    CDialogDriver(const CDialogDriver&) = delete;
    CDialogDriver& operator=(const CDialogDriver&) = delete;
    bool seen = false;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_ACTIVATE && current && !current->seen) {
            HWND window = reinterpret_cast<HWND>(wParam);
            wchar_t text[256] = {};
            GetWindowTextW(window, text, 256);
            if (current->caption == text) {
                current->seen = true;
                current->act(window);
            }
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static inline CDialogDriver* current = nullptr;
    std::wstring caption;
    std::function<void(HWND)> act;
    HHOOK hook = nullptr;
};

class ConfiguratorTest : public ConfigFixture {
protected:
    ConfiguratorTest() : english(hml::test::Source("."), CLanguage::kEnglish) {
        english.LoadSection(L"common");
        english.LoadSection(L"synth");
        language = &english;
        fontA = folder.File(L"a.sf2");
        fontB = folder.File(L"b.sf2");
        hml::test::CSf2Writer::SinePresets({{0, 0, 0}}).Write(fontA);
        hml::test::CSf2Writer::SinePresets({{0, 0, 12}}).Write(fontB);
    }
    ~ConfiguratorTest() override {
        CloseConfiguratorWindow();
        test_pump::Pump();
        settings = nullptr;
        language = nullptr;
    }

    void OpenWith(const std::string& config, int page = -1) {
        std::ofstream(std::filesystem::path(configFile)) << config;
        owned = Open();
        settings = owned.get();
        OpenConfiguratorWindow(host, page);
        ASSERT_NE(configurator, nullptr);
        test_pump::Pump();
    }

    HWND Frame() const { return configurator->GetHwnd(); }
    bool ApplyEnabled() const { return IsWindowEnabled(GetDlgItem(Frame(), IDC_CFG_APPLY)); }
    void Press(int id) {
        SendMessageW(Frame(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(Frame(), id)));
        test_pump::Pump();
    }
    CConfiguratorTabSoundFonts& Fonts() const {
        return *static_cast<CConfiguratorTabSoundFonts*>(configurator->Page(0));
    }
    HWND List() const { return Fonts().List().GetHwnd(); }
    void Key(HWND target, WPARAM key, bool ctrl = false, bool shift = false) {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_CONTROL] = ctrl ? 0x80 : 0;
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(keys);
        PostMessageW(target, WM_KEYDOWN, key, 1);
        test_pump::Pump();
        keys[VK_CONTROL] = keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
    }
    // A click on the port box of a row, the way the mouse sends it.
    void ClickBox(int row, int port, bool ctrl = false) {
        const int x = port * CSoundFontListBox::kBoxSide + 5;
        const int y = row * CSoundFontListBox::kItemHeight + 10;
        SendMessageW(List(), WM_LBUTTONDOWN, ctrl ? MK_LBUTTON | MK_CONTROL : MK_LBUTTON,
                     MAKELPARAM(x, y));
        SendMessageW(List(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    }
    // Files dropped on the list, as the shell hands them over.
    void Drop(const std::vector<std::wstring>& paths) {
        std::wstring names;
        for (const std::wstring& p : paths) {
            names += p + L'\0';
        }
        names += L'\0';
        HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
        auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), names.data(),
               names.size() * sizeof(wchar_t));
        GlobalUnlock(memory);
        SendMessageW(List(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    }

    CLanguage english;
    std::unique_ptr<CSettings> owned;
    CStandInHost host;
    std::wstring fontA, fontB;
};

TEST_F(ConfiguratorTest, OpensWithApplyDisabledOnTheSavedTabAndKeepsItWhenClosed) {
    OpenWith("[Windows]\nConfigurator.ActiveTab=2\n");
    EXPECT_EQ(configurator->PageCount(), 6u);
    EXPECT_EQ(configurator->ActiveTab(), 2);
    EXPECT_FALSE(ApplyEnabled());
    EXPECT_TRUE(IsWindowVisible(configurator->Page(2)->GetHwnd()));
    EXPECT_FALSE(IsWindowVisible(configurator->Page(0)->GetHwnd()));
    configurator->ShowTab(4);
    Press(IDCANCEL);
    EXPECT_EQ(configurator, nullptr) << "Cancel closes";
    EXPECT_EQ(Stored(L"Windows", L"Configurator.ActiveTab"), L"4");
    EXPECT_NE(Stored(L"Windows", L"Configurator"), L"<none>") << "its placement is kept";
}

TEST_F(ConfiguratorTest, ASavedTabOutOfRangeIsIgnored) {
    for (const char* stored : {"9", "-1", "6"}) {
        OpenWith(std::string("[Windows]\nConfigurator.ActiveTab=") + stored + "\n");
        EXPECT_EQ(configurator->ActiveTab(), 0) << stored;
        CloseConfiguratorWindow();
        test_pump::Pump();
    }
}

TEST_F(ConfiguratorTest, CtrlTabCyclesThePagesFromAnyControl) {
    OpenWith("");
    Key(List(), VK_TAB, true, true);
    EXPECT_EQ(configurator->ActiveTab(), 5) << "Ctrl+Shift+Tab on the first page: About";
    EXPECT_TRUE(IsWindowVisible(configurator->Page(5)->GetHwnd()));
    Key(Frame(), VK_TAB, true);
    EXPECT_EQ(configurator->ActiveTab(), 0) << "after the last, the first";
    Key(List(), VK_TAB, true);
    EXPECT_EQ(configurator->ActiveTab(), 1);
}

TEST_F(ConfiguratorTest, PortBoxesAndDigitsEditTheEntryAndApplyWritesIt) {
    OpenWith("[Advanced]\nDevicesCount=4\n[SoundFonts]\nsf1=" + folder.path.string() +
             "\\a.sf2\nsf1.enabled=5\n");
    ClickBox(0, 0, true);
    EXPECT_EQ(Fonts().Entries()[0].enabled, 0u) << "Ctrl on an enabled box: off for all ports";
    EXPECT_TRUE(ApplyEnabled());
    ClickBox(0, 2, true);
    EXPECT_EQ(Fonts().Entries()[0].enabled, 15u) << "again: on for all";
    ClickBox(0, 1);
    EXPECT_EQ(Fonts().Entries()[0].enabled, 13u);
    Key(List(), '2');
    EXPECT_EQ(Fonts().Entries()[0].enabled, 15u) << "digit 2 toggles the second port";
    Key(List(), VK_NUMPAD4);
    Key(List(), '5'); // no fifth port
    EXPECT_EQ(Fonts().Entries()[0].enabled, 7u);

    Press(IDC_CFG_APPLY);
    EXPECT_FALSE(ApplyEnabled()) << "disabled again after a successful apply";
    EXPECT_EQ(host.replaced, 1);
    EXPECT_EQ(Stored(L"SoundFonts", L"sf1.enabled"), L"7");
    EXPECT_NE(configurator, nullptr) << "Apply keeps the window open";
}

TEST_F(ConfiguratorTest, OnePortShowsOneBoxAndOnlyItsDigitToggles) {
    OpenWith("[SoundFonts]\nsf1=" + folder.path.string() + "\\a.sf2\nsf1.enabled=1\n");
    Key(List(), '2');
    ClickBox(0, 1);
    EXPECT_EQ(Fonts().Entries()[0].enabled, 1u);
    Key(List(), '1');
    EXPECT_EQ(Fonts().Entries()[0].enabled, 0u);
}

TEST_F(ConfiguratorTest, ADuplicateRefusesTheApplyWithTheEntrySelected) {
    OpenWith("[Advanced]\nDevicesCount=2\n");
    Fonts().AddSoundFont(fontB);
    Fonts().AddSoundFont(fontA);
    Fonts().AddSoundFont(fontB);
    SendMessageW(List(), LB_SETCURSEL, 0, 0);
    {
        // The frame is a dialog too: a catcher of every dialog would answer it once the box went.
        std::wstring text;
        CDialogDriver box(hml::ui::kAppCaption, [&text](HWND window) {
            EnumChildWindows(
                window,
                [](HWND child, LPARAM param) -> BOOL {
                    wchar_t part[1024] = {};
                    GetWindowTextW(child, part, 1024);
                    auto* all = reinterpret_cast<std::wstring*>(param);
                    *all += part;
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&text));
            PostMessageW(window, WM_COMMAND, IDOK, 0);
        });
        Press(IDC_CFG_APPLY);
        ASSERT_TRUE(box.seen);
        EXPECT_NE(text.find(fontB), std::wstring::npos) << text;
    }
    EXPECT_EQ(SendMessageW(List(), LB_GETCURSEL, 0, 0), 2) << "the later of the pair";
    EXPECT_EQ(Stored(L"SoundFonts", L"sf1"), L"<none>") << "nothing is written";
    EXPECT_TRUE(ApplyEnabled());
    EXPECT_EQ(host.replaced, 0);

    // Off for both ports, the second copy no longer counts.
    ClickBox(2, 0);
    ClickBox(2, 1);
    Press(IDOK);
    EXPECT_EQ(configurator, nullptr) << "OK closes after a successful apply";
    EXPECT_EQ(Stored(L"SoundFonts", L"sf3"), fontB);
    EXPECT_EQ(Stored(L"SoundFonts", L"sf1.enabled"), L"3");
    EXPECT_EQ(Stored(L"SoundFonts", L"sf3.enabled"), L"<none>");
}

TEST_F(ConfiguratorTest, AFourPortListImportsIntoTwoPortsAndExportsWhole) {
    const std::wstring list = folder.File(L"four.hmlsf");
    Put(L"SoundFonts", L"sf1", fontA, list);
    Put(L"SoundFonts", L"sf1.enabled", L"15", list);
    Put(L"SoundFonts", L"sf2", L"*" + fontB, list);
    Put(L"SoundFonts", L"sf3", fontB, list);
    Put(L"SoundFonts", L"sf3.enabled", L"12", list);
    Put(L"SoundFonts", L"sf3.preset", L"4", list);
    OpenWith("[Advanced]\nDevicesCount=2\n[SoundFonts]\nsf1=C:\\old.sf2\nsf1.enabled=1\n");

    ASSERT_TRUE(Fonts().ImportList(list));
    ASSERT_EQ(Fonts().Entries().size(), 3u) << "the disabled '*' entry comes along";
    EXPECT_EQ(Fonts().Entries()[0].enabled, 3u) << "only the bits of ports 1 and 2";
    EXPECT_EQ(Fonts().Entries()[1].enabled, 0u);
    EXPECT_EQ(Fonts().Entries()[2].enabled, 0u);
    EXPECT_FALSE(Fonts().ImportList(folder.File(L"missing.hmlsf")));
    EXPECT_EQ(Fonts().Entries().size(), 3u) << "a failed import changes nothing";
    Press(IDC_CFG_APPLY);
    EXPECT_EQ(Stored(L"SoundFonts", L"sf1"), fontA);
    EXPECT_EQ(Stored(L"SoundFonts", L"sf1.enabled"), L"3");
    EXPECT_EQ(Stored(L"SoundFonts", L"sf3.preset"), L"4");

    const std::wstring out = folder.File(L"out.hmlsf");
    std::ofstream(std::filesystem::path(out)) << "[SoundFonts]\nsf9=stale\n";
    ASSERT_TRUE(Fonts().ExportList(out));
    EXPECT_EQ(Stored(L"SoundFonts", L"sf9", out), L"<none>") << "the section is replaced";
    EXPECT_EQ(Stored(L"SoundFonts", L"sf3", out), fontB);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(out + L".tmp")));
    EXPECT_FALSE(ApplyEnabled()) << "exporting changes nothing to apply";
}

TEST_F(ConfiguratorTest, DroppedFilesAreAddedWhateverTheyAre) {
    OpenWith("[Advanced]\nDevicesCount=3\n");
    const std::wstring notes = folder.File(L"notes.txt");
    std::ofstream(std::filesystem::path(notes)) << "text";
    Drop({fontA, notes});
    ASSERT_EQ(Fonts().Entries().size(), 2u);
    EXPECT_EQ(Fonts().Entries()[1].filename, notes);
    EXPECT_EQ(Fonts().Entries()[1].enabled, 7u);
    EXPECT_EQ(SendMessageW(List(), LB_GETCURSEL, 0, 0), 1) << "the last added is selected";
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(Fonts().GetHwnd(), IDC_SF_REMOVE)));

    SendMessageW(Fonts().GetHwnd(), WM_COMMAND, IDC_SF_UP, 0);
    EXPECT_EQ(Fonts().Entries()[0].filename, notes);
    SendMessageW(Fonts().GetHwnd(), WM_COMMAND, IDC_SF_REMOVE, 0);
    SendMessageW(Fonts().GetHwnd(), WM_COMMAND, IDC_SF_REMOVE, 0);
    EXPECT_TRUE(Fonts().Entries().empty());
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(Fonts().GetHwnd(), IDC_SF_REMOVE)));
}

TEST_F(ConfiguratorTest, ALanguageChangeAppliedReopensOnTheSamePage) {
    OpenWith("");
    configurator->ShowTab(3);
    HWND before = Frame();
    settings->langID.Set(1031);
    configurator->SetModified(true);
    Press(IDC_CFG_APPLY);
    test_pump::Pump(200);
    EXPECT_EQ(host.languageLoads, 1);
    ASSERT_NE(configurator, nullptr);
    EXPECT_NE(Frame(), before) << "a new window";
    EXPECT_FALSE(IsWindow(before));
    EXPECT_EQ(configurator->ActiveTab(), 3);
    EXPECT_FALSE(settings->languageChanged);

    // OK instead closes without reopening.
    settings->langID.Set(1033);
    Press(IDOK);
    test_pump::Pump(200);
    EXPECT_EQ(host.languageLoads, 2);
    EXPECT_EQ(configurator, nullptr);
}

TEST_F(ConfiguratorTest, APortCountChangeOffersTheRestartAndAudioChangesRestartTheOutput) {
    OpenWith("");
    settings->devicesCount.Set(3);
    settings->outputSampleRate.Set(44100);
    Press(IDC_CFG_APPLY);
    EXPECT_EQ(host.restarts, 1);
    EXPECT_EQ(host.audioRestarts, 1) << "a declined restart goes on with the other changes";
    EXPECT_FALSE(settings->portCountChanged);
    Press(IDC_CFG_APPLY);
    EXPECT_EQ(host.restarts, 1);
    EXPECT_EQ(host.audioRestarts, 1) << "flags are cleared after acting on them";
}

TEST_F(ConfiguratorTest, TheEditorClampsOnOkAndReportsOnlyRealChanges) {
    OpenWith("");
    SoundFontEntry entry;
    entry.filename = fontA;
    entry.enabled = 1;
    entry.preset = 4;
    const std::wstring title = english.Translate(L"cfg.sf.editorTitle");
    {
        CDialogDriver driver(title, [](HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDOK, 0); });
        EXPECT_FALSE(EditSoundFont(entry, Frame())) << "OK without a change";
        EXPECT_TRUE(driver.seen);
    }
    {
        CDialogDriver driver(title, [](HWND dialog) {
            wchar_t details[4096] = {};
            GetDlgItemTextW(dialog, IDC_SFE_DETAILS, details, 4096);
            EXPECT_NE(std::wstring(details).find(L"0:0 = "), std::wstring::npos);
            SetDlgItemTextW(dialog, IDC_SFE_VOLUME, L"600");
            PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        });
        EXPECT_TRUE(EditSoundFont(entry, Frame()));
        EXPECT_EQ(entry.volume, 500u);
    }
    {
        CDialogDriver driver(title, [](HWND dialog) {
            SendMessageW(dialog, WM_COMMAND, IDC_SFE_RESET, 0);
            PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        });
        EXPECT_TRUE(EditSoundFont(entry, Frame()));
        EXPECT_EQ(entry.preset, -1);
        EXPECT_EQ(entry.bank, 0u);
        EXPECT_EQ(entry.volume, 100u);
        EXPECT_EQ(entry.preload, 1u);
        EXPECT_EQ(entry.xgdrums, 0u);
    }
    {
        entry.bank = static_cast<std::uint32_t>(-5);
        CDialogDriver driver(title, [](HWND dialog) {
            wchar_t bank[16] = {};
            GetDlgItemTextW(dialog, IDC_SFE_BANK, bank, 16);
            EXPECT_STREQ(bank, L"-5") << "an offset with preset -1";
            SetDlgItemTextW(dialog, IDC_SFE_PRESET, L"3");
            GetDlgItemTextW(dialog, IDC_SFE_BANK, bank, 16);
            EXPECT_STREQ(bank, L"0") << "a bank number with a preset";
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        EXPECT_FALSE(EditSoundFont(entry, Frame())) << "Cancel";
        EXPECT_EQ(entry.preset, -1);
    }
}

} // namespace

namespace {

// Poses the window for scripts/posed-shots.sh configurator: English, then German, then the editor.
TEST_F(ConfiguratorTest, DISABLED_PosesForScreenshots) {
    const char* shots = std::getenv("HML_SHOTS_DIR");
    if (!shots) {
        GTEST_SKIP() << "only for scripts/posed-shots.sh configurator";
    }
    const std::filesystem::path dir = hml::test::FromHost(shots);
    const auto pose = [&](const std::string& name) {
        test_pump::Pump(1500);
        std::ofstream(dir / (name + ".pose")) << "";
        while (!std::filesystem::exists(dir / (name + ".done"))) {
            test_pump::Pump(100);
        }
    };
    const auto ShowEditor = [](HWND editor) {
        SetWindowPos(editor, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        SetActiveWindow(editor);
        RedrawWindow(editor, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    };
    const std::string folderText = folder.path.string();
    const std::string config = "[Advanced]\nDevicesCount=3\n[SoundFonts]\nsf1=" + folderText +
                               "\\a.sf2\nsf1.enabled=7\nsf2=" + folderText +
                               "\\b.sf2\nsf2.enabled=5\nsf2.preset=0\nsf2.bank=1\nsf2.volume=80\n"
                               "sf3=C:\\Fonts\\Orchestra Collection.sf2\nsf3.enabled=2\n"
                               "sf3.preload=0\n";
    for (const auto& [name, id] : {std::pair{std::string("cfg1-soundfonts-en"), 1033u},
                                   std::pair{std::string("cfg1-soundfonts-de"), 1031u}}) {
        CLanguage chosen(hml::test::Source("."), id);
        chosen.LoadSection(L"common");
        chosen.LoadSection(L"synth");
        language = &chosen;
        OpenWith(config);
        SendMessageW(List(), LB_SETCURSEL, 1, 0);
        pose(name);
        const std::string suffix = id == 1031 ? "-de" : "-en";
        for (const auto& [page, tab] :
             {std::pair{"midi", 1}, std::pair{"options", 2}, std::pair{"shortcuts", 3},
              std::pair{"updates", 4}, std::pair{"about", 5}}) {
            configurator->ShowTab(tab);
            pose(std::string("cfg-frame-") + page + suffix);
        }
        configurator->ShowTab(0);
        if (id == 1031) {
            CSoundFontEditor editor(Fonts().Entries()[0]);
            ASSERT_TRUE(editor.Create(Frame()));
            ShowEditor(editor.GetHwnd());
            pose("cfg1-editor-de");
            editor.Destroy();
        }
        CloseConfiguratorWindow();
        test_pump::Pump();
        language = &english;
    }
    CSoundFontEditor editor(SoundFontEntry{fontA, 0, 1, 0, -1, 100, 1, 0, 0});
    OpenWith(config);
    ASSERT_TRUE(editor.Create(Frame()));
    ShowEditor(editor.GetHwnd());
    pose("cfg1-editor-en");
    editor.Destroy();
}

} // namespace
