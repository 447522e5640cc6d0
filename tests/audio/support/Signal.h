// Rendering and measuring helpers for the audio tests: analytic measures with tolerances
// (frequency, RMS, level in dB, power densities) rather than sample-exact comparisons.
#pragma once

#include "audio/stream/CMidiStream.h"

#include <complex>
#include <cstdint>
#include <vector>

namespace hml::test {

struct SStereo {
    std::vector<float> l, r;
    double rate = 48000;
    size_t Frames() const { return l.size(); }
    size_t At(double sec) const;
};

// A decoding float stereo stream with the given fonts and extra flags.
std::unique_ptr<audio::CMidiStream> MakeStream(const std::vector<audio::SFontMapping>& fonts,
                                               uint32_t extraFlags = 0, uint32_t rate = 48000,
                                               int voices = 256);
// Renders `seconds` of a decoding float stereo stream and appends it.
void Render(audio::CMidiStream& s, double seconds, SStereo& out);
void Send(audio::CMidiStream& s, std::initializer_list<uint8_t> bytes);

double Rms(const std::vector<float>& x, size_t from, size_t to);
double Peak(const std::vector<float>& x, size_t from, size_t to);
double Db(double linear);
// Mean frequency from interpolated upward zero crossings in [from, to).
double ZeroCrossFrequency(const std::vector<float>& x, size_t from, size_t to, double rate);
// Amplitude of the component at `freq` (Hann-windowed Goertzel) in [from, to).
double ToneAmplitude(const std::vector<float>& x, size_t from, size_t to, double freq, double rate);
// In-place radix-2 FFT; the size is a power of two.
void Fft(std::vector<std::complex<double>>& a);
// Averaged power density, `size` bins (power of two) over [from, to).
std::vector<double> PowerDensity(const std::vector<float>& x, size_t from, size_t to, size_t size);
// Largest sample-to-sample step in [from, to): a click shows up as a step far above the
// signal's own slope.
double MaxStep(const std::vector<float>& x, size_t from, size_t to);

} // namespace hml::test
