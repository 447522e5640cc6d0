#pragma once
// The mixer state of everything that has a mixer (each synth port and the converter) and the rule
// that turns it into the gain each MIDI channel plays at.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

namespace hml::config {
class CSettings;
} // namespace hml::config

namespace hml::mixer {

class CMixerDialog;

// Channel index 0..15 is a MIDI channel; kAllChannels means all sixteen at once.
class IMixerOwner {
public:
    static constexpr std::uint32_t kChannels = 16;
    static constexpr std::uint32_t kAllChannels = 16;
    static constexpr std::uint32_t kNoLevel = 0xFFFFFFFFu;

    IMixerOwner() = default;
    virtual ~IMixerOwner() = default;
    IMixerOwner(const IMixerOwner&) = delete;
    IMixerOwner& operator=(const IMixerOwner&) = delete;

    // Output level: left in the low 16 bits, right in the high 16 bits (0..32768 each), or
    // kNoLevel when none is available.
    virtual std::uint32_t GetLevel() = 0;
    // The text a channel strip shows for a channel.
    virtual std::wstring GetInstrumentName(std::uint32_t channel) = 0;
    // The owner's name in the mixer window's caption.
    virtual std::wstring GetTitle() = 0;
    // Makes the audio side use GetEffectiveVolume of one channel, or of all for kAllChannels.
    virtual void ApplyChannel(std::uint32_t channel) = 0;

    void SetChannelMute(bool flag, std::uint32_t channel);
    void SetChannelSolo(bool flag, std::uint32_t channel);
    // Volumes are percent; anything above 100, negative values included, becomes 100.
    void SetChannelVolume(std::int32_t volume, std::uint32_t channel);
    void SetMasterVolume(std::int32_t volume);

    // The gain in percent that a channel plays at: mute wins, then the master scales the channel,
    // and while any channel is soloed the others keep SoloRatio percent of their level.
    std::uint32_t GetEffectiveVolume(std::uint32_t channel) const;

    // The mixer state in the configuration (keys with portSuffix) or, with a file, in a mixer
    // state file (keys without suffix). Writing returns false when a key could not be written.
    void ReadMixerState(config::CSettings& from, const std::wstring& file = {});
    bool WriteMixerState(config::CSettings& to, const std::wstring& file = {});

    // Creates the mixer window when there is none and brings it to the front (Windows build,
    // user-interface thread).
    void OpenMixerWindow();
    // Asks the open mixer window to close, or opens one.
    void ToggleMixerWindow();

    // Asks the mixer window to redraw a channel's strip (kAllChannels: every channel strip), for
    // example after a program change. Safe on any thread: it only marks the channel, and the
    // window redraws on its own thread.
    void RequestStripRefresh(std::uint32_t channel);
    // The channels marked since the last call, bit n for channel n; clears the marks.
    std::uint32_t TakeStripRefreshes();

    std::atomic<std::uint32_t> masterVolume{100};
    std::array<std::atomic<std::uint32_t>, kChannels> channelVolume{};
    std::array<std::atomic<std::uint32_t>, kChannels> channelMute{};
    std::array<std::atomic<std::uint32_t>, kChannels> channelSolo{};
    // Set by the port on note-on, cleared on note-off and panic; only read by the mixer.
    std::array<std::atomic<std::uint32_t>, kChannels> channelActivity{};
    CMixerDialog* mixerWindow = nullptr;
    std::wstring portSuffix;

private:
    bool AnySolo() const;

    std::atomic<std::uint32_t> stripsToRefresh{0};
};

// SoloRatio from the settings, or its default when there are none (command-line tools).
std::uint32_t CurrentSoloRatio();

} // namespace hml::mixer
