// The WASAPI endpoint: a shared-mode, event-driven audio client. The device signals an event
// every period; the padding tells how much of what we wrote it still holds.
#include "audio/win32/AudioEndpoint.h"

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <mmsystem.h>

#include <mmddk.h> // after mmsystem.h, whose types it uses

#include <cstring>
#include <string>

namespace hml::audio {

namespace {

template <class T> void Release(T*& object) {
    if (object) {
        object->Release();
        object = nullptr;
    }
}

EError FromResult(HRESULT hr) {
    switch (hr) {
    case E_OUTOFMEMORY:
        return EError::Mem;
    case AUDCLNT_E_UNSUPPORTED_FORMAT:
        return EError::Format;
    case AUDCLNT_E_DEVICE_IN_USE:
    case AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED:
        return static_cast<EError>(46); // busy
    case AUDCLNT_E_DEVICE_INVALIDATED:
    case E_NOTFOUND:
        return EError::Device;
    default:
        return EError::Driver;
    }
}

// The endpoint id behind a waveOut device, as the system reports it.
std::wstring EndpointIdOf(int waveId) {
    ULONG bytes = 0;
    auto wave = reinterpret_cast<HWAVEOUT>(static_cast<UINT_PTR>(waveId));
    if (waveOutMessage(wave, DRV_QUERYFUNCTIONINSTANCEIDSIZE, reinterpret_cast<DWORD_PTR>(&bytes),
                       0) != MMSYSERR_NOERROR ||
        bytes < sizeof(wchar_t)) {
        return {};
    }
    std::wstring id(bytes / sizeof(wchar_t), L'\0');
    if (waveOutMessage(wave, DRV_QUERYFUNCTIONINSTANCEID, reinterpret_cast<DWORD_PTR>(id.data()),
                       bytes) != MMSYSERR_NOERROR) {
        return {};
    }
    id.resize(wcsnlen(id.c_str(), id.size()));
    return id;
}

class CWasapiEndpoint final : public IAudioEndpoint {
public:
    explicit CWasapiEndpoint(uint32_t rate_) : rate(rate_) {
        event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        comReady = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    }

    ~CWasapiEndpoint() override {
        if (client) {
            client->Stop();
        }
        Release(render);
        Release(client);
        Release(device);
        Release(enumerator);
        if (comReady) {
            CoUninitialize();
        }
        CloseHandle(event);
    }

    bool Open(int waveId, uint32_t capacityFrames, EError& error) {
        HRESULT hr =
            CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                             __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(&enumerator));
        if (SUCCEEDED(hr)) {
            if (waveId < 0) {
                hr = enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device);
            } else {
                const std::wstring id = EndpointIdOf(waveId);
                hr = id.empty() ? E_NOTFOUND : enumerator->GetDevice(id.c_str(), &device);
            }
        }
        if (SUCCEEDED(hr)) {
            hr = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                  reinterpret_cast<void**>(&client));
        }
        REFERENCE_TIME defaultPeriod = 100000, minimumPeriod = 0;
        if (SUCCEEDED(hr)) {
            client->GetDevicePeriod(&defaultPeriod, &minimumPeriod);
            WAVEFORMATEX format = StereoPcm16(rate);
            const REFERENCE_TIME duration =
                static_cast<REFERENCE_TIME>(capacityFrames) * 10000000 / rate;
            hr = client->Initialize(AUDCLNT_SHAREMODE_SHARED,
                                    AUDCLNT_STREAMFLAGS_EVENTCALLBACK |
                                        AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM |
                                        AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY,
                                    duration, 0, &format, nullptr);
        }
        if (SUCCEEDED(hr)) {
            hr = client->SetEventHandle(event);
        }
        UINT32 frames = 0;
        if (SUCCEEDED(hr)) {
            hr = client->GetBufferSize(&frames);
        }
        if (SUCCEEDED(hr)) {
            hr =
                client->GetService(__uuidof(IAudioRenderClient), reinterpret_cast<void**>(&render));
        }
        if (SUCCEEDED(hr)) {
            hr = client->Start();
        }
        if (FAILED(hr)) {
            error = FromResult(hr);
            return false;
        }
        capacity = frames;
        period = static_cast<uint32_t>(defaultPeriod * rate / 10000000);
        return true;
    }

    uint32_t PeriodFrames() const override { return period; }
    uint32_t CapacityFrames() const override { return capacity; }

    uint32_t QueuedFrames() override {
        UINT32 padding = 0;
        if (FAILED(client->GetCurrentPadding(&padding))) {
            return 0;
        }
        return padding;
    }

    bool Write(const int16_t* stereo, uint32_t frames) override {
        BYTE* data = nullptr;
        if (FAILED(render->GetBuffer(frames, &data))) {
            return false;
        }
        std::memcpy(data, stereo, size_t{frames} * 4);
        return SUCCEEDED(render->ReleaseBuffer(frames, 0));
    }

    void Wait(uint32_t ms) override { WaitForSingleObject(event, ms); }
    void Wake() override { SetEvent(event); }
    EOutputApi Api() const override { return EOutputApi::Wasapi; }

private:
    uint32_t rate;
    uint32_t capacity = 0;
    uint32_t period = 0;
    HANDLE event = nullptr;
    bool comReady = false;
    IMMDeviceEnumerator* enumerator = nullptr;
    IMMDevice* device = nullptr;
    IAudioClient* client = nullptr;
    IAudioRenderClient* render = nullptr;
};

} // namespace

std::unique_ptr<IAudioEndpoint> OpenWasapiEndpoint(int waveId, uint32_t rate,
                                                   uint32_t capacityFrames, EError& error) {
    auto endpoint = std::make_unique<CWasapiEndpoint>(rate);
    if (!endpoint->Open(waveId, capacityFrames, error)) {
        return nullptr;
    }
    return endpoint;
}

} // namespace hml::audio
