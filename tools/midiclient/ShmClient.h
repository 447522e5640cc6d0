#pragma once
// A MIDI client of the synth for tests and demonstrations: the driver's writer (CShmWriter over
// CShmChannel) with the records named, so that a test process can act as a client program.

#include "driver/ShmWriter.h"
#include "driver/win32/ShmChannel.h"
#include "synth/ShmLayout.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

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
    // False when the record could not be queued within the writer's bounded waits.
    bool Send(std::uint32_t port, std::uint32_t command, std::uint32_t param1 = 0,
              std::uint32_t param2 = 0, const std::uint8_t* data = nullptr,
              std::uint32_t length = 0);

    // Signal the synth after every record (as the driver does), or only every n records.
    void SetSignalEvery(std::uint32_t n);
    // Wakes the synth for records written but not yet signalled, and lets other writers in.
    void Flush();
    // Takes the writers' lock and keeps it (a writer that hangs, or is killed, while writing).
    bool HoldWriteLock();

    std::uint32_t ClientId() const { return clientId; }
    // How often a write found the ring full and waited.
    std::uint64_t Waits() const { return writer ? writer->Waits() : 0; }

private:
    std::uint32_t clientId;
    std::uint32_t signalEvery = 1;
    hml::driver::CShmChannel channel;
    std::unique_ptr<hml::driver::CShmWriter> writer;
};
