#pragma once
// What the Options page needs from the running program, so tests can give fixed devices and
// clients: the audio output devices, the programs that have the driver loaded, and the ports.

#include "configurator/OptionsChoices.h"

#include <optional>
#include <string>
#include <vector>

namespace hml::configurator {

class IOutputDeviceSource {
public:
    virtual ~IOutputDeviceSource() = default;
    // Devices 2, 3, ... of the output layer, in order (device 1, the default, is implied).
    virtual std::vector<SAudioDevice> OutputDevices() = 0;
};

class IRunningClients {
public:
    virtual ~IRunningClients() = default;
    // Executable file names of the programs that use the driver now; none when they cannot be
    // listed (then no pop-up is shown).
    virtual std::optional<std::vector<std::wstring>> RunningClients() = 0;
};

class IOptionsPageHost : public IOutputDeviceSource, public IRunningClients {
public:
    // Creates the ports the new "DevicesCount" adds that do not run yet.
    virtual void CreateMissingPorts() = 0;
};

} // namespace hml::configurator
