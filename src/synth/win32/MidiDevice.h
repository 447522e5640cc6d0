#pragma once
// A synth port and its client connections. Every client program that opens the port gets a
// PortClient with a MIDI stream of its own, a render-ahead thread, and its own copy of the MIDI
// state; all connections of a port share the port's SoundFonts, device and mixer state.

#include "audio/OutputSource.h"
#include "audio/stream/CMidiStream.h"
#include "mixer/MixerOwner.h"
#include "synth/IpcPorts.h"
#include "synth/MidiHandler.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hml::audio {
class COutputDevice;
} // namespace hml::audio

namespace hml::synth {

class CMidiDevice;

class PortClient final : public IIpcConnection,
                         public IMidiStreamTarget,
                         public audio::IOutputSource {
public:
    PortClient(CMidiDevice& port, std::uint32_t clientId);
    ~PortClient() override;

    // Creates the stream on the port's device; with restore, the saved MIDI state comes back.
    bool CreateStream(bool restore);
    // Frees the stream; with save, its MIDI state is kept for the next CreateStream.
    void FreeStream(bool save);
    // Pushes the port's effective gain of a channel (16: all) into the stream.
    void ApplyMix(std::uint32_t channel);
    bool HasStream() const { return stream != nullptr; }
    audio::CMidiStream* Stream() const { return stream.get(); }

    // IIpcConnection: records from the listen thread.
    void OnReset() override;
    void OnNotesOff() override { midi.NotesOff(); }
    void OnShortMessage(std::uint32_t message, std::uint32_t param2) override {
        midi.ShortMessage(message, param2);
    }
    void OnLongMessage(std::uint32_t chunk, std::uint32_t count, const std::uint8_t* data,
                       std::uint32_t length) override {
        midi.LongMessage(chunk, count, data, length);
    }
    std::wstring ModulePath() override { return modulePath; }
    Stats GetStats() override;

    // IMidiStreamTarget: what the MIDI handling sends to the stream.
    void SendEvent(std::uint32_t channel, std::uint32_t event, std::uint32_t value) override;
    void SendRaw(const std::uint8_t* bytes, std::size_t count) override;

    // IOutputSource: the device's mixing thread takes the rendered frames.
    size_t MixInto(float* mix, size_t frames) override;
    bool WantsLowLatency() const override { return updatePeriodMs == 1; }

    const std::uint32_t clientId;
    CMidiHandler midi;

private:
    void UpdateThread();
    template <class Send> void SendPatiently(Send&& send);

    CMidiDevice& port;
    std::wstring modulePath;
    std::unique_ptr<audio::CMidiStream> stream;
    audio::COutputDevice* device = nullptr;
    std::vector<std::uint8_t> scratch; // one device block in the stream's format
    std::thread updateThread;
    std::atomic<bool> stopUpdate{false};
    std::atomic<std::uint32_t> updatePeriodMs{0};
    bool streamStalled = false; // the last event found the queue full for too long
    std::vector<std::uint8_t> savedState;
};

class CMidiDevice final : public mixer::IMixerOwner, public IStripRefresher {
public:
    explicit CMidiDevice(std::uint32_t portIndex);
    ~CMidiDevice() override;

    std::uint32_t GetLevel() override;
    std::wstring GetInstrumentName(std::uint32_t channel) override;
    std::wstring GetTitle() override;
    void ApplyChannel(std::uint32_t channel) override;
    void RefreshStrip(std::uint32_t channel) override;

    PortClient* AddClient(std::uint32_t clientId);
    void RemoveClient(std::uint32_t clientId);
    PortClient* FindClient(std::uint32_t clientId);
    bool CreateStreams(bool restore);
    void FreeStreams(bool save);
    // All notes off on every connection; clears the activity lights.
    void Panic();

    const std::uint32_t portIndex;
    std::map<std::uint32_t, std::unique_ptr<PortClient>> clients;
    bool mixerStateLoaded = false;
};

} // namespace hml::synth
