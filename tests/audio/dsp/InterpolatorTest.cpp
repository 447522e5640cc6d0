#include "audio/dsp/Interpolator.h"

#include "dsp/DspSignals.h"
#include "support/SharedMaterial.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <limits>
#include <string>

namespace hml::audio {
namespace {

using namespace dsptest;

using FInterpolate = std::function<float(const float*, std::ptrdiff_t, float)>;

class InterpolatorTest : public ::testing::Test {
protected:
    struct SKind {
        const char* name;
        FInterpolate interpolate;
        int before;
        int after;
    };

    std::vector<SKind> Kinds() const {
        return {{"linear", InterpolateLinear, kLinearTapsBefore, kLinearTapsAfter},
                {"cubic", InterpolateCubic, kCubicTapsBefore, kCubicTapsAfter},
                {"sinc", InterpolateSinc, kSincTapsBefore, kSincTapsAfter}};
    }

    // Plays source at pitch ratio (source samples per output sample) from a padded position,
    // the ratio optionally gliding by centsPerFrame.
    static std::vector<float> Resample(const FInterpolate& f, const std::vector<float>& source,
                                       double ratio, int frames, int pad,
                                       double centsPerFrame = 0.0) {
        std::vector<float> out(static_cast<size_t>(frames));
        const double glide = std::exp2(centsPerFrame / 1200.0);
        double position = pad;
        for (auto& v : out) {
            const auto index = static_cast<std::ptrdiff_t>(position);
            v = f(source.data(), index, static_cast<float>(position - static_cast<double>(index)));
            position += ratio;
            ratio *= glide;
        }
        return out;
    }
};

TEST_F(InterpolatorTest, ReadsTheDocumentedTapsAndHitsTheSamples) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const auto& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        std::vector<float> s(32, nan);
        const int index = 16;
        for (int i = index - kind.before; i <= index + kind.after; ++i) {
            s[static_cast<size_t>(i)] = static_cast<float>(i % 5) - 2.0f;
        }
        for (float frac : {0.0f, 0.3f, 0.5f, 0.99999994f}) {
            EXPECT_TRUE(std::isfinite(kind.interpolate(s.data(), index, frac))) << frac;
        }
    }

    // At integer positions the sample itself; approaching the next from below, the next.
    const auto noise = Noise(64);
    for (const auto& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        for (int index = 8; index < 56; ++index) {
            EXPECT_NEAR(kind.interpolate(noise.data(), index, 0.0f), noise[size_t(index)], 1e-6f);
            EXPECT_NEAR(kind.interpolate(noise.data(), index, 0.99999994f),
                        noise[size_t(index) + 1], 1e-4f);
        }
    }
}

TEST_F(InterpolatorTest, SincPassbandIsFlatAndFractionalDelayAccurate) {
    // A tone read at frac 0.5 (the hardest phase): amplitude within 0.05 dB up to 0.2 fs, less
    // than 1 dB down at 0.3 fs, and the waveform accurate to -70 dB up to 0.1 fs.
    const double fs = 44100.0;
    for (double f : {0.05 * fs, 0.1 * fs, 0.2 * fs, 0.3 * fs}) {
        SCOPED_TRACE(f);
        const auto s = Sine(f, fs, 4096 + 8);
        std::vector<float> out(4096);
        std::vector<float> error(4096);
        for (size_t i = 0; i < out.size(); ++i) {
            out[i] = InterpolateSinc(s.data(), static_cast<std::ptrdiff_t>(i) + 4, 0.5f);
            error[i] = out[i] - static_cast<float>(std::sin(2 * kPi * f * (double(i) + 4.5) / fs));
        }
        const double gainDb = ToDb(ToneAmplitude(out.data(), out.size(), f, fs));
        EXPECT_NEAR(gainDb, 0.0, f <= 0.2 * fs ? 0.05 : 1.0);
        if (f <= 0.1 * fs) {
            EXPECT_LT(ToDb(Rms(error) * std::sqrt(2.0)), -70.0);
        }
    }
}

TEST_F(InterpolatorTest, AliasesNoMoreThanPeersOnTheSineSweepMaterial) {
    // Test 1 of the shared interpolation material: the looped sine (25 samples a period at 44 kHz,
    // root 93) played on key 24 with a pitch envelope of +11000 cents falling linearly to 0 over
    // 30 s, rendered at 48 kHz: the tone sweeps 19.6 kHz -> 35 Hz. We render 4096-frame windows of
    // that sweep centred on a few points and measure each with AliasRatioDb.
    //
    // Peer thresholds: the recordings (FLAC, 48 kHz) decoded with `sox in.flac -e floating-point
    // -b 32 out.wav trim 0 33`, AliasRatioDb over consecutive 4096-frame windows, and the power
    // ratios of the 3-4 windows whose strongest frequency lies within 3% of the point averaged:
    //   cents from root       +3800  +3000  +2000   +800   -300  -1500
    //   FluidSynth linear     -44.6  -47.5  -49.9  -54.3  -53.9  -55.4
    //   sfizz linear          -52.4  -52.4  -52.9  -53.5  -52.5  -56.1
    //   FluidSynth 4th order  -45.2  -48.7  -52.7  -58.9  -63.7  -67.5
    //   sfizz sinc (10)       -66.4  -67.1  -67.5  -68.8  -77.1  -78.2
    // Sinc must alias no more than sfizz's sinc, cubic no more than FluidSynth's 4th order. Linear
    // interpolation of this material images at -52.7 dB by arithmetic (sinc^2 at 24/25 and 26/25 of
    // the sample rate); at +800 and -300 cents the peers' recordings come out up to 1.8 dB better
    // than that, so linear gets the worse peer's figure plus 1.5 dB.
    SWav wav;
    if (!ReadWav(hml::test::FindSharedMaterial("interpolation/samples/Wave_Sine_093.wav").string(),
                 wav)) {
        GTEST_SKIP() << "interpolation material not found under " << HML_SHARED_DIR;
    }
    ASSERT_GT(wav.loopStart, 0);
    ASSERT_GT(wav.loopEnd, wav.loopStart);
    const int loopLength = wav.loopEnd - wav.loopStart + 1; // smpl loop ends are inclusive
    std::vector<float> source(1 << 16);
    for (size_t i = 0; i < source.size(); ++i) {
        source[i] = wav.samples[size_t(wav.loopStart) + i % size_t(loopLength)];
    }

    const double outputRate = 48000.0;
    const double centsPerFrame = -11000.0 / 30.0 / outputRate;
    const int frames = 4096;
    const struct {
        double cents;
        double linearMax;
        double cubicMax;
        double sincMax;
    } points[] = {{3800, -43.1, -45.2, -66.4}, {3000, -46.0, -48.7, -67.1},
                  {2000, -48.4, -52.7, -67.5}, {800, -52.0, -58.9, -68.8},
                  {-300, -51.0, -63.7, -77.1}, {-1500, -53.9, -67.5, -78.2}};
    for (const auto& point : points) {
        SCOPED_TRACE(testing::Message() << point.cents << " cents");
        const double startCents = point.cents - centsPerFrame * frames / 2;
        const double ratio = wav.sampleRate / outputRate * std::exp2(startCents / 1200.0);
        auto aliasDb = [&](const FInterpolate& interpolate) {
            const auto out = Resample(interpolate, source, ratio, frames, 8, centsPerFrame);
            return AliasRatioDb(out.data(), out.size(), outputRate);
        };
        EXPECT_LT(aliasDb(InterpolateLinear), point.linearMax);
        EXPECT_LT(aliasDb(InterpolateCubic), point.cubicMax);
        EXPECT_LT(aliasDb(InterpolateSinc), point.sincMax);
    }
}

TEST_F(InterpolatorTest, SincPlayingFasterKeepsThePassbandAndRemovesWhatWouldFold) {
    // Source tones relative to the output's Nyquist after resampling by `ratio`: well inside it
    // they must pass, above it (they would fold back as inharmonic tones) they must go. The
    // plain 8-tap kernel lets such a tone through almost whole, which is what the bands mend.
    for (double ratio : {1.0, 1.12, 1.5, 2.0, 3.0, 4.0}) {
        SCOPED_TRACE(testing::Message() << "ratio " << ratio);
        const CSincInterpolator sinc(ratio);
        auto gainDb = [&](double sourceFrequency) {
            const int pad = kSincMaxTaps;
            const auto s = Sine(sourceFrequency, 1.0, static_cast<int>(4096 * ratio) + 2 * pad);
            std::vector<float> out(4096);
            double position = pad;
            for (auto& v : out) {
                const auto index = static_cast<std::ptrdiff_t>(position);
                v = sinc.Interpolate(s.data(), index,
                                     static_cast<float>(position - static_cast<double>(index)));
                position += ratio;
            }
            return ToDb(Rms(out) * std::sqrt(2.0));
        };
        const double outputNyquist = 0.5 / ratio; // in cycles per source sample
        EXPECT_NEAR(gainDb(0.5 * outputNyquist), 0.0, 0.2);
        EXPECT_GT(gainDb(0.75 * outputNyquist), -2.0);
        if (ratio > 1.0) {
            // The kernel's transition band ends by 1.6 x Nyquist (-55 dB) and 2 x (-85 dB).
            if (1.6 * outputNyquist < 0.5) {
                EXPECT_LT(gainDb(1.6 * outputNyquist), -54.0);
            }
            if (2.0 * outputNyquist < 0.5) {
                EXPECT_LT(gainDb(2.0 * outputNyquist), -80.0);
            }
        }
    }
    EXPECT_EQ(CSincInterpolator(0.5).Taps(), kSincTaps);
    EXPECT_EQ(CSincInterpolator(100.0).Taps(), kSincMaxTaps);
}

} // namespace
} // namespace hml::audio
