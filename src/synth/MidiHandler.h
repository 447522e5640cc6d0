#pragma once
// The MIDI state one client connection keeps and the handlers that pass its records on to the
// connection's stream: running status, synthesizer mode, programs, banks, drum channels,
// instrument names, SysEx reassembly and the configured effect levels.
//
// All handlers run on the listen thread and allocate nothing; the only buffer, for SysEx
// reassembly, is allocated once at construction.

#include "synth/InstrumentNames.h"
#include "synth/MidiStreamTarget.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace hml::mixer {
class IMixerOwner;
} // namespace hml::mixer

namespace hml::synth {

// The reverb and chorus settings the handler applies, copied in by the owner so the handler
// never reads the global settings from the listen thread.
struct MidiEffectsConfig {
    std::uint32_t reverbLevel = 64; // 0..127
    std::uint32_t chorusLevel = 64; // 0..127
    // Drops incoming GS and XG reverb and chorus level messages so the levels above stay.
    bool reverbChorusOverride = true;
};

class CMidiHandler {
public:
    static constexpr std::uint32_t kChannels = 16;
    static constexpr std::uint32_t kDrumChannel = 9;
    // A SysEx message travels in chunks of at most this many bytes.
    static constexpr std::size_t kChunkSize = 50;
    // Longest SysEx message reassembled; longer ones are dropped whole.
    static constexpr std::size_t kSysExCapacity = 64 * 1024;

    // port: its channelActivity flags are lit and cleared here. strips: refreshed when a name may
    // have changed; may be null.
    CMidiHandler(mixer::IMixerOwner& port, IStripRefresher* strips,
                 const MidiEffectsConfig& effects);
    CMidiHandler(const CMidiHandler&) = delete;
    CMidiHandler& operator=(const CMidiHandler&) = delete;

    // The connection's stream, or null while it has none; then nothing is sent but the state
    // is still kept.
    void SetStream(IMidiStreamTarget* target) { stream = target; }
    // Takes effect with the next ApplyEffects or incoming SysEx.
    void SetEffects(const MidiEffectsConfig& config) { effects = config; }

    // A short message packed as by midiOutShortMsg. A record whose param2 is 0xC0 also re-sends
    // the channel's drum flag to the stream.
    void ShortMessage(std::uint32_t message, std::uint32_t param2);
    // One chunk of a SysEx message: chunk index from 0, number of chunks, the chunk's bytes.
    void LongMessage(std::uint32_t index, std::uint32_t count, const std::uint8_t* bytes,
                     std::uint32_t length);
    void NotesOff();
    void ResetInstruments();
    void ResetDrums();
    void ApplyEffects();

    // The state below is written only by the handlers. instrumentName and eventCount are also
    // read from other threads (mixer, update thread), hence atomic.
    std::uint32_t mode = kModeGm;
    std::uint8_t runningStatus = 0;
    std::array<std::uint32_t, kChannels> bank{};
    std::array<std::uint8_t, kChannels> program{};
    std::array<std::atomic<const wchar_t*>, kChannels> instrumentName{};
    std::array<std::uint8_t, kChannels> drum{};
    // GS part (block 0..15 of addresses 40 1x) -> MIDI channel; 16 and above mean none.
    std::array<std::uint8_t, kChannels> gsPartChannel{};
    // Records handled since the update thread last cleared it.
    std::atomic<std::int32_t> eventCount{0};

private:
    void HandleSysEx(const std::uint8_t* bytes, std::size_t length);
    void SelectBank(std::uint32_t channel, std::uint32_t controller, std::uint32_t value);
    void TrackDrumBank(std::uint32_t channel, std::uint32_t value);
    void Send(const std::uint8_t* bytes, std::size_t count);
    void Refresh(std::uint32_t channel);
    void Counted() { eventCount.fetch_add(1, std::memory_order_relaxed); }

    mixer::IMixerOwner& port;
    IStripRefresher* strips;
    IMidiStreamTarget* stream = nullptr;
    MidiEffectsConfig effects;

    // The two bank-select bytes as last received; bank[] is formed from them by mode.
    std::array<std::uint8_t, kChannels> bankMsb{};
    std::array<std::uint8_t, kChannels> bankLsb{};

    std::unique_ptr<std::uint8_t[]> sysEx;
    std::size_t sysExUsed = 0;
    // Chunk count of the message being gathered and the index expected next; 0 when none is.
    std::uint32_t sysExCount = 0;
    std::uint32_t sysExNext = 0;
};

} // namespace hml::synth
