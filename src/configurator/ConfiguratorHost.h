#pragma once
// What the configurator needs from the running program: the live engine, the tray and the
// process. The program implements it; tests give a stand-in that records the calls.

#include "config/SoundFontEntry.h"
#include "configurator/OptionsHost.h"

#include <cstdint>
#include <string>
#include <vector>

namespace hml::configurator {

class IPageHost;

class IConfiguratorHost {
public:
    virtual ~IConfiguratorHost() = default;

    // Offers to restart the process for a new port count. True when a new instance was started
    // and this one is closing.
    virtual bool RestartProcess() = 0;
    // Every port stopped, the output opened again and the ports started, clients kept.
    virtual void RestartAudio() = 0;
    virtual void RegisterHotkeys() = 0;
    // The meter setting given to the open mixer windows.
    virtual void ApplyMeters() = 0;
    // Shows the tray's warning when a configured port has no SoundFont.
    virtual void CheckSoundFonts() = 0;
    // Unloads the fonts of the running ports, stores `list` as the configured list (written to the
    // configuration), loads it and gives every client its port's fonts.
    virtual void ReplaceSoundFonts(const std::vector<config::SoundFontEntry>& list) = 0;
    // The ports the engine runs, which differs from "DevicesCount" until a restart.
    virtual std::uint32_t RunningPortCount() = 0;
    // Loads the chosen language.
    virtual void ReloadLanguage() = 0;
    // The maker's web pages.
    virtual void OpenWebPage(const std::wstring& address) = 0;

    // What the pages take from the program besides.
    virtual IOptionsPageHost& OptionsPageHost() = 0;
    virtual IPageHost& PageHost() = 0;
};

} // namespace hml::configurator
