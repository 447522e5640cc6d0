#pragma once
// The windows the tray opens besides the mixers: the configurator and the converter. The tray only
// talks to this interface, so each window plugs in by providing its part of CreateAppWindows
// without the tray changing. A port's mixer window belongs to the port (mixer::IMixerOwner).

#include <cstdint>
#include <memory>

namespace hml::app {

// Configurator pages; kCurrentPage leaves the page that is shown.
enum ConfiguratorPage : std::uint32_t {
    kCurrentPage = 0,
    kSoundFontsPage = 1,
    kMidiDevicePage = 2,
    kOptionsPage = 3,
    kShortcutsPage = 4,
    kUpdatesPage = 5,
    kAboutPage = 6,
};

class IAppWindows {
public:
    virtual ~IAppWindows() = default;

    // Creates the configurator when there is none, brings it to the front and shows the page.
    virtual void OpenConfigurator(std::uint32_t page) = 0;
    // Destroys the configurator window if it exists (exit).
    virtual void DestroyConfigurator() = 0;
    // Creates the converter when there is none, restores and brings it to the front.
    virtual void OpenConverter() = 0;
    // At exit, before the engine, the settings and the language go: stops a running conversion
    // and deletes the converter window.
    virtual void CloseConverter() = 0;
};

// The process's windows; called once by start-up.
std::unique_ptr<IAppWindows> CreateAppWindows();

} // namespace hml::app
