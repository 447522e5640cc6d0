#include "driver/OpenTable.h"

namespace hml::driver {

std::uintptr_t COpenTable::Add(const SClient& client, bool& firstOnPort) {
    std::lock_guard<std::mutex> guard(lock);
    const std::uintptr_t handle = nextHandle++;
    clients[handle] = client;
    firstOnPort = ++handlesOnPort[client.port] == 1;
    return handle;
}

std::optional<SClient> COpenTable::Find(std::uintptr_t handle) const {
    std::lock_guard<std::mutex> guard(lock);
    const auto found = clients.find(handle);
    if (found == clients.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<SClient> COpenTable::Remove(std::uintptr_t handle, bool& lastOnPort) {
    std::lock_guard<std::mutex> guard(lock);
    lastOnPort = false;
    const auto found = clients.find(handle);
    if (found == clients.end()) {
        return std::nullopt;
    }
    const SClient client = found->second;
    clients.erase(found);
    if (--handlesOnPort[client.port] == 0) {
        handlesOnPort.erase(client.port);
        lastOnPort = true;
    }
    return client;
}

std::vector<std::uint32_t> COpenTable::OpenPorts() const {
    std::lock_guard<std::mutex> guard(lock);
    std::vector<std::uint32_t> ports;
    for (const auto& [port, count] : handlesOnPort) {
        ports.push_back(port);
    }
    return ports;
}

} // namespace hml::driver
