// The command line of Harmolith.exe: splitting, the mode it selects and the hotkey encoding.

#include "app/CommandLine.h"

#include <gtest/gtest.h>

using namespace hml::app;

using hml::app::SplitCommandLine;

namespace {

using Args = std::vector<std::wstring>;

TEST(CommandLineTest, SplitsAtBlanksAndSkipsRuns) {
    EXPECT_EQ(SplitCommandLine(L""), Args{});
    EXPECT_EQ(SplitCommandLine(L"   \t "), Args{});
    EXPECT_EQ(SplitCommandLine(L"  --converter \t x  "), (Args{L"--converter", L"x"}));
}

TEST(CommandLineTest, QuotedTokensKeepInnerBlanks) {
    EXPECT_EQ(SplitCommandLine(L"\"C:\\Program Files\\Harmolith\" --configurator"),
              (Args{L"C:\\Program Files\\Harmolith", L"--configurator"}));
    EXPECT_EQ(SplitCommandLine(L"a \"b c\""), (Args{L"a", L"b c"}));
}

TEST(CommandLineTest, QuoteEndsOnlyBeforeABlank) {
    // An inner quote not followed by a blank belongs to the text.
    EXPECT_EQ(SplitCommandLine(L"\"a\"b c\" d"), (Args{L"a\"b c", L"d"}));
    // No closing quote before a blank: the last character is taken as the closing quote.
    EXPECT_EQ(SplitCommandLine(L"\"abc def"), (Args{L"abc de"}));
    EXPECT_EQ(SplitCommandLine(L"\""), (Args{L""}));
}

TEST(CommandLineTest, TwoQuotesAloneStayTwoQuotes) {
    EXPECT_EQ(SplitCommandLine(L"\"\""), (Args{L"\"\""}));
    EXPECT_EQ(SplitCommandLine(L"\"\" x"), (Args{L"\"\"", L"x"}));
}

TEST(CommandLineTest, InstallWinsOverUninstallAnywhere) {
    EXPECT_EQ(hml::app::SelectMode({L"--uninstall", L"--install"}), hml::app::Mode::kInstall);
    EXPECT_EQ(hml::app::SelectMode({L"x", L"--uninstall"}), hml::app::Mode::kUninstall);
    EXPECT_EQ(hml::app::SelectMode({L"--INSTALL", L"-install"}), hml::app::Mode::kSynth);
}

TEST(CommandLineTest, WindowRequestFromFirstAndSecondStart) {
    using hml::app::WindowRequest;
    EXPECT_EQ(hml::app::SelectWindow({}, false), WindowRequest::kNone);
    EXPECT_EQ(hml::app::SelectWindow({}, true), WindowRequest::kConfigurator);
    EXPECT_EQ(hml::app::SelectWindow({L"other"}, true), WindowRequest::kNone);
    EXPECT_EQ(hml::app::SelectWindow({L"--converter", L"--configurator"}, false),
              WindowRequest::kConfigurator);
    EXPECT_EQ(hml::app::SelectWindow({L"--converter"}, true), WindowRequest::kConverter);
}

TEST(CommandLineTest, HotkeyValuesBecomeRegistrationArguments) {
    // 1613 = Ctrl+Alt+M, 1568 = Ctrl+Alt+Space (the defaults).
    EXPECT_EQ(hml::app::DecodeHotkey(1613).virtualKey, 0x4Du);
    EXPECT_EQ(hml::app::DecodeHotkey(1613).modifiers, 1u | 2u);
    EXPECT_EQ(hml::app::DecodeHotkey(1568).virtualKey, 0x20u);
    // Shift alone; the extended-key flag is dropped.
    EXPECT_EQ(hml::app::DecodeHotkey(0x0941).modifiers, 4u);
    EXPECT_EQ(hml::app::DecodeHotkey(0x0941).virtualKey, 0x41u);
}

TEST(CommandLineTest, MnemonicsAreRemoved) {
    EXPECT_EQ(hml::app::StripMnemonics(L"MIDI &panic"), L"MIDI panic");
    EXPECT_EQ(hml::app::StripMnemonics(L"&&A&"), L"A");
}

} // namespace
