#include "ui/HotkeyText.h"

#include <windows.h>

#include <commctrl.h>

#include <vector>

namespace hml::ui {

namespace {

// GetKeyNameTextW for a scan code in bits 16-23 of the argument; the buffer grows until the name
// fits.
std::wstring KeyName(LONG argument) {
    for (int size = 64;; size *= 4) {
        std::vector<wchar_t> buffer(size);
        int length = GetKeyNameTextW(argument, buffer.data(), size);
        if (length < size - 1 || size >= 64 * 64) {
            return std::wstring(buffer.data(), length > 0 ? length : 0);
        }
    }
}

} // namespace

std::wstring HotkeyDisplayText(std::uint32_t value) {
    const std::uint32_t modifiers = (value >> 8) & 0xFF;
    std::wstring text;
    const struct {
        std::uint32_t flag;
        LONG scanCode;
    } order[] = {{HOTKEYF_CONTROL, 0x1D}, {HOTKEYF_ALT, 0x38}, {HOTKEYF_SHIFT, 0x2A}};
    for (const auto& modifier : order) {
        if (modifiers & modifier.flag) {
            text += KeyName(modifier.scanCode << 16) + L" + ";
        }
    }
    UINT scanCode = MapVirtualKeyW(value & 0xFF, MAPVK_VK_TO_VSC);
    if (scanCode == 0) {
        return text;
    }
    LONG argument = static_cast<LONG>(scanCode << 16);
    if (modifiers & HOTKEYF_EXT) {
        argument |= 1 << 24;
    }
    return text + KeyName(argument);
}

} // namespace hml::ui
