#pragma once
// The Options page's owner-drawn button that shows each port's audio output device and changes it
// from a pop-up menu, one submenu per port and one for all ports. Choices go straight into the
// settings' outputDevices; the page writes them when it applies.

#include "config/Settings.h"
#include "configurator/OptionsChoices.h"
#include "configurator/OptionsHost.h"
#include "ui/Control.h"

namespace hml::configurator {

class COutputDeviceSelector : public ui::CControl {
public:
    static constexpr int kRowHeight = 16;

    COutputDeviceSelector(IOutputDeviceSource& source, config::CSettings& settings);
    ~COutputDeviceSelector() override;

    // A child button with this id at the given place, as high as `portCount` rows need.
    bool Create(HWND parent, int id, const RECT& place, std::uint32_t portCount, HFONT font);

    // The parent passes on WM_DRAWITEM and the button's click.
    void Draw(const DRAWITEMSTRUCT& item);
    void Click();

    // The pop-up menu for the current devices (rebuilt from the source); the caller destroys it.
    HMENU BuildMenu();
    // Applies a command id of that menu and redraws.
    void Choose(int id);

    const COutputDeviceChoices& Choices() const { return choices; }
    std::uint32_t PortCount() const { return portCount; }

private:
    void RebuildDevices();
    void AddDeviceItems(HMENU menu, int port);

    IOutputDeviceSource& source;
    config::CSettings& settings;
    COutputDeviceChoices choices;
    std::uint32_t portCount = 1;
    HFONT font = nullptr;
};

// The output layer's devices 2, 3, ... (what the running program's device source gives).
std::vector<SAudioDevice> SystemOutputDevices();

} // namespace hml::configurator
