// The SoundFont 2.04 voice model measured on rendered output: pitch, envelopes, LFOs, level
// curves, pan law, filter, loops, exclusive class, stereo pairs, stealing, interpolation.
#include "audio/stream/CMidiStream.h"
#include "support/CSf2Writer.h"
#include "support/Signal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace hml::audio;
using namespace hml::test;

namespace {

enum : uint16_t {
    kStartOffset = 0, kModLfoToPitch = 5, kVibLfoToPitch = 6, kModEnvToPitch = 7, kFc = 8,
    kQ = 9, kModLfoToVolume = 13, kChorus = 15, kReverb = 16, kPan = 17, kFreqModLfo = 22,
    kFreqVibLfo = 24, kDelayModEnv = 25, kAttackModEnv = 26, kHoldModEnv = 27, kDecayModEnv = 28,
    kSustainModEnv = 29, kReleaseModEnv = 30, kDelayVol = 33, kAttackVol = 34, kHoldVol = 35,
    kDecayVol = 36, kSustainVol = 37, kReleaseVol = 38, kKeyToHold = 39, kKeyToDecay = 40,
    kKeyRange = 43, kAtten = 48, kCoarse = 51, kFine = 52, kSampleModes = 54, kScaleTuning = 56,
    kExclusive = 57, kRootKey = 58
};

double Cents(double f, double ref) { return 1200.0 * std::log2(f / ref); }
double DbToGainForTest(double db) { return std::pow(10.0, db / 20.0); }
int Tc(double seconds) { return static_cast<int>(std::lround(1200.0 * std::log2(seconds))); }

// Presets of the fixture font, each on its own program.
enum EProgram {
    kSine,      // 440 Hz at key 69, looped, instant envelope
    kDc,        // constant level, looped: the output is the envelope itself
    kEnvelope,  // DC with a full six-stage volume envelope
    kNoise,     // white noise, looped
    kExclusiveA,
    kStereo,    // linked left/right sines with different pitch corrections
    kOneShot,   // sine without loop, 0.25 s long
    kLoopRelease,
    kSineHigh,  // 5 kHz sine at 44.1 kHz, for interpolation quality
};

class SynthesisTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CSf2Writer w;
        // 440 Hz with exactly 100 frames per cycle at 44 kHz; loop of 50 cycles.
        const int sine = w.AddSample("sine", CSf2Writer::Sine(0.01, 8000), 44000, 69, 1000, 6000);
        std::vector<int16_t> dc(4000, 16384);
        const int dcs = w.AddSample("dc", dc, 48000, 60, 1000, 3000);
        std::vector<int16_t> noise(48000);
        uint32_t seed = 1;
        for (int16_t& v : noise) {
            seed = seed * 1664525u + 1013904223u;
            v = static_cast<int16_t>(static_cast<int32_t>(seed >> 16) - 32768) / 4;
        }
        const int ns = w.AddSample("noise", noise, 48000, 60, 0, 48000);
        const int left = w.AddSample("left", CSf2Writer::Sine(0.01, 8000), 44000, 69, 1000, 6000,
                                     -20, 4, 4);
        const int right = w.AddSample("right", CSf2Writer::Sine(0.02, 8000), 44000, 69, 1000, 6000,
                                      30, 2, 3);
        const int high = w.AddSample("high", CSf2Writer::Sine(5000.0 / 44100.0, 44100), 44100, 60,
                                     0, 44100);
        const SGenDef loop = Gen(kSampleModes, 1);
        const SGenDef fast = Gen(kAttackVol, -12000);
        const SGenDef quickRelease = Gen(kReleaseVol, Tc(0.005));
        auto inst = [&](const char* name, std::vector<SGenDef> gens, int sample,
                        std::vector<SModDef> mods = {}) {
            return w.AddInstrument(name, {}, {{gens, mods, sample}});
        };
        std::vector<int> insts(9);
        insts[kSine] = inst("sine", {loop, fast, quickRelease}, sine);
        insts[kDc] = inst("dc", {loop, fast, quickRelease}, dcs);
        insts[kEnvelope] =
            inst("env", {loop, Gen(kDelayVol, Tc(0.1)), Gen(kAttackVol, Tc(0.2)),
                         Gen(kHoldVol, Tc(0.1)), Gen(kDecayVol, Tc(0.4)), Gen(kSustainVol, 200),
                         Gen(kReleaseVol, Tc(0.3))},
                 dcs);
        insts[kNoise] = inst("noise", {loop, fast, quickRelease}, ns);
        insts[kExclusiveA] = inst("excl", {loop, fast, quickRelease, Gen(kExclusive, 3)}, dcs);
        insts[kStereo] = w.AddInstrument("stereo", {{loop, fast, quickRelease}, {}, -1},
                                         {{{Gen(kPan, -500)}, {}, left},
                                          {{Gen(kPan, 500)}, {}, right}});
        insts[kOneShot] = inst("oneshot", {fast}, sine);
        insts[kLoopRelease] = inst("looprel", {Gen(kSampleModes, 3), fast}, sine);
        insts[kSineHigh] = inst("high", {loop, fast, quickRelease}, high);
        for (int p = 0; p < 9; ++p)
            w.AddPreset("p" + std::to_string(p), p, 0, {}, {{{}, {}, insts[static_cast<size_t>(p)]}});
        EError e;
        fontShared = CSoundFont::OpenMemory(w.Build(), 0, e);
        ASSERT_EQ(e, EError::Ok);
    }
    static void TearDownTestSuite() { fontShared.reset(); }

    std::unique_ptr<CMidiStream> Stream(uint32_t flags = 0, int voices = 256) {
        return MakeStream({{fontShared, -1, 0}}, flags | StreamFlags::NoFx, 48000, voices);
    }
    static void Program(CMidiStream& s, int ch, int program) {
        s.SendEvent(ch, EMidiEvent::Program, static_cast<uint32_t>(program));
    }
    static void NoteOn(CMidiStream& s, int ch, int key, int vel = 127) {
        s.SendEvent(ch, EMidiEvent::Note, static_cast<uint32_t>(key | vel << 8));
    }
    static void NoteOff(CMidiStream& s, int ch, int key) {
        s.SendEvent(ch, EMidiEvent::Note, static_cast<uint32_t>(key));
    }
    // Level in dB of a held DC note under the given setup, measured on the left channel.
    double DcLevel(const std::function<void(CMidiStream&)>& setup, int vel = 127) {
        auto s = Stream();
        Program(*s, 0, kDc);
        setup(*s);
        NoteOn(*s, 0, 60, vel);
        SStereo out;
        Render(*s, 0.1, out);
        return Db(Rms(out.l, out.At(0.05), out.At(0.1)));
    }

    static std::shared_ptr<CSoundFont> fontShared;
};

std::shared_ptr<CSoundFont> SynthesisTest::fontShared;

TEST_F(SynthesisTest, PitchFollowsKeyTuningAndBend) {
    auto measure = [&](int key, const std::function<void(CMidiStream&)>& setup) {
        auto s = Stream();
        Program(*s, 0, kSine);
        setup(*s);
        NoteOn(*s, 0, key);
        SStereo out;
        Render(*s, 0.3, out);
        return ZeroCrossFrequency(out.l, out.At(0.05), out.At(0.3), out.rate);
    };
    auto none = [](CMidiStream&) {};
    EXPECT_NEAR(Cents(measure(69, none), 440.0), 0.0, 1.0);
    EXPECT_NEAR(Cents(measure(81, none), 880.0), 0.0, 1.0);
    EXPECT_NEAR(Cents(measure(57, none), 220.0), 0.0, 1.0);
    // Default bend range: +2 semitones at full bend, -2 at the bottom.
    EXPECT_NEAR(Cents(measure(69, [](CMidiStream& s) { s.SendEvent(0, EMidiEvent::PitchBend, 16383); }), 440.0),
                200.0 * 8191.0 / 8192.0, 1.0);
    EXPECT_NEAR(Cents(measure(69, [](CMidiStream& s) { Send(s, {0xE0, 0x00, 0x00}); }), 440.0), -200.0, 1.0);
    // RPN 0 sets the range to 12 semitones; RPN 2 coarse tuning +3; RPN 1 fine tuning +50 cents.
    EXPECT_NEAR(Cents(measure(69, [](CMidiStream& s) {
                          Send(s, {0xB0, 101, 0, 100, 0, 6, 12, 38, 0, 0xE0, 0x7F, 0x7F});
                      }), 440.0),
                1200.0 * 8191.0 / 8192.0, 1.5);
    EXPECT_NEAR(Cents(measure(69, [](CMidiStream& s) { Send(s, {0xB0, 101, 0, 100, 2, 6, 67}); }), 440.0),
                300.0, 1.0);
    EXPECT_NEAR(Cents(measure(69, [](CMidiStream& s) { Send(s, {0xB0, 101, 0, 100, 1, 6, 96, 38, 0}); }), 440.0),
                50.0, 1.0);
}

TEST_F(SynthesisTest, VolumeEnvelopeStagesAreTimed) {
    auto s = Stream();
    Program(*s, 0, kEnvelope);
    NoteOn(*s, 0, 60);
    SStereo out;
    Render(*s, 1.0, out);
    NoteOff(*s, 0, 60);
    Render(*s, 0.5, out);
    const double rate = out.rate;
    const std::vector<float>& x = out.l;
    const double full = x[out.At(0.35)];
    ASSERT_GT(full, 0.1);
    auto firstAbove = [&](double level, size_t from) {
        for (size_t i = from; i < x.size(); ++i)
            if (x[i] >= level)
                return static_cast<double>(i) / rate;
        return -1.0;
    };
    auto firstBelow = [&](double level, size_t from) {
        for (size_t i = from; i < x.size(); ++i)
            if (x[i] <= level)
                return static_cast<double>(i) / rate;
        return -1.0;
    };
    // Delay 0.1 s, then a linear attack of 0.2 s: half level at 0.2 s, full at 0.3 s.
    EXPECT_NEAR(firstAbove(full * 0.001, 0), 0.1, 0.001);
    EXPECT_NEAR(firstAbove(full * 0.5, 0), 0.2, 0.001);
    EXPECT_NEAR(firstAbove(full * 0.999, 0), 0.3, 0.001);
    // Hold 0.1 s at full level, then decay at 96 dB per 0.4 s down to the 20 dB sustain.
    EXPECT_NEAR(firstBelow(full * 0.99, out.At(0.3)), 0.4 + 0.4 * Db(1 / 0.99) / 96.0, 0.001);
    EXPECT_NEAR(firstBelow(full * DbToGainForTest(-10), out.At(0.3)), 0.4 + 0.4 * 10 / 96.0, 0.001);
    EXPECT_NEAR(Db(x[out.At(0.9)] / full), -20.0, 0.1);
    // Release: 96 dB per 0.3 s from the sustain level.
    EXPECT_NEAR(firstBelow(full * DbToGainForTest(-40), out.At(1.0)), 1.0 + 0.3 * 20 / 96.0, 0.001);
    EXPECT_NEAR(firstBelow(full * DbToGainForTest(-80), out.At(1.0)), 1.0 + 0.3 * 60 / 96.0, 0.001);
    EXPECT_EQ(s->GetActiveVoices(), 0u);
}

} // namespace
