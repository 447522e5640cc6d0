#pragma once

// Signal generators and measurements for the DSP kernel tests.

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace hml::audio::test {

inline constexpr double kPi = 3.14159265358979323846;

inline double ToDb(double ratio) {
    return 20.0 * std::log10(std::max(ratio, 1e-30));
}

inline double PowerToDb(double ratio) {
    return 10.0 * std::log10(std::max(ratio, 1e-30));
}

inline std::vector<float> Sine(double frequency, double sampleRate, int frames,
                               double amplitude = 1.0) {
    std::vector<float> out(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        out[static_cast<size_t>(i)] =
            static_cast<float>(amplitude * std::sin(2.0 * kPi * frequency * i / sampleRate));
    }
    return out;
}

// Deterministic white noise in [-1, 1).
inline std::vector<float> Noise(int frames, uint32_t seed = 12345) {
    std::vector<float> out(static_cast<size_t>(frames));
    for (auto& v : out) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
    }
    return out;
}

inline double Rms(const float* x, size_t count) {
    double sum = 0.0;
    for (size_t i = 0; i < count; ++i) {
        sum += static_cast<double>(x[i]) * x[i];
    }
    return count ? std::sqrt(sum / static_cast<double>(count)) : 0.0;
}

inline double Rms(const std::vector<float>& x, size_t from = 0) {
    return from < x.size() ? Rms(x.data() + from, x.size() - from) : 0.0;
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

// Amplitude of the component at `frequency` (least squares against sin and cos over the span).
inline double ToneAmplitude(const float* x, size_t count, double frequency, double sampleRate) {
    double s = 0.0;
    double c = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double phase = 2.0 * kPi * frequency * static_cast<double>(i) / sampleRate;
        s += x[i] * std::sin(phase);
        c += x[i] * std::cos(phase);
    }
    return 2.0 * std::hypot(s, c) / static_cast<double>(count);
}

// In-place radix-2 FFT; size must be a power of two.
inline void Fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(a[i], a[j]);
        }
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2.0 * kPi / static_cast<double>(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1.0;
            for (size_t k = 0; k < len / 2; ++k) {
                const auto u = a[i + k];
                const auto v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

inline double BesselI0(double x) {
    double sum = 1.0;
    double term = 1.0;
    for (int k = 1; k < 80; ++k) {
        term *= x * x / (4.0 * k * k);
        sum += term;
    }
    return sum;
}

// Power spectrum (bins 0 .. n/2) of n samples from x under a Kaiser window (beta 20: sidelobes
// below -150 dB, main lobe +-7 bins), so leakage does not mask -120 dB aliasing.
inline std::vector<double> PowerSpectrum(const float* x, size_t n) {
    constexpr double kBeta = 20.0;
    const double norm = BesselI0(kBeta);
    std::vector<std::complex<double>> a(n);
    for (size_t i = 0; i < n; ++i) {
        const double r = 2.0 * static_cast<double>(i) / static_cast<double>(n) - 1.0;
        a[i] = x[i] * BesselI0(kBeta * std::sqrt(std::max(0.0, 1.0 - r * r))) / norm;
    }
    Fft(a);
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
    const double binHz = sampleRate / static_cast<double>(n);
    const size_t firstBin = static_cast<size_t>(std::ceil(40.0 / binHz));
    size_t peak = firstBin;
    for (size_t i = firstBin; i < p.size(); ++i) {
        if (p[i] > p[peak]) {
            peak = i;
        }
    }
    const double f0 = static_cast<double>(peak) * binHz;
    double tone = 0.0;
    double alias = 0.0;
    for (size_t i = firstBin; i < p.size(); ++i) {
        const double f = static_cast<double>(i) * binHz;
        const double harmonic = std::max(1.0, std::round(f / f0));
        const double width = std::max(8.0 * binHz, 0.02 * f0);
        const bool inBand = std::fabs(f - harmonic * f0) <= width;
        if (inBand && harmonic == 1.0) {
            tone += p[i];
        } else if (!inBand) {
            alias += p[i];
        }
    }
    return PowerToDb(alias / std::max(tone, 1e-300));
}

// Mono 16-bit or float PCM WAV with its loop (smpl chunk), enough for the test material.
struct SWav {
    double sampleRate = 0.0;
    std::vector<float> samples; // first channel
    int loopStart = -1;
    int loopEnd = -1; // inclusive, as stored in the smpl chunk
};

inline bool ReadWav(const std::string& path, SWav& wav) {
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    auto u16 = [&](size_t o) { return static_cast<uint32_t>(b[o] | (b[o + 1] << 8)); };
    auto u32 = [&](size_t o) { return u16(o) | (u16(o + 2) << 16); };
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 ||
        std::memcmp(b.data() + 8, "WAVE", 4) != 0) {
        return false;
    }
    uint32_t format = 0;
    uint32_t channels = 0;
    uint32_t bits = 0;
    for (size_t o = 12; o + 8 <= b.size();) {
        const uint32_t size = u32(o + 4);
        const size_t body = o + 8;
        if (body + size > b.size()) {
            break;
        }
        if (std::memcmp(b.data() + o, "fmt ", 4) == 0 && size >= 16) {
            format = u16(body);
            channels = u16(body + 2);
            wav.sampleRate = u32(body + 4);
            bits = u16(body + 14);
        } else if (std::memcmp(b.data() + o, "smpl", 4) == 0 && size >= 60 && u32(body + 28)) {
            wav.loopStart = static_cast<int>(u32(body + 44));
            wav.loopEnd = static_cast<int>(u32(body + 48));
        } else if (std::memcmp(b.data() + o, "data", 4) == 0 && channels > 0) {
            const size_t frameBytes = channels * bits / 8;
            for (size_t f = body; frameBytes && f + frameBytes <= body + size; f += frameBytes) {
                if (format == 1 && bits == 16) {
                    wav.samples.push_back(static_cast<int16_t>(u16(f)) / 32768.0f);
                } else if (format == 3 && bits == 32) {
                    const uint32_t raw = u32(f);
                    float v;
                    std::memcpy(&v, &raw, sizeof v);
                    wav.samples.push_back(v);
                } else {
                    return false;
                }
            }
        }
        o = body + size + (size & 1);
    }
    return wav.sampleRate > 0.0 && !wav.samples.empty();
}

} // namespace hml::audio::test

namespace hml::audio::test {

// Reverberation time from an impulse response (Schroeder backward integration of the summed
// channel energy, line fitted between -5 and -35 dB, extrapolated to 60 dB).
inline double Rt60Seconds(const std::vector<float>& left, const std::vector<float>& right,
                          double sampleRate) {
    std::vector<double> energy(left.size());
    double sum = 0.0;
    for (size_t i = left.size(); i-- > 0;) {
        sum += double(left[i]) * left[i] + double(right[i]) * right[i];
        energy[i] = sum;
    }
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    int n = 0;
    for (size_t i = 0; i < energy.size(); ++i) {
        const double db = PowerToDb(energy[i] / energy[0]);
        if (db <= -5.0 && db >= -35.0) {
            const double t = static_cast<double>(i) / sampleRate;
            sx += t;
            sy += db;
            sxx += t * t;
            sxy += t * db;
            ++n;
        }
    }
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    return -60.0 / slope;
}

// Strongest spectral line of 16384 frames from start, in dB above the median of the bins within
// a sixth of an octave around it, searched over 200 Hz - 8 kHz. A dense reverb tail is noise-like
// (~10-15 dB here); a ringing mode stands out far above its neighbourhood.
inline double SpectralPeakinessDb(const std::vector<float>& x, size_t start, double sampleRate) {
    const size_t n = 16384;
    const auto p = PowerSpectrum(x.data() + start, n);
    const double binHz = sampleRate / static_cast<double>(n);
    double worst = -1e9;
    std::vector<double> around;
    for (size_t i = size_t(200 / binHz); i < size_t(8000 / binHz); ++i) {
        around.assign(p.begin() + long(double(i) / 1.12), p.begin() + long(double(i) * 1.12));
        std::nth_element(around.begin(), around.begin() + long(around.size() / 2), around.end());
        worst = std::max(worst, PowerToDb(p[i] / around[around.size() / 2]));
    }
    return worst;
}

} // namespace hml::audio::test
