// Audio output devices of the Windows build. Device numbers: 0 is "no sound" (sources are
// consumed in real time, nothing is heard), 1 the system's default output (following the
// user's choice of default), 2 and up the devices in the system's order, -1 the default device
// too. Each open device has one mixing thread that keeps a little audio queued ahead of what
// is heard and asks every source for exactly the frames it needs: a source never leaves a gap.
#pragma once

#include "audio/Audio.h"
#include "audio/OutputSource.h"
#include "audio/output/OutputQueue.h"
#include "audio/win32/AudioEndpoint.h"

#include <atomic>
#include <future>
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
    // The most extra queue a late mixing thread may fall back on.
    static constexpr uint32_t kMaxExtraRoomMs = 1000;

    // Opens device `device` at `rate`. Auto tries WASAPI, then waveOut. Errors: Device (no
    // such device), Format, Mem, Driver or 46 (busy).
    static std::unique_ptr<COutputDevice> Open(int device, uint32_t rate, EError& error,
                                               EOutputApi api = EOutputApi::Auto);
    ~COutputDevice();
    COutputDevice(const COutputDevice&) = delete;
    COutputDevice& operator=(const COutputDevice&) = delete;

    // How far the queue may grow when the mixing thread was late ("AdditionalBuffer").
    void SetExtraRoomMs(uint32_t ms);
    uint32_t ExtraRoomMs() const { return extraRoomMs; }

    // Sources play from the next mixing round on; Remove returns once the mixing thread has
    // let go of the source.
    void Add(IOutputSource* source);
    void Remove(IOutputSource* source);

    // Audio queued ahead of what is heard, now; and what the device aims at.
    uint32_t QueuedFrames() const;
    uint32_t TargetFrames() const { return targetFrames.load(std::memory_order_relaxed); }
    uint32_t PeriodFrames() const { return periodFrames; }
    // The most frames one round asks a source for.
    uint32_t MaxRoundFrames() const { return static_cast<uint32_t>(mix.size() / 2); }
    // Rounds that found the queue run dry (the mixing thread came too late).
    uint32_t StarvedRounds() const { return starved.load(std::memory_order_relaxed); }

    int Number() const { return number; }
    uint32_t Rate() const { return rate; }
    EOutputApi Api() const { return api; }

private:
    COutputDevice(int number, uint32_t rate);
    // Mixing thread: opens the endpoint, reports, then plays until stopped.
    void Run(int waveId, EOutputApi wanted, std::promise<EError>* opened);
    void MixAndWrite(uint32_t frames);
    bool LowLatencyWanted();

    int number;
    uint32_t rate;
    EOutputApi api = EOutputApi::Auto;
    uint32_t periodFrames = 0;
    std::mutex endpointLock; // the endpoint's end against a concurrent Wake
    std::unique_ptr<IAudioEndpoint> endpoint;
    std::vector<float> mix;
    std::vector<int16_t> pcm;
    std::mutex sourcesLock; // held by the mixing thread for one round at most
    std::vector<IOutputSource*> sources;
    std::atomic<uint32_t> extraRoomMs{0};
    std::atomic<uint32_t> aheadAfterRound{0};
    std::atomic<long long> roundTime{0}; // steady clock ticks of the last round
    std::atomic<uint32_t> targetFrames{0};
    std::atomic<uint32_t> starved{0};
    std::atomic<bool> stop{false};
    std::thread thread;
};

} // namespace hml::audio
