#pragma once
// Both ends of the record ring in the shared region. The server reads, one thread only; writers
// are the client processes (the driver, or our test client), which serialise among themselves.

#include "synth/ShmLayout.h"

namespace hml::synth {

// Writes the header fields of a fresh region and links the ring; head, tail and waitIndex are 0.
void InitializeRegion(Region& region);

// The server's end.
class CRingReader {
public:
    explicit CRingReader(Region& region_) : region(region_) {}

    bool Empty() const;
    // A writer left `tail` outside the ring: nothing it wrote can be trusted.
    bool Broken() const;
    // Forgets every record written and not yet read (tail := head).
    void DropPending();
    const MidiRecord& Front() const;
    // Hands the front record back to the writers once it has been handled completely. Returns
    // true when a waiting writer must be woken ("Harmolith_QueueFree").
    bool Advance();

private:
    Region& region;
};

// A writer's end. The caller signals "Harmolith_DataAvailable" after Push and, when Push finds
// the ring full, waits on "Harmolith_QueueFree" before trying again.
class CRingWriter {
public:
    explicit CRingWriter(Region& region_) : region(region_) {}

    // Copies the record (all but its links) into the ring. False when the ring is full; then
    // waitIndex tells the server whom to wake.
    bool Push(const MidiRecord& record);

private:
    Region& region;
};

// A record carrying one short MIDI message, or one chunk of a System Exclusive message.
MidiRecord MakeRecord(std::uint32_t port, std::uint32_t clientId, std::uint32_t command,
                      std::uint32_t param1 = 0, std::uint32_t param2 = 0,
                      const std::uint8_t* data = nullptr, std::uint32_t length = 0);

} // namespace hml::synth
