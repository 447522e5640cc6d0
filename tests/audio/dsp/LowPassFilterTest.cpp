#include "audio/dsp/LowPassFilter.h"

#include "audio/dsp/VoiceKernels.h"
#include "dsp/DspSignals.h"

#include <gtest/gtest.h>

#include <cmath>

namespace hml::audio {
namespace {

using namespace dsptest;

constexpr int kBlock = 64;

class LowPassFilterTest : public ::testing::Test {
protected:
    // Steady-state gain in dB of a sine at frequency through the filter at fixed parameters.
    static double GainDb(float cutoff, float q, float fs, double frequency, int settle,
                         EFilterShape shape = EFilterShape::LowPass2) {
        CLowPassFilter filter;
        filter.SetShape(shape);
        filter.SetParameters(cutoff, q, fs);
        const int measure = static_cast<int>(fs / 2); // whole-ish periods; least squares anyway
        auto x = Sine(frequency, fs, settle + measure);
        filter.Process(x.data(), static_cast<int>(x.size()));
        return ToDb(ToneAmplitude(x.data() + settle, static_cast<size_t>(measure), frequency, fs));
    }

    // Magnitude of the analog 2-pole prototype under the prewarped bilinear transform.
    static double ExpectedGainDb(double cutoff, double q, double fs, double frequency) {
        const double w = std::tan(kPi * frequency / fs) / std::tan(kPi * cutoff / fs);
        return -10.0 * std::log10((1 - w * w) * (1 - w * w) + w * w / (q * q));
    }
};

TEST_F(LowPassFilterTest, ResponseFollowsTheSoundFontModel) {
    // No resonance: Butterworth, -3 dB at the cutoff, flat below, the prototype's slope above.
    for (float fs : {22050.0f, 44100.0f, 96000.0f, 192000.0f}) {
        for (float cutoff : {100.0f, 1000.0f, 8000.0f}) {
            SCOPED_TRACE(testing::Message() << "fs " << fs << " cutoff " << cutoff);
            EXPECT_NEAR(GainDb(cutoff, 0, fs, cutoff, 20000), -3.01, 0.05);
            EXPECT_NEAR(GainDb(cutoff, 0, fs, cutoff / 10, 20000), 0.0, 0.05);
            const double above = std::min(2.0 * cutoff, 0.4 * fs);
            EXPECT_NEAR(GainDb(cutoff, 0, fs, above, 20000),
                        ExpectedGainDb(cutoff, std::sqrt(0.5), fs, above), 0.1);
        }
    }
    // Resonance: the peak stands qCentibels / 10 dB above DC, and DC half that below unity;
    // off the peak the response is lower.
    const float fs = 44100.0f;
    const float cutoff = 3000.0f;
    for (float q : {30.0f, 100.0f, 200.0f, 480.0f}) {
        SCOPED_TRACE(testing::Message() << "Q " << q << " cB");
        const double g = std::pow(10.0, q / 200.0);
        const double qLin = std::sqrt((g * g + g * std::sqrt(g * g - 1)) / 2);
        const double w = std::sqrt(1 - 1 / (2 * qLin * qLin)); // prototype peak
        const double peakHz = fs / kPi * std::atan(w * std::tan(kPi * cutoff / fs));
        EXPECT_NEAR(GainDb(cutoff, q, fs, cutoff / 30, 40000), -q / 20.0, 0.1);
        EXPECT_NEAR(GainDb(cutoff, q, fs, peakHz, 40000), q / 20.0, 0.1);
        EXPECT_LT(GainDb(cutoff, q, fs, peakHz * 1.03, 40000), q / 20.0);
        EXPECT_LT(GainDb(cutoff, q, fs, peakHz * 0.97, 40000), q / 20.0);
    }
    // 96 dB, after a long settle: the peak is at the cutoff.
    EXPECT_NEAR(GainDb(8000.0f, 960.0f, fs, 8000.0, 900000), 48.0, 0.5);
}

TEST_F(LowPassFilterTest, OtherShapesHaveTheirOwnResponse) {
    const float fs = 44100.0f;
    const float cutoff = 1000.0f;
    const auto gain = [&](EFilterShape shape, float q, double hz) {
        return GainDb(cutoff, q, fs, hz, 40000, shape);
    };
    // High-pass: -3 dB at the cutoff, flat far above, 12 dB per octave below.
    EXPECT_NEAR(gain(EFilterShape::HighPass2, 0, cutoff), -3.01, 0.05);
    EXPECT_NEAR(gain(EFilterShape::HighPass2, 0, cutoff * 15), 0.0, 0.1);
    EXPECT_NEAR(gain(EFilterShape::HighPass2, 0, cutoff / 8), -36.15, 0.1);
    // Resonant high-pass: its pass band lowered by half the resonance, like the low-pass.
    EXPECT_NEAR(gain(EFilterShape::HighPass2, 200, cutoff * 15), -10.0, 0.2);
    // Band-pass: unity at the centre, falling on both sides, narrower with resonance.
    EXPECT_NEAR(gain(EFilterShape::BandPass2, 0, cutoff), 0.0, 0.05);
    EXPECT_LT(gain(EFilterShape::BandPass2, 0, cutoff * 4), -9.0);
    EXPECT_LT(gain(EFilterShape::BandPass2, 0, cutoff / 4), -9.0);
    EXPECT_NEAR(gain(EFilterShape::BandPass2, 200, cutoff), 0.0, 0.05);
    EXPECT_LT(gain(EFilterShape::BandPass2, 200, cutoff * 1.5),
              gain(EFilterShape::BandPass2, 0, cutoff * 1.5) - 6.0);
    // One-pole low-pass: -3 dB at the cutoff, 6 dB per octave above, resonance ignored.
    EXPECT_NEAR(gain(EFilterShape::LowPass1, 0, cutoff), -3.01, 0.05);
    EXPECT_NEAR(gain(EFilterShape::LowPass1, 0, cutoff / 20), 0.0, 0.05);
    EXPECT_NEAR(gain(EFilterShape::LowPass1, 0, cutoff * 8), -19.12, 0.1); // prewarped
    EXPECT_NEAR(gain(EFilterShape::LowPass1, 400, cutoff), -3.01, 0.05);
    // Only the low-passes turn themselves off at the top cutoff: a high-pass there still cuts.
    CLowPassFilter highPass;
    highPass.SetShape(EFilterShape::HighPass2);
    highPass.SetParameters(CLowPassFilter::kBypassCutoffHz, 0, fs);
    EXPECT_FALSE(highPass.IsBypassed());
    EXPECT_LT(GainDb(19000.0f, 0, fs, 200, 40000, EFilterShape::HighPass2), -60.0);
}

TEST_F(LowPassFilterTest, OpenWithoutResonanceIsExactPassThrough) {
    const auto x = Noise(1000);
    for (float fs : {22050.0f, 44100.0f, 192000.0f}) {
        CLowPassFilter filter;
        filter.SetParameters(19912.0f, 0.0f, fs);
        EXPECT_TRUE(filter.IsBypassed()) << fs;
        auto y = x;
        filter.Process(y.data(), static_cast<int>(y.size()));
        EXPECT_EQ(y, x) << fs;
    }
    // A resonance, or a lower cutoff, keeps the filter on.
    CLowPassFilter filter;
    filter.SetParameters(19912.0f, 10.0f, 44100.0f);
    EXPECT_FALSE(filter.IsBypassed());
    filter.SetParameters(15000.0f, 0.0f, 44100.0f);
    EXPECT_FALSE(filter.IsBypassed());
    // 13500 cents at 22.05 kHz is beyond what the filter can reach: still off.
    filter.SetParameters(9000.0f, 0.0f, 22050.0f);
    EXPECT_FALSE(filter.IsBypassed());
    filter.SetParameters(10000.0f, 0.0f, 22050.0f);
    EXPECT_TRUE(filter.IsBypassed());
}

TEST_F(LowPassFilterTest, BlockRateModulationDoesNotClick) {
    // A 220 Hz tone under parameters that jump every block, through on/off switches too. A click
    // is a step in the output: its second difference is far above the tone's (~0.001).
    const float fs = 44100.0f;
    const struct {
        float cutoff;
        float q;
    } steps[] = {{20000, 0}, {300, 0}, {6000, 200}, {20000, 0}, {150, 100}, {12000, 0}, {400, 300}};
    auto x = Sine(220.0, fs, kBlock * 700);
    CLowPassFilter filter;
    double maxStep = 0.0;
    float prev[2] = {0.0f, 0.0f};
    for (size_t b = 0; b * kBlock < x.size(); ++b) {
        const auto& s = steps[b % std::size(steps)];
        filter.SetParameters(s.cutoff, s.q, fs);
        float* block = x.data() + b * kBlock;
        filter.Process(block, kBlock);
        for (int i = 0; i < kBlock; ++i) {
            if (b > 0 || i > 1) {
                maxStep = std::max(maxStep, std::fabs(double(block[i]) - 2 * prev[1] + prev[0]));
            }
            prev[0] = prev[1];
            prev[1] = block[i];
        }
    }
    EXPECT_LT(maxStep, 0.05);
}

TEST_F(LowPassFilterTest, StaysStableAndDenormalFree) {
    for (float fs : {22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f}) {
        SCOPED_TRACE(fs);
        CLowPassFilter filter;
        auto x = Noise(kBlock * 1000, static_cast<uint32_t>(fs));
        uint32_t seed = 7;
        for (size_t b = 0; b * kBlock < x.size(); ++b) {
            seed = seed * 1664525u + 1013904223u;
            const float cents = 1500.0f + static_cast<float>(seed >> 20) / 4096.0f * 12000.0f;
            const float q = static_cast<float>((seed >> 8) & 1023);
            filter.SetParameters(8.176f * std::exp2(cents / 1200.0f), q, fs);
            filter.Process(x.data() + b * kBlock, kBlock);
        }
        EXPECT_TRUE(AllFinite(x));
        EXPECT_LT(PeakAbs(x), 1e6f); // bounded by the 96 dB peak gain

        // Silence after a loud tone decays to exact zeros without passing through denormals.
        filter.Reset();
        filter.SetParameters(100.0f, 60.0f, fs);
        auto tail = Sine(100.0, fs, static_cast<int>(fs));
        std::fill(tail.begin() + kBlock * 20, tail.end(), 0.0f);
        filter.Process(tail.data(), static_cast<int>(tail.size()));
        EXPECT_FALSE(AnyDenormal(tail));
        EXPECT_EQ(tail.back(), 0.0f);
    }

    // A non-finite input does not latch the filter.
    CLowPassFilter filter;
    filter.SetParameters(1000.0f, 100.0f, 44100.0f);
    std::vector<float> x(kBlock, 0.0f);
    x[3] = std::numeric_limits<float>::infinity();
    filter.Process(x.data(), kBlock);
    auto y = Sine(440.0, 44100.0, kBlock);
    filter.Process(y.data(), kBlock);
    EXPECT_TRUE(AllFinite(y));
}

// Samples are filtered in pairs; how a signal is cut into calls, odd counts included, and
// whether it is filtered in place must not change what comes out.
TEST_F(LowPassFilterTest, CallSizesAndInPlaceGiveTheSameOutput) {
    const auto x = Noise(1000);
    auto filtered = [&](std::initializer_list<int> cuts, bool inPlace) {
        CLowPassFilter filter;
        filter.SetParameters(2000.0f, 120.0f, 48000.0f);
        std::vector<float> buf = x, out(x.size());
        size_t at = 0;
        for (size_t c = 0; at < x.size(); ++c) {
            const int n =
                std::min<int>(cuts.begin()[c % cuts.size()], static_cast<int>(x.size() - at));
            if (inPlace)
                filter.Process(buf.data() + at, n);
            else
                filter.Process(x.data() + at, out.data() + at, n);
            at += static_cast<size_t>(n);
        }
        return inPlace ? buf : out;
    };
    const std::vector<float> whole = filtered({1000}, false);
    EXPECT_EQ(filtered({1000}, true), whole);
    for (const auto& y : {filtered({1, 3, 7}, true), filtered({13, 2, 64, 5}, false)}) {
        double worst = 0;
        for (size_t i = 0; i < y.size(); ++i)
            worst = std::max(worst, static_cast<double>(std::fabs(y[i] - whole[i])));
        EXPECT_LT(worst, 1e-5);
    }
}

// The trapezoidal state-variable filter sample by sample, in double, with the glide the filter
// promises: within a call the cutoff moves in steps of eight samples, each at the value an even
// glide in pitch reaches at the step's end, 1/Q likewise linearly, and the pass-band gain glides
// sample by sample.
class CReferenceFilter {
public:
    explicit CReferenceFilter(EFilterShape shape_) : shape(shape_) {}

    void Run(float cutoff, float q, float fs, const float* in, float* out, int frames) {
        const double toG = std::tan(kPi * cutoff / fs);
        const double peak = std::pow(10.0, q / 200.0);
        const double toK = 1.0 / std::sqrt((peak * peak + peak * std::sqrt(peak * peak - 1)) / 2);
        const bool resonant = shape == EFilterShape::LowPass2 || shape == EFilterShape::HighPass2;
        const double toH = resonant ? std::pow(10.0, -q / 400.0) : 1.0;
        if (first) {
            g = toG, k = toK, h = toH, first = false;
        }
        for (int i = 0; i < frames; ++i) {
            const int stepEnd = std::min(frames, (i / 8 + 1) * 8);
            const double share = double(stepEnd) / frames;
            const double gi = g * std::pow(toG / g, share), ki = k + (toK - k) * share;
            const double x = in[i] * (h + (toH - h) * (i + 1) / frames);
            if (shape == EFilterShape::LowPass1) {
                const double G = gi / (1 + gi);
                out[i] = float((1 - G) * s1 + G * x);
                s1 = (1 - 2 * G) * s1 + 2 * G * x;
                continue;
            }
            const double a1 = 1 / (1 + gi * (gi + ki)), a2 = gi * a1, a3 = gi * a2;
            const double v3 = x - s2, v1 = a1 * s1 + a2 * v3, v2 = s2 + a2 * s1 + a3 * v3;
            s1 = 2 * v1 - s1;
            s2 = 2 * v2 - s2;
            out[i] = float(shape == EFilterShape::LowPass2    ? v2
                           : shape == EFilterShape::HighPass2 ? x - ki * v1 - v2
                                                              : ki * v1);
        }
        g = toG, k = toK, h = toH;
    }

private:
    EFilterShape shape;
    bool first = true;
    double g = 0, k = 0, h = 0, s1 = 0, s2 = 0;
};

// Cutoff and resonance move at every call, whole blocks and odd sizes alike, in every shape and
// with every set of vector kernels; in place or not, the output is the reference's.
TEST_F(LowPassFilterTest, GlidesFollowTheStateVariableFilter) {
    const float fs = 48000.0f;
    const int sizes[] = {64, 64, 37, 64, 128, 8, 64, 5, 64, 200};
    const auto x = Noise(20000);
    for (const EKernelSet set : {EKernelSet::Baseline, EKernelSet::Avx2}) {
        if (!UseKernels(set))
            continue;
        for (const EFilterShape shape : {EFilterShape::LowPass2, EFilterShape::HighPass2,
                                         EFilterShape::BandPass2, EFilterShape::LowPass1}) {
            CLowPassFilter filter;
            filter.SetShape(shape);
            CReferenceFilter reference(shape);
            std::vector<float> y = x, expected(x.size());
            double cutoff = 300.0, worst = 0.0, peak = 0.0;
            size_t at = 0;
            for (int call = 0; at < x.size(); ++call) {
                const int n = std::min<int>(sizes[call % std::size(sizes)], int(x.size() - at));
                cutoff = cutoff > 9000.0 ? 150.0 : cutoff * (1.1 + 0.05 * (call % 3));
                const float q = call / 7 % 3 == 1 ? 300.0f : call % 5 == 0 ? 90.0f : 0.0f;
                filter.SetParameters(float(cutoff), q, fs);
                if (call % 2 == 0)
                    filter.Process(y.data() + at, n);
                else
                    filter.Process(x.data() + at, y.data() + at, n);
                reference.Run(float(cutoff), q, fs, x.data() + at, expected.data() + at, n);
                at += size_t(n);
            }
            for (size_t i = 0; i < x.size(); ++i) {
                worst = std::max(worst, double(std::fabs(y[i] - expected[i])));
                peak = std::max(peak, double(std::fabs(expected[i])));
            }
            EXPECT_LT(worst, 1e-4 * peak) << Kernels().name << " shape " << int(shape);
        }
    }
    UseKernels(EKernelSet::Avx2) || UseKernels(EKernelSet::Baseline);
}

} // namespace
} // namespace hml::audio
