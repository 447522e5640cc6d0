#include "configurator/win32/ConfiguratorPages.h"

#include "configurator/FrameIds.h"
#include "configurator/win32/ConfiguratorTabAbout.h"
#include "configurator/win32/ConfiguratorTabMidiDevice.h"
#include "configurator/win32/ConfiguratorTabOptions.h"
#include "configurator/win32/ConfiguratorTabShortcuts.h"
#include "configurator/win32/ConfiguratorTabUpdates.h"
#include "configurator/win32/TabSoundFonts.h"

namespace hml::configurator {

std::vector<ConfiguratorPageSlot> CreateConfiguratorPages(IConfiguratorFrame& frame,
                                                          IConfiguratorHost& host) {
    std::vector<ConfiguratorPageSlot> slots;
    slots.push_back({std::make_unique<CConfiguratorTabSoundFonts>(frame, host), L"cfg.sf.tab"});
    slots.push_back(
        {std::make_unique<CConfiguratorTabMidiDevice>(frame, host.PageHost()), L"cfg.midi.tab"});
    slots.push_back(
        {std::make_unique<CConfiguratorTabOptions>(frame, host.OptionsPageHost()), L"cfg.opt.tab"});
    slots.push_back({std::make_unique<CConfiguratorTabShortcuts>(frame), L"cfg.key.tab"});
    slots.push_back(
        {std::make_unique<CConfiguratorTabUpdates>(frame, host.PageHost()), L"cfg.upd.tab"});
    slots.push_back(
        {std::make_unique<CConfiguratorTabAbout>(frame, host.PageHost()), L"cfg.about.tab"});
    return slots;
}

} // namespace hml::configurator
