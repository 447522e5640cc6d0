#pragma once
// What the IPC server needs of the synth's ports: their client tables and the handlers of one
// client's connection. The ports implement it; tests use doubles.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace hml::synth {

// One client process's connection to one port.
class IIpcConnection {
public:
    virtual ~IIpcConnection() = default;

    // Restarts playback and resets the MIDI state ("Reset" record).
    virtual void OnReset() = 0;
    virtual void OnNotesOff() = 0;
    virtual void OnShortMessage(std::uint32_t message, std::uint32_t param2) = 0;
    // One chunk of a System Exclusive message: index from 0, chunk count, at most 50 bytes.
    virtual void OnLongMessage(std::uint32_t chunk, std::uint32_t chunkCount,
                               const std::uint8_t* data, std::uint32_t length) = 0;

    struct Stats {
        std::uint32_t voices = 0;
        std::uint32_t renderingPercent = 0;
        std::uint32_t updateMs = 0;
    };
    virtual std::wstring ModulePath() = 0;
    virtual Stats GetStats() = 0;

    // Records seen since the watchdog's last pass; any record counts as a sign of life.
    std::atomic<std::uint32_t> activity{0};
    // Held while a record is handled and while the connection's stream is replaced or freed.
    // Taken under the table lock, which the listen thread then lets go: a slow record holds
    // back its own connection only. Removal takes it once, under the table lock, so nobody is
    // still inside when the connection goes.
    std::mutex inUse;
};

class IIpcPorts {
public:
    virtual ~IIpcPorts() = default;

    // The number of ports now ("DevicesCount").
    virtual std::uint32_t PortCount() = 0;
    virtual IIpcConnection* FindConnection(std::uint32_t port, std::uint32_t clientId) = 0;
    virtual IIpcConnection* CreateConnection(std::uint32_t port, std::uint32_t clientId) = 0;
    virtual void RemoveConnection(std::uint32_t port, std::uint32_t clientId) = 0;
    // The port's connections by ascending process id.
    virtual std::vector<std::pair<std::uint32_t, IIpcConnection*>>
    Connections(std::uint32_t port) = 0;

    // Serialises record handling, the watchdog and every other walk or change of the client
    // tables and the connections' streams; held only for short work.
    virtual std::recursive_mutex& TableLock() = 0;
};

} // namespace hml::synth
