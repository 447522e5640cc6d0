#include "mixer/win32/MixerPorts.h"

#include "config/Settings.h"

namespace hml::mixer {

using namespace hml::config;

namespace {
PortOwnerLookup portOwnerLookup = nullptr;
}

void SetPortOwnerLookup(PortOwnerLookup lookup) {
    portOwnerLookup = lookup;
}

IMixerOwner* PortOwner(std::uint32_t port) {
    return portOwnerLookup ? portOwnerLookup(port) : nullptr;
}

std::uint32_t PortCount() {
    return settings ? settings->devicesCount.Get() : 1;
}

} // namespace hml::mixer
