#pragma once
// The text a hotkey value is shown with (tray menu, hotkey balloon, shortcut controls): the
// system's key names, modifiers first, joined by " + ", e.g. "Ctrl + Alt + M".

#include <cstdint>
#include <string>

namespace hml::ui {

// value: the hotkey-control encoding, virtual key in bits 0-7 and HOTKEYF_* flags in bits 8-15.
std::wstring HotkeyDisplayText(std::uint32_t value);

} // namespace hml::ui
