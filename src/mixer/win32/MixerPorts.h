#pragma once
// How a mixer window reaches the mixers of all ports: to copy a port's state and to apply a
// changed solo ratio everywhere. The synth sets the lookup at start-up; without it there are no
// ports (the converter alone, tests).

#include <cstdint>

namespace hml::mixer {

class IMixerOwner;

using PortOwnerLookup = IMixerOwner* (*)(std::uint32_t port);

void SetPortOwnerLookup(PortOwnerLookup lookup);
// The port's mixer owner, or null when there is no such port.
IMixerOwner* PortOwner(std::uint32_t port);
// "DevicesCount", or 1 without settings.
std::uint32_t PortCount();

} // namespace hml::mixer
