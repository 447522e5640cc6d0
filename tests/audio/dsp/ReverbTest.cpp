#include "audio/dsp/Reverb.h"

#include "dsp/DspSignals.h"

#include <gtest/gtest.h>

namespace hml::audio {
namespace {

using namespace test;

class ReverbTest : public ::testing::Test {
protected:
    struct SStereo {
        std::vector<float> left;
        std::vector<float> right;
    };

    // Impulse response (wet only) of a reverb over seconds.
    static SStereo Impulse(CReverb& reverb, float sampleRate, double seconds) {
        const int frames = static_cast<int>(sampleRate * seconds);
        SStereo in{std::vector<float>(size_t(frames)), std::vector<float>(size_t(frames))};
        in.left[0] = 1.0f;
        in.right[0] = 1.0f;
        SStereo out{std::vector<float>(size_t(frames)), std::vector<float>(size_t(frames))};
        // Block by block, as the engine calls it.
        for (int i = 0; i < frames; i += 256) {
            const int n = std::min(256, frames - i);
            reverb.Process(in.left.data() + i, in.right.data() + i, out.left.data() + i,
                           out.right.data() + i, n);
        }
        return out;
    }

    static double Rt60(float sampleRate, float roomSize = CReverb::kDefaultRoomSize) {
        CReverb reverb;
        reverb.SetSampleRate(sampleRate);
        reverb.SetRoomSize(roomSize);
        const auto out = Impulse(reverb, sampleRate, 3.0);
        return Rt60Seconds(out.left, out.right, sampleRate);
    }
};

TEST_F(ReverbTest, DefaultDecayIsAMediumHallAtEveryRate) {
    const double reference = Rt60(44100.0f);
    EXPECT_GT(reference, 1.5);
    EXPECT_LT(reference, 2.5);
    for (float fs : {22050.0f, 48000.0f, 96000.0f, 192000.0f}) {
        EXPECT_NEAR(Rt60(fs), reference, 0.1 * reference) << fs;
    }
    // Room size lengthens the decay.
    EXPECT_LT(Rt60(44100.0f, 0.3f), reference * 0.8);
    EXPECT_GT(Rt60(44100.0f, 0.9f), reference * 1.5);
}

TEST_F(ReverbTest, TailIsDenseWithoutRingingModes) {
    CReverb reverb;
    const auto out = Impulse(reverb, 48000.0f, 1.0);
    EXPECT_LT(SpectralPeakinessDb(out.left, 14400, 48000.0), 20.0);
    EXPECT_LT(SpectralPeakinessDb(out.right, 14400, 48000.0), 20.0);

    // The measure does catch a ringing loop: one feedback comb of the same order of length.
    std::vector<float> comb(48000);
    comb[0] = 1.0f;
    for (size_t i = 1116; i < comb.size(); ++i) {
        comb[i] += 0.97f * comb[i - 1116];
    }
    EXPECT_GT(SpectralPeakinessDb(comb, 14400, 48000.0), 20.0);
}

TEST_F(ReverbTest, WidthAndLevelShapeTheOutput) {
    auto correlation = [](const SStereo& s) {
        double lr = 0, ll = 0, rr = 0;
        for (size_t i = 0; i < s.left.size(); ++i) {
            lr += double(s.left[i]) * s.right[i];
            ll += double(s.left[i]) * s.left[i];
            rr += double(s.right[i]) * s.right[i];
        }
        return lr / std::sqrt(ll * rr);
    };
    CReverb wide;
    const auto stereo = Impulse(wide, 44100.0f, 0.5);
    EXPECT_LT(std::fabs(correlation(stereo)), 0.3);

    CReverb mono;
    mono.SetWidth(0.0f);
    const auto same = Impulse(mono, 44100.0f, 0.5);
    EXPECT_EQ(same.left, same.right);

    CReverb half;
    half.SetLevel(0.5f);
    const auto quiet = Impulse(half, 44100.0f, 0.5);
    EXPECT_NEAR(Rms(quiet.left) / Rms(stereo.left), 0.5, 1e-3);
}

TEST_F(ReverbTest, AddsIntoTheOutputAndFallsSilentAfterTheTail) {
    const float fs = 22050.0f;
    const int frames = 512;
    auto in = Noise(frames);
    std::vector<float> left(frames, 0.25f);
    std::vector<float> right(frames, -0.25f);
    CReverb reverb;
    reverb.SetSampleRate(fs);
    reverb.Process(in.data(), in.data(), left.data(), right.data(), frames);
    CReverb fresh;
    fresh.SetSampleRate(fs);
    std::vector<float> wetLeft(frames, 0.0f);
    std::vector<float> wetRight(frames, 0.0f);
    fresh.Process(in.data(), in.data(), wetLeft.data(), wetRight.data(), frames);
    for (int i = 0; i < frames; ++i) {
        ASSERT_NEAR(left[size_t(i)], 0.25f + wetLeft[size_t(i)], 1e-6f);
        ASSERT_NEAR(right[size_t(i)], -0.25f + wetRight[size_t(i)], 1e-6f);
    }

    // After a loud burst and 40 s of silence nothing is left, and nothing on the way went
    // denormal (undisturbed, the tail would fall below the normal range after ~25 s).
    const int tail = static_cast<int>(fs * 40);
    std::vector<float> silence(size_t(tail), 0.0f);
    std::vector<float> outLeft(size_t(tail), 0.0f);
    std::vector<float> outRight(size_t(tail), 0.0f);
    reverb.Process(silence.data(), silence.data(), outLeft.data(), outRight.data(), tail);
    EXPECT_TRUE(AllFinite(outLeft));
    EXPECT_FALSE(AnyDenormal(outLeft));
    EXPECT_FALSE(AnyDenormal(outRight));
    const size_t last = size_t(fs);
    EXPECT_LT(Rms(outLeft.data() + outLeft.size() - last, last), 1e-9);

    // Reset cuts a ringing tail at once.
    std::fill(outLeft.begin(), outLeft.end(), 0.0f);
    fresh.Reset();
    fresh.Process(silence.data(), silence.data(), outLeft.data(), outRight.data(), frames);
    EXPECT_LT(PeakAbs(outLeft), 1e-15f);
}

} // namespace
} // namespace hml::audio
