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
    // The cutoff glides on a log scale (evenly in pitch), which a linear ramp of g would not.
    const float gStep = std::pow(target.g / from.g, invFrames);
    const float dk = (target.k - from.k) * invFrames;
    float g = from.g;
    float k = from.k;
    float s1 = ic1eq;
    float s2 = ic2eq;

    if (!fadeIn && !fadeOut && target.g == from.g && target.k == from.k) {
        // Steady parameters, the common case: no per-sample coefficient update.
        const float a1 = 1.0f / (1.0f + g * (g + k));
        const float a2 = g * a1;
        const float a3 = g * a2;
        for (int start = 0; start < frames; start += kFlushInterval) {
            const int end = std::min(frames, start + kFlushInterval);
            for (int i = start; i < end; ++i) {
                const float v3 = in[i] - s2;
                const float v1 = a1 * s1 + a2 * v3;
                const float v2 = s2 + a2 * s1 + a3 * v3;
                s1 = 2.0f * v1 - s1;
                s2 = 2.0f * v2 - s2;
                out[i] = v2;
            }
            Flush(s1, s2);
        }
        ic1eq = s1;
        ic2eq = s2;
        return;
    }

    for (int start = 0; start < frames; start += kFlushInterval) {
        const int end = std::min(frames, start + kFlushInterval);
        for (int i = start; i < end; ++i) {
            g *= gStep;
            k += dk;
            const float a1 = 1.0f / (1.0f + g * (g + k));
            const float a2 = g * a1;
            const float a3 = g * a2;
            const float x = in[i];
            const float v3 = x - s2;
            const float v1 = a1 * s1 + a2 * v3;
            const float v2 = s2 + a2 * s1 + a3 * v3;
            s1 = 2.0f * v1 - s1;
            s2 = 2.0f * v2 - s2;
            if (fadeIn || fadeOut) {
                const float wet = static_cast<float>(i + 1) * invFrames;
                const float mix = fadeIn ? wet : 1.0f - wet;
                out[i] = x + mix * (v2 - x);
            } else {
                out[i] = v2;
            }
        }
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
