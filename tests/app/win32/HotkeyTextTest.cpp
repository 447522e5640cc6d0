// The display text of hotkey values, as the tray menu and the hotkey balloon show it.

#include "ui/HotkeyText.h"

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

using namespace hml::ui;

namespace {

std::wstring KeyName(LONG scanCode) {
    wchar_t name[64] = {};
    GetKeyNameTextW(scanCode << 16, name, 64);
    return name;
}

TEST(HotkeyTextTest, ModifiersComeFirstInControlAltShiftOrder) {
    const std::wstring control = KeyName(0x1D), alt = KeyName(0x38), shift = KeyName(0x2A);
    ASSERT_FALSE(control.empty());
    EXPECT_EQ(hml::ui::HotkeyDisplayText(1613), control + L" + " + alt + L" + M");
    const std::uint32_t all = ((HOTKEYF_SHIFT | HOTKEYF_ALT | HOTKEYF_CONTROL) << 8) | 'A';
    EXPECT_EQ(hml::ui::HotkeyDisplayText(all), control + L" + " + alt + L" + " + shift + L" + A");
}

TEST(HotkeyTextTest, KeyWithoutScanCodeShowsOnlyItsModifiers) {
    EXPECT_EQ(hml::ui::HotkeyDisplayText(0), L"");
    EXPECT_EQ(hml::ui::HotkeyDisplayText(HOTKEYF_SHIFT << 8), KeyName(0x2A) + L" + ");
}

} // namespace
