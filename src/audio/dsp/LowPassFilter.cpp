#include "audio/dsp/LowPassFilter.h"

#include <algorithm>
#include <cmath>

namespace hml::audio {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Past this the prewarped cutoff heads for infinity; SoundFont players clamp about here too.
constexpr double kMaxCutoffRatio = 0.45;

// Below this the state is inaudible (< -400 dB); zeroing it keeps decaying tails out of the slow
// denormal range.
constexpr float kFlushThreshold = 1e-20f;

// How often the state is checked for denormal-range values, in samples.
constexpr int kFlushInterval = 64;

// Samples per coefficient update while the parameters glide (a divisor of kFlushInterval).
constexpr int kGlideStep = 8;

// Clears state that has decayed below audibility, or that went non-finite: a non-finite input (or
// an overflow at extreme resonance) must not latch the voice forever.
void Flush(float& s1, float& s2) {
    if (!std::isfinite(s1) || !std::isfinite(s2)) {
        s1 = 0.0f;
        s2 = 0.0f;
    }
    if (std::fabs(s1) < kFlushThreshold) {
        s1 = 0.0f;
    }
    if (std::fabs(s2) < kFlushThreshold) {
        s2 = 0.0f;
    }
}

// One sample of the trapezoidal state-variable low-pass, with its update solved for the two
// states:
//     v3 = x - s2,  v1 = a1 s1 + a2 v3,  v2 = s2 + a2 s1 + a3 v3,  s1' = 2 v1 - s1,  s2' = 2 v2 -
//     s2
// Written as s' = A s + B x and y = C s + D x, each state waits for one multiply and two adds
// instead of the chain of five operations the textbook order has, which bounds the speed.
struct SStateSpace {
    float a11, a12, a21, a22, b1, b2, c1, c2, d;
    SStateSpace(float g, float k) {
        const float a1 = 1.0f / (1.0f + g * (g + k));
        const float a2 = g * a1;
        const float a3 = g * a2;
        a11 = 2.0f * a1 - 1.0f;
        a12 = -2.0f * a2;
        a21 = 2.0f * a2;
        a22 = 1.0f - 2.0f * a3;
        b1 = 2.0f * a2;
        b2 = 2.0f * a3;
        c1 = a2;
        c2 = 1.0f - a3;
        d = a3;
    }
    float Step(float x, float& s1, float& s2) const {
        const float y = c1 * s1 + c2 * s2 + d * x;
        const float n1 = (a11 * s1 + b1 * x) + a12 * s2;
        const float n2 = (a22 * s2 + b2 * x) + a21 * s1;
        s1 = n1;
        s2 = n2;
        return y;
    }
};

double QFromCentibels(double qCentibels) {
    const double peak = std::pow(10.0, std::clamp(qCentibels, 0.0, 960.0) / 200.0);
    return std::sqrt((peak * peak + peak * std::sqrt(peak * peak - 1.0)) * 0.5);
}

} // namespace

void CLowPassFilter::SetParameters(float cutoffHz, float qCentibels, float sampleRate) {
    const double fs = sampleRate > 0.0f ? sampleRate : 44100.0f;
    const double maxCutoff = kMaxCutoffRatio * fs;
    // NaN parameters fall back to an open filter rather than poisoning the state.
    const double cutoff = std::isnan(cutoffHz) ? maxCutoff : cutoffHz;
    const double q = std::isnan(qCentibels) ? 0.0 : qCentibels;

    targetBypass = q < 1.0 && cutoff >= std::min<double>(kBypassCutoffHz, maxCutoff);
    const double fc = std::clamp<double>(cutoff, kMinCutoffHz, maxCutoff);
    target.g = static_cast<float>(std::tan(kPi * fc / fs));
    target.k = static_cast<float>(1.0 / QFromCentibels(q));
    if (!primed) {
        current = target;
        currentBypass = targetBypass;
        primed = true;
    }
}

void CLowPassFilter::Process(float* samples, int frames) {
    Process(samples, samples, frames);
}

void CLowPassFilter::Process(const float* in, float* out, int frames) {
    if (frames <= 0) {
        return;
    }
    if (currentBypass && targetBypass) {
        if (in != out) {
            std::copy(in, in + frames, out);
        }
        return;
    }

    // Off -> on starts from a cleared state (cleared when it went off) and fades the filtered
    // signal in; on -> off glides toward the last coefficients and fades the dry signal in.
    const bool fadeIn = currentBypass;
    const bool fadeOut = targetBypass;
    const SCoefficients from = fadeIn ? target : current;
    const float invFrames = 1.0f / static_cast<float>(frames);
    float g = from.g;
    float k = from.k;
    float s1 = ic1eq;
    float s2 = ic2eq;

    if (!fadeIn && !fadeOut && target.g == from.g && target.k == from.k) {
        // Steady parameters, the common case: no coefficient update.
        const SStateSpace m(g, k);
        for (int start = 0; start < frames; start += kFlushInterval) {
            const int end = std::min(frames, start + kFlushInterval);
            for (int i = start; i < end; ++i)
                out[i] = m.Step(in[i], s1, s2);
            Flush(s1, s2);
        }
        ic1eq = s1;
        ic2eq = s2;
        return;
    }

    // The coefficients move in steps of kGlideStep samples, each step taking the value the
    // glide reaches at its end: the cutoff evenly in pitch, which a linear ramp of g would not.
    const float stepShare = static_cast<float>(kGlideStep) * invFrames;
    const float gStep = std::pow(target.g / from.g, stepShare);
    const float kStep = (target.k - from.k) * stepShare;
    for (int start = 0; start < frames; start += kGlideStep) {
        const int end = std::min(frames, start + kGlideStep);
        if (end == frames) {
            g = target.g; // exact at the end, whatever the rounding on the way
            k = target.k;
        } else {
            g *= gStep;
            k += kStep;
        }
        const SStateSpace m(g, k);
        for (int i = start; i < end; ++i) {
            const float x = in[i];
            const float v2 = m.Step(x, s1, s2);
            if (fadeIn || fadeOut) {
                const float wet = static_cast<float>(i + 1) * invFrames;
                const float mix = fadeIn ? wet : 1.0f - wet;
                out[i] = x + mix * (v2 - x);
            } else {
                out[i] = v2;
            }
        }
        if (end % kFlushInterval == 0 || end == frames)
            Flush(s1, s2);
    }

    ic1eq = s1;
    ic2eq = s2;
    current = target;
    currentBypass = targetBypass;
    if (currentBypass) {
        ic1eq = 0.0f;
        ic2eq = 0.0f;
    }
}

void CLowPassFilter::Reset() {
    ic1eq = 0.0f;
    ic2eq = 0.0f;
    primed = false;
}

} // namespace hml::audio
