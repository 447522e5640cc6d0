#include "audio/dsp/Chorus.h"

#include "audio/dsp/Interpolator.h"

#include <algorithm>
#include <cmath>

namespace hml::audio {

namespace {

constexpr double kPi = 3.14159265358979323846;

// A tap needs its cubic neighbours already written: its delay stays at least this many samples.
constexpr float kMinDelaySamples = 2.0f;

// Delay and depth changes approach the new value with this time constant: a jump of the read
// position would click, and a fast sweep is a pitch bend.
constexpr double kGlideSeconds = 0.02;

} // namespace

CChorus::CChorus() {
    SetSampleRate(44100.0f);
}

void CChorus::SetSampleRate(float rate) {
    sampleRate = rate > 0.0f ? rate : 44100.0f;
    const int needed =
        static_cast<int>(std::ceil((kMaxDelayMs + kMaxDepthMs) * 0.001f * sampleRate)) + 4;
    int size = 1;
    while (size < needed) {
        size <<= 1;
    }
    mask = size - 1;
    line.assign(static_cast<size_t>(2 * size), 0.0f);
    UpdateRate();
    Reset();
}

void CChorus::SetRate(float hz) {
    rateHz = std::clamp(hz, 0.01f, 20.0f);
    UpdateRate();
}

void CChorus::SetDepth(float ms) {
    depthMs = std::clamp(ms, 0.0f, kMaxDepthMs);
}

void CChorus::SetDelay(float ms) {
    delayMs = std::clamp(ms, 1.0f, kMaxDelayMs);
}

void CChorus::SetLevel(float value) {
    level = std::max(0.0f, value);
}

void CChorus::UpdateRate() {
    glide = static_cast<float>(1.0 - std::exp(-1.0 / (kGlideSeconds * sampleRate)));
    const double step = 2.0 * kPi * rateHz / sampleRate;
    stepCos = static_cast<float>(std::cos(step));
    stepSin = static_cast<float>(std::sin(step));
}

void CChorus::Reset() {
    std::fill(line.begin(), line.end(), 0.0f);
    writeIndex = 0;
    lfoCos = 1.0f;
    lfoSin = 0.0f;
    gain = 0.5f * level;
    delaySamples = delayMs * 0.001f * sampleRate;
    depthSamples = std::min(depthMs * 0.001f * sampleRate, delaySamples - kMinDelaySamples);
}

void CChorus::Process(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                      int frames) {
    if (frames <= 0) {
        return;
    }
    // Keep the phasor on the unit circle; rounding would otherwise drift its amplitude.
    const float norm = 1.0f / std::sqrt(lfoCos * lfoCos + lfoSin * lfoSin);
    lfoCos *= norm;
    lfoSin *= norm;

    const float targetDelay = delayMs * 0.001f * sampleRate;
    const float targetDepth =
        std::max(0.0f, std::min(depthMs * 0.001f * sampleRate, targetDelay - kMinDelaySamples));
    const int size = mask + 1;
    // The output gain glides across the call: a level jump over a loud signal clicks.
    const float targetGain = 0.5f * level;
    const float gainStep = (targetGain - gain) / static_cast<float>(frames);

    // Working copies: stores to the output could alias the members and force reloads.
    float* const buffer = line.data();
    const int wrap = mask;
    int write = writeIndex;
    float delay = delaySamples;
    float depth = depthSamples;
    float cosine = lfoCos;
    float sine = lfoSin;
    float g = gain;

    auto tap = [buffer, wrap, &write](float tapDelay) {
        // Whole and fractional delay apart, so the fraction keeps full precision; delays are
        // positive, so truncation is floor.
        const int whole = static_cast<int>(tapDelay);
        const float part = tapDelay - static_cast<float>(whole);
        int newest = write - whole;
        float frac = 0.0f;
        if (part > 0.0f) {
            newest -= 1;
            frac = 1.0f - part;
        }
        // First of the four taps, wrapped into the first copy of the line.
        const int first = (newest - 1) & wrap;
        return InterpolateCubic(buffer + first + 1, 0, frac);
    };

    for (int i = 0; i < frames; ++i) {
        const float x = 0.5f * (inLeft[i] + inRight[i]);
        buffer[write] = x;
        buffer[write + size] = x;

        delay += (targetDelay - delay) * glide;
        depth += (targetDepth - depth) * glide;
        const float swingLeft = depth * sine;
        const float swingRight = depth * cosine;
        const float left = tap(delay + swingLeft) + tap(delay - swingLeft);
        const float right = tap(delay + swingRight) + tap(delay - swingRight);
        g += gainStep;
        outLeft[i] += g * left;
        outRight[i] += g * right;

        const float c = cosine * stepCos - sine * stepSin;
        sine = sine * stepCos + cosine * stepSin;
        cosine = c;
        write = (write + 1) & wrap;
    }
    writeIndex = write;
    delaySamples = delay;
    depthSamples = depth;
    lfoCos = cosine;
    lfoSin = sine;
    gain = targetGain;
}

} // namespace hml::audio
