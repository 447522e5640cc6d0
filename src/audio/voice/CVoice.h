// One playing sample of one note: the SoundFont 2.04 voice model (generators, modulators,
// volume and modulation envelopes, two LFOs, resonant low-pass filter, pan, effect sends).
// Voices live in a fixed pool; Start/Render run on the render thread and never allocate.
#pragma once

#include "audio/dsp/LowPassFilter.h"
#include "audio/sf2/Sf2Model.h"

#include <cstdint>

namespace hml::audio {
class CSoundFont;
}

namespace hml::audio::voice {

// What a voice reads from its channel, owned by the stream.
struct SChannelControls {
    uint8_t cc[128] = {};
    uint8_t keyPressure[128] = {};
    uint8_t channelPressure = 0;
    uint16_t pitchBend = 8192;
    float bendRange = 2.0f;   // semitones
    float tuningCents = 0.0f; // channel fine + coarse tuning
    float gain = 1.0f;        // mix level, master volume, soft pedal
    float reverbLevel = 1.0f; // channel effect levels, 1 = unity
    float chorusLevel = 1.0f;
    // Changes whenever anything above may have changed; voices recompute their modulators only
    // then. Values are never reused, so a voice cannot mistake a new state for the one it saw.
    uint32_t serial = 0;
};

struct SRenderTarget {
    float* left = nullptr;
    float* right = nullptr;
    float* reverb = nullptr; // mono effect sends
    float* chorus = nullptr;
    int frames = 0;
};

enum class EInterpolation { Linear, Sinc };

// Everything a voice needs to start, gathered by the stream from preset and instrument zones.
struct SVoiceStart {
    const CSoundFont* font = nullptr;
    const sf2::SZone* presetGlobal = nullptr;
    const sf2::SZone* presetZone = nullptr;
    const sf2::SZone* instGlobal = nullptr;
    const sf2::SZone* instZone = nullptr;
    const sf2::SRegionRule* rule = nullptr; // SFZ regions only
    int channel = 0;
    int key = 60;
    int velocity = 100;
    uint32_t noteId = 0;
};

class CVoice {
public:
    static constexpr int kMaxMods = 64;
    static constexpr int kMaxBlock = 64; // frames per Render call at most

    // Sets the voice up; false when it has nothing to play.
    bool Start(const SVoiceStart& s, const SChannelControls* ctl, double outputRate);
    // Renders `frames` (at most the stream's block) and mixes into the target.
    void Render(const SRenderTarget& t, EInterpolation interp);
    // Computes this block's pitch, gains and filter. Separate from Render so a stereo partner
    // can take over its leader's playback rate first.
    void UpdateParams(int frames);

    // Asks the processor for the sample data of the next block, so that it is in the cache by
    // the time Render() comes to this voice: with hundreds of voices each block starts a
    // fresh stretch of memory per voice, too scattered for the processor to guess.
    void PrefetchSamples() const;
    // Likewise for the voice's own state that every block reads.
    void PrefetchState() const;

    void Release();              // note-off
    void FastRelease(float sec); // stolen, exclusive class, sound off: fade out quickly
    // Another region's group ended this one (off_by), or its polyphony ran out.
    void EndByGroup(float sec);
    void Kill() { active = false; }

    bool IsActive() const { return active; }
    bool IsReleased() const { return released; }
    bool IsFading() const { return fadeGain >= 0.0f; }
    int Channel() const { return channel; }
    int Key() const { return key; }
    uint32_t NoteId() const { return noteId; }
    int ExclusiveClass() const { return exclusiveClass; }
    const sf2::SSample* Sample() const { return sample; }
    const sf2::SRegionRule* Rule() const { return rule; }
    const CSoundFont* Font() const { return font; }
    // Current output gain, for choosing the quietest voice.
    float Loudness() const { return lastGain; }
    bool sustained = false; // held by the sustain pedal
    bool sostenuto = false; // held by the sostenuto pedal
    int leader = -1;        // pool index of the stereo partner whose pitch this voice follows
    uint32_t leaderNote = 0;
    double Rate() const { return rate; }
    void FollowRate(double r) { rate = r; }

private:
    enum class EStage { Delay, Attack, Hold, Decay, Sustain, Release, Done };
    struct SEnv {
        EStage stage = EStage::Done;
        double t = 0; // time in the current stage, seconds
        double delay = 0, attack = 0, hold = 0, decay = 0, release = 0;
        double sustain = 0;    // volume: dB of attenuation; modulation: level 0..1
        double value = 0;      // volume: dB of attenuation; modulation: level 0..1
        double attackAmp = 0;  // volume attack amplitude
        double attackFrom = 0; // volume attack's starting amplitude
    };
    struct SLfo {
        double delay = 0, freq = 0, phase = 0, t = 0;
        float Value() const;
        void Advance(double dt);
    };

    float Gen(int g) const { return gen[g] + modSum[g]; }
    void CombineGenerators(const SVoiceStart& s);
    void CombineModulators(const SVoiceStart& s);
    // The region's envelope start level and its velocity and controller additions.
    void ApplyEnvelopeRule(const sf2::SRegionRule& r);
    bool SetSampleWindow(int64_t dataFrames);
    void SetUpEnvelopesAndLfos();
    void ResetPlayback();
    void ComputeMods();
    float SourceValue(uint16_t src) const;
    static bool RunTimedStage(SEnv& e, double& dt);
    void AdvanceVolEnv(double dt);
    void AdvanceModEnv(double dt);
    float VolEnvGain() const;
    // Interpolated sample values of the next n frames; returns how many the sample had.
    template <bool Sinc> int Generate(float* out, int n);
    inline float Fetch(int64_t i) const;
    int FastRun(int64_t safeEnd, int limit) const;
    void GenerateLinear16(float* out, int n);

    // Members in order of use: what the pool's scans and every block read comes first and
    // together; the generator and modulator tables, read when a voice starts or a controller
    // moves, come last. With hundreds of voices the block's work then stays in few cache lines.
    bool active = false;
    bool released = false;
    int channel = 0, key = 0, velocity = 0, exclusiveClass = 0;
    uint32_t noteId = 0;
    float lastGain = 0;
    float fadeGain = -1.0f, fadeStep = 0; // >= 0 while fading out
    const sf2::SRegionRule* rule = nullptr;
    const SChannelControls* ctl = nullptr;
    const uint8_t* data16 = nullptr;
    const uint8_t* data24 = nullptr;

    int64_t start = 0, end = 0, loopStart = 0, loopEnd = 0;
    int loopMode = 0;
    double pos = 0;
    double rate = 1;
    double basePitch = 0;      // cents relative to the sample's own pitch, before modulation
    double rateScale = 1;      // sample rate / output rate
    float velocityGain = 1.0f; // a region's own velocity curve; 1 without one
    float fontVolume = 1.0f;
    double outRate = 44100;

    // Block-rate values kept from the last block; each is recomputed only when its input moved.
    uint32_t modsSerial = 0;
    double pitchCents = 0, ownRate = 1;
    float attenCb = -1, attenGain = 0;
    float panValue = -1000, panL = 0, panR = 0;
    float filterFc = -1, filterQ = -1;
    float gainL = 0, gainR = 0, targetL = 0, targetR = 0;
    float revSend = 0, choSend = 0;

    // The generator sums each block reads, gathered whenever the modulators are computed.
    struct SLive {
        double pitchMod = 0; // cents from the tuning generators' modulators
        float modLfoToPitch = 0, vibLfoToPitch = 0, modEnvToPitch = 0;
        float attenuation = 0; // centibels before clamping
        float modLfoToVolume = 0;
        float pan = 0, reverb = 0, chorus = 0;
        float filterFc = 0, modLfoToFilterFc = 0, modEnvToFilterFc = 0, filterQ = 0;
    } live;

    SEnv volEnv, modEnv;
    SLfo modLfo, vibLfo;
    CLowPassFilter filter;

    const sf2::SSample* sample = nullptr;
    const CSoundFont* font = nullptr;
    float gen[sf2::GenCount] = {};
    float modSum[sf2::GenCount] = {};
    sf2::SModulator mods[kMaxMods];
    int modCount = 0;
};

} // namespace hml::audio::voice
