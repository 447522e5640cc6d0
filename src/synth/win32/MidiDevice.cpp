#include "synth/win32/MidiDevice.h"

#include "audio/win32/COutputDevice.h"
#include "config/Language.h"
#include "config/ProfileText.h"
#include "config/Settings.h"
#include "synth/win32/SynthEngine.h"
#include "ui/MessageBox.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>

namespace hml::synth {

using namespace hml::config;
using namespace hml::ui;

using namespace hml::audio;

namespace {

MidiEffectsConfig EffectsFromSettings() {
    MidiEffectsConfig config;
    if (settings) {
        config.reverbLevel = settings->reverbLevel.Get();
        config.chorusLevel = settings->chorusLevel.Get();
        config.reverbChorusOverride = settings->reverbChorusOverride.Get() != 0;
    }
    return config;
}

std::wstring ReadModulePath(std::uint32_t processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (!process) {
        return {};
    }
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameExW(process, nullptr, path, MAX_PATH);
    CloseHandle(process);
    return std::wstring(path, length);
}

} // namespace

PortClient::PortClient(CMidiDevice& port_, std::uint32_t clientId_)
    : clientId(clientId_), midi(port_, &port_, EffectsFromSettings()), port(port_),
      modulePath(ReadModulePath(clientId_)) {}

PortClient::~PortClient() {
    FreeStream(false);
}

bool PortClient::CreateStream(bool restore) {
    std::lock_guard<std::mutex> use(inUse);
    if (!synthEngine || !synthEngine->IsInitialised() || stream) {
        return false;
    }
    // A live client's voices may use a second core when many sound at once.
    const std::uint32_t flags =
        GetStreamFlags(0) |
        (std::thread::hardware_concurrency() > 1 ? StreamFlags::HelperThread : 0u);
    EError error = EError::Ok;
    stream = CMidiStream::Create(flags, settings->outputSampleRate.Get(),
                                 static_cast<int>(settings->voicesLimit.Get()), error);
    if (!stream) {
        const int code = static_cast<int>(error);
        // Shown without waiting: this runs on the listen thread or under the table lock.
        ui::ShowErrorLater(
            Translate(L"err.midiStream", std::to_wstring(code), BassErrorText(code, 1)));
        return false;
    }
    if (const std::uint32_t limit = settings->cpuLimit.Get()) {
        stream->SetRenderTimeLimit(static_cast<float>(limit));
    }
    synthEngine->SetPortFonts(*stream, port.portIndex);
    midi.SetEffects(EffectsFromSettings());
    midi.SetStream(this);
    if (restore) {
        if (!savedState.empty()) {
            stream->RestoreState(savedState.data(), savedState.size());
            savedState.clear();
        }
        midi.ApplyEffects();
    } else {
        midi.ResetDrums();
        midi.ResetInstruments();
        midi.ApplyEffects();
        ApplyMix(mixer::IMixerOwner::kAllChannels);
    }
    device = synthEngine->DeviceOfPort(port.portIndex);
    if (device) {
        scratch.assign(std::size_t{device->MaxRoundFrames()} * stream->BytesPerFrame(), 0);
        device->Add(this);
    }
    stopUpdate = false;
    updateThread = std::thread([this] { UpdateThread(); });
    return true;
}

void PortClient::FreeStream(bool save) {
    std::lock_guard<std::mutex> use(inUse);
    if (device) {
        device->Remove(this);
        device = nullptr;
    }
    if (updateThread.joinable()) {
        stopUpdate = true;
        updateThread.join();
    }
    if (save && stream) {
        savedState = stream->SaveState();
    }
    if (stream) {
        midi.SetStream(nullptr);
        stream->SetFonts(nullptr, 0);
        stream.reset();
    }
}

void PortClient::UpdateThread() {
    // Render on the second processor, away from the listen thread on the first.
    SetThreadAffinityMask(GetCurrentThread(), 2);
    updatePeriodMs = 10;
    std::uint32_t aheadMs = 20;
    bool fast = false;
    int countdown = 0;
    const std::uint32_t rate = stream->Rate();
    while (!stopUpdate) {
        // What the device already holds counts: the total ahead of the listener stays near
        // `aheadMs`, and whatever the device lacks when it asks is rendered there.
        const std::uint32_t queuedMs = device ? device->QueuedFrames() * 1000 / rate : 0;
        if (queuedMs < aheadMs) {
            stream->RenderAhead(aheadMs - queuedMs);
        }
        midi.eventCount = 0;
        Sleep(updatePeriodMs);
        const std::int32_t n = midi.eventCount;
        if (!fast && n >= 10) {
            // A busy client: render in small steps so its notes start sooner.
            fast = true;
            updatePeriodMs = 1;
            aheadMs = 3;
            countdown = 30000;
        } else if (fast && n < 1 && --countdown == 0) {
            fast = false;
            updatePeriodMs = 10;
            aheadMs = 20;
        }
    }
    updatePeriodMs = 0;
}

void PortClient::ApplyMix(std::uint32_t channel) {
    if (!stream) {
        return;
    }
    if (channel < mixer::IMixerOwner::kChannels) {
        stream->SendEvent(static_cast<int>(channel), kEventMixLevel,
                          port.GetEffectiveVolume(channel));
        return;
    }
    for (std::uint32_t c = 0; c < mixer::IMixerOwner::kChannels; ++c) {
        stream->SendEvent(static_cast<int>(c), kEventMixLevel, port.GetEffectiveVolume(c));
    }
}

void PortClient::OnReset() {
    if (stream) {
        stream->DropOutput(); // playback restarts from here
    }
    midi.NotesOff();
    midi.ResetInstruments();
    midi.ResetDrums();
    midi.ApplyEffects();
}

IIpcConnection::Stats PortClient::GetStats() {
    Stats stats;
    if (stream) {
        stats.voices = stream->GetActiveVoices();
        stats.renderingPercent = static_cast<std::uint32_t>(stream->GetRenderTime());
    }
    stats.updateMs = updatePeriodMs;
    return stats;
}

namespace {

// How long one record may wait for room in a stream's event queue.
constexpr int kMostWaitMs = 50;

} // namespace

// The stream's event queue is large and the device drains it every period, but a flood can still
// fill it for a moment: then the listen thread waits a little rather than drop a note. A stream
// that stays full is not rendering; its events are dropped at once from then on, until one fits
// again, so that it never holds the listen thread back for long.
template <class Send> void PortClient::SendPatiently(Send&& send) {
    if (send()) {
        streamStalled = false;
        return;
    }
    if (streamStalled) {
        return;
    }
    for (int waited = 0; waited < kMostWaitMs; ++waited) {
        Sleep(1);
        if (send()) {
            return;
        }
    }
    streamStalled = true;
}

void PortClient::SendEvent(std::uint32_t channel, std::uint32_t event, std::uint32_t value) {
    if (stream && channel < mixer::IMixerOwner::kChannels) {
        SendPatiently([&] { return stream->SendEvent(static_cast<int>(channel), event, value); });
    }
}

void PortClient::SendRaw(const std::uint8_t* bytes, std::size_t count) {
    if (stream && count > 0 && count <= CMidiHandler::kSysExCapacity) {
        SendPatiently([&] { return stream->SendMidi(bytes, count); });
    }
}

size_t PortClient::MixInto(float* mix, size_t frames) {
    const std::uint32_t bytesPerFrame = stream->BytesPerFrame();
    const std::uint32_t flags = stream->Flags();
    frames = std::min(frames, scratch.size() / bytesPerFrame);
    // Never short: the stream renders here whatever its render-ahead thread has not yet done.
    const size_t got = stream->ReadOutput(scratch.data(), frames * bytesPerFrame) / bytesPerFrame;
    const bool mono = (flags & StreamFlags::Mono) != 0;
    const std::uint32_t channels = mono ? 1 : 2;
    for (size_t i = 0; i < got * channels; ++i) {
        float v;
        if (flags & StreamFlags::Float) {
            v = reinterpret_cast<const float*>(scratch.data())[i];
        } else if (flags & StreamFlags::Sample8Bits) {
            v = (static_cast<float>(scratch[i]) - 128.0f) / 128.0f;
        } else {
            v = static_cast<float>(reinterpret_cast<const std::int16_t*>(scratch.data())[i]) /
                32768.0f;
        }
        if (mono) {
            mix[2 * i] += v;
            mix[2 * i + 1] += v;
        } else {
            mix[i] += v;
        }
    }
    return got;
}

CMidiDevice::CMidiDevice(std::uint32_t portIndex_) : portIndex(portIndex_) {
    portSuffix = config::PortSuffix(portIndex);
}

CMidiDevice::~CMidiDevice() {
    clients.clear();
}

namespace {

// The client tables change on the listen and watchdog threads: every walk holds the table lock.
std::unique_lock<std::recursive_mutex> LockTable() {
    return synthEngine ? std::unique_lock<std::recursive_mutex>(synthEngine->TableLock())
                       : std::unique_lock<std::recursive_mutex>();
}

} // namespace

std::uint32_t CMidiDevice::GetLevel() {
    auto table = LockTable();
    std::uint32_t level = 0;
    for (auto& [id, client] : clients) {
        if (client->HasStream()) {
            level = std::max(level, client->Stream()->GetLevel());
        }
    }
    return level;
}

std::wstring CMidiDevice::GetInstrumentName(std::uint32_t channel) {
    auto table = LockTable();
    if (clients.empty()) {
        return {};
    }
    if (clients.size() > 1) {
        return L"* multiple clients *";
    }
    if (channel >= kChannels) {
        return {};
    }
    const wchar_t* name = clients.begin()->second->midi.instrumentName[channel];
    return name ? name : L"";
}

std::wstring CMidiDevice::GetTitle() {
    return config::PortDisplayName(portIndex);
}

void CMidiDevice::ApplyChannel(std::uint32_t channel) {
    auto table = LockTable();
    for (auto& [id, client] : clients) {
        client->ApplyMix(channel);
    }
}

void CMidiDevice::RefreshStrip(std::uint32_t channel) {
    RequestStripRefresh(channel);
}

PortClient* CMidiDevice::FindClient(std::uint32_t clientId) {
    auto it = clients.find(clientId);
    return it == clients.end() ? nullptr : it->second.get();
}

PortClient* CMidiDevice::AddClient(std::uint32_t clientId) {
    if (PortClient* existing = FindClient(clientId)) {
        return existing;
    }
    auto client = std::make_unique<PortClient>(*this, clientId);
    client->CreateStream(false); // the connection stays even without a stream
    PortClient* raw = client.get();
    clients.emplace(clientId, std::move(client));
    return raw;
}

void CMidiDevice::RemoveClient(std::uint32_t clientId) {
    auto it = clients.find(clientId);
    if (it == clients.end()) {
        return;
    }
    {
        // The caller holds the table lock: once a record in hand is done, no other can start.
        std::lock_guard<std::mutex> drain(it->second->inUse);
    }
    clients.erase(it);
}

bool CMidiDevice::CreateStreams(bool restore) {
    if (!synthEngine || !synthEngine->IsInitialised()) {
        return false;
    }
    for (auto& [id, client] : clients) {
        if (!client->CreateStream(restore)) {
            return false;
        }
    }
    if (restore) {
        return true;
    }
    if (!mixerStateLoaded && settings) {
        ReadMixerState(*settings);
        mixerStateLoaded = true;
    }
    ApplyChannel(kAllChannels);
    return true;
}

void CMidiDevice::FreeStreams(bool save) {
    for (auto& [id, client] : clients) {
        client->FreeStream(save);
    }
    for (auto& activity : channelActivity) {
        activity = 0;
    }
}

void CMidiDevice::Panic() {
    for (auto& [id, client] : clients) {
        if (client->HasStream()) {
            for (std::uint32_t c = 0; c < kChannels; ++c) {
                client->SendEvent(c, kEventNotesOff, 0);
            }
        }
    }
    for (auto& activity : channelActivity) {
        activity = 0;
    }
}

} // namespace hml::synth
