#pragma once
// The part of the synth's installation and configuration the driver needs. Read anew at every
// use: the user changes the configuration while programs keep the driver loaded.

#include <cstdint>
#include <string>

namespace hml::driver {

struct SDriverConfig {
    std::wstring installFolder; // empty when the synth is not installed
    std::uint32_t devicesCount = 1;
    std::wstring clientBlacklist;
};

SDriverConfig ReadDriverConfig();

// The full path of this process's executable.
std::wstring ThisProgram();

} // namespace hml::driver
