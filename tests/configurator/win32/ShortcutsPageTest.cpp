// The Shortcuts page in a stand-in frame: keys typed into its hotkey controls, reset, and what
// Apply leaves in the configuration file; the key text its controls paint.

#include "StandInFrame.h"
#include "configurator/PagesIds.h"
#include "configurator/win32/ConfiguratorTabShortcuts.h"
#include "ui/HotkeyText.h"

using namespace page_test;

namespace {

class ShortcutsPageTest : public PageFixture {
protected:
    std::unique_ptr<CConfiguratorTabShortcuts> Make() {
        auto page = std::make_unique<CConfiguratorTabShortcuts>(frame);
        EXPECT_TRUE(page->Create(frame.window));
        ShowWindow(frame.window, SW_SHOW);
        ShowWindow(page->GetHwnd(), SW_SHOW);
        return page;
    }

    // A key pressed and released in the control, with no modifier held.
    static void Press(HWND control, WPARAM key) {
        SetFocus(control);
        SendMessageW(control, WM_KEYDOWN, key, 0);
        SendMessageW(control, WM_KEYUP, key, 0xC0000000);
        Pump();
    }
};

TEST_F(ShortcutsPageTest, ALetterAloneBecomesCtrlAndLetterAndIsStored) {
    auto page = Make();
    EXPECT_EQ(page->MixerKey().Value(), 1613u) << "starts at the stored value";
    Press(page->MixerKey().GetHwnd(), 'K');
    EXPECT_EQ(page->MixerKey().Value(), (HOTKEYF_CONTROL << 8) | 'K');
    EXPECT_TRUE(frame.modified);
    EXPECT_TRUE(page->Apply(1051));
    EXPECT_EQ(Stored(L"Shortcuts", L"ShowMixer"), std::to_wstring((HOTKEYF_CONTROL << 8) | 'K'));
    EXPECT_TRUE(config::settings->hotkeysChanged);
    EXPECT_EQ(Stored(L"Shortcuts", L"MIDIPanic"), L"<none>") << "unchanged stays default";
}

TEST_F(ShortcutsPageTest, ClearingStoresZeroAndResetThenApplyRemovesBothKeys) {
    Put(L"Shortcuts", L"ShowMixer", L"589");
    Put(L"Shortcuts", L"MIDIPanic", L"1104");
    configuration = Reopened();
    config::settings = configuration.get();
    auto page = Make();
    EXPECT_EQ(page->PanicKey().Value(), 1104u);

    page->PanicKey().SetValue(0);
    SendMessageW(page->GetHwnd(), WM_COMMAND, MAKEWPARAM(IDC_KEY_PANIC, EN_CHANGE),
                 reinterpret_cast<LPARAM>(page->PanicKey().GetHwnd()));
    EXPECT_TRUE(page->Apply(1051));
    EXPECT_EQ(Stored(L"Shortcuts", L"MIDIPanic"), L"0");

    SendMessageW(page->GetHwnd(), WM_COMMAND, MAKEWPARAM(IDC_KEY_RESET, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(page->GetHwnd(), IDC_KEY_RESET)));
    EXPECT_EQ(page->MixerKey().Value(), 1613u);
    EXPECT_EQ(page->PanicKey().Value(), 1568u);
    EXPECT_TRUE(frame.modified);
    EXPECT_TRUE(page->Apply(1));
    EXPECT_EQ(Stored(L"Shortcuts", L"ShowMixer"), L"<none>");
    EXPECT_EQ(Stored(L"Shortcuts", L"MIDIPanic"), L"<none>");
}

TEST_F(ShortcutsPageTest, ControlsPaintTheTrayTextAndTheReferenceUsesCourierNew) {
    UseLanguage(1033);
    auto page = Make();
    UpdateWindow(page->PanicKey().GetHwnd());
    Pump(50);
    EXPECT_EQ(page->PanicKey().Text(), ui::HotkeyDisplayText(1568));
    EXPECT_EQ(page->PanicKey().TextLength(), page->PanicKey().Text().size());
    // Ctrl, Alt and Space by their system names, joined as the tray joins them.
    const std::wstring text = page->PanicKey().Text();
    EXPECT_EQ(std::count(text.begin(), text.end(), L'+'), 2) << text;
    EXPECT_EQ(text.rfind(L" + "), text.size() - ui::HotkeyDisplayText(VK_SPACE).size() - 3);

    HWND reference = GetDlgItem(page->GetHwnd(), IDC_KEY_REFERENCE);
    const std::wstring lines = TextOf(reference);
    // Keys padded to 12 columns, then the description.
    auto line = [](const std::wstring& keys) {
        return keys + std::wstring(12 - keys.size(), L' ') + L" => ";
    };
    EXPECT_EQ(lines.find(line(L"\u25C4 / \u25BA") + L"Select the previous or next strip\r\n"), 0u)
        << lines;
    EXPECT_NE(lines.find(L"\n" + line(L"Ctrl+0\u20136") + L"Select channels 10 to 16\r\n"),
              std::wstring::npos);
    EXPECT_NE(lines.find(L"\n" + line(L"1\u20139")), std::wstring::npos);
    EXPECT_NE(lines.find(L"\n" + line(L"\u25B2 / \u25BC")), std::wstring::npos);
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(reference, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    EXPECT_STREQ(font.lfFaceName, L"Courier New");
}

} // namespace
