#include "audio/win32/COutputDevice.h"

#include <mmsystem.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace hml::audio {

namespace {

// Room for the largest extra queue, the period and the guard.
constexpr uint32_t kCapacityMs = COutputDevice::kMaxExtraRoomMs + 100;

} // namespace

std::vector<SOutputDeviceInfo> EnumerateOutputDevices() {
    std::vector<SOutputDeviceInfo> devices;
    devices.push_back({L"No sound", false});
    devices.push_back({L"Default", true});
    const UINT count = waveOutGetNumDevs();
    for (UINT id = 0; id < count; ++id) {
        WAVEOUTCAPSW caps{};
        if (waveOutGetDevCapsW(id, &caps, sizeof caps) == MMSYSERR_NOERROR) {
            devices.push_back({caps.szPname, false});
        } else {
            devices.push_back({L"Output " + std::to_wstring(id + 1), false});
        }
    }
    return devices;
}

COutputDevice::COutputDevice(int number_, uint32_t rate_) : number(number_), rate(rate_) {}

std::unique_ptr<COutputDevice> COutputDevice::Open(int device, uint32_t rate, EError& error,
                                                   EOutputApi api) {
    error = EError::Ok;
    if (device == -1) {
        device = 1;
    }
    if (rate < 8000 || rate > 384000) {
        error = EError::Format;
        return nullptr;
    }
    const int count = static_cast<int>(waveOutGetNumDevs());
    if (device < 0 || device > count + 1) {
        error = EError::Device;
        return nullptr;
    }
    std::unique_ptr<COutputDevice> out(new COutputDevice(device, rate));
    // -2: no sound, -1: the default device, else a waveOut device id.
    const int waveId = device == 0 ? -2 : device == 1 ? -1 : device - 2;
    std::promise<EError> opened;
    auto result = opened.get_future();
    out->thread =
        std::thread([self = out.get(), waveId, api, &opened] { self->Run(waveId, api, &opened); });
    error = result.get();
    if (error != EError::Ok) {
        out->thread.join();
        return nullptr;
    }
    return out;
}

COutputDevice::~COutputDevice() {
    stop = true;
    {
        std::lock_guard<std::mutex> guard(endpointLock);
        if (endpoint) {
            endpoint->Wake();
        }
    }
    if (thread.joinable()) {
        thread.join();
    }
}

uint32_t COutputDevice::QueuedFrames() const {
    const auto since = std::chrono::steady_clock::now().time_since_epoch().count() -
                       roundTime.load(std::memory_order_relaxed);
    const auto sinceUs = std::chrono::duration_cast<std::chrono::microseconds>(
                             std::chrono::steady_clock::duration(since))
                             .count();
    const uint64_t gone = static_cast<uint64_t>(std::max<long long>(0, sinceUs)) * rate / 1000000;
    const uint32_t ahead = aheadAfterRound.load(std::memory_order_relaxed);
    return gone >= ahead ? 0 : static_cast<uint32_t>(ahead - gone);
}

void COutputDevice::SetExtraRoomMs(uint32_t ms) {
    extraRoomMs = std::min(ms, kMaxExtraRoomMs);
}

void COutputDevice::Add(IOutputSource* source) {
    std::lock_guard<std::mutex> guard(sourcesLock);
    if (std::find(sources.begin(), sources.end(), source) == sources.end()) {
        sources.push_back(source);
    }
}

void COutputDevice::Remove(IOutputSource* source) {
    std::lock_guard<std::mutex> guard(sourcesLock);
    sources.erase(std::remove(sources.begin(), sources.end(), source), sources.end());
}

bool COutputDevice::LowLatencyWanted() {
    std::lock_guard<std::mutex> guard(sourcesLock);
    return std::any_of(sources.begin(), sources.end(),
                       [](const IOutputSource* s) { return s->WantsLowLatency(); });
}

void COutputDevice::MixAndWrite(uint32_t frames) {
    std::fill(mix.begin(), mix.begin() + size_t{frames} * 2, 0.0f);
    {
        std::lock_guard<std::mutex> guard(sourcesLock);
        for (IOutputSource* source : sources) {
            source->MixInto(mix.data(), frames);
        }
    }
    for (size_t i = 0; i < size_t{frames} * 2; ++i) {
        const float v = std::clamp(mix[i], -1.0f, 1.0f);
        pcm[i] = static_cast<int16_t>(std::lrint(v * 32767.0f));
    }
    endpoint->Write(pcm.data(), frames);
}

void COutputDevice::Run(int waveId, EOutputApi wanted, std::promise<EError>* opened) {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    const uint32_t capacity = rate * kCapacityMs / 1000;
    EError error = EError::Ok;
    if (waveId == -2) {
        endpoint = OpenSilentEndpoint(rate, capacity);
    } else {
        if (wanted != EOutputApi::WaveOut) {
            endpoint = OpenWasapiEndpoint(waveId, rate, capacity, error);
        }
        if (!endpoint && wanted != EOutputApi::Wasapi) {
            error = EError::Ok;
            endpoint = OpenWaveOutEndpoint(waveId, rate, capacity, error);
        }
    }
    if (!endpoint) {
        opened->set_value(error == EError::Ok ? EError::Driver : error);
        return;
    }
    api = endpoint->Api();
    periodFrames = endpoint->PeriodFrames();
    const uint32_t room = endpoint->CapacityFrames();
    mix.assign(size_t{room} * 2, 0.0f);
    pcm.assign(size_t{room} * 2, 0);
    COutputQueue queue(periodFrames, rate);
    opened->set_value(EError::Ok);

    // Woken by the device, and at least twice a period: a device that signals late (Wine's
    // does, while its own writes wait) must not make the queue run dry.
    const DWORD waitMs = std::max<DWORD>(1, periodFrames * 1000 / rate / 2);
    // Time in frames since the start, so that no rounding accumulates over the rounds.
    const auto start = std::chrono::steady_clock::now();
    uint64_t framesBefore = 0;
    while (!stop) {
        queue.SetExtraRoom(rate * extraRoomMs.load(std::memory_order_relaxed) / 1000);
        queue.SetLowLatency(LowLatencyWanted());
        const auto now = std::chrono::steady_clock::now();
        const auto sinceStartUs =
            std::chrono::duration_cast<std::chrono::microseconds>(now - start).count();
        const uint64_t framesNow = static_cast<uint64_t>(sinceStartUs) * rate / 1000000;
        const uint64_t elapsed = framesNow - framesBefore;
        framesBefore = framesNow;
        const uint32_t queued = endpoint->QueuedFrames();
        uint32_t frames = queue.Round(static_cast<uint32_t>(std::min<uint64_t>(elapsed, room)));
        frames = std::min(frames, room > queued ? room - queued : 0);
        if (frames > 0) {
            MixAndWrite(frames);
        }
        aheadAfterRound.store(queue.Ahead(), std::memory_order_relaxed);
        roundTime.store(now.time_since_epoch().count(), std::memory_order_relaxed);
        targetFrames.store(queue.Target(), std::memory_order_relaxed);
        starved.store(queue.Starved(), std::memory_order_relaxed);
        endpoint->Wait(waitMs);
    }
    std::lock_guard<std::mutex> guard(endpointLock);
    endpoint.reset(); // on this thread, where its COM objects live
}

} // namespace hml::audio
