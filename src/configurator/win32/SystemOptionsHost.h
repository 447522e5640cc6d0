#pragma once
// The Options page's host in the running program: devices from the output layer, clients from a
// walk of the processes' modules (which also finds programs that loaded the driver without
// opening a port yet), and the engine's ports through the call given.

#include "configurator/OptionsHost.h"
#include "configurator/win32/BlacklistEditor.h"
#include "configurator/win32/OutputDeviceSelector.h"

#include <functional>
#include <utility>

namespace hml::configurator {

class CSystemOptionsHost final : public IOptionsPageHost {
public:
    explicit CSystemOptionsHost(std::function<void()> createMissingPorts_)
        : createMissingPorts(std::move(createMissingPorts_)) {}

    std::vector<SAudioDevice> OutputDevices() override { return SystemOutputDevices(); }
    std::optional<std::vector<std::wstring>> RunningClients() override {
        return ProcessesWithDriverLoaded();
    }
    void CreateMissingPorts() override {
        if (createMissingPorts) {
            createMissingPorts();
        }
    }

private:
    std::function<void()> createMissingPorts;
};

} // namespace hml::configurator
