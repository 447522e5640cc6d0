#include "audio/stream/ChannelState.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace hml::audio {

namespace {

constexpr float kDefaultEffectLevel = 64.0f / 127.0f;
constexpr uint32_t kStateMagic = 0x31534D48; // "HMS1"
constexpr uint16_t kNoRpn = 0x3FFF;

template <class T> void Put(std::vector<uint8_t>& out, T v) {
    const size_t at = out.size();
    out.resize(at + sizeof v);
    std::memcpy(out.data() + at, &v, sizeof v);
}

class CReader {
public:
    CReader(const uint8_t* d, size_t n) : p(d), left(n) {}
    template <class T> bool Get(T& v) {
        if (left < sizeof v)
            return false;
        std::memcpy(&v, p, sizeof v);
        p += sizeof v;
        left -= sizeof v;
        return true;
    }

private:
    const uint8_t* p;
    size_t left;
};

bool ReadChannel(CReader& r, SChannel& ch) {
    uint8_t drum = 0, mono = 0, nrpn = 0;
    bool ok = r.Get(ch.program) && r.Get(drum) && r.Get(mono);
    for (uint8_t& c : ch.ctl.cc)
        ok = ok && r.Get(c);
    ok = ok && r.Get(ch.ctl.pitchBend) && r.Get(ch.ctl.bendRange) && r.Get(ch.fineCents) &&
         r.Get(ch.coarseSemis) && r.Get(ch.ctl.channelPressure) && r.Get(ch.ctl.reverbLevel) &&
         r.Get(ch.ctl.chorusLevel) && r.Get(ch.mixLevel) && r.Get(ch.rpn) && r.Get(nrpn);
    if (!ok)
        return false;
    for (uint8_t& c : ch.ctl.cc)
        c &= 0x7F;
    ch.program &= 0x7F;
    ch.drum = drum != 0;
    ch.mono = mono != 0;
    ch.nrpn = nrpn != 0;
    ch.ctl.pitchBend = std::min<uint16_t>(ch.ctl.pitchBend, 16383);
    return std::isfinite(ch.ctl.bendRange) && std::isfinite(ch.fineCents) &&
           std::isfinite(ch.coarseSemis) && std::isfinite(ch.mixLevel) &&
           std::isfinite(ch.ctl.reverbLevel) && std::isfinite(ch.ctl.chorusLevel);
}

} // namespace

CChannelState::CChannelState(IChannelVoices& v) : voices(v) {
    ResetAll(ModeGm1);
}

void CChannelState::ResetAll(EMode m) {
    mode = m;
    masterVolume = 1.0f;
    for (int c = 0; c < kMidiChannels; ++c) {
        voices.SoundOff(c);
        SChannel& ch = channels[c];
        const float mix = ch.mixLevel;
        ch = SChannel{};
        ch.mixLevel = mix;
        Touch(c);
        std::fill(ch.ctl.cc, ch.ctl.cc + 128, 0);
        ch.ctl.cc[7] = 100;
        ch.ctl.cc[10] = 64;
        ch.ctl.cc[11] = 127;
        ch.ctl.cc[91] = 40;
        ch.ctl.reverbLevel = kDefaultEffectLevel;
        ch.ctl.chorusLevel = kDefaultEffectLevel;
        ch.drum = c == 9;
        if (c == 9 && m == ModeXg)
            ch.ctl.cc[0] = 127;
        if (c == 9 && m == ModeGm2)
            ch.ctl.cc[0] = 120;
        if (c != 9 && m == ModeGm2)
            ch.ctl.cc[0] = 121;
        UpdateChannel(c);
    }
}

void CChannelState::ResetControllers(int c) {
    SChannel& ch = channels[c];
    ch.ctl.cc[1] = 0;
    ch.ctl.cc[11] = 127;
    ch.ctl.cc[64] = ch.ctl.cc[65] = ch.ctl.cc[66] = ch.ctl.cc[67] = 0;
    ch.ctl.pitchBend = 8192;
    ch.ctl.channelPressure = 0;
    std::fill(ch.ctl.keyPressure, ch.ctl.keyPressure + 128, 0);
    ch.rpn = kNoRpn;
    ch.nrpn = false;
    voices.ReleasePedalled(c, false, false);
    UpdateChannel(c);
}

void CChannelState::UpdateChannel(int c) {
    SChannel& ch = channels[c];
    ch.ctl.tuningCents = ch.fineCents + ch.coarseSemis * 100.0f;
    ch.ctl.gain = ch.mixLevel * (ch.ctl.cc[67] >= 64 ? 0.7f : 1.0f);
}

void CChannelState::Controller(int c, uint8_t n, uint8_t v) {
    SChannel& ch = channels[c];
    const uint8_t before = ch.ctl.cc[n];
    ch.ctl.cc[n] = v;
    switch (n) {
    case 6:
    case 38:
        DataEntry(c, false, 0);
        break;
    case 96:
    case 97:
        DataEntry(c, true, n == 96 ? 1 : -1);
        break;
    case 98:
    case 99:
        ch.nrpn = true;
        break;
    case 100:
    case 101:
        ch.nrpn = false;
        ch.rpn = static_cast<uint16_t>(ch.ctl.cc[101] << 7 | ch.ctl.cc[100]);
        break;
    case 64:
        if (v < 64 && before >= 64)
            voices.ReleasePedalled(c, false, ch.SostenutoDown());
        break;
    case 66:
        if (v >= 64 && before < 64) {
            voices.CatchSostenuto(c);
        } else if (v < 64 && before >= 64) {
            voices.FreeSostenuto(c);
            voices.ReleasePedalled(c, ch.SustainDown(), false);
        }
        break;
    case 67:
        UpdateChannel(c);
        break;
    case 120:
        voices.SoundOff(c);
        break;
    case 121:
        ResetControllers(c);
        break;
    case 123:
    case 124:
    case 125:
        voices.ReleaseAll(c, ch.SustainDown());
        break;
    case 126:
        voices.ReleaseAll(c, ch.SustainDown());
        ch.mono = true;
        break;
    case 127:
        voices.ReleaseAll(c, ch.SustainDown());
        ch.mono = false;
        break;
    default:
        break;
    }
}

void CChannelState::DataEntry(int c, bool step, int dir) {
    SChannel& ch = channels[c];
    if (ch.nrpn || ch.rpn == kNoRpn)
        return;
    uint8_t& msb = ch.ctl.cc[6];
    uint8_t& lsb = ch.ctl.cc[38];
    if (step) {
        if (ch.rpn == 0 || ch.rpn == 2)
            msb = static_cast<uint8_t>(std::clamp(msb + dir, 0, 127));
        else {
            const int v = std::clamp((msb << 7 | lsb) + dir, 0, 16383);
            msb = static_cast<uint8_t>(v >> 7);
            lsb = static_cast<uint8_t>(v & 0x7F);
        }
    }
    switch (ch.rpn) {
    case 0:
        ch.ctl.bendRange = msb + std::min<int>(lsb, 99) / 100.0f;
        break;
    case 1:
        ch.fineCents = ((msb << 7 | lsb) - 8192) / 8192.0f * 100.0f;
        break;
    case 2:
        ch.coarseSemis = static_cast<float>(msb - 64);
        break;
    default:
        break;
    }
    UpdateChannel(c);
}

void CChannelState::ProgramChange(int c, uint8_t program) {
    SChannel& ch = channels[c];
    ch.program = program;
    const uint8_t msb = ch.ctl.cc[0];
    if (mode == ModeXg) {
        ch.drum = msb == 127 || msb == 126;
    } else if (mode == ModeGm2) {
        if (msb == 120)
            ch.drum = true;
        else if (msb == 121)
            ch.drum = false;
    }
    ch.presetDirty = true;
}

void CChannelState::SetMixLevel(int c, float level) {
    channels[c].mixLevel = level;
    UpdateChannel(c);
}

int CChannelState::MelodicBank(int c) const {
    const uint8_t msb = channels[c].ctl.cc[0], lsb = channels[c].ctl.cc[32];
    if (mode == ModeXg)
        return msb == 0 ? lsb : msb;
    if (mode == ModeGm2)
        return msb == 121 ? lsb : msb;
    return msb;
}

void CChannelState::MarkPresetsDirty() {
    for (SChannel& ch : channels)
        ch.presetDirty = true;
}

void CChannelState::ApplySysEx(const sysex::SMessage& m) {
    using sysex::EKind;
    switch (m.kind) {
    case EKind::GmSystemOn:
    case EKind::GmSystemOff:
        return ResetAll(ModeGm1);
    case EKind::Gm2SystemOn:
        return ResetAll(ModeGm2);
    case EKind::GsReset:
        return ResetAll(ModeGs);
    case EKind::XgSystemOn:
    case EKind::XgAllReset:
        return ResetAll(ModeXg);
    case EKind::MasterVolume:
        masterVolume = m.MasterVolume();
        return;
    case EKind::ReverbLevel:
        for (SChannel& ch : channels)
            ch.ctl.reverbLevel = m.value / 127.0f;
        return;
    case EKind::ChorusLevel:
        for (SChannel& ch : channels)
            ch.ctl.chorusLevel = m.value / 127.0f;
        return;
    case EKind::GsRhythmPart:
    case EKind::XgPartMode: {
        const int c = m.kind == EKind::GsRhythmPart ? sysex::GsPartDefaultChannel(m.part) : m.part;
        channels[c].drum = m.value != 0; // XG: normal, or one of the drum modes
        channels[c].presetDirty = true;
        return;
    }
    default:
        return;
    }
}

void CChannelState::Save(std::vector<uint8_t>& out) const {
    Put(out, kStateMagic);
    Put(out, static_cast<uint8_t>(mode));
    Put(out, masterVolume);
    for (const SChannel& ch : channels) {
        Put(out, ch.program);
        Put(out, static_cast<uint8_t>(ch.drum));
        Put(out, static_cast<uint8_t>(ch.mono));
        for (uint8_t c : ch.ctl.cc)
            Put(out, c);
        Put(out, ch.ctl.pitchBend);
        Put(out, ch.ctl.bendRange);
        Put(out, ch.fineCents);
        Put(out, ch.coarseSemis);
        Put(out, ch.ctl.channelPressure);
        Put(out, ch.ctl.reverbLevel);
        Put(out, ch.ctl.chorusLevel);
        Put(out, ch.mixLevel);
        Put(out, ch.rpn);
        Put(out, static_cast<uint8_t>(ch.nrpn));
    }
}

bool CChannelState::Restore(const uint8_t* data, size_t size) {
    CReader r(data, size);
    uint32_t magic = 0;
    uint8_t m = 0;
    float master = 1;
    SChannel next[kMidiChannels];
    if (!r.Get(magic) || magic != kStateMagic || !r.Get(m) || m > ModeXg || !r.Get(master))
        return false;
    for (SChannel& ch : next)
        if (!ReadChannel(r, ch))
            return false;
    mode = static_cast<EMode>(m);
    masterVolume = std::isfinite(master) ? std::clamp(master, 0.0f, 4.0f) : 1.0f;
    for (int c = 0; c < kMidiChannels; ++c) {
        channels[c] = next[c];
        channels[c].presetDirty = true;
        Touch(c);
        UpdateChannel(c);
    }
    return true;
}

} // namespace hml::audio
