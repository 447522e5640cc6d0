// Unit conversions of the SoundFont model. They run once per voice and block, not per sample;
// the concave curve, evaluated for every modulator, comes from a table.
#pragma once

#include <cmath>
#include <cstdint>

namespace hml::audio::voice {

// Seconds of a timecents value; the file's lowest value means "no time at all".
inline double TimecentsToSeconds(double tc) {
    if (tc <= -32768.0)
        return 0.0;
    return std::exp2(tc / 1200.0);
}

// Hertz of an absolute-cents value (8.176 Hz at 0).
inline double AbsCentsToHz(double cents) {
    return 8.175798915643707 * std::exp2(cents / 1200.0);
}

// Linear gain of a centibel attenuation.
inline float CentibelsToGain(float cb) {
    return std::pow(10.0f, -cb / 200.0f);
}

// The concave curve of the file format: -20/96 * log10((1-x)^2), clipped to 1.
float Concave(float x);
inline float Convex(float x) {
    return 1.0f - Concave(1.0f - x);
}

} // namespace hml::audio::voice
