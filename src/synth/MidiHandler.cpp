#include "synth/MidiHandler.h"

#include "audio/EffectLevelSysEx.h"
#include "mixer/MixerOwner.h"

#include <algorithm>
#include <cstring>

namespace {

namespace effect_sysex = hml::audio::effect_sysex;

constexpr std::uint8_t kGmSystemOn[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
constexpr std::uint8_t kGm2SystemOn[] = {0xF0, 0x7E, 0x7F, 0x09, 0x03, 0xF7};
constexpr std::uint8_t kGsReset[] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40,
                                     0x00, 0x7F, 0x00, 0x41, 0xF7};
constexpr std::uint8_t kXgSystemOn[] = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};

// GS effect level messages: F0 41 10 42 12 40 01 <address low> <level> <checksum> F7.
constexpr std::size_t kGsLevelLength = 11;
constexpr std::uint8_t kGsReverbAddress = effect_sysex::kGsReverb;
constexpr std::uint8_t kGsChorusAddress = effect_sysex::kGsChorus;
// XG effect return messages: F0 43 10 4C 02 01 <address low> <level> F7.
constexpr std::size_t kXgReturnLength = 9;
constexpr std::uint8_t kXgReverbAddress = effect_sysex::kXgReverb;
constexpr std::uint8_t kXgChorusAddress = effect_sysex::kXgChorus;

constexpr std::uint8_t kGsLevelHead[] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01};
constexpr std::uint8_t kXgReturnHead[] = {0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01};

template <std::size_t N>
bool Equals(const std::uint8_t* bytes, std::size_t length, const std::uint8_t (&message)[N]) {
    return length == N && std::memcmp(bytes, message, N) == 0;
}

template <std::size_t N> bool StartsWith(const std::uint8_t* bytes, const std::uint8_t (&head)[N]) {
    return std::memcmp(bytes, head, N) == 0;
}

bool IsEffectLevelMessage(const std::uint8_t* bytes, std::size_t length) {
    if (length == kGsLevelLength && StartsWith(bytes, kGsLevelHead)) {
        return bytes[7] == kGsReverbAddress || bytes[7] == kGsChorusAddress;
    }
    if (length == kXgReturnLength && StartsWith(bytes, kXgReturnHead)) {
        return bytes[6] == kXgReverbAddress || bytes[6] == kXgChorusAddress;
    }
    return false;
}

} // namespace

CMidiHandler::CMidiHandler(IMixerOwner& owner, IStripRefresher* refresher,
                           const MidiEffectsConfig& config)
    : port(owner), strips(refresher), effects(config),
      sysEx(std::make_unique<std::uint8_t[]>(kSysExCapacity)) {
    // Without a stream this only sets the default drum channel and part map.
    ResetDrums();
}

void CMidiHandler::ShortMessage(std::uint32_t message, std::uint32_t param2) {
    std::uint32_t status = message & 0xFF;
    if (status < 0x80) {
        status = runningStatus;
        message = (message << 8) | status;
    } else if (status >= 0xF0 && status <= 0xF7) {
        runningStatus = 0;
    } else if (status < 0xF8) {
        runningStatus = static_cast<std::uint8_t>(status);
    }
    Counted();
    if (status < 0x80) {
        // A data byte with no channel status to run on.
        return;
    }

    const std::uint32_t channel = status & 0x0F;
    const std::uint8_t d1 = static_cast<std::uint8_t>(message >> 8);
    const std::uint8_t d2 = static_cast<std::uint8_t>(message >> 16);
    std::size_t length = 3;
    switch (status & 0xF0) {
    case 0x80:
        port.channelActivity[channel] = 0;
        break;
    case 0x90:
        port.channelActivity[channel] = d2 != 0 ? 1 : 0;
        break;
    case 0xB0:
        if (d1 == 0 || d1 == 32) {
            SelectBank(channel, d1, d2);
            Refresh(channel);
        } else if (d1 == 120 || d1 == 123) {
            port.channelActivity[channel] = 0;
        }
        break;
    case 0xC0:
        length = 2;
        program[channel] = d1;
        instrumentName[channel] =
            drum[channel] ? kDrumsName : LookupInstrumentName(d1, bank[channel], mode);
        Refresh(channel);
        break;
    case 0xD0:
        length = 2;
        break;
    case 0xF0:
        switch (status & 0x0F) {
        case 0x0:
            length = 0; // a SysEx start has no place in a short message
            break;
        case 0x1:
        case 0x3:
            length = 2;
            break;
        case 0x2:
            length = 3;
            break;
        default:
            length = 1;
            break;
        }
        break;
    default: // 0xA0, 0xE0
        break;
    }

    const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(status), d1, d2};
    Send(bytes, length);

    if ((status & 0xF0) == 0xB0 && d1 == 0) {
        TrackDrumBank(channel, d2);
    } else if (param2 == 0xC0 && stream != nullptr) {
        stream->SendEvent(channel, kEventDrums, drum[channel]);
    }
}

void CMidiHandler::SelectBank(std::uint32_t channel, std::uint32_t controller,
                              std::uint32_t value) {
    (controller == 0 ? bankMsb : bankLsb)[channel] = static_cast<std::uint8_t>(value);
    // Each table is keyed by the bank select byte(s) its synthesizer family uses for variations.
    // Plain GM has no variations.
    switch (mode) {
    case kModeGm2:
        bank[channel] = bankLsb[channel];
        break;
    case kModeGs:
        bank[channel] = bankMsb[channel];
        break;
    case kModeXg:
        bank[channel] = bankMsb[channel] * 128u + bankLsb[channel];
        break;
    default:
        bank[channel] = 0;
        break;
    }
}

void CMidiHandler::TrackDrumBank(std::uint32_t channel, std::uint32_t value) {
    if (mode == kModeXg) {
        drum[channel] = value == 127 ? 1 : 0;
    } else if (mode == kModeGm2) {
        if (value == 120) {
            drum[channel] = 1;
        } else if (value == 121) {
            drum[channel] = 0;
        }
    }
}

void CMidiHandler::LongMessage(std::uint32_t index, std::uint32_t count, const std::uint8_t* bytes,
                               std::uint32_t length) {
    const std::size_t size = bytes != nullptr ? std::min<std::size_t>(length, kChunkSize) : 0;
    if (count == 0 || index >= count) {
        return;
    }
    if (count == 1) {
        HandleSysEx(bytes, size);
        return;
    }

    if (index == 0) {
        // A new message; one still being gathered is abandoned. 64-bit so no count overflows.
        sysExUsed = 0;
        const bool fits = static_cast<std::uint64_t>(count) * kChunkSize <= kSysExCapacity;
        sysExCount = fits ? count : 0;
        if (!fits) {
            return;
        }
    } else if (sysExCount == 0 || count != sysExCount || index != sysExNext) {
        // Out of order, a changed count or no start seen: the rest of this message is dropped.
        sysExCount = 0;
        return;
    }
    if (sysExUsed + size > kSysExCapacity) {
        sysExCount = 0;
        return;
    }
    if (size != 0) {
        std::memcpy(sysEx.get() + sysExUsed, bytes, size);
    }
    sysExUsed += size;
    sysExNext = index + 1;
    if (sysExNext == count) {
        sysExCount = 0;
        const std::size_t used = sysExUsed;
        sysExUsed = 0;
        HandleSysEx(sysEx.get(), used);
    }
}

void CMidiHandler::HandleSysEx(const std::uint8_t* bytes, std::size_t length) {
    if (effects.reverbChorusOverride && IsEffectLevelMessage(bytes, length)) {
        Counted();
        return;
    }
    Send(bytes, length);

    std::uint32_t newMode = 0xFFFFFFFFu;
    if (Equals(bytes, length, kGmSystemOn)) {
        newMode = kModeGm;
    } else if (Equals(bytes, length, kGm2SystemOn)) {
        newMode = kModeGm2;
    } else if (Equals(bytes, length, kGsReset)) {
        newMode = kModeGs;
    } else if (Equals(bytes, length, kXgSystemOn)) {
        newMode = kModeXg;
    }
    if (newMode != 0xFFFFFFFFu) {
        mode = newMode;
        ResetDrums();
        ResetInstruments();
        ApplyEffects();
        Counted();
        return;
    }

    // GS part parameter F0 41 <dev> 42 12 40 1x <parameter> <value> <checksum> F7.
    if (mode == kModeGs && length == 11 && bytes[0] == 0xF0 && bytes[1] == 0x41 &&
        bytes[3] == 0x42 && bytes[4] == 0x12 && bytes[5] == 0x40 && (bytes[6] & 0xF0) == 0x10 &&
        bytes[10] == 0xF7) {
        const std::uint32_t part = bytes[6] & 0x0F;
        const std::uint8_t value = bytes[8];
        if (bytes[7] == 0x02) { // receive channel
            gsPartChannel[part] = value;
        } else if (bytes[7] == 0x15) { // use for rhythm part: 0 off, 1 or 2 a drum map
            const std::uint32_t target = gsPartChannel[part];
            if (target < kChannels) {
                drum[target] = value != 0 ? 1 : 0;
            }
        }
    }
    Counted();
}

void CMidiHandler::NotesOff() {
    for (std::uint32_t c = 0; c < kChannels; ++c) {
        if (stream != nullptr) {
            stream->SendEvent(c, kEventNotesOff, 0);
        }
        port.channelActivity[c] = 0;
    }
}

void CMidiHandler::ResetInstruments() {
    bank.fill(0);
    bankMsb.fill(0);
    bankLsb.fill(0);
    program.fill(0);
    for (auto& name : instrumentName) {
        name = nullptr;
    }
    Refresh(IMixerOwner::kAllChannels);
}

void CMidiHandler::ResetDrums() {
    drum.fill(0);
    drum[kDrumChannel] = 1;
    // GS part 0 is MIDI channel 10, parts 1..9 channels 1..9, the rest their own channel.
    for (std::uint32_t part = 0; part < kChannels; ++part) {
        gsPartChannel[part] = static_cast<std::uint8_t>(part == 0   ? 9
                                                        : part <= 9 ? part - 1
                                                                    : part);
    }
    if (stream != nullptr) {
        for (std::uint32_t c = 0; c < kChannels; ++c) {
            stream->SendEvent(c, kEventDrums, drum[c]);
        }
    }
}

void CMidiHandler::ApplyEffects() {
    if (stream == nullptr) {
        return;
    }
    const std::uint8_t reverb = static_cast<std::uint8_t>(std::min(effects.reverbLevel, 127u));
    const std::uint8_t chorus = static_cast<std::uint8_t>(std::min(effects.chorusLevel, 127u));
    switch (mode) {
    case kModeGs: {
        const auto reverbMessage = effect_sysex::Gs(kGsReverbAddress, reverb);
        const auto chorusMessage = effect_sysex::Gs(kGsChorusAddress, chorus);
        stream->SendRaw(reverbMessage.data(), reverbMessage.size());
        stream->SendRaw(chorusMessage.data(), chorusMessage.size());
        break;
    }
    case kModeXg: {
        const auto reverbMessage = effect_sysex::Xg(kXgReverbAddress, reverb);
        const auto chorusMessage = effect_sysex::Xg(kXgChorusAddress, chorus);
        stream->SendRaw(reverbMessage.data(), reverbMessage.size());
        stream->SendRaw(chorusMessage.data(), chorusMessage.size());
        break;
    }
    default:
        // The stream's own effect sends take percent.
        for (std::uint32_t c = 0; c < kChannels; ++c) {
            stream->SendEvent(c, kEventReverb, reverb * 100u / 127u);
            stream->SendEvent(c, kEventChorus, chorus * 100u / 127u);
        }
        break;
    }
}

void CMidiHandler::Send(const std::uint8_t* bytes, std::size_t count) {
    if (stream != nullptr && count != 0) {
        stream->SendRaw(bytes, count);
    }
}

void CMidiHandler::Refresh(std::uint32_t channel) {
    if (strips != nullptr) {
        strips->RefreshStrip(channel);
    }
}
