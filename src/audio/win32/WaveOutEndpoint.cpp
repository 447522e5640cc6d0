// The waveOut endpoint: audio goes out in variable-sized blocks cut from one circular buffer;
// a block's frames count as queued until the device marks it done.
#include "audio/win32/AudioEndpoint.h"

#include <mmsystem.h>

#include <cstring>
#include <vector>

namespace hml::audio {

namespace {

constexpr size_t kHeaders = 256;

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

class CWaveOutEndpoint final : public IAudioEndpoint {
public:
    CWaveOutEndpoint(uint32_t rate_, uint32_t capacity_)
        : rate(rate_), capacity(capacity_), pcm(size_t{capacity_} * 2), headers(kHeaders),
          done(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

    ~CWaveOutEndpoint() override {
        if (wave) {
            waveOutReset(wave);
            while (inFlight > 0) {
                Retire();
            }
            waveOutClose(wave);
        }
        CloseHandle(done);
    }

    bool Open(int waveId, EError& error) {
        WAVEFORMATEX format = StereoPcm16(rate);
        const UINT id = waveId < 0 ? WAVE_MAPPER : static_cast<UINT>(waveId);
        const MMRESULT result =
            waveOutOpen(&wave, id, &format, reinterpret_cast<DWORD_PTR>(done), 0, CALLBACK_EVENT);
        if (result != MMSYSERR_NOERROR) {
            wave = nullptr;
            error = FromWaveError(result);
            return false;
        }
        return true;
    }

    uint32_t PeriodFrames() const override { return rate / 100; }
    uint32_t CapacityFrames() const override { return capacity; }

    uint32_t QueuedFrames() override {
        // Blocks finish in the order they were queued.
        while (inFlight > 0 && (headers[oldest].dwFlags & WHDR_DONE)) {
            Retire();
        }
        return queued;
    }

    bool Write(const int16_t* stereo, uint32_t frames) override {
        while (frames > 0) {
            if (inFlight == kHeaders) {
                return false;
            }
            const uint32_t chunk = std::min(frames, capacity - writeAt);
            WAVEHDR& header = headers[(oldest + inFlight) % kHeaders];
            header = WAVEHDR{};
            header.lpData = reinterpret_cast<LPSTR>(pcm.data() + size_t{writeAt} * 2);
            header.dwBufferLength = chunk * 4;
            std::memcpy(header.lpData, stereo, size_t{chunk} * 4);
            waveOutPrepareHeader(wave, &header, sizeof header);
            if (waveOutWrite(wave, &header, sizeof header) != MMSYSERR_NOERROR) {
                waveOutUnprepareHeader(wave, &header, sizeof header);
                return false;
            }
            ++inFlight;
            queued += chunk;
            writeAt = (writeAt + chunk) % capacity;
            stereo += size_t{chunk} * 2;
            frames -= chunk;
        }
        return true;
    }

    void Wait(uint32_t ms) override { WaitForSingleObject(done, ms); }
    void Wake() override { SetEvent(done); }
    EOutputApi Api() const override { return EOutputApi::WaveOut; }

private:
    void Retire() {
        WAVEHDR& header = headers[oldest];
        if (!(header.dwFlags & WHDR_DONE)) {
            WaitForSingleObject(done, 10); // only while closing, after waveOutReset
        }
        waveOutUnprepareHeader(wave, &header, sizeof header);
        queued -= header.dwBufferLength / 4;
        oldest = (oldest + 1) % kHeaders;
        --inFlight;
    }

    uint32_t rate;
    uint32_t capacity;
    std::vector<int16_t> pcm;
    std::vector<WAVEHDR> headers;
    HANDLE done;
    HWAVEOUT wave = nullptr;
    size_t oldest = 0;
    size_t inFlight = 0;
    uint32_t queued = 0;
    uint32_t writeAt = 0;
};

} // namespace

std::unique_ptr<IAudioEndpoint> OpenWaveOutEndpoint(int waveId, uint32_t rate,
                                                    uint32_t capacityFrames, EError& error) {
    auto endpoint = std::make_unique<CWaveOutEndpoint>(rate, capacityFrames);
    if (!endpoint->Open(waveId, error)) {
        return nullptr;
    }
    return endpoint;
}

} // namespace hml::audio
