// The SoundFont 2.04 voice model measured on rendered output: pitch, envelopes, LFOs, level
// curves, pan law, filter, loops, exclusive class, stereo pairs, stealing, interpolation.
#include "audio/stream/CMidiStream.h"
#include "support/CSf2Writer.h"
#include "support/Signal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

using namespace hml::audio;
using namespace hml::test;

namespace {

enum : uint16_t {
    kPan = 17,
    kDelayVol = 33,
    kAttackVol = 34,
    kHoldVol = 35,
    kDecayVol = 36,
    kSustainVol = 37,
    kReleaseVol = 38,
    kKeyRange = 43,
    kAtten = 48,
    kSampleModes = 54,
    kExclusive = 57
};

double Cents(double f, double ref) {
    return 1200.0 * std::log2(f / ref);
}
double DbToGainForTest(double db) {
    return std::pow(10.0, db / 20.0);
}
int Tc(double seconds) {
    return static_cast<int>(std::lround(1200.0 * std::log2(seconds)));
}

// Presets of the fixture font, each on its own program.
enum EProgram {
    kSine,     // 440 Hz at key 69, looped, instant envelope
    kDc,       // constant level, looped: the output is the envelope itself
    kEnvelope, // DC with a full six-stage volume envelope
    kNoise,    // white noise, looped
    kExclusiveA,
    kStereo,  // linked left/right sines with different pitch corrections
    kOneShot, // sine without loop, 0.25 s long
    kLoopRelease,
    kSineHigh, // 5 kHz sine at 44.1 kHz, for interpolation quality
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
        const int left =
            w.AddSample("left", CSf2Writer::Sine(0.01, 8000), 44000, 69, 1000, 6000, -20, 4, 4);
        const int right =
            w.AddSample("right", CSf2Writer::Sine(0.02, 8000), 44000, 69, 1000, 6000, 30, 2, 3);
        const int high =
            w.AddSample("high", CSf2Writer::Sine(5000.0 / 44100.0, 44100), 44100, 60, 0, 44100);
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
            inst("env",
                 {loop, Gen(kDelayVol, Tc(0.1)), Gen(kAttackVol, Tc(0.2)), Gen(kHoldVol, Tc(0.1)),
                  Gen(kDecayVol, Tc(0.4)), Gen(kSustainVol, 200), Gen(kReleaseVol, Tc(0.3))},
                 dcs);
        insts[kNoise] = inst("noise", {loop, fast, quickRelease}, ns);
        insts[kExclusiveA] = inst("excl", {loop, fast, quickRelease, Gen(kExclusive, 3)}, dcs);
        insts[kStereo] =
            w.AddInstrument("stereo", {{loop, fast, quickRelease}, {}, -1},
                            {{{Gen(kPan, -500)}, {}, left}, {{Gen(kPan, 500)}, {}, right}});
        insts[kOneShot] = inst("oneshot", {fast}, sine);
        insts[kLoopRelease] = inst("looprel", {Gen(kSampleModes, 3), fast}, sine);
        insts[kSineHigh] = inst("high", {loop, fast, quickRelease}, high);
        for (int p = 0; p < 9; ++p)
            w.AddPreset(std::to_string(p), p, 0, {}, {{{}, {}, insts[static_cast<size_t>(p)]}});
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
    EXPECT_NEAR(
        Cents(measure(69, [](CMidiStream& s) { s.SendEvent(0, EMidiEvent::PitchBend, 16383); }),
              440.0),
        200.0 * 8191.0 / 8192.0, 1.0);
    EXPECT_NEAR(Cents(measure(69,
                              [](CMidiStream& s) {
                                  Send(s, {0xE0, 0x00, 0x00});
                              }),
                      440.0),
                -200.0, 1.0);
    // RPN 0 sets the range to 12 semitones; RPN 2 coarse tuning +3; RPN 1 fine tuning +50 cents.
    EXPECT_NEAR(Cents(measure(69,
                              [](CMidiStream& s) {
                                  Send(s, {0xB0, 101, 0, 100, 0, 6, 12, 38, 0, 0xE0, 0x7F, 0x7F});
                              }),
                      440.0),
                1200.0 * 8191.0 / 8192.0, 1.5);
    EXPECT_NEAR(Cents(measure(69,
                              [](CMidiStream& s) {
                                  Send(s, {0xB0, 101, 0, 100, 2, 6, 67});
                              }),
                      440.0),
                300.0, 1.0);
    EXPECT_NEAR(Cents(measure(69,
                              [](CMidiStream& s) {
                                  Send(s, {0xB0, 101, 0, 100, 1, 6, 96, 38, 0});
                              }),
                      440.0),
                50.0, 1.0);
}

TEST_F(SynthesisTest, VolumeEnvelopeStagesAreTimed) {
    {
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
        ASSERT_GT(full, 0.1 * kOutputGain);
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
        EXPECT_NEAR(firstBelow(full * DbToGainForTest(-10), out.At(0.3)), 0.4 + 0.4 * 10 / 96.0,
                    0.001);
        EXPECT_NEAR(Db(x[out.At(0.9)] / full), -20.0, 0.1);
        // Release: 96 dB per 0.3 s from the sustain level.
        EXPECT_NEAR(firstBelow(full * DbToGainForTest(-40), out.At(1.0)), 1.0 + 0.3 * 20 / 96.0,
                    0.001);
        EXPECT_NEAR(firstBelow(full * DbToGainForTest(-80), out.At(1.0)), 1.0 + 0.3 * 60 / 96.0,
                    0.001);
        EXPECT_EQ(s->GetActiveVoices(), 0u);
    }
}

TEST_F(SynthesisTest, LevelCurvesAttenuationAndPanLaw) {
    {
        const double ref = DcLevel([](CMidiStream&) {});
        // Velocity: concave, 960 cB range: 40 log10(127 / v) dB.
        for (int v : {111, 95, 64, 31, 15})
            EXPECT_NEAR(DcLevel([](CMidiStream&) {}, v) - ref, -40 * std::log10(127.0 / v), 0.15)
                << v;
        // Volume (CC7) and expression (CC11) follow the same curve.
        for (int v : {100, 64, 20}) {
            EXPECT_NEAR(DcLevel([v](CMidiStream& s) {
                            Send(s, {0xB0, 7, static_cast<uint8_t>(v)});
                        }) - DcLevel([](CMidiStream& s) {
                            Send(s, {0xB0, 7, 127});
                        }),
                        -40 * std::log10(127.0 / v), 0.15)
                << v;
            EXPECT_NEAR(DcLevel([v](CMidiStream& s) {
                            Send(s, {0xB0, 11, static_cast<uint8_t>(v)});
                        }) - ref,
                        -40 * std::log10(127.0 / v), 0.15)
                << v;
        }
        // Mix level is a plain gain: 50 % is -6 dB.
        EXPECT_NEAR(DcLevel([](CMidiStream& s) { s.SendEvent(0, EMidiEvent::MixLevel, 50); }) - ref,
                    Db(0.5), 0.05);
        // GM master volume SysEx at half scale.
        EXPECT_NEAR(DcLevel([](CMidiStream& s) {
                        Send(s, {0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x7F, 0x3F, 0xF7});
                    }) - ref,
                    Db(8191.0 / 16383.0), 0.05);
    }
    {
        CSf2Writer w;
        std::vector<int16_t> dc(4000, 16384);
        const int smp = w.AddSample("dc", dc, 48000, 60, 1000, 3000);
        const SGenDef loop = Gen(kSampleModes, 1), fast = Gen(kAttackVol, -12000);
        std::vector<SZoneDef> zones;
        // Keys 60..64: pan -500, -250, 0, 250, 500; key 70: 100 cB attenuation at centre.
        for (int i = 0; i < 5; ++i)
            zones.push_back(
                {{Range(kKeyRange, 60 + i, 60 + i), loop, fast, Gen(kPan, -500 + 250 * i)},
                 {},
                 smp});
        zones.push_back({{Range(kKeyRange, 70, 70), loop, fast, Gen(kAtten, 100)}, {}, smp});
        zones.push_back({{Range(kKeyRange, 71, 71), loop, fast}, {}, smp});
        const int inst = w.AddInstrument("pan", {}, zones);
        w.AddPreset("p", 0, 0, {}, {{{}, {}, inst}});
        EError e;
        auto f = CSoundFont::OpenMemory(w.Build(), 0, e);
        ASSERT_TRUE(f);
        auto levels = [&](int key, std::initializer_list<uint8_t> setup = {}) {
            auto s = MakeStream({{f, -1, 0}}, StreamFlags::NoFx);
            if (setup.size() != 0) {
                std::vector<uint8_t> v(setup);
                s->SendMidi(v.data(), v.size());
            }
            NoteOn(*s, 0, key);
            SStereo out;
            Render(*s, 0.05, out);
            return std::pair<double, double>{out.l[out.At(0.04)], out.r[out.At(0.04)]};
        };
        const auto centre = levels(62);
        EXPECT_NEAR(centre.first, centre.second, 1e-6);
        for (int i = 0; i < 5; ++i) {
            const auto lr = levels(60 + i);
            const double theta = i * 0.25 * 3.14159265358979323846 / 2;
            // Constant power: sin/cos law, total power that of the centre.
            EXPECT_NEAR(lr.first, centre.first * std::sqrt(2.0) * std::cos(theta), 1e-4) << i;
            EXPECT_NEAR(lr.second, centre.first * std::sqrt(2.0) * std::sin(theta), 1e-4) << i;
        }
        // CC10: 0 is hard left, 64 centre, 127 almost right (49.2 %).
        const auto hardLeft = levels(71, {0xB0, 10, 0});
        EXPECT_NEAR(hardLeft.second, 0.0, 1e-6);
        const auto right = levels(71, {0xB0, 10, 127});
        EXPECT_NEAR(std::atan2(right.second, right.first) / (3.14159265358979323846 / 2),
                    (1 + 63.0 / 64) / 2, 0.002);
        // The attenuation generator counts 0.4 dB per dB, the way fonts are voiced.
        EXPECT_NEAR(Db(levels(70).first / levels(71).first), -4.0, 0.05);
    }
}

TEST_F(SynthesisTest, LoopsPlaySeamlesslyAndSampleModesEndVoices) {
    auto s = Stream();
    Program(*s, 0, kSine);
    NoteOn(*s, 0, 69);
    Program(*s, 1, kOneShot);
    SStereo out;
    Render(*s, 2.0, out);
    // A 440 Hz sine at amplitude a never steps more than 2 pi f / fs * a between samples.
    const double a = Peak(out.l, out.At(0.5), out.At(2.0));
    EXPECT_LT(MaxStep(out.l, out.At(0.01), out.At(2.0)),
              a * 2 * 3.14159265358979323846 * 440 / 48000 * 1.05);
    EXPECT_NEAR(ToneAmplitude(out.l, out.At(1.5), out.At(2.0), 440, out.rate), a, a * 0.02);
    // No loop: the voice ends with the sample (8000 frames at 44 kHz = 0.18 s).
    auto one = Stream();
    Program(*one, 0, kOneShot);
    NoteOn(*one, 0, 69);
    SStereo o1;
    Render(*one, 0.15, o1);
    EXPECT_EQ(one->GetActiveVoices(), 1u);
    Render(*one, 0.1, o1);
    EXPECT_EQ(one->GetActiveVoices(), 0u);
    // Loop mode 3 loops while held and plays on to the sample's end after release.
    auto rel = Stream();
    Program(*rel, 0, kLoopRelease);
    NoteOn(*rel, 0, 69);
    SStereo o2;
    Render(*rel, 0.5, o2);
    EXPECT_EQ(rel->GetActiveVoices(), 1u);
    NoteOff(*rel, 0, 69);
    Render(*rel, 0.2, o2);
    EXPECT_EQ(rel->GetActiveVoices(), 0u);
}

TEST_F(SynthesisTest, CutVoicesFadeOutWithoutClicks) {
    {
        auto s = Stream();
        Program(*s, 0, kExclusiveA);
        Program(*s, 1, kExclusiveA);
        NoteOn(*s, 0, 60);
        NoteOn(*s, 1, 60); // other channel: not affected
        SStereo out;
        Render(*s, 0.1, out);
        EXPECT_EQ(s->GetActiveVoices(), 2u);
        NoteOn(*s, 0, 62);
        Render(*s, 0.01, out);
        EXPECT_EQ(s->GetActiveVoices(), 2u);
        // Fades over a few milliseconds rather than cutting: no step bigger than a voice's level
        // / 20.
        const double one = out.l[out.At(0.09)] / 2;
        EXPECT_LT(MaxStep(out.l, out.At(0.099), out.Frames()), one / 20);
    }
    {
        auto s = Stream(0, 16);
        Program(*s, 0, kDc);
        SStereo out;
        for (int k = 0; k < 40; ++k) {
            NoteOn(*s, 0, 30 + k, 20);
            Render(*s, 0.02, out);
            EXPECT_LE(s->GetActiveVoices(), 16u + 2u);
        }
        Render(*s, 0.05, out);
        EXPECT_EQ(s->GetActiveVoices(), 16u);
        const double one = out.l[out.At(0.01)];
        ASSERT_GT(one, 0.0);
        // Each steal fades over 3 ms: no step exceeds a fifth of one voice's level.
        EXPECT_LT(MaxStep(out.l, out.At(0.005), out.Frames()), one / 5);
    }
}

TEST_F(SynthesisTest, StereoPairStaysPhaseLocked) {
    auto s = Stream();
    Program(*s, 0, kStereo);
    NoteOn(*s, 0, 69);
    SStereo out;
    Render(*s, 2.0, out);
    // Left sample (corrected -20 cents) on the left, right (+30 cents, double rate) on the
    // right: the right follows the left's pitch, so its frequency is exactly twice the left's.
    const double fl = ZeroCrossFrequency(out.l, out.At(0.1), out.At(2.0), out.rate);
    const double fr = ZeroCrossFrequency(out.r, out.At(0.1), out.At(2.0), out.rate);
    EXPECT_NEAR(Cents(fl, 440.0), -20.0, 1.0);
    EXPECT_NEAR(Cents(fr, 2 * fl), 0.0, 0.05);
}

} // namespace
TEST_F(SynthesisTest, StreamFlagsInterpolationFormatsAndNoteOff) {
    {
        auto floorDb = [&](uint32_t flags) {
            auto s = Stream(flags);
            Program(*s, 0, kSineHigh);
            NoteOn(*s, 0, 63); // +3 semitones: 5946 Hz, a non-integer step through the sample
            SStereo out;
            Render(*s, 0.8, out);
            const auto p = PowerDensity(out.l, out.At(0.05), out.Frames(), 4096);
            const size_t tone =
                static_cast<size_t>(std::lround(5000 * std::exp2(0.25) / 48000 * 4096));
            double signal = 0, noise = 0;
            for (size_t i = 1; i < p.size(); ++i)
                (i + 8 >= tone && i <= tone + 8 ? signal : noise) += p[i];
            return 10 * std::log10(noise / signal);
        };
        const double linear = floorDb(0), sinc = floorDb(StreamFlags::Sinc);
        EXPECT_LT(linear, -30.0);
        EXPECT_LT(sinc, linear - 15.0);
    }
    {
        auto render = [&](uint32_t flags, size_t bytesPerFrame) {
            EError e;
            auto s =
                CMidiStream::Create(StreamFlags::Decode | StreamFlags::NoFx | flags, 48000, 64, e);
            const SFontMapping m{fontShared, -1, 0};
            s->SetFonts(&m, 1);
            Program(*s, 0, kSine);
            s->SendEvent(0, EMidiEvent::Controller, 10 | 0 << 8); // hard left
            NoteOn(*s, 0, 69);
            std::vector<uint8_t> buf(4800 * bytesPerFrame);
            EXPECT_EQ(s->GetData(buf.data(), buf.size()), static_cast<int64_t>(buf.size()));
            EXPECT_EQ(s->BytesPerFrame(), bytesPerFrame);
            return buf;
        };
        const auto f = render(StreamFlags::Float, 8);
        const auto i16 = render(0, 4);
        const auto u8 = render(StreamFlags::Sample8Bits, 2);
        const auto mono = render(StreamFlags::Float | StreamFlags::Mono, 4);
        for (size_t i = 1000; i < 4800; i += 97) {
            float l, m;
            std::memcpy(&l, &f[i * 8], 4);
            std::memcpy(&m, &mono[i * 4], 4);
            int16_t s16;
            std::memcpy(&s16, &i16[i * 4], 2);
            EXPECT_NEAR(s16 / 32767.0, l, 1.0 / 32767);
            EXPECT_NEAR((u8[i * 2] - 128) / 127.0, l, 1.0 / 127);
            EXPECT_NEAR(m, l / 2, 1e-6); // right is silent
        }
    }
    {
        for (uint32_t flag : {0u, StreamFlags::NoteOffLast}) {
            auto s = Stream(flag);
            Program(*s, 0, kDc);
            NoteOn(*s, 0, 60);
            NoteOn(*s, 0, 60);
            SStereo out;
            Render(*s, 0.05, out);
            NoteOff(*s, 0, 60);
            Render(*s, 0.1, out);
            EXPECT_EQ(s->GetActiveVoices(), flag ? 1u : 0u);
        }
    }
}
