#include "driver/win32/ShmChannel.h"

#include <atomic>

namespace hml::driver {

bool CShmChannel::Connect() {
    if (region) {
        return true;
    }
    mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, synth::kMappingName);
    if (mapping) {
        region = static_cast<synth::Region*>(
            MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, synth::kRegionSize));
    }
    dataAvailable = OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, synth::kDataAvailableName);
    queueFree = OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, synth::kQueueFreeName);
    writeLock = CreateMutexW(nullptr, FALSE, kWriteLockName);
    // The synth writes the size before it creates the events, so a region with both events has
    // its header.
    if (!region || !dataAvailable || !queueFree || !writeLock ||
        region->header.size != synth::kRegionSize) {
        Disconnect();
        return false;
    }
    return true;
}

void CShmChannel::Disconnect() {
    if (region) {
        UnmapViewOfFile(region);
        region = nullptr;
    }
    for (HANDLE* h : {&mapping, &dataAvailable, &queueFree, &writeLock}) {
        if (*h) {
            CloseHandle(*h);
            *h = nullptr;
        }
    }
}

bool CShmChannel::Listening() const {
    return region &&
           std::atomic_ref<std::uint32_t>(region->header.listening).load(std::memory_order_acquire);
}

ELock CShmChannel::Lock(std::uint32_t timeoutMs) {
    switch (WaitForSingleObject(writeLock, timeoutMs)) {
    case WAIT_OBJECT_0:
        return ELock::Acquired;
    case WAIT_ABANDONED:
        // Its owner died holding it; we own it now.
        return ELock::Abandoned;
    default:
        return ELock::TimedOut;
    }
}

} // namespace hml::driver
