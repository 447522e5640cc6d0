#pragma once
// A Windows hotkey control that paints its own key text, the one the tray menu and the hotkey
// balloon show, instead of the control's.

#include "ui/Control.h"

#include <cstdint>
#include <string>

namespace hml::configurator {

class CHotKeyEx : public ui::CControl {
public:
    // The value in the hotkey-control encoding (HKM_GETHOTKEY).
    std::uint32_t Value() const;
    void SetValue(std::uint32_t value);
    // The text last painted.
    const std::wstring& Text() const { return text; }
    std::size_t TextLength() const { return text.size(); }

protected:
    LRESULT ControlProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    std::uint32_t painted = 0;
    std::wstring text;
};

} // namespace hml::configurator
