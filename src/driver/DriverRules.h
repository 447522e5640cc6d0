#pragma once
// What the driver decides from the configuration: which programs it serves and which ports it
// offers them.

#include <cstdint>
#include <string>

namespace hml::driver {

// The most ports the synth runs.
constexpr std::uint32_t kMaxPorts = 4;

// Whether the program at exePath is in the stored ClientBlacklist ("a.exe;b.exe"). Entries are
// read with the blacklist editor's rules, so a list edited by hand ("Foo; BAR.EXE") means what
// the editor would have made of it.
bool IsBlacklisted(const std::wstring& stored, const std::wstring& exePath);

// The ports offered for the configured DevicesCount, clamped as the synth clamps it.
std::uint32_t PortCount(std::uint32_t devicesCount);

// The name programs show for a port: "Harmolith #1" for port 0.
std::wstring PortName(std::uint32_t port);

} // namespace hml::driver
