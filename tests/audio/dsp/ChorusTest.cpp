#include "audio/dsp/Chorus.h"

#include "dsp/DspSignals.h"

#include <gtest/gtest.h>

namespace hml::audio {
namespace {

using namespace dsptest;

class ChorusTest : public ::testing::Test {
protected:
    struct SStereo {
        std::vector<float> left;
        std::vector<float> right;
    };

    static SStereo Run(CChorus& chorus, const std::vector<float>& mono, int block = 128) {
        SStereo out{std::vector<float>(mono.size()), std::vector<float>(mono.size())};
        const int frames = static_cast<int>(mono.size());
        for (int i = 0; i < frames; i += block) {
            const int n = std::min(block, frames - i);
            chorus.Process(mono.data() + i, mono.data() + i, out.left.data() + i,
                           out.right.data() + i, n);
        }
        return out;
    }

    // First and last sample of a tap pulse, in samples after the impulse.
    static std::pair<int, int> Arrivals(const std::vector<float>& x, size_t impulse, int span) {
        int first = -1;
        int last = -1;
        for (int d = 0; d < span; ++d) {
            if (std::fabs(x[impulse + size_t(d)]) > 0.1f) {
                first = first < 0 ? d : first;
                last = d;
            }
        }
        return {first, last};
    }
};

TEST_F(ChorusTest, TapsSweepTheSetDepthAtTheSetRate) {
    // Impulses through the chorus: the two taps of a side arrive at delay -+ depth * |LFO|; left
    // follows sin, right cos, from phase 0 at Reset. Checked over a full LFO period.
    for (float fs : {44100.0f, 96000.0f}) {
        for (float depthMs : {1.5f, 4.0f}) {
            SCOPED_TRACE(testing::Message() << fs << " Hz, depth " << depthMs << " ms");
            CChorus chorus;
            chorus.SetSampleRate(fs);
            chorus.SetRate(0.8f);
            chorus.SetDelay(10.0f);
            chorus.SetDepth(depthMs);
            chorus.Reset();
            const size_t spacing = size_t(fs * 0.02);
            std::vector<float> in(size_t(fs * 1.3));
            for (size_t i = 0; i + spacing < in.size(); i += spacing) {
                in[i] = 1.0f;
            }
            const auto out = Run(chorus, in);
            const double delay = 0.010 * fs;
            const double depth = depthMs * 0.001 * fs;
            const int span = static_cast<int>(spacing);
            // The LFO as it was when the pulse was read out.
            auto swing = [&](size_t impulse, int arrival, bool cosine) {
                const double phase = 2 * kPi * 0.8 * double(impulse + size_t(arrival)) / fs;
                return depth * std::fabs(cosine ? std::cos(phase) : std::sin(phase));
            };
            for (size_t i = 0; i + spacing < in.size(); i += spacing) {
                const auto left = Arrivals(out.left, i, span);
                const auto right = Arrivals(out.right, i, span);
                ASSERT_NEAR(left.first, delay - swing(i, left.first, false), 1.5) << i;
                ASSERT_NEAR(left.second, delay + swing(i, left.second, false), 1.5) << i;
                ASSERT_NEAR(right.first, delay - swing(i, right.first, true), 1.5) << i;
                ASSERT_NEAR(right.second, delay + swing(i, right.second, true), 1.5) << i;
            }
        }
    }
}

TEST_F(ChorusTest, WithoutDepthIsTheDelayedSendAddedAtLevel) {
    CChorus chorus;
    chorus.SetSampleRate(48000.0f);
    chorus.SetDepth(0.0f);
    chorus.SetDelay(12.0f); // 576 samples
    chorus.SetLevel(0.7f);
    chorus.Reset();
    const auto left = Noise(2048, 1);
    const auto right = Noise(2048, 2);
    std::vector<float> outLeft(2048, 0.25f);
    std::vector<float> outRight(2048, 0.25f);
    // Uneven calls: the taps are read a few frames at a time, and a call's end cuts a group.
    for (int i = 0, n = 1; i < 2048; i += n, n = n * 7 % 103 + 1) {
        n = std::min(n, 2048 - i);
        chorus.Process(&left[size_t(i)], &right[size_t(i)], &outLeft[size_t(i)],
                       &outRight[size_t(i)], n);
    }
    for (size_t i = 0; i < 2048; ++i) {
        const float expected = i < 576 ? 0.0f : 0.7f * (left[i - 576] + right[i - 576]) * 0.5f;
        ASSERT_NEAR(outLeft[i], 0.25f + expected, 1e-6f) << i;
        ASSERT_NEAR(outRight[i], 0.25f + expected, 1e-6f) << i;
    }
}

TEST_F(ChorusTest, ALongSilenceLeavesNoTraceInWhatFollows) {
    // A silent send over a silent line skips the taps. Whatever else it failed to move on (LFO,
    // glides, gain, write position) would show once the send returns: the same music with the
    // silence sent as -0, which is never skipped, must come out the same to the bit. Settings
    // change during the silence; odd calls cut the tap groups.
    const float fs = 44100.0f;
    const auto tone = Sine(330.0, fs, 4410);
    std::vector<float> send(tone);
    send.resize(send.size() + size_t(fs * 0.4f), 0.0f);
    send.insert(send.end(), tone.begin(), tone.end());
    std::vector<float> negative(send);
    for (size_t i = tone.size(); i + tone.size() < send.size(); ++i) {
        negative[i] = -0.0f;
    }
    auto render = [&](const std::vector<float>& in) {
        CChorus chorus;
        chorus.SetSampleRate(fs);
        SStereo out{std::vector<float>(in.size(), 0.25f), std::vector<float>(in.size(), 0.25f)};
        const std::vector<float> silence(in.size());
        for (size_t i = 0, block = 0; i < in.size(); ++block) {
            if (block == 300) {
                chorus.SetDelay(20.0f);
                chorus.SetDepth(4.0f);
                chorus.SetRate(3.0f);
                chorus.SetLevel(0.6f);
            }
            const int n = int(std::min<size_t>(37, in.size() - i));
            chorus.Process(&in[i], &silence[i], &out.left[i], &out.right[i], n);
            i += size_t(n);
        }
        return out;
    };
    const auto skipped = render(send);
    const auto processed = render(negative);
    EXPECT_EQ(FirstDifference(skipped.left, processed.left), -1);
    EXPECT_EQ(FirstDifference(skipped.right, processed.right), -1);
    // The returning tone does come through the taps.
    std::vector<float> wet(skipped.left.end() - long(tone.size()), skipped.left.end());
    for (auto& v : wet) {
        v -= 0.25f;
    }
    EXPECT_GT(Rms(wet), 0.1);
}

TEST_F(ChorusTest, ParameterChangesGlideAndSilenceFollowsTheInput) {
    // A tone while delay and depth jump now and then: no step in the output (second difference
    // of the 440 Hz tone ~0.004; a 5 ms jump of the read position would be ~1).
    const float fs = 44100.0f;
    CChorus chorus;
    chorus.SetSampleRate(fs);
    auto in = Sine(440.0, fs, 128 * 200);
    SStereo out{std::vector<float>(in.size()), std::vector<float>(in.size())};
    for (size_t b = 0; b * 128 < in.size(); ++b) {
        chorus.SetDelay(b / 16 % 2 ? 8.0f : 13.0f);
        chorus.SetDepth(b / 24 % 2 ? 1.0f : 3.0f);
        chorus.Process(in.data() + b * 128, in.data() + b * 128, out.left.data() + b * 128,
                       out.right.data() + b * 128, 128);
    }
    double maxStep = 0.0;
    for (size_t i = 2000; i < in.size(); ++i) {
        maxStep = std::max(maxStep,
                           std::fabs(double(out.left[i]) - 2 * out.left[i - 1] + out.left[i - 2]));
    }
    EXPECT_LT(maxStep, 0.03);
    EXPECT_TRUE(AllFinite(out.left));

    // Once the input stops, the output is exactly silent after the longest delay.
    std::vector<float> silence(size_t(fs * (CChorus::kMaxDelayMs + CChorus::kMaxDepthMs) / 1000));
    const auto tail = Run(chorus, silence);
    std::vector<float> more(256, 0.0f);
    const auto after = Run(chorus, more);
    EXPECT_EQ(PeakAbs(after.left), 0.0f);
    EXPECT_EQ(PeakAbs(after.right), 0.0f);

    // Reset drops what is in flight.
    chorus.Process(in.data(), in.data(), out.left.data(), out.right.data(), 512);
    chorus.Reset();
    const auto cleared = Run(chorus, more);
    EXPECT_EQ(PeakAbs(cleared.left), 0.0f);
}

} // namespace
} // namespace hml::audio
