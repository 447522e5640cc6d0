#pragma once

#include <vector>

namespace hml::audio {

// Stereo send chorus: the mono sum of the send feeds one delay line read by four taps whose
// delays a sine LFO sweeps around a centre delay. The left side hears the taps at LFO phases 0 and
// 180 degrees, the right side those at 90 and 270, so the two sides move in quadrature. Taps are
// read with cubic interpolation; there is no feedback, so the output falls silent one delay
// after the input does.
class CChorus {
public:
    CChorus();

    // Allocates the delay line (not real-time safe) and clears it.
    void SetSampleRate(float sampleRate);

    // LFO rate in Hz (0.01..20).
    void SetRate(float hz);
    // Peak delay deviation of each tap in milliseconds (0..kMaxDepthMs; kept below the delay).
    void SetDepth(float ms);
    // Centre delay in milliseconds (1..kMaxDelayMs).
    void SetDelay(float ms);
    // Linear gain of the wet output.
    void SetLevel(float level);

    // Adds the chorus of the input into the output buffers. Delay and depth changes glide over
    // ~20 ms, level changes across the call. Allocates nothing; the input and output may be the
    // same buffers.
    void Process(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                 int frames);

    // Clears the delay line and restarts the LFO at phase 0.
    void Reset();

    static constexpr float kDefaultRateHz = 0.5f;
    static constexpr float kDefaultDepthMs = 2.5f;
    static constexpr float kDefaultDelayMs = 12.0f;
    static constexpr float kDefaultLevel = 1.0f;
    static constexpr float kMaxDelayMs = 50.0f;
    static constexpr float kMaxDepthMs = 10.0f;

private:
    void UpdateRate();

    float sampleRate = 44100.0f;
    float rateHz = kDefaultRateHz;
    float depthMs = kDefaultDepthMs;
    float delayMs = kDefaultDelayMs;
    float level = kDefaultLevel;

    // Delay line stored twice in a row, so the four taps of a read never wrap.
    std::vector<float> line;
    int mask = 0;
    int writeIndex = 0;
    // How many of the last samples written were +0, up to the line's length: at the length, the
    // whole line is +0 and silent input needs no taps.
    int zeroRun = 0;

    // Current delay and depth in samples; they glide toward the set values.
    float delaySamples = 0.0f;
    float depthSamples = 0.0f;
    float glide = 0.0f; // per-sample smoothing coefficient
    float gain = 0.0f;  // output gain reached by the last Process()

    // LFO as a unit phasor rotated every sample.
    float lfoCos = 1.0f;
    float lfoSin = 0.0f;
    float stepCos = 1.0f;
    float stepSin = 0.0f;
};

} // namespace hml::audio
