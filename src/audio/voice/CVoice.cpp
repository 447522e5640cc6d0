#include "audio/voice/CVoice.h"

#include "audio/dsp/Interpolator.h"
#include "audio/dsp/VoiceKernels.h"
#include "audio/sf2/CSoundFont.h"
#include "audio/voice/SynthMath.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace hml::audio::voice {
namespace {

using namespace sf2;

constexpr double kPi = 3.14159265358979323846;

// -100 dB: below the last bit of 16-bit output.
constexpr float kInaudibleGain = 1e-5f;

// Modulators every voice has unless its zones override them. The velocity-to-filter one is
// left out on purpose: its 2.01 and 2.04 forms disagree and fonts are voiced without it.
constexpr SModulator kDefaultMods[] = {
    {0x0502, InitialAttenuation, 960, 0, 0}, // velocity, concave
    {0x000D, VibLfoToPitch, 50, 0, 0},       // channel pressure
    {0x0081, VibLfoToPitch, 50, 0, 0},       // modulation wheel
    {0x0587, InitialAttenuation, 960, 0, 0}, // volume
    {0x028A, Pan, 500, 0, 0},                // pan, -50%..+50%
    {0x058B, InitialAttenuation, 960, 0, 0}, // expression
    {0x00DB, ReverbEffectsSend, 200, 0, 0},
    {0x00DD, ChorusEffectsSend, 200, 0, 0},
    {0x020E, FineTune, 12700, 0x0010, 0}, // pitch wheel, scaled by its sensitivity
};

// Generators a preset zone may not change.
constexpr uint64_t kInstrumentOnly =
    (1ull << StartAddrsOffset) | (1ull << EndAddrsOffset) | (1ull << StartloopAddrsOffset) |
    (1ull << EndloopAddrsOffset) | (1ull << StartAddrsCoarseOffset) |
    (1ull << EndAddrsCoarseOffset) | (1ull << StartloopAddrsCoarseOffset) |
    (1ull << EndloopAddrsCoarseOffset) | (1ull << Keynum) | (1ull << Velocity) |
    (1ull << SampleModes) | (1ull << ExclusiveClass) | (1ull << OverridingRootKey);

void SetDefaults(float* g) {
    std::fill(g, g + GenCount, 0.0f);
    g[InitialFilterFc] = 13500;
    for (int i : {DelayModLfo, DelayVibLfo, DelayModEnv, AttackModEnv, HoldModEnv, DecayModEnv,
                  ReleaseModEnv, DelayVolEnv, AttackVolEnv, HoldVolEnv, DecayVolEnv, ReleaseVolEnv})
        g[i] = -12000;
    g[Keynum] = -1;
    g[Velocity] = -1;
    g[ScaleTuning] = 100;
    g[OverridingRootKey] = -1;
}

// Delays at the file's minimum mean none; other times keep the 1 ms floor of the format.
double DelaySeconds(double tc) {
    return tc <= -12000 ? 0.0 : TimecentsToSeconds(tc);
}
double StageSeconds(double tc) {
    return TimecentsToSeconds(std::clamp(tc, -12000.0, 8000.0));
}

// Identical modulators replace earlier ones; others join the list.
void MergeMods(SModulator* list, int& count, const std::vector<SModulator>& add) {
    for (const SModulator& m : add) {
        bool found = false;
        for (int i = 0; i < count && !found; ++i) {
            if (list[i].SameAs(m)) {
                list[i].amount = m.amount;
                found = true;
            }
        }
        if (!found && count < CVoice::kMaxMods)
            list[count++] = m;
    }
}

} // namespace

float CVoice::SLfo::Value() const {
    if (t < delay)
        return 0.0f;
    const double p = phase;
    return static_cast<float>(p < 0.25 ? 4 * p : p < 0.75 ? 2 - 4 * p : 4 * p - 4);
}

void CVoice::SLfo::Advance(double dt) {
    const double before = t;
    t += dt;
    if (t <= delay)
        return;
    const double run = t - std::max(before, delay);
    phase += run * freq;
    // The phase never goes below 0, so truncation is floor (without a library call).
    phase -= static_cast<double>(static_cast<int64_t>(phase));
}

bool CVoice::Start(const SVoiceStart& s, const SChannelControls* controls, double outputRate) {
    active = false;
    if (s.font == nullptr || s.instZone == nullptr)
        return false;
    const SModel& model = s.font->Model();
    if (s.instZone->link < 0 || static_cast<size_t>(s.instZone->link) >= model.samples.size())
        return false;
    ctl = controls;
    outRate = outputRate;
    channel = s.channel;
    noteId = s.noteId;
    sample = &model.samples[static_cast<size_t>(s.instZone->link)];
    rule = s.rule;
    filter.SetShape(rule ? static_cast<EFilterShape>(rule->filterShape) : EFilterShape::LowPass2);
    font = s.font;
    data16 = sample->data16 ? sample->data16 : s.font->Samples16();
    data24 = sample->data16 ? sample->data24 : s.font->Samples24();
    fontVolume = s.font->GetVolume();

    CombineGenerators(s);
    CombineModulators(s);
    key = gen[Keynum] >= 0 ? std::min(static_cast<int>(gen[Keynum]), 127) : s.key;
    velocity = gen[Velocity] >= 0 ? std::min(static_cast<int>(gen[Velocity]), 127) : s.velocity;
    velocityGain = rule && !rule->velocityCurve.empty()
                       ? rule->velocityCurve[static_cast<size_t>(std::clamp(velocity, 0, 127))]
                       : 1.0f;
    ComputeMods();
    modsSerial = ctl->serial;

    if (!SetSampleWindow(sample->data16 ? sample->dataFrames : model.smplFrames))
        return false;
    const int root =
        gen[OverridingRootKey] >= 0 ? static_cast<int>(gen[OverridingRootKey]) : sample->rootKey;
    basePitch = (key - root) * static_cast<double>(gen[ScaleTuning]) + gen[CoarseTune] * 100.0 +
                gen[FineTune] + sample->pitchCorrection;
    rateScale = static_cast<double>(sample->rate) / outRate;
    exclusiveClass = static_cast<int>(gen[sf2::ExclusiveClass]);
    SetUpEnvelopesAndLfos();
    ResetPlayback();
    active = true;
    return true;
}

// Instrument values replace the defaults, preset values add to them.
void CVoice::CombineGenerators(const SVoiceStart& s) {
    SetDefaults(gen);
    for (const SZone* z : {s.instGlobal, s.instZone})
        if (z != nullptr)
            for (int g = 0; g < GenCount; ++g)
                if (z->Has(g))
                    gen[g] = z->gen[g];
    float pgen[GenCount] = {};
    for (const SZone* z : {s.presetGlobal, s.presetZone})
        if (z != nullptr)
            for (int g = 0; g < GenCount; ++g)
                if (z->Has(g) && !((kInstrumentOnly >> g) & 1u))
                    pgen[g] = z->gen[g];
    for (int g = 0; g < GenCount; ++g)
        gen[g] += pgen[g];
}

// The defaults, replaced by identical instrument modulators (local over global); preset
// modulators (local over global) then add to those.
void CVoice::CombineModulators(const SVoiceStart& s) {
    modCount = 0;
    for (const SModulator& m : kDefaultMods)
        mods[modCount++] = m;
    if (s.instGlobal)
        MergeMods(mods, modCount, s.instGlobal->mods);
    MergeMods(mods, modCount, s.instZone->mods);
    SModulator pmods[kMaxMods];
    int pcount = 0;
    if (s.presetGlobal)
        MergeMods(pmods, pcount, s.presetGlobal->mods);
    if (s.presetZone)
        MergeMods(pmods, pcount, s.presetZone->mods);
    for (int i = 0; i < pcount; ++i) {
        bool found = false;
        for (int j = 0; j < modCount && !found; ++j)
            if (mods[j].SameAs(pmods[i])) {
                mods[j].amount = static_cast<int16_t>(
                    std::clamp(mods[j].amount + pmods[i].amount, -32768, 32767));
                found = true;
            }
        if (!found && modCount < kMaxMods)
            mods[modCount++] = pmods[i];
    }
}

// The sample window and loop with their offset generators, clamped into the sample data and
// each inside the one before. False when less than two frames remain to play.
bool CVoice::SetSampleWindow(int64_t dataFrames) {
    const auto at = [this](uint32_t base, int fine, int coarse, int64_t lo, int64_t hi) {
        const int64_t v = int64_t{base} + static_cast<int64_t>(gen[fine]) +
                          32768 * static_cast<int64_t>(gen[coarse]);
        return std::clamp(v, lo, hi);
    };
    start = at(sample->start, StartAddrsOffset, StartAddrsCoarseOffset, 0, dataFrames);
    end = at(sample->end, EndAddrsOffset, EndAddrsCoarseOffset, start, dataFrames);
    loopStart = at(sample->loopStart, StartloopAddrsOffset, StartloopAddrsCoarseOffset, start, end);
    loopEnd = at(sample->loopEnd, EndloopAddrsOffset, EndloopAddrsCoarseOffset, loopStart, end);
    loopMode = static_cast<int>(gen[SampleModes]) & 3;
    if (loopMode == 2 || loopEnd - loopStart < 2)
        loopMode = 0;
    pos = static_cast<double>(start);
    return end - start >= 2;
}

void CVoice::SetUpEnvelopesAndLfos() {
    const double keyOffset = 60 - key;
    volEnv = {};
    volEnv.stage = EStage::Delay;
    volEnv.delay = DelaySeconds(Gen(DelayVolEnv));
    volEnv.attack = StageSeconds(Gen(AttackVolEnv));
    volEnv.hold = StageSeconds(Gen(HoldVolEnv) + Gen(KeynumToVolEnvHold) * keyOffset);
    volEnv.decay = StageSeconds(Gen(DecayVolEnv) + Gen(KeynumToVolEnvDecay) * keyOffset);
    volEnv.release = StageSeconds(Gen(ReleaseVolEnv));
    volEnv.sustain = std::clamp(Gen(SustainVolEnv), 0.0f, 1440.0f) / 10.0;
    modEnv = {};
    modEnv.stage = EStage::Delay;
    modEnv.delay = DelaySeconds(Gen(DelayModEnv));
    modEnv.attack = StageSeconds(Gen(AttackModEnv));
    modEnv.hold = StageSeconds(Gen(HoldModEnv) + Gen(KeynumToModEnvHold) * keyOffset);
    modEnv.decay = StageSeconds(Gen(DecayModEnv) + Gen(KeynumToModEnvDecay) * keyOffset);
    modEnv.release = StageSeconds(Gen(ReleaseModEnv));
    modEnv.sustain = 1.0 - std::clamp(Gen(SustainModEnv), 0.0f, 1000.0f) / 1000.0;
    modLfo = {};
    modLfo.delay = DelaySeconds(Gen(DelayModLfo));
    modLfo.freq = AbsCentsToHz(std::clamp(Gen(FreqModLfo), -16000.0f, 4500.0f));
    vibLfo = {};
    vibLfo.delay = DelaySeconds(Gen(DelayVibLfo));
    vibLfo.freq = AbsCentsToHz(std::clamp(Gen(FreqVibLfo), -16000.0f, 4500.0f));
    if (rule != nullptr)
        ApplyEnvelopeRule(*rule);
}

void CVoice::ApplyEnvelopeRule(const sf2::SRegionRule& r) {
    volEnv.attackFrom = std::clamp(static_cast<double>(r.ampStart), 0.0, 1.0);
    for (const sf2::SEnvelopeMod& m : r.envelopeMods) {
        const double x = m.cc < 0 ? velocity / 127.0 : ctl->cc[m.cc & 127] / 127.0;
        const double add = m.amount * x;
        SEnv& e = m.amplitude ? volEnv : modEnv;
        using S = sf2::SEnvelopeMod;
        if (m.stage == S::Sustain) {
            if (m.amplitude) {
                // The volume sustain is held as attenuation in dB; the opcode adds percent.
                const double pct = 100.0 * std::pow(10.0, -e.sustain / 20.0) + add;
                e.sustain = pct <= 0.0 ? 144.0 : std::min(-20.0 * std::log10(pct / 100.0), 144.0);
                e.sustain = std::max(e.sustain, 0.0);
            } else {
                e.sustain = std::clamp(e.sustain + add / 100.0, 0.0, 1.0);
            }
            continue;
        }
        double& seconds = m.stage == S::Delay    ? e.delay
                          : m.stage == S::Attack ? e.attack
                          : m.stage == S::Hold   ? e.hold
                          : m.stage == S::Decay  ? e.decay
                                                 : e.release;
        // Stages keep a floor of a millisecond so the envelope still moves.
        seconds = std::max(seconds + add, m.stage == S::Delay || m.stage == S::Hold ? 0.0 : 0.001);
    }
}

// Forgets what the slot's previous voice left: filter memory, block values, pedals, fades.
void CVoice::ResetPlayback() {
    filter.Reset();
    pitchCents = std::numeric_limits<double>::quiet_NaN();
    attenCb = panValue = filterFc = filterQ = std::numeric_limits<float>::quiet_NaN();
    released = false;
    sustained = sostenuto = false;
    leader = -1;
    fadeGain = -1.0f;
    fadeStep = 0;
    gainL = gainR = targetL = targetR = 0;
    lastGain = 0;
}

float CVoice::SourceValue(uint16_t src) const {
    const int index = src & 0x7F;
    const bool isCc = (src & 0x80) != 0;
    const bool bipolar = (src & 0x200) != 0;
    float x;
    if (isCc) {
        const int v = ctl->cc[index];
        x = bipolar ? v / 128.0f : v / 127.0f;
    } else {
        switch (index) {
        case 0:
            return 1.0f; // no controller
        case 2:
            x = velocity / (bipolar ? 128.0f : 127.0f);
            break;
        case 3:
            x = key / (bipolar ? 128.0f : 127.0f);
            break;
        case 10:
            x = ctl->keyPressure[key] / (bipolar ? 128.0f : 127.0f);
            break;
        case 13:
            x = ctl->channelPressure / (bipolar ? 128.0f : 127.0f);
            break;
        case 14:
            x = ctl->pitchBend / 16384.0f;
            break;
        case 16:
            x = std::min(ctl->bendRange, 127.0f) / 127.0f;
            break;
        default:
            return 0.0f; // links and unknown sources contribute nothing
        }
    }
    if (src & 0x100)
        x = 1.0f - x;
    const int type = src >> 10;
    if (bipolar) {
        const float u = 2.0f * x - 1.0f;
        const float a = std::fabs(u), sign = u < 0 ? -1.0f : 1.0f;
        switch (type) {
        case 1:
            return sign * Concave(a);
        case 2:
            return sign * Convex(a);
        case 3:
            return u >= 0 ? 1.0f : -1.0f;
        default:
            return u;
        }
    }
    switch (type) {
    case 1:
        return Concave(x);
    case 2:
        return Convex(x);
    case 3:
        return x >= 0.5f ? 1.0f : 0.0f;
    default:
        return x;
    }
}

void CVoice::ComputeMods() {
    std::memset(modSum, 0, sizeof modSum);
    for (int i = 0; i < modCount; ++i) {
        const SModulator& m = mods[i];
        if (m.dest >= GenCount || m.amount == 0)
            continue;
        float v = SourceValue(m.src) * SourceValue(m.amtSrc) * m.amount;
        if (m.trans == 2)
            v = std::fabs(v);
        modSum[m.dest] += v;
    }
    live.pitchMod = modSum[CoarseTune] * 100.0 + modSum[FineTune] + modSum[Pitch];
    live.modLfoToPitch = Gen(ModLfoToPitch);
    live.vibLfoToPitch = Gen(VibLfoToPitch);
    live.modEnvToPitch = Gen(ModEnvToPitch);
    live.attenuation = 0.4f * gen[InitialAttenuation] + modSum[InitialAttenuation];
    live.modLfoToVolume = Gen(ModLfoToVolume);
    live.pan = Gen(Pan);
    live.reverb = Gen(ReverbEffectsSend);
    live.chorus = Gen(ChorusEffectsSend);
    live.filterFc = Gen(InitialFilterFc);
    live.modLfoToFilterFc = Gen(ModLfoToFilterFc);
    live.modEnvToFilterFc = Gen(ModEnvToFilterFc);
    live.filterQ = Gen(InitialFilterQ);
}

// Runs a stage of fixed length (delay, attack, hold) for up to dt. False while it goes on; true
// once it ended, with dt reduced by the time it took and the envelope in the next stage.
bool CVoice::RunTimedStage(SEnv& e, double& dt) {
    const double len = e.stage == EStage::Delay    ? e.delay
                       : e.stage == EStage::Attack ? e.attack
                                                   : e.hold;
    const double rem = len - e.t;
    if (dt < rem) {
        e.t += dt;
        dt = 0;
        return false;
    }
    dt -= std::max(rem, 0.0);
    e.t = 0;
    e.stage = e.stage == EStage::Delay    ? EStage::Attack
              : e.stage == EStage::Attack ? EStage::Hold
                                          : EStage::Decay;
    return true;
}

void CVoice::AdvanceVolEnv(double dt) {
    SEnv& e = volEnv;
    while (dt > 0 && e.stage != EStage::Done) {
        switch (e.stage) {
        case EStage::Delay:
        case EStage::Attack:
        case EStage::Hold:
            if (!RunTimedStage(e, dt)) {
                if (e.stage == EStage::Attack)
                    e.attackAmp = e.attackFrom + (1.0 - e.attackFrom) * e.t / e.attack;
            } else {
                e.value = 0;
                e.attackAmp = e.stage == EStage::Attack ? e.attackFrom : 1;
            }
            break;
        case EStage::Decay: {
            const double speed = 96.0 / e.decay;
            const double need = (e.sustain - e.value) / speed;
            if (dt < need) {
                e.value += dt * speed;
                dt = 0;
            } else {
                dt -= std::max(need, 0.0);
                e.value = e.sustain;
                e.stage = e.sustain >= 96.0 ? EStage::Done : EStage::Sustain;
            }
            break;
        }
        case EStage::Sustain:
            dt = 0;
            break;
        case EStage::Release:
            e.value += dt * 96.0 / e.release;
            dt = 0;
            if (e.value >= 96.0)
                e.stage = EStage::Done;
            break;
        case EStage::Done:
            break;
        }
    }
}

void CVoice::AdvanceModEnv(double dt) {
    SEnv& e = modEnv;
    while (dt > 0 && e.stage != EStage::Done) {
        switch (e.stage) {
        case EStage::Delay:
        case EStage::Attack:
        case EStage::Hold:
            if (!RunTimedStage(e, dt)) {
                // The attack is convex: applied to cents or decibels it rises linearly in
                // hertz or amplitude, quickly at first.
                e.value = e.stage == EStage::Delay    ? 0.0
                          : e.stage == EStage::Attack ? Convex(static_cast<float>(e.t / e.attack))
                                                      : 1.0;
            } else {
                e.value = e.stage == EStage::Attack ? 0.0 : 1.0;
            }
            break;
        case EStage::Decay: {
            const double need = (e.value - e.sustain) * e.decay;
            if (dt < need) {
                e.value -= dt / e.decay;
                dt = 0;
            } else {
                dt -= std::max(need, 0.0);
                e.value = e.sustain;
                e.stage = EStage::Sustain;
            }
            break;
        }
        case EStage::Sustain:
            dt = 0;
            break;
        case EStage::Release:
            e.value -= dt / e.release;
            dt = 0;
            if (e.value <= 0) {
                e.value = 0;
                e.stage = EStage::Done;
            }
            break;
        case EStage::Done:
            dt = 0;
            break;
        }
    }
}

float CVoice::VolEnvGain() const {
    switch (volEnv.stage) {
    case EStage::Delay:
        return 0.0f;
    case EStage::Attack:
        return static_cast<float>(volEnv.attackAmp);
    case EStage::Done:
        return 0.0f;
    default:
        // 10^(-dB/20); float precision is far below audibility here.
        return std::exp2(static_cast<float>(volEnv.value) * -0.166096404f);
    }
}

void CVoice::EndByGroup(float sec) {
    if (rule != nullptr && !rule->offFast) {
        rule = nullptr; // a one-shot region still takes its release now
        Release();
    } else {
        FastRelease(sec);
    }
}

void CVoice::Release() {
    if (!active || released || (rule != nullptr && rule->oneShot))
        return;
    released = true;
    SEnv& v = volEnv;
    if (v.stage == EStage::Delay) {
        v.stage = EStage::Done;
    } else if (v.stage == EStage::Attack) {
        v.value = v.attackAmp > 1e-5 ? -20.0 * std::log10(v.attackAmp) : 96.0;
        v.stage = EStage::Release;
    } else if (v.stage != EStage::Done) {
        v.stage = EStage::Release;
    }
    v.t = 0;
    if (modEnv.stage != EStage::Done) {
        modEnv.stage = EStage::Release;
        modEnv.t = 0;
    }
}

void CVoice::FastRelease(float sec) {
    if (!active)
        return;
    if (fadeGain < 0.0f)
        fadeGain = 1.0f;
    const float step = static_cast<float>(1.0 / (std::max(sec, 0.0005f) * outRate));
    fadeStep = std::max(fadeStep, step);
}

void CVoice::UpdateParams(int frames) {
    const double dt = frames / outRate;
    if (ctl->serial != modsSerial) {
        ComputeMods();
        modsSerial = ctl->serial;
    }
    const float modLfoV = modLfo.Value(), vibLfoV = vibLfo.Value();
    const float modEnvV = static_cast<float>(modEnv.value);
    modLfo.Advance(dt);
    vibLfo.Advance(dt);
    AdvanceVolEnv(dt);
    AdvanceModEnv(dt);

    const double cents = basePitch + live.pitchMod + ctl->tuningCents +
                         modLfoV * live.modLfoToPitch + vibLfoV * live.vibLfoToPitch +
                         modEnvV * live.modEnvToPitch;
    if (cents != pitchCents) {
        pitchCents = cents;
        // Hostile tunings could ask for any ratio; ten octaves either way is plenty for music.
        ownRate = std::exp2(std::clamp(cents, -12000.0, 12000.0) / 1200.0) * rateScale;
    }
    rate = ownRate;

    const float atten = std::clamp(live.attenuation, 0.0f, 1440.0f);
    if (atten != attenCb) {
        attenCb = atten;
        attenGain = CentibelsToGain(atten);
    }
    float g = attenGain * VolEnvGain() * fontVolume * ctl->gain * velocityGain;
    const float lfoVolDepth = live.modLfoToVolume;
    float loudest = g; // the most the LFO could make of it
    if (lfoVolDepth != 0.0f) {
        g *= CentibelsToGain(-modLfoV * lfoVolDepth); // a positive excursion is a boost
        loudest *= CentibelsToGain(-std::fabs(lfoVolDepth));
    }
    if (fadeGain >= 0.0f) {
        fadeGain -= fadeStep * static_cast<float>(frames);
        if (fadeGain <= 0.0f) {
            fadeGain = 0.0f;
            volEnv.stage = EStage::Done;
        }
        g *= fadeGain;
        loudest *= fadeGain;
    }
    // A voice past its note whose gain has sunk below -100 dB only sinks further: this block
    // takes it to its last value and it ends, instead of rendering inaudible tails to the end
    // of the envelope.
    if ((volEnv.stage == EStage::Release || fadeGain >= 0.0f) && loudest < kInaudibleGain)
        volEnv.stage = EStage::Done;
    const float pan = std::clamp(live.pan, -500.0f, 500.0f);
    if (pan != panValue) {
        panValue = pan;
        const double theta = (pan + 500.0) / 1000.0 * kPi / 2.0;
        panL = static_cast<float>(std::cos(theta));
        panR = static_cast<float>(std::sin(theta));
    }
    targetL = g * panL;
    targetR = g * panR;
    lastGain = g;
    revSend = std::clamp(live.reverb, 0.0f, 1000.0f) / 1000.0f * ctl->reverbLevel;
    choSend = std::clamp(live.chorus, 0.0f, 1000.0f) / 1000.0f * ctl->chorusLevel;

    const float fc = std::clamp(live.filterFc + modLfoV * live.modLfoToFilterFc +
                                    modEnvV * live.modEnvToFilterFc,
                                1500.0f, 13500.0f);
    const float qCb = std::clamp(live.filterQ, 0.0f, 960.0f);
    if (fc != filterFc || qCb != filterQ) {
        filterFc = fc;
        filterQ = qCb;
        // The filter turns itself off at the top cutoff without resonance.
        filter.SetParameters(static_cast<float>(AbsCentsToHz(fc)), qCb,
                             static_cast<float>(outRate));
    }
}

void CVoice::PrefetchSamples() const {
    if (!active || data16 == nullptr || pos < 0)
        return;
    constexpr int64_t kLine = 64, kMaxBytes = 16 * kLine;
    const int64_t bytes =
        std::min<int64_t>(2 * (static_cast<int64_t>(rate * kMaxBlock) + 2), kMaxBytes);
    const uint8_t* p = data16 + 2 * static_cast<int64_t>(pos);
    for (int64_t at = 0; at < bytes; at += kLine)
        __builtin_prefetch(p + at); // a hint: never faults, even past the data
}

void CVoice::PrefetchState() const {
    // Everything before the generator tables (see the member order).
    const char* from = reinterpret_cast<const char*>(this);
    const char* to = reinterpret_cast<const char*>(&sample);
    for (const char* p = from; p < to; p += 64)
        __builtin_prefetch(p);
}

inline float CVoice::Fetch(int64_t i) const {
    const bool looping = loopMode == 1 || (loopMode == 3 && !released);
    if (looping && i >= loopEnd)
        i = loopStart + (i - loopEnd) % (loopEnd - loopStart);
    if (i >= end || i < start)
        return 0.0f;
    const size_t at = static_cast<size_t>(i);
    const int16_t hi = static_cast<int16_t>(data16[2 * at] | (data16[2 * at + 1] << 8));
    if (data24 != nullptr)
        return static_cast<float>(hi * 256 + data24[at]) * (1.0f / 8388608.0f);
    return static_cast<float>(hi) * (1.0f / 32768.0f);
}

// Frames from here on whose two interpolation points lie inside the sample with no loop wrap,
// at most `limit`; one frame of margin keeps rounding in the position sum harmless.
int CVoice::FastRun(int64_t safeEnd, int limit) const {
    if (data24 != nullptr || pos < static_cast<double>(start))
        return 0;
    const double room = (static_cast<double>(safeEnd - 1) - pos) / rate - 1.0;
    return room < 1.0 ? 0 : static_cast<int>(std::min(room, static_cast<double>(limit)));
}

// The common case without per-frame checks: 16-bit data, linear interpolation. The position
// runs in 32.32 fixed point here: an integer add per frame instead of a floating-point chain.
void CVoice::GenerateLinear16(float* out, int n) {
    constexpr double kOne = 4294967296.0;
    const int64_t base = static_cast<int64_t>(pos);
    const uint64_t phase = static_cast<uint64_t>((pos - static_cast<double>(base)) * kOne);
    const uint64_t step = static_cast<uint64_t>(rate * kOne);
    Kernels().linear16(data16 + 2 * static_cast<size_t>(base), phase, step, out, n);
    const uint64_t last = phase + step * static_cast<uint64_t>(n);
    pos = static_cast<double>(base) + static_cast<double>(last >> 32) +
          static_cast<double>(static_cast<uint32_t>(last)) / kOne;
}

template <bool Sinc> int CVoice::Generate(float* out, int n) {
    // The linear path never touches the sinc tables: they may not be built.
    [[maybe_unused]] const CSincInterpolator sinc =
        Sinc ? CSincInterpolator(rate) : CSincInterpolator(nullptr);
    const bool loopingNow = loopMode == 1 || (loopMode == 3 && !released);
    const int64_t safeEnd = loopingNow ? loopEnd : end;
    for (int i = 0; i < n; ++i) {
        if constexpr (!Sinc) {
            const int run = FastRun(safeEnd, n - i);
            if (run > 0) {
                GenerateLinear16(out + i, run);
                i += run - 1;
                continue;
            }
        }
        const int64_t ip = static_cast<int64_t>(pos);
        const float fr = static_cast<float>(pos - static_cast<double>(ip));
        if constexpr (Sinc) {
            float taps[kSincMaxTaps];
            for (int k = 0; k < sinc.Taps(); ++k)
                taps[k] = Fetch(ip + k - sinc.TapsBefore());
            out[i] = sinc.Interpolate(taps, sinc.TapsBefore(), fr);
        } else {
            // Near the sample's edges and loop points, or 24-bit data.
            const float a = Fetch(ip);
            out[i] = a + fr * (Fetch(ip + 1) - a);
        }
        pos += rate;
        const bool looping = loopMode == 1 || (loopMode == 3 && !released);
        if (looping) {
            if (pos >= static_cast<double>(loopEnd))
                pos = static_cast<double>(loopStart) +
                      std::fmod(pos - static_cast<double>(loopStart),
                                static_cast<double>(loopEnd - loopStart));
        } else if (pos >= static_cast<double>(end)) {
            std::fill(out + i + 1, out + n, 0.0f);
            active = false;
            return i + 1;
        }
    }
    return n;
}

void CVoice::Render(const SRenderTarget& t, EInterpolation interp) {
    if (!active)
        return;
    const int n = std::min(t.frames, kMaxBlock);
    float x[kMaxBlock];
    if (interp == EInterpolation::Sinc)
        Generate<true>(x, n);
    else
        Generate<false>(x, n);
    filter.Process(x, n);
    // Gains glide linearly across the block from the last block's values.
    const float inv = 1.0f / static_cast<float>(n);
    SMixGains g;
    g.left = gainL;
    g.right = gainR;
    g.leftStep = (targetL - gainL) * inv;
    g.rightStep = (targetR - gainR) * inv;
    g.reverb = revSend * 0.70710678f;
    g.chorus = choSend * 0.70710678f;
    const bool sends = t.reverb != nullptr && (g.reverb != 0.0f || g.chorus != 0.0f);
    Kernels().mix(x, n, g, t.left, t.right, sends ? t.reverb : nullptr, sends ? t.chorus : nullptr);
    gainL = targetL;
    gainR = targetR;
    if (volEnv.stage == EStage::Done)
        active = false;
}

} // namespace hml::audio::voice
