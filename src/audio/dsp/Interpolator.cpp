#include "audio/dsp/Interpolator.h"

#include <cmath>

namespace hml::audio {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Kaiser shape: trades the 8-tap kernel's transition width against stopband depth. 8.6 puts the
// images of content below ~0.2 fs (where most sample energy is) below -90 dB.
constexpr double kKaiserBeta = 8.6;

double BesselI0(double x) {
    double sum = 1.0;
    double term = 1.0;
    const double q = x * x * 0.25;
    for (int k = 1; k < 64 && term > sum * 1e-17; ++k) {
        term *= q / (static_cast<double>(k) * k);
        sum += term;
    }
    return sum;
}

double Kernel(double x) {
    // x in taps relative to the interpolated position; the window spans the kSincTaps taps.
    const double half = kSincTaps / 2.0;
    if (std::fabs(x) >= half) {
        return 0.0;
    }
    const double r = x / half;
    const double window = BesselI0(kKaiserBeta * std::sqrt(1.0 - r * r)) / BesselI0(kKaiserBeta);
    const double sinc = x == 0.0 ? 1.0 : std::sin(kPi * x) / (kPi * x);
    return sinc * window;
}

void Coefficients(int phase, double* taps) {
    const double frac = static_cast<double>(phase) / CSincTable::kPhases;
    double sum = 0.0;
    for (int i = 0; i < kSincTaps; ++i) {
        taps[i] = Kernel(static_cast<double>(i - kSincTapsBefore) - frac);
        sum += taps[i];
    }
    for (int i = 0; i < kSincTaps; ++i) {
        taps[i] /= sum;
    }
}

} // namespace

CSincTable::CSincTable() {
    double now[kSincTaps];
    double next[kSincTaps];
    Coefficients(0, now);
    for (int phase = 0; phase < kPhases; ++phase) {
        // The phase after the last is phase 0 shifted by one tap.
        if (phase + 1 < kPhases) {
            Coefficients(phase + 1, next);
        } else {
            Coefficients(0, next);
            for (int i = kSincTaps - 1; i > 0; --i) {
                next[i] = next[i - 1];
            }
            next[0] = 0.0;
        }
        float* c = data + phase * 2 * kSincTaps;
        for (int i = 0; i < kSincTaps; ++i) {
            c[i] = static_cast<float>(now[i]);
            c[kSincTaps + i] = static_cast<float>(next[i] - now[i]);
            now[i] = next[i];
        }
    }
}

const CSincTable& CSincTable::Get() {
    static const CSincTable table;
    return table;
}

float InterpolateSinc(const float* samples, std::ptrdiff_t index, float frac) {
    static const CSincInterpolator interpolator;
    return interpolator.Interpolate(samples, index, frac);
}

} // namespace hml::audio
