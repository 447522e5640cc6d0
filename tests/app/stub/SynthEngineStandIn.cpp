// A silent engine for the shell while the real one is not in the tree: one port per
// "DevicesCount", no devices, no sound. Connections are refused, so no client gets a port.

#include "config/Settings.h"
#include "synth/win32/SynthEngine.h"

// The ports only need to exist; nothing of them is used here.
class CMidiDevice {};

SynthEngine* synthEngine = nullptr;

SynthEngine::SynthEngine() = default;
SynthEngine::~SynthEngine() = default;

bool SynthEngine::Init() {
    if (!initialised) {
        ports.clear();
        for (std::uint32_t i = 0; i < settings->devicesCount.Get(); ++i) {
            ports.push_back(std::make_unique<CMidiDevice>());
        }
        initialised = true;
    }
    return true;
}

bool SynthEngine::Free() {
    ports.clear();
    initialised = false;
    return true;
}

void SynthEngine::Restart() {
    Free();
    Init();
}

bool SynthEngine::AllPortsHaveSoundFonts() {
    for (std::uint32_t port = 0; port < ports.size(); ++port) {
        bool found = false;
        for (const SoundFontEntry& entry : settings->soundFonts) {
            found = found || (entry.enabled & (1u << port));
        }
        if (!found) {
            return false;
        }
    }
    return true;
}

void SynthEngine::PanicAll() {}

hml::audio::COutputDevice* SynthEngine::DeviceOfPort(std::uint32_t) {
    return nullptr;
}

std::uint32_t SynthEngine::PortCount() {
    return static_cast<std::uint32_t>(ports.size());
}

IIpcConnection* SynthEngine::FindConnection(std::uint32_t, std::uint32_t) {
    return nullptr;
}

IIpcConnection* SynthEngine::CreateConnection(std::uint32_t, std::uint32_t) {
    return nullptr;
}

void SynthEngine::RemoveConnection(std::uint32_t, std::uint32_t) {}

std::vector<std::pair<std::uint32_t, IIpcConnection*>> SynthEngine::Connections(std::uint32_t) {
    return {};
}

void SynthEngine::LoadSoundFonts() {}
void SynthEngine::UnloadSoundFonts() {}
void SynthEngine::CreatePorts() {}
