#pragma once

#include <cstddef>
#include <vector>

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

// Windowed sinc: 8 taps at pitch ratios up to 1, reading samples[index - 3] .. samples[index + 4].
inline constexpr int kSincTaps = 8;
inline constexpr int kSincTapsBefore = kSincTaps / 2 - 1;
inline constexpr int kSincTapsAfter = kSincTaps / 2;
// Playing faster than the source (a ratio above 1) moves partials past the output's Nyquist,
// where they would fold back as inharmonic tones. The kernel's cutoff then drops to 1/ratio of
// the source's Nyquist, and the kernel widens by the ratio to keep its shape: up to this many
// taps at a ratio of 4, kSincMaxTaps / 2 - 1 before the position and kSincMaxTaps / 2 after.
inline constexpr int kSincMaxTaps = 32;

// Kaiser-windowed sinc kernels (beta 8.6) at kPhases fractional positions, each phase
// normalised to unit DC gain, for kBands pitch ratios from 1 to 4 in eighth octaves. Between
// two table phases the taps are interpolated linearly, so the phase resolution does not limit
// the noise floor. Built on the first Get() (thread-safe; a few milliseconds, so call it at
// startup rather than first from the audio thread) and shared by every voice.
class CSincTable {
public:
    static constexpr int kPhases = 256;
    static constexpr int kBandsPerOctave = 8;
    static constexpr int kBands = 2 * kBandsPerOctave + 1;

    static const CSincTable& Get();

    // The band whose cutoff suits a pitch ratio: the next band at or above it, so nothing folds.
    static int BandFor(double ratio);
    static int Taps(int band) { return bandTaps[band]; }

    // Per phase of a band: Taps(band) coefficients followed by as many deltas to the next phase.
    const float* Phase(int band, int phase) const {
        return data.data() + bandOffset[band] + phase * 2 * bandTaps[band];
    }

private:
    CSincTable();

    static const int bandTaps[kBands];
    int bandOffset[kBands];
    std::vector<float> data;
};

// Holds one band of the shared table so the per-sample call costs no lookup. Cheap to copy.
class CSincInterpolator {
public:
    // The plain kernel, for a ratio of 1 or below.
    CSincInterpolator() : CSincInterpolator(1.0) {}
    // The kernel band-limited for playing at `ratio` source samples per output sample.
    explicit CSincInterpolator(double ratio)
        : table(&CSincTable::Get()), band(CSincTable::BandFor(ratio)),
          taps(CSincTable::Taps(band)) {}
    // Touches no table: for code paths that never interpolate with sinc.
    explicit CSincInterpolator(std::nullptr_t) : table(nullptr), band(0), taps(kSincTaps) {}

    int Taps() const { return taps; }
    int TapsBefore() const { return taps / 2 - 1; }

    // Reads samples[index - TapsBefore()] .. samples[index + Taps() / 2].
    float Interpolate(const float* samples, std::ptrdiff_t index, float frac) const {
        const float position = frac * static_cast<float>(CSincTable::kPhases);
        int phase = static_cast<int>(position);
        // frac just below 1 can round up to kPhases; phase kPhases - 1 with t = 1 is the next
        // sample exactly.
        if (phase >= CSincTable::kPhases) {
            phase = CSincTable::kPhases - 1;
        }
        const float t = position - static_cast<float>(phase);
        const float* c = table->Phase(band, phase);
        const float* s = samples + index - TapsBefore();
        float sum = 0.0f;
        for (int i = 0; i < taps; ++i) {
            sum += s[i] * (c[i] + t * c[taps + i]);
        }
        return sum;
    }

private:
    const CSincTable* table;
    int band;
    int taps;
};

// Convenience form of CSincInterpolator::Interpolate.
float InterpolateSinc(const float* samples, std::ptrdiff_t index, float frac);

} // namespace hml::audio
