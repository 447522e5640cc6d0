#include "mixer/MixerOwner.h"

#include "config/ProfileText.h"
#include "config/Settings.h"

namespace hml::mixer {

using namespace hml::config;

namespace {

std::uint32_t LimitVolume(std::int32_t volume) {
    // Taken as unsigned, so a negative volume is a huge one and ends at the limit as well.
    std::uint32_t v = static_cast<std::uint32_t>(volume);
    return v > 100 ? 100 : v;
}

} // namespace

std::uint32_t CurrentSoloRatio() {
    return settings ? settings->soloRatio.Get() : 20;
}

void IMixerOwner::SetChannelMute(bool flag, std::uint32_t channel) {
    if (channel >= kChannels) {
        for (std::uint32_t c = 0; c < kChannels; ++c) {
            channelMute[c] = flag;
            if (flag) {
                channelSolo[c] = 0;
            }
        }
        ApplyChannel(kAllChannels);
        return;
    }
    channelMute[channel] = flag;
    bool soloCleared = flag && channelSolo[channel] != 0;
    if (soloCleared) {
        channelSolo[channel] = 0;
    }
    ApplyChannel(soloCleared ? kAllChannels : channel);
}

void IMixerOwner::SetChannelSolo(bool flag, std::uint32_t channel) {
    if (channel >= kChannels) {
        for (std::uint32_t c = 0; c < kChannels; ++c) {
            channelSolo[c] = flag;
            if (flag) {
                channelMute[c] = 0;
            }
        }
    } else {
        channelSolo[channel] = flag;
        if (flag) {
            channelMute[channel] = 0;
        }
    }
    ApplyChannel(kAllChannels);
}

void IMixerOwner::SetChannelVolume(std::int32_t volume, std::uint32_t channel) {
    const std::uint32_t v = LimitVolume(volume);
    if (channel >= kChannels) {
        for (auto& c : channelVolume) {
            c = v;
        }
        ApplyChannel(kAllChannels);
        return;
    }
    channelVolume[channel] = v;
    ApplyChannel(channel);
}

void IMixerOwner::SetMasterVolume(std::int32_t volume) {
    masterVolume = LimitVolume(volume);
    ApplyChannel(kAllChannels);
}

bool IMixerOwner::AnySolo() const {
    for (const auto& s : channelSolo) {
        if (s != 0) {
            return true;
        }
    }
    return false;
}

std::uint32_t IMixerOwner::GetEffectiveVolume(std::uint32_t channel) const {
    if (channel >= kChannels) {
        return 100;
    }
    if (channelMute[channel] != 0) {
        return 0;
    }
    const std::uint32_t base = channelVolume[channel] * masterVolume / 100;
    if (channelSolo[channel] == 0 && AnySolo()) {
        return base * CurrentSoloRatio() / 100;
    }
    return base;
}

void IMixerOwner::RequestStripRefresh(std::uint32_t channel) {
    const std::uint32_t bits = channel >= kChannels ? (1u << kChannels) - 1 : 1u << channel;
    stripsToRefresh.fetch_or(bits);
}

std::uint32_t IMixerOwner::TakeStripRefreshes() {
    return stripsToRefresh.exchange(0);
}

void IMixerOwner::ReadMixerState(config::CSettings& from, const std::wstring& file) {
    const std::wstring suffix = file.empty() ? portSuffix : std::wstring();
    auto mute =
        config::ParseChannelFlags(from.ReadString(L"Mixer", L"ChannelMute", L"", 34, suffix, file));
    auto solo =
        config::ParseChannelFlags(from.ReadString(L"Mixer", L"ChannelSolo", L"", 34, suffix, file));
    std::array<std::uint32_t, kChannels> volume;
    for (std::uint32_t c = 0; c < kChannels; ++c) {
        volume[c] = channelVolume[c];
    }
    std::array<std::uint32_t, kChannels> defaults;
    defaults.fill(100);
    config::ParseChannelVolumes(from.ReadString(L"Mixer", L"ChannelVolume",
                                                config::FormatChannelVolumes(defaults), 80, suffix,
                                                file),
                                volume);
    // Signed comparison: a negative master volume reads as 0.
    std::int32_t master =
        static_cast<std::int32_t>(from.ReadInt(L"Mixer", L"MasterVolume", 100, suffix, file));
    for (std::uint32_t c = 0; c < kChannels; ++c) {
        channelMute[c] = mute[c];
        channelSolo[c] = solo[c];
        channelVolume[c] = volume[c];
    }
    masterVolume = static_cast<std::uint32_t>(master < 0 ? 0 : (master > 100 ? 100 : master));
}

bool IMixerOwner::WriteMixerState(config::CSettings& to, const std::wstring& file) {
    const std::wstring suffix = file.empty() ? portSuffix : std::wstring();
    std::array<std::uint32_t, kChannels> mute, solo, volume;
    for (std::uint32_t c = 0; c < kChannels; ++c) {
        mute[c] = channelMute[c];
        solo[c] = channelSolo[c];
        volume[c] = channelVolume[c];
    }
    const std::wstring muteText = config::FormatChannelFlags(mute);
    const std::wstring soloText = config::FormatChannelFlags(solo);
    const std::wstring volumeText = config::FormatChannelVolumes(volume);
    const std::wstring masterText = std::to_wstring(masterVolume.load());
    bool written = to.WriteString(L"Mixer", L"ChannelMute", &muteText, suffix, file);
    written = to.WriteString(L"Mixer", L"ChannelSolo", &soloText, suffix, file) && written;
    written = to.WriteString(L"Mixer", L"ChannelVolume", &volumeText, suffix, file) && written;
    written = to.WriteString(L"Mixer", L"MasterVolume", &masterText, suffix, file) && written;
    return written;
}

} // namespace hml::mixer
