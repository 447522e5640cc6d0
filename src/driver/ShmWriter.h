#pragma once
// The writers' end of the shared-memory MIDI channel: one writer for the driver in every client
// process and for our test client. Kernel objects come in through IWriterSync, so the rules
// below hold the same on Windows and in the portable tests:
//   - a record is complete before tail moves onto it (CRingWriter);
//   - writers in all processes take turns through one lock; a lock left behind by a writer that
//     died holding it is taken over, since a record it left half-written never became visible;
//   - no call waits longer than a fixed bound, so the client program calling the driver never
//     hangs on a stuck writer or a synth that stopped reading.

#include "synth/ShmLayout.h"

#include <cstddef>
#include <cstdint>

namespace hml::driver {

// A record the synth does not act on: sent by an idle client only to stay alive for the
// synth's watchdog, which drops a connection that sent nothing for a whole interval.
constexpr std::uint32_t kKeepAlive = 100;

// Longest wait for the writers' lock: a writer holding it longer is hung.
constexpr std::uint32_t kLockWaitMs = 1000;
// Longest wait for room in a full ring: a synth that frees nothing for this long has stopped.
constexpr std::uint32_t kRoomWaitMs = 2000;

enum class ELock { Acquired, Abandoned, TimedOut };

// The kernel objects a writer uses.
class IWriterSync {
public:
    virtual ~IWriterSync() = default;
    // The writers' lock, waiting at most timeoutMs.
    virtual ELock Lock(std::uint32_t timeoutMs) = 0;
    virtual void Unlock() = 0;
    // Sets "Harmolith_DataAvailable".
    virtual void SignalData() = 0;
    // Waits at most ms for "Harmolith_QueueFree".
    virtual void WaitQueueFree(std::uint32_t ms) = 0;
    // A millisecond clock.
    virtual std::uint64_t NowMs() = 0;
};

class CShmWriter {
public:
    CShmWriter(synth::Region& region, IWriterSync& sync);
    ~CShmWriter();
    CShmWriter(const CShmWriter&) = delete;
    CShmWriter& operator=(const CShmWriter&) = delete;

    // Queues one record (its links are ignored). False when the lock or room did not come in
    // time; the record is then dropped.
    bool Send(const synth::MidiRecord& record);
    // A System Exclusive message as records of at most 50 bytes; false when one was dropped (the
    // rest is then not sent).
    bool SendSysEx(std::uint32_t port, std::uint32_t clientId, const std::uint8_t* bytes,
                   std::size_t size);
    // Signals the synth for records not yet signalled and lets other writers in.
    void Flush();

    // Signal (and release the lock) after every record, or only after every n; the driver uses
    // 1, a test client may batch.
    void SetSignalEvery(std::uint32_t n) { signalEvery = n ? n : 1; }

    // How often a record found the ring full and waited.
    std::uint64_t Waits() const { return waits; }
    // How often the lock was taken over from a writer that died holding it.
    std::uint64_t Recovered() const { return recovered; }

private:
    bool WaitForRoom(const synth::MidiRecord& record);

    synth::Region& region;
    IWriterSync& sync;
    bool locked = false;
    std::uint32_t signalEvery = 1;
    std::uint32_t unsignalled = 0;
    std::uint64_t waits = 0;
    std::uint64_t recovered = 0;
};

} // namespace hml::driver
