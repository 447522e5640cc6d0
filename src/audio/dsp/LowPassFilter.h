#pragma once

#include "audio/dsp/VoiceKernels.h"

namespace hml::audio {

// The responses the voice filter offers: SoundFont voices use the resonant 2-pole low-pass; SFZ
// regions may choose another one.
enum class EFilterShape : unsigned char { LowPass2, HighPass2, BandPass2, LowPass1 };

// Resonant 2-pole low-pass of a SoundFont voice: a trapezoidal (zero-delay feedback) state-variable
// filter, which keeps its response exact up to Nyquist and stays well-behaved while its cutoff is
// swept every sample.
//
// Resonance is the height of the response peak above the DC gain, in centibels (initialFilterQ).
// 0 cB gives a Butterworth response: no peak, -3 dB at the cutoff. Above that, Q is chosen so that
// the peak of the magnitude response is exactly qCentibels / 10 dB above DC:
//     G = 10^(qCentibels / 200),  Q = sqrt((G^2 + G * sqrt(G^2 - 1)) / 2)
// (the peak of a 2-pole low-pass with Q > 1/sqrt(2) is Q / sqrt(1 - 1 / (4 Q^2))). The peak sits at
// the cutoff once Q is large. The pass band is lowered by half the resonance (DC gain
// 10^(-qCentibels / 400)), so the peak stands only qCentibels / 20 dB above unity.
//
// Usage: SetParameters() once per block, then Process() that block; the coefficients glide from
// the previous parameters to the new ones across the frames of that call (the cutoff evenly in
// pitch), so block-rate modulation does not click. A cutoff at or above 13500 cents (or 0.45 of
// the sample rate) with under 1 cB of resonance turns the filter off (exact pass-through);
// switching on or off crossfades across the block. Cutoffs are clamped to 5 Hz .. 0.45 fs.
//
// The same state-variable core gives the 2-pole high-pass (its resonant peak lowered like the
// low-pass's), the 2-pole band-pass (unity gain at its centre, narrower with resonance) and a
// 1-pole low-pass (resonance ignored). Only the low-passes switch themselves off at the top cutoff.
class CLowPassFilter {
public:
    // The cutoff at and above which a filter without resonance is off (13500 absolute cents).
    static constexpr float kBypassCutoffHz = 19912.0f;
    static constexpr float kMinCutoffHz = 5.0f;
    static constexpr float kMaxResonanceCentibels = 960.0f;

    // Takes effect over the next Process() call. The first call after construction or Reset()
    // applies the parameters at once.
    void SetParameters(float cutoffHz, float qCentibels, float sampleRate);

    // Filters in place; frames may be any count (0 too).
    void Process(float* samples, int frames);
    void Process(const float* in, float* out, int frames);

    // Clears the state; the next SetParameters() applies without a glide.
    void Reset();
    // Takes effect with the next SetParameters(); call Reset() first when the shape changes.
    void SetShape(EFilterShape shape_) {
        shape = shape_;
        resonanceKnown = false;
    }

    // Whether the last SetParameters() turned the filter off.
    bool IsBypassed() const { return targetBypass; }

private:
    struct SCoefficients {
        float g = 0.0f; // tan(pi * fc / fs)
        float k = 1.0f; // 1 / Q
        float h = 1.0f; // pass-band gain
    };

    SCoefficients current;
    SCoefficients target;
    // The resonance target.k and target.h were computed from, with this shape.
    double resonanceCentibels = 0.0;
    bool resonanceKnown = false;
    // The current coefficients unrolled for the block kernel; built when first needed after the
    // coefficients settle.
    SFilterBlock block{};
    bool blockReady = false;
    bool currentBypass = true;
    bool targetBypass = true;
    bool primed = false; // false until parameters arrived after construction or Reset()
    EFilterShape shape = EFilterShape::LowPass2;
    float ic1eq = 0.0f;
    float ic2eq = 0.0f;
};

} // namespace hml::audio
