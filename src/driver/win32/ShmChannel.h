#pragma once
// The Windows objects of a writer: the synth's shared region and events, and the mutex that
// all writers on the machine take turns with.

#include "driver/ShmWriter.h"

#include <windows.h>

namespace hml::driver {

// Serialises the writers of every process: the driver in each client program and our test
// client.
constexpr const wchar_t* kWriteLockName = L"Harmolith_WriteLock";

class CShmChannel : public IWriterSync {
public:
    CShmChannel() = default;
    ~CShmChannel() override { Disconnect(); }
    CShmChannel(const CShmChannel&) = delete;
    CShmChannel& operator=(const CShmChannel&) = delete;

    // Opens the synth's region and events. False while no synth has created them, or when the
    // region is not the one this writer knows (another size).
    bool Connect();
    void Disconnect();
    bool Connected() const { return region != nullptr; }
    // The synth reads the ring.
    bool Listening() const;
    synth::Region& Region() { return *region; }

    ELock Lock(std::uint32_t timeoutMs) override;
    void Unlock() override { ReleaseMutex(writeLock); }
    void SignalData() override { SetEvent(dataAvailable); }
    void WaitQueueFree(std::uint32_t ms) override { WaitForSingleObject(queueFree, ms); }
    std::uint64_t NowMs() override { return GetTickCount64(); }

private:
    HANDLE mapping = nullptr;
    synth::Region* region = nullptr;
    HANDLE dataAvailable = nullptr;
    HANDLE queueFree = nullptr;
    HANDLE writeLock = nullptr;
};

} // namespace hml::driver
