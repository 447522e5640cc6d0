// Immutable in-memory model of a parsed SoundFont 2 file. Built once by CSf2Parser; the
// render thread only reads it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hml::audio::sf2 {

// Generator numbers as the file format defines them.
enum EGen : uint16_t {
    StartAddrsOffset = 0,
    EndAddrsOffset = 1,
    StartloopAddrsOffset = 2,
    EndloopAddrsOffset = 3,
    StartAddrsCoarseOffset = 4,
    ModLfoToPitch = 5,
    VibLfoToPitch = 6,
    ModEnvToPitch = 7,
    InitialFilterFc = 8,
    InitialFilterQ = 9,
    ModLfoToFilterFc = 10,
    ModEnvToFilterFc = 11,
    EndAddrsCoarseOffset = 12,
    ModLfoToVolume = 13,
    ChorusEffectsSend = 15,
    ReverbEffectsSend = 16,
    Pan = 17,
    DelayModLfo = 21,
    FreqModLfo = 22,
    DelayVibLfo = 23,
    FreqVibLfo = 24,
    DelayModEnv = 25,
    AttackModEnv = 26,
    HoldModEnv = 27,
    DecayModEnv = 28,
    SustainModEnv = 29,
    ReleaseModEnv = 30,
    KeynumToModEnvHold = 31,
    KeynumToModEnvDecay = 32,
    DelayVolEnv = 33,
    AttackVolEnv = 34,
    HoldVolEnv = 35,
    DecayVolEnv = 36,
    SustainVolEnv = 37,
    ReleaseVolEnv = 38,
    KeynumToVolEnvHold = 39,
    KeynumToVolEnvDecay = 40,
    Instrument = 41,
    KeyRange = 43,
    VelRange = 44,
    StartloopAddrsCoarseOffset = 45,
    Keynum = 46,
    Velocity = 47,
    InitialAttenuation = 48,
    EndloopAddrsCoarseOffset = 50,
    CoarseTune = 51,
    FineTune = 52,
    SampleId = 53,
    SampleModes = 54,
    ScaleTuning = 56,
    ExclusiveClass = 57,
    OverridingRootKey = 58,
    Pitch = 59, // not a file generator: target of the pitch-wheel modulator in some files
    GenCount = 61,
};

struct SModulator {
    uint16_t src = 0;
    uint16_t dest = 0;
    int16_t amount = 0;
    uint16_t amtSrc = 0;
    uint16_t trans = 0;

    // Two modulators are the same one when everything but the amount matches.
    bool SameAs(const SModulator& o) const {
        return src == o.src && dest == o.dest && amtSrc == o.amtSrc && trans == o.trans;
    }
};

// One zone: the generators it sets and its modulators. `link` is the instrument index of a
// preset zone or the sample index of an instrument zone; -1 for a global zone.
struct SZone {
    int16_t gen[GenCount] = {};
    uint64_t set = 0; // bit g: generator g is given in this zone
    std::vector<SModulator> mods;
    uint8_t keyLo = 0, keyHi = 127, velLo = 0, velHi = 127;
    int link = -1;
    int rule = -1; // index into SModel::rules; SoundFont 2 zones have none

    bool Has(int g) const { return (set >> g) & 1u; }
    bool Matches(int key, int vel) const {
        return key >= keyLo && key <= keyHi && vel >= velLo && vel <= velHi;
    }
};

struct SInstrument {
    std::string name;
    SZone global;
    std::vector<SZone> zones;
};

struct SPreset {
    std::string name;
    uint16_t preset = 0;
    uint16_t bank = 0;
    SZone global;
    std::vector<SZone> zones;
};

enum ESampleType : uint16_t {
    MonoSample = 1,
    RightSample = 2,
    LeftSample = 4,
    LinkedSample = 8,
    OggVorbisSample = 0x10, // SF3: an Ogg Vorbis stream in smpl
};

// Frame positions are indexes into the smpl chunk, validated against its length. An Ogg Vorbis
// sample as parsed has start and end as byte offsets of its stream and loops relative to its
// decoded audio; decoding it at load rewrites all four as frame positions in the decoded data.
struct SSample {
    std::string name;
    uint32_t start = 0, end = 0, loopStart = 0, loopEnd = 0;
    uint32_t rate = 44100;
    uint8_t rootKey = 60;
    int8_t pitchCorrection = 0;
    uint16_t link = 0;
    uint16_t type = MonoSample;
    // Samples decoded from their own files (SFZ) keep their frames apart from the font's data.
    const uint8_t* data16 = nullptr; // little-endian 16-bit frames, null = the font's data
    const uint8_t* data24 = nullptr; // their low bytes
    uint32_t dataFrames = 0;
};

struct SInfo {
    uint16_t versionMajor = 0, versionMinor = 0;
    std::string name, copyright, comment;
};

// When an SFZ region plays, beyond its key and velocity ranges, and how its notes end.
enum ETrigger : uint8_t { TriggerAttack, TriggerRelease, TriggerFirst, TriggerLegato };

struct SCcRange {
    uint8_t cc = 0, lo = 0, hi = 127;
};

// What velocity (cc < 0) or a controller adds to an envelope stage at its full value, linearly:
// seconds to the timed stages, percent to the sustain level. Taken at note-on.
struct SEnvelopeMod {
    enum EStage : uint8_t { Delay, Attack, Hold, Decay, Sustain, Release };
    bool amplitude = true; // the volume envelope; false: the modulation envelope
    EStage stage = Delay;
    int16_t cc = -1;
    float amount = 0;
};

struct SRegionRule {
    ETrigger trigger = TriggerAttack;
    uint8_t chanLo = 0, chanHi = 15;
    bool oneShot = false;     // plays to its end whatever the key does
    bool offFast = true;      // off_mode: fast cut, or the normal release
    uint32_t group = 0;       // 0 = none
    uint32_t offBy = 0;       // a note of this group ends this region's notes
    uint16_t seqLength = 1;   // round robin: plays on the seqPosition-th of every seqLength
    uint16_t seqPosition = 1; // notes that reach it
    float randLo = 0.0f, randHi = 1.0f;
    int8_t switchLast = -1; // key switch that selects it; -1 = any
    int8_t switchDefault = -1;
    int8_t switchLo = -1, switchHi = -1; // keys that act as switches
    uint16_t polyphony = 0;              // voices of its group per channel; 0 = unlimited
    uint16_t notePolyphony = 0;          // voices of its group per key
    uint8_t filterShape = 0;             // an EFilterShape; 0 = the resonant 2-pole low-pass
    std::vector<float> velocityCurve;    // gain by note-on velocity (128); empty = the modulators'
    std::vector<SCcRange> cc;
    float ampStart = 0.0f; // level the volume envelope's attack starts from, 0..1
    std::vector<SEnvelopeMod> envelopeMods;
};

struct SModel {
    SInfo info;
    std::vector<SPreset> presets;
    std::vector<SInstrument> instruments;
    std::vector<SSample> samples;
    uint64_t smplOffset = 0; // file offset of the 16-bit sample data
    uint32_t smplFrames = 0;
    uint64_t smplBytes = 0;
    uint64_t sm24Offset = 0; // file offset of the low bytes of 24-bit samples, 0 = none
    std::vector<SRegionRule> rules;
    bool releaseTriggers = false;      // some rule starts notes on note-off
    int switchLo = 128, switchHi = -1; // keys that act as key switches
};

} // namespace hml::audio::sf2
