// Resonant two-pole low-pass filter as the SoundFont model describes it: cutoff in Hz, and a
// resonance given as the peak's height above the DC gain in dB.
#pragma once

#include <cmath>

namespace hml::audio::synth {

class CBiquad {
public:
    void Reset() { z1 = z2 = 0; }

    void Set(double cutoffHz, double qDb, double sampleRate) {
        if (cutoffHz == lastHz && qDb == lastQ)
            return;
        lastHz = cutoffHz;
        lastQ = qDb;
        // Q whose resonance peak lies exactly qDb above DC (0 dB: Butterworth, no peak).
        const double peak = std::pow(10.0, std::fmax(qDb, 0.0) / 20.0);
        const double p2 = peak * peak;
        const double q = std::sqrt((p2 + std::sqrt(p2 * p2 - p2)) / 2.0);
        const double w0 = 2.0 * 3.14159265358979323846 * cutoffHz / sampleRate;
        const double alpha = std::sin(w0) / (2.0 * q);
        const double cw = std::cos(w0);
        // Half the resonance is taken off the passband so loud resonances stay in range.
        const double gain = 1.0 / std::sqrt(peak);
        const double a0 = 1.0 + alpha;
        b0 = static_cast<float>((1.0 - cw) / 2.0 / a0 * gain);
        b1 = static_cast<float>((1.0 - cw) / a0 * gain);
        b2 = b0;
        a1 = static_cast<float>(-2.0 * cw / a0);
        a2 = static_cast<float>((1.0 - alpha) / a0);
    }

    // Transposed direct form II.
    float Process(float x) {
        const float y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }

    // Keeps denormals out of the state after a silent stretch.
    void Flush() {
        if (std::fabs(z1) < 1e-20f)
            z1 = 0;
        if (std::fabs(z2) < 1e-20f)
            z2 = 0;
    }

private:
    float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    float z1 = 0, z2 = 0;
    double lastHz = -1, lastQ = -1;
};

} // namespace hml::audio::synth
