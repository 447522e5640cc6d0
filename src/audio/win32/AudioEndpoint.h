#pragma once
// One open hardware output, as the output device's mixing thread drives it: 16-bit stereo
// frames go in, the endpoint says how many are still queued and wakes the thread when it has
// taken some. Three kinds: WASAPI shared mode (event-driven), waveOut (the fallback) and the
// silent endpoint of the "no sound" device, which only keeps time.
//
// All calls but Wake come from the mixing thread; WASAPI endpoints are also created on it,
// since their COM objects live there.

#include "audio/Audio.h"

#include <windows.h>

#include <mmreg.h>

#include <cstdint>
#include <memory>

namespace hml::audio {

enum class EOutputApi { Auto, Wasapi, WaveOut };

// What every endpoint plays: 16-bit stereo PCM at `rate`.
inline WAVEFORMATEX StereoPcm16(uint32_t rate) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = rate * 4;
    return format;
}

class IAudioEndpoint {
public:
    virtual ~IAudioEndpoint() = default;
    // The time the device takes audio in, in frames.
    virtual uint32_t PeriodFrames() const = 0;
    // The most that can be queued at once.
    virtual uint32_t CapacityFrames() const = 0;
    // Frames written and not yet taken by the device.
    virtual uint32_t QueuedFrames() = 0;
    // Queues `frames` frames (at most CapacityFrames - QueuedFrames).
    virtual bool Write(const int16_t* stereo, uint32_t frames) = 0;
    // Sleeps until the device has taken audio, Wake was called, or `ms` passed.
    virtual void Wait(uint32_t ms) = 0;
    // Any thread: ends the current or next Wait at once.
    virtual void Wake() = 0;
    virtual EOutputApi Api() const = 0;
};

// Shared-mode WASAPI on the default render endpoint (`waveId` < 0) or on the endpoint behind a
// waveOut device id. Null with `error` set when it cannot be opened.
std::unique_ptr<IAudioEndpoint> OpenWasapiEndpoint(int waveId, uint32_t rate,
                                                   uint32_t capacityFrames, EError& error);
// waveOut on WAVE_MAPPER (`waveId` < 0) or on a device id.
std::unique_ptr<IAudioEndpoint> OpenWaveOutEndpoint(int waveId, uint32_t rate,
                                                    uint32_t capacityFrames, EError& error);
// Plays nothing; takes audio at the pace of a real device.
std::unique_ptr<IAudioEndpoint> OpenSilentEndpoint(uint32_t rate, uint32_t capacityFrames);

} // namespace hml::audio
