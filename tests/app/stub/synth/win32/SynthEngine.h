#pragma once
// The audio engine's interface as the shell uses it, for builds without the engine in the tree.
// Mirrors src/synth/win32/SynthEngine.h; the real header replaces this one as soon as it exists.

#include "synth/IpcPorts.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CMidiDevice;
namespace hml::audio {
class COutputDevice;
}

class SynthEngine : public IIpcPorts {
public:
    SynthEngine();
    ~SynthEngine() override;
    SynthEngine(const SynthEngine&) = delete;
    SynthEngine& operator=(const SynthEngine&) = delete;

    bool Init();
    bool Free();
    void Restart();
    bool IsInitialised() const { return initialised; }

    bool AllPortsHaveSoundFonts();
    void PanicAll();

    hml::audio::COutputDevice* DeviceOfPort(std::uint32_t portIndex);

    std::uint32_t PortCount() override;
    IIpcConnection* FindConnection(std::uint32_t port, std::uint32_t clientId) override;
    IIpcConnection* CreateConnection(std::uint32_t port, std::uint32_t clientId) override;
    void RemoveConnection(std::uint32_t port, std::uint32_t clientId) override;
    std::vector<std::pair<std::uint32_t, IIpcConnection*>> Connections(std::uint32_t port) override;

    std::vector<std::unique_ptr<CMidiDevice>> ports;
    std::vector<int> devices;

private:
    void LoadSoundFonts();
    void UnloadSoundFonts();
    void CreatePorts();

    bool initialised = false;
};

extern SynthEngine* synthEngine;
