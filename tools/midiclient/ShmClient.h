#pragma once
// The writer's side of the shared-memory MIDI channel, as a client process's driver uses it:
// fills the record at tail, moves tail, signals the synth, and waits for room when the ring is
// full.

#include "synth/ShmLayout.h"

#include <windows.h>

#include <cstdint>
#include <vector>

using namespace hml::synth;

class CShmClient {
public:
    CShmClient();
    ~CShmClient();
    CShmClient(const CShmClient&) = delete;
    CShmClient& operator=(const CShmClient&) = delete;

    // Opens the synth's region and events; false while no synth process runs.
    bool Connect();

    void Open(std::uint32_t port) { Send(port, hml::synth::kOpen); }
    void Close(std::uint32_t port) { Send(port, hml::synth::kClose); }
    void Reset(std::uint32_t port) { Send(port, hml::synth::kReset); }
    void NotesOff(std::uint32_t port) { Send(port, hml::synth::kNotesOff); }
    // A packed short message: status in bits 0-7, data bytes in bits 8-15 and 16-23.
    void ShortMsg(std::uint32_t port, std::uint32_t message);
    // A System Exclusive message, in chunks of 50 bytes.
    void SysEx(std::uint32_t port, const std::vector<std::uint8_t>& bytes);
    void Send(std::uint32_t port, std::uint32_t command, std::uint32_t param1 = 0,
              std::uint32_t param2 = 0, const std::uint8_t* data = nullptr,
              std::uint32_t length = 0);

    // Signal the synth after every record (as the driver does), or only every n records.
    void SetSignalEvery(std::uint32_t n) { signalEvery = n ? n : 1; }
    // Wakes the synth for records written but not yet signalled, and lets other writers in.
    void Flush();

    std::uint32_t ClientId() const { return clientId; }
    // How often a write found the ring full and waited.
    std::uint64_t Waits() const { return waits; }

private:
    std::uint32_t clientId;
    HANDLE mapping = nullptr;
    hml::synth::Region* region = nullptr;
    HANDLE dataAvailable = nullptr;
    HANDLE queueFree = nullptr;
    // Serialises the writers of all test clients; held from the first record of a batch until
    // the batch is signalled, so a batch costs one lock and one signal.
    HANDLE writeLock = nullptr;
    bool locked = false;
    std::uint32_t signalEvery = 1;
    std::uint32_t unsignalled = 0;
    std::uint64_t waits = 0;
};
