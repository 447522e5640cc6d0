#include "synth/win32/SynthEngine.h"

#include "audio/stream/CMidiStream.h"
#include "audio/win32/COutputDevice.h"
#include "config/Language.h"
#include "config/ProfileText.h"
#include "config/Settings.h"
#include "synth/win32/MidiDevice.h"
#include "ui/MessageBox.h"
#include "ui/WindowsVersion.h"

#include <windows.h>

#include <algorithm>

namespace hml::synth {

using namespace hml::config;
using namespace hml::ui;

using namespace hml::audio;

SynthEngine* synthEngine = nullptr;

namespace {

constexpr std::uint64_t kPreloadHeadroom = 104857600; // keep 100 MiB free after preloading

// The name of the lowest port configured for a device, or empty when none is.
std::wstring PortUsing(int device, std::uint32_t portCount) {
    for (std::uint32_t p = 0; p < portCount && p < 4; ++p) {
        if (static_cast<int>(settings->outputDevices[p]) == device) {
            return config::PortDisplayName(p);
        }
    }
    return {};
}

} // namespace

SynthEngine::SynthEngine()
    : openDevice([](int device, std::uint32_t rate, EError& error) {
          return COutputDevice::Open(device, rate, error);
      }) {}

SynthEngine::~SynthEngine() {
    Free();
    ports.clear();
}

bool SynthEngine::Init() {
    const bool ok = InitQuietly();
    ShowPendingErrors();
    return ok;
}

void SynthEngine::Report(const std::wstring& text) {
    pendingErrors.push_back(text);
}

void SynthEngine::ShowPendingErrors() {
    std::vector<std::wstring> errors;
    errors.swap(pendingErrors);
    for (const std::wstring& text : errors) {
        ui::ShowError(text);
    }
}

bool SynthEngine::InitQuietly() {
    if (initialised) {
        return true;
    }
    const std::uint32_t portCount = settings->devicesCount.Get();
    const std::uint32_t rate = settings->outputSampleRate.Get();
    const std::uint32_t extraMs = settings->additionalBuffer.Get();

    devices.clear();
    for (std::uint32_t p = 0; p < portCount; ++p) {
        devices.push_back(static_cast<int>(settings->outputDevices[p]));
    }
    std::sort(devices.begin(), devices.end());
    devices.erase(std::unique(devices.begin(), devices.end()), devices.end());

    // Configured device number -> the device that plays it.
    std::vector<std::pair<int, COutputDevice*>> playedBy;
    auto findOpen = [this](int number) -> COutputDevice* {
        if (number == -1) {
            number = 1;
        }
        for (auto& device : openDevices) {
            if (device->Number() == number) {
                return device.get();
            }
        }
        return nullptr;
    };
    for (int configured : devices) {
        int d = configured;
        bool substituted = false;
        for (;;) {
            if (COutputDevice* open = findOpen(d)) {
                playedBy.emplace_back(configured, open); // already open: counts as success
                break;
            }
            EError error = EError::Ok;
            auto device = openDevice(d, rate, error);
            if (device) {
                device->SetExtraRoomMs(extraMs);
                playedBy.emplace_back(configured, device.get());
                openDevices.push_back(std::move(device));
                break;
            }
            const std::wstring port = PortUsing(configured, portCount);
            if (error != EError::Device) {
                const int code = static_cast<int>(error);
                if (!port.empty()) {
                    Report(Translate(L"err.outputDeviceOpen", std::to_wstring(code),
                                     BassErrorText(code, 0), port));
                }
                // Nothing of a failed start stays open: the next Init begins afresh.
                openDevices.clear();
                return false;
            }
            if (!substituted && !port.empty()) {
                Report(Translate(L"err.outputDeviceInaccessible", port));
            }
            if (d == 0) {
                Report(L"Error initializing nosound device");
                break;
            }
            if (substituted) {
                break; // the replacement failed too: give up on this entry
            }
            // The default device falls back to no sound, any other to the first device.
            d = d == -1 ? 0 : 1;
            substituted = true;
        }
    }
    portDevices.assign(4, nullptr);
    for (std::uint32_t p = 0; p < portCount && p < 4; ++p) {
        for (auto& [configured, device] : playedBy) {
            if (configured == static_cast<int>(settings->outputDevices[p])) {
                portDevices[p] = device;
            }
        }
        if (!portDevices[p]) {
            // Neither the device nor its substitute opened. The port still plays, silently:
            // a stream nobody consumes would fill up and hold every client back.
            portDevices[p] = findOpen(0);
            if (!portDevices[p]) {
                EError error = EError::Ok;
                if (auto silent = openDevice(0, rate, error)) {
                    portDevices[p] = silent.get();
                    openDevices.push_back(std::move(silent));
                }
            }
        }
    }

    initialised = true; // streams can be created from here on
    LoadSoundFonts();
    CreatePorts();
    return true;
}

bool SynthEngine::Free() {
    if (!initialised) {
        return true;
    }
    std::lock_guard<std::recursive_mutex> guard(tableLock);
    for (auto& port : ports) {
        port->FreeStreams(false);
    }
    UnloadSoundFonts();
    portDevices.clear();
    openDevices.clear();
    initialised = false;
    return true;
}

void SynthEngine::Restart() {
    {
        std::lock_guard<std::recursive_mutex> guard(tableLock);
        for (auto& port : ports) {
            port->FreeStreams(true);
        }
        Free();
        InitQuietly();
        for (auto& port : ports) {
            port->CreateStreams(true);
        }
    }
    // The errors of the restart are shown once the clients can go on playing.
    ShowPendingErrors();
}

void SynthEngine::ReplaceSoundFonts(const std::vector<SoundFontEntry>& list) {
    {
        // Clients are added and removed under the table lock, so the lock covers the swap.
        std::lock_guard<std::recursive_mutex> guard(tableLock);
        UnloadSoundFonts();
        settings->soundFonts = list;
        settings->WriteSoundFonts();
        if (initialised) {
            LoadSoundFonts();
        }
        for (std::uint32_t p = 0; p < ports.size(); ++p) {
            for (auto& [id, client] : ports[p]->clients) {
                if (client->HasStream()) {
                    SetPortFonts(*client->Stream(), p);
                }
            }
        }
    }
    ShowPendingErrors();
}

void SynthEngine::CreatePorts() {
    std::lock_guard<std::recursive_mutex> guard(tableLock);
    const std::uint32_t portCount = settings->devicesCount.Get();
    while (ports.size() < portCount) {
        auto port = std::make_unique<CMidiDevice>(static_cast<std::uint32_t>(ports.size()));
        port->ReadMixerState(*settings);
        port->mixerStateLoaded = true;
        port->CreateStreams(false);
        ports.push_back(std::move(port));
    }
}

void SynthEngine::LoadSoundFonts() {
    auto& list = settings->soundFonts;
    fonts.assign(list.size(), nullptr);
    bool changed = false;
    for (std::size_t i = 0; i < list.size(); ++i) {
        SoundFontEntry& entry = list[i];
        if (entry.enabled == 0) {
            continue;
        }
        EError error = EError::Ok;
        PSoundFont font = CSoundFont::Open(
            entry.filename, FontFlags::Unicode | (entry.xgdrums ? FontFlags::XgDrums : 0), error);
        if (!font) {
            const int code = static_cast<int>(error);
            Report(Translate(L"err.sfLoad", std::to_wstring(code), entry.filename,
                             BassErrorText(code, 4)));
            entry.enabled = 0;
            changed = true;
            continue;
        }
        font->SetVolume(static_cast<float>(entry.volume) / 100.0f);
        if (entry.preload) {
            int code = 0;
            MEMORYSTATUSEX memory{};
            memory.dwLength = sizeof memory;
            GlobalMemoryStatusEx(&memory);
            if (memory.ullAvailVirtual < font->GetInfo().sampleDataSize + kPreloadHeadroom) {
                code = static_cast<int>(EError::Mem);
            } else if (font->Load(-1, -1) != EError::Ok) {
                code = static_cast<int>(font->Unload(entry.preset, static_cast<int>(entry.bank)));
            }
            if (code != 0) {
                Report(Translate(L"err.sfPreload", std::to_wstring(code), entry.filename,
                                 BassErrorText(code, 5)));
                entry.preload = 0;
                changed = true;
            }
        }
        entry.fontHandle = reinterpret_cast<std::uintptr_t>(font.get());
        fonts[i] = std::move(font);
    }
    if (changed) {
        settings->WriteSoundFonts();
    }
}

void SynthEngine::UnloadSoundFonts() {
    for (auto& port : ports) {
        for (auto& [id, client] : port->clients) {
            if (client->HasStream()) {
                client->Stream()->SetFonts(nullptr, 0);
            }
        }
    }
    fonts.clear();
    for (SoundFontEntry& entry : settings->soundFonts) {
        entry.fontHandle = 0;
    }
}

std::vector<SFontMapping> SynthEngine::PortFonts(std::uint32_t portIndex) {
    std::vector<SFontMapping> mappings;
    const auto& list = settings->soundFonts;
    for (std::size_t i = list.size(); i-- > 0;) {
        if ((list[i].enabled >> portIndex & 1u) && i < fonts.size() && fonts[i]) {
            mappings.push_back({fonts[i], list[i].preset, static_cast<int>(list[i].bank)});
        }
    }
    return mappings;
}

std::size_t SynthEngine::SetPortFonts(CMidiStream& stream, std::uint32_t portIndex) {
    const std::vector<SFontMapping> mappings = PortFonts(portIndex);
    stream.SetFonts(mappings.data(), mappings.size());
    return mappings.size();
}

bool SynthEngine::AllPortsHaveSoundFonts() {
    const std::uint32_t portCount = settings->devicesCount.Get();
    for (std::uint32_t p = 0; p < portCount; ++p) {
        const auto& list = settings->soundFonts;
        if (std::none_of(list.begin(), list.end(),
                         [p](const SoundFontEntry& e) { return (e.enabled >> p & 1u) != 0; })) {
            return false;
        }
    }
    return true;
}

void SynthEngine::PanicAll() {
    std::lock_guard<std::recursive_mutex> guard(tableLock);
    for (auto& port : ports) {
        port->Panic();
    }
}

COutputDevice* SynthEngine::DeviceOfPort(std::uint32_t portIndex) {
    return portIndex < portDevices.size() ? portDevices[portIndex] : nullptr;
}

std::uint32_t SynthEngine::PortCount() {
    return std::min<std::uint32_t>(settings->devicesCount.Get(),
                                   static_cast<std::uint32_t>(ports.size()));
}

IIpcConnection* SynthEngine::FindConnection(std::uint32_t port, std::uint32_t clientId) {
    return port < ports.size() ? ports[port]->FindClient(clientId) : nullptr;
}

IIpcConnection* SynthEngine::CreateConnection(std::uint32_t port, std::uint32_t clientId) {
    return port < ports.size() ? ports[port]->AddClient(clientId) : nullptr;
}

void SynthEngine::RemoveConnection(std::uint32_t port, std::uint32_t clientId) {
    if (port < ports.size()) {
        ports[port]->RemoveClient(clientId);
    }
}

std::vector<std::pair<std::uint32_t, IIpcConnection*>>
SynthEngine::Connections(std::uint32_t port) {
    std::vector<std::pair<std::uint32_t, IIpcConnection*>> list;
    if (port < ports.size()) {
        for (auto& [id, client] : ports[port]->clients) {
            list.emplace_back(id, client.get());
        }
    }
    return list;
}

std::uint32_t GetStreamFlags(std::uint32_t base) {
    std::uint32_t flags = base;
    if (settings->enableHardwareMixer.Get() == 0) {
        flags |= StreamFlags::SoftwareMix;
    }
    if (settings->disableMidiEffects.Get()) {
        flags |= StreamFlags::NoFx;
    }
    if (settings->disableStereo.Get()) {
        flags |= StreamFlags::Mono;
    }
    if (settings->releaseOnlyLast.Get()) {
        flags |= StreamFlags::NoteOffLast;
    }
    if (settings->sincInterpolatedMix.Get()) {
        flags |= StreamFlags::Sinc;
    }
    if (settings->force8BitSamples.Get()) {
        flags |= StreamFlags::Sample8Bits;
    } else {
        if (ui::WindowsVersion().dwMajorVersion >= 6) {
            flags |= StreamFlags::Float;
        }
    }
    return flags;
}

const wchar_t* BassErrorText(int code, int context) {
    switch (code) {
    case -1:
        return L"BASS_ERROR_UNKNOWN: Unknown problem!";
    case 0:
        return L"OK";
    case 1:
        return L"BASS_ERROR_MEM: Insufficient memory.";
    case 2:
        return context == 4 ? L"BASS_ERROR_FILEOPEN: The file could not be opened." : L"";
    case 3:
        return L"BASS_ERROR_DRIVER: There is no available device driver or the device may "
               L"already be in use.";
    case 4:
        return L"BASS_ERROR_BUFLOST: The sample buffer was lost.";
    case 5:
        return L"BASS_ERROR_HANDLE: Handle is not valid.";
    case 6:
        if (context == 0) {
            return L"BASS_ERROR_FORMAT: The specified format is not supported by the device. Try "
                   L"changing the freq and flags parameters.";
        }
        if (context == 1 || context == 2) {
            return L"BASS_ERROR_FORMAT: The sample format is not supported by the device/drivers. "
                   L"If the stream is more than stereo or the BASS_SAMPLE_FLOAT flag is used, it "
                   L"could be that they are not supported.";
        }
        return L"";
    case 8:
        return L"BASS_ERROR_INIT: BASS_Init has not been successfully called.";
    case 14:
        return L"BASS_ERROR_ALREADY: The device has already been initialized. BASS_Free must be "
               L"called before it can be initialized again.";
    case 20:
        return L"BASS_ERROR_ILLPARAM: Channels is not valid.";
    case 21:
        return L"BASS_ERROR_NO3D: Could not initialize 3D support.";
    case 23:
        return L"BASS_ERROR_DEVICE: Device is invalid.";
    case 33:
        return L"BASS_ERROR_CREATE: The PCM file could not be created.";
    case 37:
        if (context == 1) {
            return L"BASS_ERROR_NOTAVAIL: Only decoding channels(BASS_STREAM_DECODE) are allowed "
                   L"when using the \"no sound\" device.";
        }
        if (context == 5) {
            return L"BASS_ERROR_NOTAVAIL: The soundfont does not contain the requested preset.";
        }
        return L"";
    case 39:
        return L"BASS_ERROR_DX: DirectX is not installed.";
    case 41:
        return L"BASS_ERROR_FILEFORM: The file's format is not recognised/supported.";
    case 42:
        return L"BASS_ERROR_SPEAKER: The specified SPEAKER flags are invalid. The device/drivers "
               L"do not support them or 3D functionality is enabled.";
    case 44:
        return L"BASS_ERROR_CODEC: The appropriate add-on to decode the samples is not loaded.";
    case 46:
        return L"BASS_ERROR_BUSY: The device is already in use, eg. another process may have "
               L"initialized it in exclusive mode.";
    default:
        return L"";
    }
}

} // namespace hml::synth
