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

// Band b plays ratios up to 2^(b / kBandsPerOctave).
double BandRatio(int band) {
    return std::exp2(static_cast<double>(band) / CSincTable::kBandsPerOctave);
}

// x in taps relative to the interpolated position; the window spans `taps` taps and the sinc's
// first zero lies `ratio` taps out, which puts its cutoff at the source's Nyquist / ratio.
double Kernel(double x, int taps, double ratio) {
    const double half = taps / 2.0;
    if (std::fabs(x) >= half) {
        return 0.0;
    }
    const double r = x / half;
    const double window = BesselI0(kKaiserBeta * std::sqrt(1.0 - r * r)) / BesselI0(kKaiserBeta);
    const double u = x / ratio;
    const double sinc = u == 0.0 ? 1.0 : std::sin(kPi * u) / (kPi * u);
    return sinc * window;
}

void Coefficients(int band, int phase, double* taps) {
    const int count = CSincTable::Taps(band);
    const int before = count / 2 - 1;
    const double frac = static_cast<double>(phase) / CSincTable::kPhases;
    double sum = 0.0;
    for (int i = 0; i < count; ++i) {
        taps[i] = Kernel(static_cast<double>(i - before) - frac, count, BandRatio(band));
        sum += taps[i];
    }
    for (int i = 0; i < count; ++i) {
        taps[i] /= sum;
    }
}

} // namespace

// Wide enough that the window keeps its shape when the sinc's lobes widen by the band's ratio:
// 8 taps at a ratio of 1, even counts up to 8 x ratio.
const int CSincTable::bandTaps[kBands] = {8,  10, 10, 12, 12, 14, 14, 16, 16,
                                          18, 20, 22, 24, 26, 28, 30, 32};

CSincTable::CSincTable() {
    size_t size = 0;
    for (int band = 0; band < kBands; ++band) {
        bandOffset[band] = static_cast<int>(size);
        size += static_cast<size_t>(kPhases) * 2 * static_cast<size_t>(bandTaps[band]);
    }
    data.resize(size);
    for (int band = 0; band < kBands; ++band) {
        const int count = bandTaps[band];
        double now[kSincMaxTaps];
        double next[kSincMaxTaps];
        Coefficients(band, 0, now);
        for (int phase = 0; phase < kPhases; ++phase) {
            // The phase after the last is phase 0 shifted by one tap.
            if (phase + 1 < kPhases) {
                Coefficients(band, phase + 1, next);
            } else {
                Coefficients(band, 0, next);
                for (int i = count - 1; i > 0; --i) {
                    next[i] = next[i - 1];
                }
                next[0] = 0.0;
            }
            float* c = data.data() + bandOffset[band] + phase * 2 * count;
            for (int i = 0; i < count; ++i) {
                c[i] = static_cast<float>(now[i]);
                c[count + i] = static_cast<float>(next[i] - now[i]);
                now[i] = next[i];
            }
        }
    }
}

int CSincTable::BandFor(double ratio) {
    if (!(ratio > 1.0)) {
        return 0;
    }
    // A hair below a band's own ratio still counts as that band.
    const double band = std::ceil(std::log2(ratio) * kBandsPerOctave - 1e-6);
    return band >= kBands - 1 ? kBands - 1 : static_cast<int>(band);
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
