#pragma once
// The command line of Harmolith.exe: its splitting into arguments and what the arguments ask for.
// Portable, so the rules are checked by the native tests too.

#include <cstdint>
#include <string>
#include <vector>

namespace hml::app {

// Splits at blanks. A token opening with a double quote runs to the next quote that is followed by
// a blank (or to the end of the line, whose last character then counts as the closing quote) and
// yields the text between the quotes; the token "" alone yields the two quotes.
std::vector<std::wstring> SplitCommandLine(const std::wstring& line);

// Exact, case-sensitive match anywhere in the list.
bool HasArgument(const std::vector<std::wstring>& args, const wchar_t* argument);

enum class Mode { kSynth, kInstall, kUninstall };

// "--install" wins over "--uninstall".
Mode SelectMode(const std::vector<std::wstring>& args);

enum class WindowRequest { kNone, kConfigurator, kConverter };

// The window a command line opens in the synth process. A command line handed over by a second
// start counts as "--configurator" when it is empty.
WindowRequest SelectWindow(const std::vector<std::wstring>& args, bool emptyMeansConfigurator);

// RegisterHotKey's arguments for a hotkey-control value (virtual key in bits 0-7, HOTKEYF_* in bits
// 8-15); the extended-key flag has no equivalent and is dropped.
struct HotkeyKeys {
    std::uint32_t virtualKey;
    std::uint32_t modifiers; // MOD_ALT 1, MOD_CONTROL 2, MOD_SHIFT 4
};
HotkeyKeys DecodeHotkey(std::uint32_t value);

// Removes every "&" (menu mnemonics) from a menu text.
std::wstring StripMnemonics(std::wstring text);

} // namespace hml::app
