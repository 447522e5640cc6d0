#pragma once
// The configurator's pages, made in one place in tab order.

#include "configurator/ConfiguratorHost.h"
#include "configurator/win32/ConfiguratorTabBase.h"

#include <memory>
#include <vector>

namespace hml::configurator {

// SoundFonts, MIDI device, Options, Shortcuts, Updates, About; each with its title key.
struct ConfiguratorPageSlot {
    std::unique_ptr<CConfiguratorTabBase> page;
    const wchar_t* titleKey;
};
std::vector<ConfiguratorPageSlot> CreateConfiguratorPages(IConfiguratorFrame& frame,
                                                          IConfiguratorHost& host);

} // namespace hml::configurator
