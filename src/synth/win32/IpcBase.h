#pragma once
// Owner of the kernel objects of the shared-memory MIDI channel: the mapping and its view, the
// two named events the driver uses, and the server's private stop event for the watchdog.

#include "synth/ShmLayout.h"

#include <windows.h>

#include <mutex>

namespace hml::synth {

class CIpcBase {
public:
    CIpcBase() = default;
    virtual ~CIpcBase();
    CIpcBase(const CIpcBase&) = delete;
    CIpcBase& operator=(const CIpcBase&) = delete;

    // Maps the region (the mapping must exist), writes its header and creates the events.
    virtual bool Open();
    // Releases one connection, then closes every object that is open. Safe to call again.
    // False when the watchdog thread would not end: then the objects it uses stay.
    virtual bool Close();
    virtual void OnWatchdogTick() {}

    // One connection fewer; at none the watchdog thread is told to end.
    void Release();

    DWORD LastError() const { return lastError; }
    synth::Region* Region() const { return static_cast<synth::Region*>(view); }
    int OpenCount();
    bool WatchdogRunning();

protected:
    static DWORD WINAPI WatchdogThread(LPVOID self);
    // One connection more; starts the watchdog thread unless it runs.
    void AddConnection();
    // Ends the watchdog thread whatever the connections; false when it did not end in time.
    bool StopWatchdog();

    DWORD lastError = 0;
    HANDLE mapping = nullptr;
    void* view = nullptr;
    HANDLE watchdogThread = nullptr;
    HANDLE dataAvailable = nullptr;
    HANDLE queueFree = nullptr;
    int openCount = 0;
    HANDLE stopEvent = nullptr;
    DWORD watchdogIntervalMs = 8000;

private:
    // Serialises the connection count with starting and ending the watchdog thread.
    std::mutex watchdogLock;
    bool closing = false;
};

} // namespace hml::synth
