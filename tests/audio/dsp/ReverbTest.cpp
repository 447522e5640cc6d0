#include "audio/dsp/Reverb.h"

#include "dsp/DspSignals.h"

#include <gtest/gtest.h>

namespace hml::audio {
namespace {

using namespace dsptest;

class ReverbTest : public ::testing::Test {
protected:
    struct SStereo {
        std::vector<float> left;
        std::vector<float> right;
    };

    // Wet output for input (both channels), in blocks as the engine calls it, added to prefill.
    static SStereo Run(CReverb& reverb, const std::vector<float>& in, float prefill = 0.0f) {
        SStereo out{std::vector<float>(in.size(), prefill), std::vector<float>(in.size(), prefill)};
        for (size_t i = 0; i < in.size(); i += 256) {
            const int n = int(std::min<size_t>(256, in.size() - i));
            reverb.Process(&in[i], &in[i], &out.left[i], &out.right[i], n);
        }
        return out;
    }

    static SStereo Impulse(CReverb& reverb, float sampleRate, double seconds) {
        std::vector<float> in(size_t(sampleRate * seconds));
        in[0] = 1.0f;
        return Run(reverb, in);
    }

    // Schroeder backward integration of the summed channel energy, a line fitted between -5 and
    // -35 dB, extrapolated to 60 dB.
    static double Rt60(float sampleRate, float roomSize = CReverb::kDefaultRoomSize) {
        CReverb reverb;
        reverb.SetSampleRate(sampleRate);
        reverb.SetRoomSize(roomSize);
        const auto ir = Impulse(reverb, sampleRate, 3.0);
        std::vector<double> energy(ir.left.size());
        double sum = 0.0;
        for (size_t i = energy.size(); i-- > 0;) {
            sum += double(ir.left[i]) * ir.left[i] + double(ir.right[i]) * ir.right[i];
            energy[i] = sum;
        }
        double sx = 0, sy = 0, sxx = 0, sxy = 0, n = 0;
        for (size_t i = 0; i < energy.size(); ++i) {
            const double db = PowerToDb(energy[i] / energy[0]);
            if (db <= -5.0 && db >= -35.0) {
                const double t = double(i) / sampleRate;
                sx += t, sy += db, sxx += t * t, sxy += t * db, n += 1;
            }
        }
        return -60.0 / ((n * sxy - sx * sy) / (n * sxx - sx * sx));
    }

    // Strongest spectral line of 16384 frames from start, in dB above the median of the bins
    // within a sixth of an octave, over 200 Hz - 8 kHz. A dense tail is noise-like (10-15 dB);
    // a ringing mode stands far above its neighbourhood.
    static double PeakinessDb(const std::vector<float>& x, size_t start, double sampleRate) {
        const auto p = PowerSpectrum(x.data() + start, 16384);
        const double binHz = sampleRate / 16384;
        double worst = -1e9;
        std::vector<double> around;
        for (size_t i = size_t(200 / binHz); i < size_t(8000 / binHz); ++i) {
            around.assign(p.begin() + long(double(i) / 1.12), p.begin() + long(double(i) * 1.12));
            std::nth_element(around.begin(), around.begin() + long(around.size() / 2),
                             around.end());
            worst = std::max(worst, PowerToDb(p[i] / around[around.size() / 2]));
        }
        return worst;
    }
};

TEST_F(ReverbTest, DefaultDecayIsAMediumHallAtEveryRate) {
    const double reference = Rt60(44100.0f);
    EXPECT_GT(reference, 1.5);
    EXPECT_LT(reference, 2.5);
    for (float fs : {22050.0f, 48000.0f, 96000.0f, 192000.0f}) {
        EXPECT_NEAR(Rt60(fs), reference, 0.1 * reference) << fs;
    }
    EXPECT_LT(Rt60(44100.0f, 0.3f), reference * 0.8);
    EXPECT_GT(Rt60(44100.0f, 0.9f), reference * 1.5);
}

TEST_F(ReverbTest, TailIsDenseWithoutRingingModes) {
    CReverb reverb;
    const auto out = Impulse(reverb, 48000.0f, 1.0);
    EXPECT_LT(PeakinessDb(out.left, 14400, 48000.0), 20.0);
    EXPECT_LT(PeakinessDb(out.right, 14400, 48000.0), 20.0);

    // The measure does catch a ringing loop: one feedback comb of similar length.
    std::vector<float> comb(48000);
    comb[0] = 1.0f;
    for (size_t i = 1116; i < comb.size(); ++i) {
        comb[i] += 0.97f * comb[i - 1116];
    }
    EXPECT_GT(PeakinessDb(comb, 14400, 48000.0), 20.0);
}

TEST_F(ReverbTest, WidthAndLevelShapeTheOutput) {
    CReverb wide;
    const auto stereo = Impulse(wide, 44100.0f, 0.5);
    double lr = 0, ll = 0, rr = 0;
    for (size_t i = 0; i < stereo.left.size(); ++i) {
        lr += double(stereo.left[i]) * stereo.right[i];
        ll += double(stereo.left[i]) * stereo.left[i];
        rr += double(stereo.right[i]) * stereo.right[i];
    }
    EXPECT_LT(std::fabs(lr / std::sqrt(ll * rr)), 0.3);

    CReverb mono;
    mono.SetWidth(0.0f);
    const auto same = Impulse(mono, 44100.0f, 0.5);
    EXPECT_EQ(same.left, same.right);

    CReverb half;
    half.SetLevel(0.5f);
    EXPECT_NEAR(Rms(Impulse(half, 44100.0f, 0.5).left) / Rms(stereo.left), 0.5, 1e-3);
}

TEST_F(ReverbTest, BlockSizesAndInPlaceCallsChangeNoSample) {
    // The reverb works through a call in stretches bounded by the block, its ring ends and its
    // shortest comb. Whatever the cut, the output is the one-frame-at-a-time output to the bit:
    // blocks of one, odd sizes, long calls crossing every ring's end, and input read from the
    // output buffers. 2 kHz makes the shortest comb shorter than a block.
    for (float fs : {2000.0f, 48000.0f}) {
        SCOPED_TRACE(fs);
        const size_t frames = size_t(fs * 0.25);
        const auto left = Noise(int(frames), 1);
        const auto right = Noise(int(frames), 2);
        auto render = [&](auto nextBlock, bool inPlace) {
            CReverb reverb;
            reverb.SetSampleRate(fs);
            reverb.SetRoomSize(0.9f);
            reverb.SetWidth(0.6f);
            reverb.Reset(); // a new gain glides across a call, whose length is the block's
            SStereo out{left, right}; // the dry signal, which the reverb adds to
            for (size_t i = 0; i < frames;) {
                const int n = int(std::min<size_t>(nextBlock(), frames - i));
                if (inPlace) {
                    reverb.Process(&out.left[i], &out.right[i], &out.left[i], &out.right[i], n);
                } else {
                    reverb.Process(&left[i], &right[i], &out.left[i], &out.right[i], n);
                }
                i += size_t(n);
            }
            return out;
        };
        const auto reference = render([] { return 1; }, false);
        for (int block : {64, 37, 300, 5000}) {
            SCOPED_TRACE(block);
            const auto out = render([block] { return block; }, false);
            EXPECT_EQ(FirstDifference(out.left, reference.left), -1);
            EXPECT_EQ(FirstDifference(out.right, reference.right), -1);
        }
        uint32_t seed = 7;
        const auto uneven = render(
            [&seed] {
                seed = seed * 1664525u + 1013904223u;
                return int(seed >> 22) + 1; // 1..1024
            },
            true);
        EXPECT_EQ(FirstDifference(uneven.left, reference.left), -1);
        EXPECT_EQ(FirstDifference(uneven.right, reference.right), -1);
    }
}

TEST_F(ReverbTest, AddsIntoTheOutputAndFallsSilentAfterTheTail) {
    const float fs = 22050.0f;
    const auto burst = Noise(512);
    CReverb reverb;
    reverb.SetSampleRate(fs);
    CReverb fresh;
    fresh.SetSampleRate(fs);
    const auto mixed = Run(reverb, burst, 0.25f);
    const auto wet = Run(fresh, burst);
    for (size_t i = 0; i < burst.size(); ++i) {
        ASSERT_NEAR(mixed.left[i], 0.25f + wet.left[i], 1e-6f);
        ASSERT_NEAR(mixed.right[i], 0.25f + wet.right[i], 1e-6f);
    }

    // 40 s of silence after the burst: nothing is left, and nothing on the way went denormal
    // (undisturbed, the tail would fall below the normal range after ~25 s).
    const auto tail = Run(reverb, std::vector<float>(size_t(fs * 40)));
    EXPECT_TRUE(AllFinite(tail.left));
    EXPECT_FALSE(AnyDenormal(tail.left));
    EXPECT_FALSE(AnyDenormal(tail.right));
    EXPECT_LT(Rms(tail.left.data() + tail.left.size() - size_t(fs), size_t(fs)), 1e-9);

    // Reset cuts a ringing tail at once.
    fresh.Reset();
    EXPECT_LT(PeakAbs(Run(fresh, std::vector<float>(512)).left), 1e-15f);
}

} // namespace
} // namespace hml::audio
