#pragma once

// Signal generators and measurements for the DSP kernel tests.

#include "support/Signal.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace hml::audio::dsptest {

inline constexpr double kPi = 3.14159265358979323846;

inline double ToDb(double ratio) {
    return 20.0 * std::log10(std::max(ratio, 1e-30));
}

inline double PowerToDb(double ratio) {
    return 10.0 * std::log10(std::max(ratio, 1e-30));
}

inline std::vector<float> Sine(double frequency, double sampleRate, int frames) {
    std::vector<float> out(static_cast<size_t>(frames));
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = float(std::sin(2.0 * kPi * frequency * double(i) / sampleRate));
    }
    return out;
}

// Deterministic white noise in [-1, 1).
inline std::vector<float> Noise(int frames, uint32_t seed = 12345) {
    std::vector<float> out(static_cast<size_t>(frames));
    for (auto& v : out) {
        seed = seed * 1664525u + 1013904223u;
        v = float(seed >> 8) / 8388608.0f - 1.0f;
    }
    return out;
}

// Index of the first sample whose bits differ (or where one signal ends first); -1 when the two
// are the same to the bit.
inline long FirstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) {
            return long(i);
        }
    }
    return a.size() == b.size() ? -1 : long(n);
}

inline double Rms(const float* x, size_t count) {
    double sum = 0.0;
    for (size_t i = 0; i < count; ++i) {
        sum += double(x[i]) * x[i];
    }
    return std::sqrt(sum / double(std::max<size_t>(count, 1)));
}

inline double Rms(const std::vector<float>& x) {
    return Rms(x.data(), x.size());
}

inline float PeakAbs(const std::vector<float>& x) {
    float peak = 0.0f;
    for (float v : x) {
        peak = std::max(peak, std::fabs(v));
    }
    return peak;
}

inline bool AllFinite(const std::vector<float>& x) {
    return std::all_of(x.begin(), x.end(), [](float v) { return std::isfinite(v); });
}

inline bool AnyDenormal(const std::vector<float>& x) {
    return std::any_of(x.begin(), x.end(),
                       [](float v) { return std::fpclassify(v) == FP_SUBNORMAL; });
}

// Amplitude of the component at frequency (least squares against sin and cos over the span).
inline double ToneAmplitude(const float* x, size_t count, double frequency, double sampleRate) {
    double s = 0.0;
    double c = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double phase = 2.0 * kPi * frequency * double(i) / sampleRate;
        s += x[i] * std::sin(phase);
        c += x[i] * std::cos(phase);
    }
    return 2.0 * std::hypot(s, c) / double(count);
}

// Power spectrum (bins 0 .. n/2) of n samples from x, n a power of two, under a Kaiser window
// (beta 20: sidelobes below -150 dB, main lobe +-7 bins), so leakage does not mask -120 dB lines.
inline std::vector<double> PowerSpectrum(const float* x, size_t n) {
    auto i0 = [](double v) {
        double sum = 1.0;
        double term = 1.0;
        for (int k = 1; k < 80; ++k) {
            term *= v * v / (4.0 * k * k);
            sum += term;
        }
        return sum;
    };
    std::vector<std::complex<double>> a(n);
    for (size_t i = 0; i < n; ++i) {
        const double r = 2.0 * double(i) / double(n) - 1.0;
        a[i] = x[i] * i0(20.0 * std::sqrt(std::max(0.0, 1.0 - r * r))) / i0(20.0);
    }
    hml::test::Fft(a);
    std::vector<double> p(n / 2 + 1);
    for (size_t i = 0; i < p.size(); ++i) {
        p[i] = std::norm(a[i]);
    }
    return p;
}

// Aliasing of a resampled tone, in dB: the power outside the bands around the fundamental and
// its harmonics below Nyquist, relative to the power in the fundamental's band. The fundamental
// is the strongest bin; each band spans +-max(8 bins, 2% of the fundamental), wide enough for the
// window's main lobe and for a tone swept by 30 cents within the frame. Bins below 40 Hz are
// ignored.
inline double AliasRatioDb(const float* x, size_t n, double sampleRate) {
    const auto p = PowerSpectrum(x, n);
    const double binHz = sampleRate / double(n);
    const size_t firstBin = size_t(std::ceil(40.0 / binHz));
    const size_t peak = size_t(std::max_element(p.begin() + long(firstBin), p.end()) - p.begin());
    const double f0 = double(peak) * binHz;
    const double width = std::max(8.0 * binHz, 0.02 * f0);
    double tone = 0.0;
    double alias = 0.0;
    for (size_t i = firstBin; i < p.size(); ++i) {
        const double f = double(i) * binHz;
        const double harmonic = std::max(1.0, std::round(f / f0));
        if (std::fabs(f - harmonic * f0) > width) {
            alias += p[i];
        } else if (harmonic == 1.0) {
            tone += p[i];
        }
    }
    return PowerToDb(alias / std::max(tone, 1e-300));
}

// Mono 16-bit PCM WAV with its loop (smpl chunk), enough for the test material.
struct SWav {
    double sampleRate = 0.0;
    std::vector<float> samples;
    int loopStart = -1;
    int loopEnd = -1; // inclusive, as stored in the smpl chunk
};

inline bool ReadWav(const std::string& path, SWav& wav) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<uint8_t> b((std::istreambuf_iterator<char>(file)), {});
    auto u16 = [&](size_t o) { return uint32_t(b[o] | (b[o + 1] << 8)); };
    auto u32 = [&](size_t o) { return u16(o) | (u16(o + 2) << 16); };
    auto is = [&](size_t o, const char* id) { return std::memcmp(b.data() + o, id, 4) == 0; };
    if (b.size() < 12 || !is(0, "RIFF") || !is(8, "WAVE")) {
        return false;
    }
    bool pcm16 = false;
    for (size_t o = 12; o + 8 <= b.size();) {
        const size_t size = u32(o + 4);
        const size_t body = o + 8;
        if (body + size > b.size()) {
            break;
        }
        if (is(o, "fmt ") && size >= 16) {
            pcm16 = u16(body) == 1 && u16(body + 2) == 1 && u16(body + 14) == 16;
            wav.sampleRate = u32(body + 4);
        } else if (is(o, "smpl") && size >= 60 && u32(body + 28) > 0) {
            wav.loopStart = int(u32(body + 44));
            wav.loopEnd = int(u32(body + 48));
        } else if (is(o, "data") && pcm16) {
            for (size_t f = body; f + 2 <= body + size; f += 2) {
                wav.samples.push_back(float(int16_t(u16(f))) / 32768.0f);
            }
        }
        o = body + size + (size & 1);
    }
    return wav.sampleRate > 0.0 && !wav.samples.empty();
}

} // namespace hml::audio::dsptest
