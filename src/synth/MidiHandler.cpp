#include "synth/MidiHandler.h"

#include "audio/SysEx.h"
#include "mixer/MixerOwner.h"

#include <algorithm>
#include <cstring>

namespace hml::synth {

using namespace hml::audio;
using namespace hml::mixer;

namespace {

namespace sysex = audio::sysex;

// With the override on, the part effect levels the client sends give way to the configured ones:
// the GS level and XG return messages of one value sent to the default device.
bool IsEffectLevelMessage(const sysex::SMessage& m) {
    return (m.kind == sysex::EKind::ReverbLevel || m.kind == sysex::EKind::ChorusLevel) &&
           m.standard;
}

} // namespace

CMidiHandler::CMidiHandler(mixer::IMixerOwner& owner, IStripRefresher* refresher,
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
    const sysex::SMessage message = sysex::Decode(bytes, length);
    if (effects.reverbChorusOverride && IsEffectLevelMessage(message)) {
        Counted();
        return;
    }
    Send(bytes, length);

    if (sysex::IsExactReset(message)) {
        mode = message.kind == sysex::EKind::GmSystemOn    ? kModeGm
               : message.kind == sysex::EKind::Gm2SystemOn ? kModeGm2
               : message.kind == sysex::EKind::GsReset     ? kModeGs
                                                           : kModeXg;
        ResetDrums();
        ResetInstruments();
        ApplyEffects();
        Counted();
        return;
    }

    // GS part parameters of one value, from any device id and whatever their checksum.
    const bool gsPart =
        message.kind == sysex::EKind::GsPartChannel || message.kind == sysex::EKind::GsRhythmPart;
    if (mode == kModeGs && gsPart && length == 11) {
        if (message.kind == sysex::EKind::GsPartChannel) {
            gsPartChannel[message.part] = static_cast<std::uint8_t>(message.value);
        } else {
            const std::uint32_t target = gsPartChannel[message.part];
            if (target < kChannels) {
                drum[target] = message.value != 0 ? 1 : 0;
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
    Refresh(mixer::IMixerOwner::kAllChannels);
}

void CMidiHandler::ResetDrums() {
    drum.fill(0);
    drum[kDrumChannel] = 1;
    for (std::uint32_t part = 0; part < kChannels; ++part) {
        gsPartChannel[part] =
            static_cast<std::uint8_t>(sysex::GsPartDefaultChannel(static_cast<int>(part)));
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
        const auto reverbMessage = sysex::Gs(sysex::kGsReverb, reverb);
        const auto chorusMessage = sysex::Gs(sysex::kGsChorus, chorus);
        stream->SendRaw(reverbMessage.data(), reverbMessage.size());
        stream->SendRaw(chorusMessage.data(), chorusMessage.size());
        break;
    }
    case kModeXg: {
        const auto reverbMessage = sysex::Xg(sysex::kXgReverb, reverb);
        const auto chorusMessage = sysex::Xg(sysex::kXgChorus, chorus);
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

} // namespace hml::synth
