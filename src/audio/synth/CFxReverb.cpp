#include "audio/synth/CFxReverb.h"

#include <algorithm>

namespace hml::audio::synth {
namespace {
constexpr int kCombLen[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr int kPassLen[4] = {556, 441, 341, 225};
constexpr int kSpread = 23;
constexpr float kInputGain = 0.015f;
} // namespace

CFxReverb::CFxReverb(double sampleRate) {
    const double scale = sampleRate / 44100.0;
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < 8; ++i)
            combs[c][i].buf.assign(static_cast<size_t>((kCombLen[i] + c * kSpread) * scale) + 1,
                                   0.0f);
        for (int i = 0; i < 4; ++i)
            passes[c][i].buf.assign(static_cast<size_t>((kPassLen[i] + c * kSpread) * scale) + 1,
                                    0.0f);
    }
}

void CFxReverb::SetRoom(float size, float dampValue) {
    feedback = 0.7f + 0.28f * std::clamp(size, 0.0f, 1.0f);
    damp = 0.4f * std::clamp(dampValue, 0.0f, 1.0f);
}

void CFxReverb::Clear() {
    for (auto& ch : combs)
        for (SComb& c : ch) {
            std::fill(c.buf.begin(), c.buf.end(), 0.0f);
            c.store = 0;
        }
    for (auto& ch : passes)
        for (SAllPass& a : ch)
            std::fill(a.buf.begin(), a.buf.end(), 0.0f);
}

void CFxReverb::Process(const float* in, float* left, float* right, int frames) {
    float* out[2] = {left, right};
    for (int c = 0; c < 2; ++c) {
        for (int n = 0; n < frames; ++n) {
            const float x = in[n] * kInputGain;
            float acc = 0;
            for (SComb& cb : combs[c]) {
                const float y = cb.buf[cb.pos];
                cb.store = y * (1 - damp) + cb.store * damp;
                cb.buf[cb.pos] = x + cb.store * feedback;
                if (++cb.pos == cb.buf.size())
                    cb.pos = 0;
                acc += y;
            }
            for (SAllPass& ap : passes[c]) {
                const float b = ap.buf[ap.pos];
                ap.buf[ap.pos] = acc + b * 0.5f;
                acc = b - acc;
                if (++ap.pos == ap.buf.size())
                    ap.pos = 0;
            }
            out[c][n] += acc;
        }
        // Keep denormals out of the feedback paths once the tail has died away.
        for (SComb& cb : combs[c])
            if (cb.store > -1e-20f && cb.store < 1e-20f)
                cb.store = 0;
    }
}

} // namespace hml::audio::synth
