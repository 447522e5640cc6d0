#pragma once
// The driver's open handles in one client process. Winmm gives back, with every message, the
// value the driver stored at open; ours is a number looked up here, never a pointer, and numbers
// are never reused. A handle closed twice, never opened or made up is therefore refused rather
// than followed. The synth sees one connection per port and process, however many handles the
// process opens on that port: it gets Open with the first and Close with the last.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace hml::driver {

// What winmm told the driver at open: where to report, and the handle the program holds.
struct SClient {
    std::uint32_t port = 0;
    std::uintptr_t callback = 0;
    std::uintptr_t instance = 0;
    std::uint32_t callbackFlags = 0;
    std::uintptr_t device = 0;
};

class COpenTable {
public:
    // The new handle; firstOnPort when the process had no other handle on that port.
    std::uintptr_t Add(const SClient& client, bool& firstOnPort);
    std::optional<SClient> Find(std::uintptr_t handle) const;
    // The removed client, or nothing for a handle that is not open; lastOnPort when it was the
    // process's last handle on its port.
    std::optional<SClient> Remove(std::uintptr_t handle, bool& lastOnPort);
    // The ports this process has open, ascending.
    std::vector<std::uint32_t> OpenPorts() const;

private:
    mutable std::mutex lock;
    std::map<std::uintptr_t, SClient> clients;
    std::map<std::uint32_t, std::uint32_t> handlesOnPort;
    std::uintptr_t nextHandle = 1;
};

} // namespace hml::driver
