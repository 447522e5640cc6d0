#pragma once
// The process's audio engine: the output devices the ports play on, the loaded SoundFonts and the
// ports themselves. Restart frees and opens everything again while client connections and their
// MIDI state stay.

#include "audio/Audio.h"
#include "config/SoundFontEntry.h"
#include "synth/IpcPorts.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/sf2/CSoundFont.h"
#include "audio/stream/CMidiStream.h"

namespace hml::audio {
class CMidiStream;
class COutputDevice;
} // namespace hml::audio

namespace hml::synth {

class CMidiDevice;

class SynthEngine : public IIpcPorts {
public:
    SynthEngine();
    ~SynthEngine() override;
    SynthEngine(const SynthEngine&) = delete;
    SynthEngine& operator=(const SynthEngine&) = delete;

    // Opens the devices, loads the SoundFonts and creates the ports; true when already done.
    bool Init();
    bool Free();
    // Frees and initialises again; every connection keeps its MIDI state.
    void Restart();
    bool IsInitialised() const { return initialised; }

    // Makes `list` the configured SoundFont list (written to the configuration) and gives every
    // client of every port its port's fonts from it; connections stay and go on playing.
    void ReplaceSoundFonts(const std::vector<config::SoundFontEntry>& list);

    // Every port index below "DevicesCount" has at least one SoundFont enabled.
    bool AllPortsHaveSoundFonts();
    // All notes off on every connection of every port.
    void PanicAll();

    // The SoundFonts enabled for a port, the lowest entry of the list first in precedence.
    std::vector<audio::SFontMapping> PortFonts(std::uint32_t portIndex);
    // Gives a stream PortFonts; returns how many it got.
    std::size_t SetPortFonts(audio::CMidiStream& stream, std::uint32_t portIndex);

    // The device a port's streams play on (its configured one, or what replaced it).
    audio::COutputDevice* DeviceOfPort(std::uint32_t portIndex);

    // How devices are opened; tests replace it to make devices fail.
    using DeviceOpener = std::function<std::unique_ptr<audio::COutputDevice>(
        int device, std::uint32_t rate, audio::EError& error)>;
    void SetDeviceOpener(DeviceOpener opener) { openDevice = std::move(opener); }

    // IIpcPorts, for the IPC server: the callers hold the server's table lock.
    std::uint32_t PortCount() override;
    IIpcConnection* FindConnection(std::uint32_t port, std::uint32_t clientId) override;
    IIpcConnection* CreateConnection(std::uint32_t port, std::uint32_t clientId) override;
    void RemoveConnection(std::uint32_t port, std::uint32_t clientId) override;
    std::vector<std::pair<std::uint32_t, IIpcConnection*>> Connections(std::uint32_t port) override;
    std::recursive_mutex& TableLock() override { return tableLock; }

    // Adds the ports a grown "DevicesCount" calls for; existing ports are kept.
    void CreatePorts();

    std::vector<std::unique_ptr<CMidiDevice>> ports;
    // The distinct device numbers the last Init opened, ascending.
    std::vector<int> devices;

private:
    // Init without showing its errors; they wait in pendingErrors until no lock is held.
    bool InitQuietly();
    void Report(const std::wstring& text);
    void ShowPendingErrors();
    void LoadSoundFonts();
    void UnloadSoundFonts();

    std::recursive_mutex tableLock;
    bool initialised = false;
    std::vector<std::wstring> pendingErrors;
    DeviceOpener openDevice;
    // The loaded font of each entry of the SoundFont list, by index; null when not loaded.
    std::vector<audio::PSoundFont> fonts;
    std::vector<std::unique_ptr<audio::COutputDevice>> openDevices;
    // Port index -> the device its streams play on.
    std::vector<audio::COutputDevice*> portDevices;
};

// The one engine of the process; none before start-up and after clean-up.
extern SynthEngine* synthEngine;

// Stream creation flags from the settings, added to `base`.
std::uint32_t GetStreamFlags(std::uint32_t base);

// The text shown with an audio library error code in a context (0 output device, 1 MIDI stream,
// 2 MIDI file rendering, 4 SoundFont opening, 5 SoundFont preloading); empty when none fits.
const wchar_t* BassErrorText(int code, int context);

} // namespace hml::synth
