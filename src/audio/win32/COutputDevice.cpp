#include "audio/win32/COutputDevice.h"

#include <mmsystem.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace hml::audio {

namespace {

// Longest buffer: the largest extra buffer (1000 ms) plus headroom for the minimum.
constexpr uint32_t kMaxBufferMs = 1100;

EError FromWaveError(MMRESULT result) {
    switch (result) {
    case MMSYSERR_BADDEVICEID:
        return EError::Device;
    case MMSYSERR_ALLOCATED:
        return static_cast<EError>(46); // busy
    case MMSYSERR_NODRIVER:
        return EError::Driver;
    case MMSYSERR_NOMEM:
        return EError::Mem;
    case WAVERR_BADFORMAT:
        return EError::Format;
    default:
        return EError::Unknown;
    }
}

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

std::unique_ptr<COutputDevice> COutputDevice::Open(int device, uint32_t rate, EError& error) {
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
    const size_t blockFrames = rate * kBlockMs / 1000;
    out->mix.assign(blockFrames * 2, 0.0f);
    if (device > 0) {
        const UINT waveId = device == 1 ? WAVE_MAPPER : static_cast<UINT>(device - 2);
        if (!out->OpenWave(waveId, error)) {
            return nullptr;
        }
    }
    out->thread = std::thread([self = out.get()] { self->Run(); });
    return out;
}

bool COutputDevice::OpenWave(UINT waveId, EError& error) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = rate * 4;
    blockDone = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    MMRESULT result = waveOutOpen(&wave, waveId, &format, reinterpret_cast<DWORD_PTR>(blockDone), 0,
                                  CALLBACK_EVENT);
    if (result != MMSYSERR_NOERROR) {
        wave = nullptr;
        error = FromWaveError(result);
        return false;
    }
    const size_t blockFrames = mix.size() / 2;
    const size_t count = kMaxBufferMs / kBlockMs;
    blocks.assign(count, std::vector<int16_t>(blockFrames * 2, 0));
    headers.assign(count, WAVEHDR{});
    for (size_t i = 0; i < count; ++i) {
        headers[i].lpData = reinterpret_cast<LPSTR>(blocks[i].data());
        headers[i].dwBufferLength = static_cast<DWORD>(blockFrames * 4);
        waveOutPrepareHeader(wave, &headers[i], sizeof(WAVEHDR));
        headers[i].dwFlags |= WHDR_DONE; // free to fill
    }
    return true;
}

COutputDevice::~COutputDevice() {
    stop = true;
    if (blockDone) {
        SetEvent(blockDone);
    }
    if (thread.joinable()) {
        thread.join();
    }
    if (wave) {
        waveOutReset(wave);
        for (WAVEHDR& header : headers) {
            waveOutUnprepareHeader(wave, &header, sizeof(WAVEHDR));
        }
        waveOutClose(wave);
    }
    if (blockDone) {
        CloseHandle(blockDone);
    }
}

void COutputDevice::SetBufferMs(uint32_t ms) {
    bufferMs = std::clamp<uint32_t>(ms, MinBufferMs(), kMaxBufferMs);
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

void COutputDevice::MixBlock(int16_t* out) {
    std::fill(mix.begin(), mix.end(), 0.0f);
    {
        std::lock_guard<std::mutex> guard(sourcesLock);
        for (IOutputSource* source : sources) {
            source->MixInto(mix.data(), mix.size() / 2);
        }
    }
    if (out) {
        for (size_t i = 0; i < mix.size(); ++i) {
            const float v = std::clamp(mix[i], -1.0f, 1.0f);
            out[i] = static_cast<int16_t>(std::lrint(v * 32767.0f));
        }
    }
}

void COutputDevice::Run() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    if (!wave) {
        // No sound: consume the sources at the pace a device would.
        auto next = std::chrono::steady_clock::now();
        while (!stop) {
            MixBlock(nullptr);
            next += std::chrono::milliseconds(kBlockMs);
            std::this_thread::sleep_until(next);
        }
        return;
    }
    size_t nextBlock = 0;
    size_t inFlight = 0;
    size_t oldest = 0;
    while (!stop) {
        // Blocks finish in the order they were queued.
        while (inFlight > 0 && (headers[oldest].dwFlags & WHDR_DONE)) {
            oldest = (oldest + 1) % headers.size();
            --inFlight;
        }
        const size_t wanted = std::max<size_t>(2, (bufferMs + kBlockMs - 1) / kBlockMs);
        while (inFlight < wanted && inFlight < headers.size()) {
            WAVEHDR& header = headers[nextBlock];
            MixBlock(blocks[nextBlock].data());
            header.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
            waveOutWrite(wave, &header, sizeof(WAVEHDR));
            nextBlock = (nextBlock + 1) % headers.size();
            ++inFlight;
        }
        WaitForSingleObject(blockDone, kBlockMs);
    }
}

} // namespace hml::audio
