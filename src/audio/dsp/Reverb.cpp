#include "audio/dsp/Reverb.h"

#include <algorithm>
#include <cmath>

namespace hml::audio {

namespace {

constexpr float kReferenceRate = 44100.0f;

// Mutually prime comb and allpass lengths at 44.1 kHz; the right channel adds kStereoSpread.
constexpr int kCombLengths[] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr int kAllpassLengths[] = {556, 441, 341, 225};
constexpr int kStereoSpread = 23;

constexpr float kInputGain = 0.015f; // eight combs summed, each near unity loop gain
constexpr float kRoomScale = 0.28f;  // room size 0..1 -> comb feedback 0.7..0.98
constexpr float kRoomOffset = 0.7f;
constexpr float kDampScale = 0.4f;
constexpr float kAllpassFeedback = 0.5f;

// A DC offset far below audibility keeps every state out of the denormal range as tails decay;
// the allpasses pass it on, so the output carries it too (~1e-18).
constexpr float kAntiDenormal = 1e-20f;

int Scaled(int length, float sampleRate) {
    return std::max(1, static_cast<int>(std::lround(length * sampleRate / kReferenceRate)));
}

} // namespace

CReverb::CReverb() {
    SetSampleRate(kReferenceRate);
}

void CReverb::SetSampleRate(float rate) {
    sampleRate = rate > 0.0f ? rate : kReferenceRate;
    for (int c = 0; c < 2; ++c) {
        const int spread = c == 0 ? 0 : kStereoSpread;
        for (int i = 0; i < kCombs; ++i) {
            channels[c].combs[i].buffer.assign(
                static_cast<size_t>(Scaled(kCombLengths[i] + spread, sampleRate)), 0.0f);
        }
        for (int i = 0; i < kAllpasses; ++i) {
            channels[c].allpasses[i].buffer.assign(
                static_cast<size_t>(Scaled(kAllpassLengths[i] + spread, sampleRate)), 0.0f);
        }
    }
    UpdateCoefficients();
    Reset();
}

void CReverb::SetRoomSize(float value) {
    roomSize = std::clamp(value, 0.0f, 1.0f);
    UpdateCoefficients();
}

void CReverb::SetWidth(float value) {
    width = std::clamp(value, 0.0f, 1.0f);
    UpdateCoefficients();
}

void CReverb::SetLevel(float value) {
    level = std::max(0.0f, value);
    UpdateCoefficients();
}

void CReverb::UpdateCoefficients() {
    // The loops keep their length in seconds, so the feedback per loop stays; the damping pole
    // is matched to the rate so its cutoff stays put.
    feedback = roomSize * kRoomScale + kRoomOffset;
    const double pole = damping * kDampScale;
    damp1 = static_cast<float>(std::pow(pole, kReferenceRate / sampleRate));
    damp2 = 1.0f - damp1;
    wet1 = level * (width * 0.5f + 0.5f);
    wet2 = level * (1.0f - width) * 0.5f;
}

float CReverb::ProcessChannel(SChannel& channel, float input, float fb, float d1, float d2) {
    float sum = 0.0f;
    for (auto& comb : channel.combs) {
        float& slot = comb.buffer[static_cast<size_t>(comb.index)];
        const float delayed = slot;
        comb.store = delayed * d2 + comb.store * d1;
        slot = input + comb.store * fb;
        if (++comb.index == static_cast<int>(comb.buffer.size())) {
            comb.index = 0;
        }
        sum += delayed;
    }
    for (auto& allpass : channel.allpasses) {
        float& slot = allpass.buffer[static_cast<size_t>(allpass.index)];
        const float delayed = slot;
        slot = sum + delayed * kAllpassFeedback;
        sum = delayed - sum;
        if (++allpass.index == static_cast<int>(allpass.buffer.size())) {
            allpass.index = 0;
        }
    }
    return sum;
}

void CReverb::Process(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                      int frames) {
    if (frames <= 0) {
        return;
    }
    // Output gains glide to new settings across the call: a level jump over a loud tail clicks.
    const float step = 1.0f / static_cast<float>(frames);
    const float step1 = (wet1 - appliedWet1) * step;
    const float step2 = (wet2 - appliedWet2) * step;
    for (int i = 0; i < frames; ++i) {
        const float input = (inLeft[i] + inRight[i]) * kInputGain + kAntiDenormal;
        const float left = ProcessChannel(channels[0], input, feedback, damp1, damp2);
        const float right = ProcessChannel(channels[1], input, feedback, damp1, damp2);
        appliedWet1 += step1;
        appliedWet2 += step2;
        outLeft[i] += left * appliedWet1 + right * appliedWet2;
        outRight[i] += right * appliedWet1 + left * appliedWet2;
    }
    appliedWet1 = wet1;
    appliedWet2 = wet2;
}

void CReverb::Reset() {
    appliedWet1 = wet1;
    appliedWet2 = wet2;
    for (auto& channel : channels) {
        for (auto& comb : channel.combs) {
            std::fill(comb.buffer.begin(), comb.buffer.end(), 0.0f);
            comb.index = 0;
            comb.store = 0.0f;
        }
        for (auto& allpass : channel.allpasses) {
            std::fill(allpass.buffer.begin(), allpass.buffer.end(), 0.0f);
            allpass.index = 0;
        }
    }
}

} // namespace hml::audio
