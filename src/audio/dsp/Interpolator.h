#pragma once

#include <cstddef>

namespace hml::audio {

// Sample interpolators for sample playback: the value of the sample data at index + frac, with
// 0 <= frac < 1. The caller guarantees that the taps around index are readable: the engine pads
// the sample data (or unrolls loops) by the counts below on each side.

// Linear: reads samples[index] and samples[index + 1].
inline constexpr int kLinearTapsBefore = 0;
inline constexpr int kLinearTapsAfter = 1;

inline float InterpolateLinear(const float* samples, std::ptrdiff_t index, float frac) {
    const float a = samples[index];
    return a + frac * (samples[index + 1] - a);
}

// 4-point cubic Hermite (Catmull-Rom): reads samples[index - 1] .. samples[index + 2].
inline constexpr int kCubicTapsBefore = 1;
inline constexpr int kCubicTapsAfter = 2;

inline float InterpolateCubic(const float* samples, std::ptrdiff_t index, float frac) {
    const float* s = samples + index;
    const float xm1 = s[-1];
    const float x0 = s[0];
    const float x1 = s[1];
    const float x2 = s[2];
    const float c1 = 0.5f * (x1 - xm1);
    const float c2 = xm1 - 2.5f * x0 + 2.0f * x1 - 0.5f * x2;
    const float c3 = 0.5f * (x2 - xm1) + 1.5f * (x0 - x1);
    return ((c3 * frac + c2) * frac + c1) * frac + x0;
}

// Windowed sinc: 8 taps, reads samples[index - 3] .. samples[index + 4].
inline constexpr int kSincTaps = 8;
inline constexpr int kSincTapsBefore = kSincTaps / 2 - 1;
inline constexpr int kSincTapsAfter = kSincTaps / 2;

// Kaiser-windowed sinc kernel (beta 8.6, cutoff at the source Nyquist) at kPhases fractional
// positions, each phase normalised to unit DC gain. Between two table phases the taps are
// interpolated linearly, so the phase resolution does not limit the noise floor. Built on the
// first Get() (thread-safe; about a millisecond, so call it at startup rather than first from
// the audio thread) and shared by every voice.
class CSincTable {
public:
    static constexpr int kPhases = 256;

    static const CSincTable& Get();

    // Per phase: kSincTaps coefficients followed by kSincTaps deltas to the next phase.
    const float* Phase(int phase) const { return data + phase * 2 * kSincTaps; }

private:
    CSincTable();

    float data[kPhases * 2 * kSincTaps];
};

// Holds the shared table so the per-sample call costs no lookup. Cheap to copy.
class CSincInterpolator {
public:
    CSincInterpolator() : table(&CSincTable::Get()) {}

    float Interpolate(const float* samples, std::ptrdiff_t index, float frac) const {
        const float position = frac * static_cast<float>(CSincTable::kPhases);
        int phase = static_cast<int>(position);
        // frac just below 1 can round up to kPhases; phase kPhases - 1 with t = 1 is the next
        // sample exactly.
        if (phase >= CSincTable::kPhases) {
            phase = CSincTable::kPhases - 1;
        }
        const float t = position - static_cast<float>(phase);
        const float* c = table->Phase(phase);
        const float* s = samples + index - kSincTapsBefore;
        float sum = 0.0f;
        for (int i = 0; i < kSincTaps; ++i) {
            sum += s[i] * (c[i] + t * c[kSincTaps + i]);
        }
        return sum;
    }

private:
    const CSincTable* table;
};

// Convenience form of CSincInterpolator::Interpolate.
float InterpolateSinc(const float* samples, std::ptrdiff_t index, float frac);

} // namespace hml::audio
