// Audio output devices of the Windows build, through the waveOut interface (which Wine routes to
// ALSA). Device numbers: 0 is "no sound" (sources are consumed in real time, nothing is heard),
// 1 the system's default output (following the user's choice of default), 2 and up the devices
// in the system's order, -1 the default device too.
#pragma once

#include "audio/Audio.h"
#include "audio/OutputSource.h"

#include <windows.h>

#include <mmsystem.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hml::audio {

struct SOutputDeviceInfo {
    std::wstring name;
    bool isDefault = false;
};

// Every device by number: index 0 is the "no sound" device.
std::vector<SOutputDeviceInfo> EnumerateOutputDevices();

class COutputDevice {
public:
    // The time one mixing block covers; the device queues blocks to fill its buffer.
    static constexpr uint32_t kBlockMs = 10;

    // Opens device `device` at `rate`. Errors: Device (no such device), Busy-like Driver codes.
    static std::unique_ptr<COutputDevice> Open(int device, uint32_t rate, EError& error);
    ~COutputDevice();
    COutputDevice(const COutputDevice&) = delete;
    COutputDevice& operator=(const COutputDevice&) = delete;

    // The shortest buffer this device plays without gaps, in ms.
    uint32_t MinBufferMs() const { return 2 * kBlockMs; }
    // The playback buffer length; takes effect at once.
    void SetBufferMs(uint32_t ms);
    uint32_t BufferMs() const { return bufferMs; }

    // Sources play from the next block on; Remove returns once the mixing thread has let go.
    void Add(IOutputSource* source);
    void Remove(IOutputSource* source);

    int Number() const { return number; }
    uint32_t Rate() const { return rate; }

private:
    COutputDevice(int number, uint32_t rate);
    bool OpenWave(UINT waveId, EError& error);
    void Run();
    // Mixes one block of every source into `out` (16-bit stereo).
    void MixBlock(int16_t* out);

    int number;
    uint32_t rate;
    std::atomic<uint32_t> bufferMs{250};
    HWAVEOUT wave = nullptr;
    HANDLE blockDone = nullptr;
    std::vector<WAVEHDR> headers;
    std::vector<std::vector<int16_t>> blocks;
    std::vector<float> mix;
    std::mutex sourcesLock; // held by the mixing thread for one block at most
    std::vector<IOutputSource*> sources;
    std::atomic<bool> stop{false};
    std::thread thread;
};

} // namespace hml::audio
