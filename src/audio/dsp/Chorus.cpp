#include "audio/dsp/Chorus.h"

#include "audio/dsp/Float4.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace hml::audio {

namespace {

constexpr double kPi = 3.14159265358979323846;

// A tap needs its cubic neighbours already written: its delay stays at least this many samples.
constexpr float kMinDelaySamples = 2.0f;

// Delay and depth changes approach the new value with this time constant: a jump of the read
// position would click, and a fast sweep is a pitch bend.
constexpr double kGlideSeconds = 0.02;

// Frames whose serial state (input, glides, LFO, gain) is worked out before their taps are read.
constexpr int kStretch = 64;

// Four frames at a time, one per lane (a tap's lane does what InterpolateCubic does).
using namespace float4;

// +0 exactly: a line of these reads back +0 from every tap, whatever the fraction.
bool IsPositiveZero(float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits == 0;
}

// One step of a glide leaves the value unchanged: then every later step does too.
bool Settled(float value, float target, float glide) {
    const float next = value + (target - value) * glide;
    return std::memcmp(&next, &value, sizeof next) == 0;
}

} // namespace

CChorus::CChorus() {
    SetSampleRate(44100.0f);
}

void CChorus::SetSampleRate(float rate) {
    sampleRate = rate > 0.0f ? rate : 44100.0f;
    // The longest tap delay and its cubic neighbours, and room for the samples of a stretch
    // that Process() writes ahead of that stretch's reads.
    const int needed =
        static_cast<int>(std::ceil((kMaxDelayMs + kMaxDepthMs) * 0.001f * sampleRate)) + 4 +
        kStretch;
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
    zeroRun = mask + 1;
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
    // Settled glides (the usual case) stay put: their per-sample steps are skipped.
    const bool gliding = !Settled(delay, targetDelay, glide) || !Settled(depth, targetDepth, glide);

    // Trailing +0 samples of the input: with a line of +0, a block of them makes no sound.
    int zeros = 0;
    while (zeros < frames &&
           IsPositiveZero(0.5f * (inLeft[frames - 1 - zeros] + inRight[frames - 1 - zeros]))) {
        ++zeros;
    }

    if (zeros == frames && zeroRun >= size) {
        // Every tap would read +0: the output adds g * +0, the line keeps its zeros, and only
        // the glides, the LFO and the write position move on, exactly as they would have.
        if (gainStep == 0.0f) {
            // A zero step changes the gain at most once (-0 to +0): the first sum holds throughout.
            const float silent = (g + gainStep) * 0.0f;
            int i = 0;
            for (; i + 4 <= frames; i += 4) {
                Store(outLeft + i, Load(outLeft + i) + silent);
                Store(outRight + i, Load(outRight + i) + silent);
            }
            for (; i < frames; ++i) {
                outLeft[i] += silent;
                outRight[i] += silent;
            }
        } else {
            for (int i = 0; i < frames; ++i) {
                g += gainStep;
                outLeft[i] += g * 0.0f;
                outRight[i] += g * 0.0f;
            }
        }
        for (int i = 0; i < frames; ++i) {
            if (gliding) {
                delay += (targetDelay - delay) * glide;
                depth += (targetDepth - depth) * glide;
            }
            const float c = cosine * stepCos - sine * stepSin;
            sine = sine * stepCos + cosine * stepSin;
            cosine = c;
        }
        write = (write + frames) & wrap;
    } else {
        zeroRun = zeros == frames ? std::min(size, zeroRun + frames) : zeros;
        // The cubic read of a tap at four frames' delays, a lane per frame; `at` holds each
        // frame's write position.
        auto tap = [buffer, wrap](F4 tapDelay, I4 at) {
            // Whole and fractional delay apart, so the fraction keeps full precision; delays are
            // positive, so truncation is floor. A fractional delay reads from one sample further
            // back at 1 - fraction.
            const I4 whole = __builtin_convertvector(tapDelay, I4);
            const F4 part = tapDelay - __builtin_convertvector(whole, F4);
            const I4 between = part > 0.0f; // -1 where true
            const F4 frac = reinterpret_cast<F4>(reinterpret_cast<I4>(1.0f - part) & between);
            // First of each read's four samples, wrapped into the first copy of the line.
            const I4 first = (at - whole + between - 1) & wrap;
            const F4 s0 = Load(buffer + first[0]);
            const F4 s1 = Load(buffer + first[1]);
            const F4 s2 = Load(buffer + first[2]);
            const F4 s3 = Load(buffer + first[3]);
            // Transposed: one vector per neighbour.
            const F4 lo01 = __builtin_shufflevector(s0, s1, 0, 4, 1, 5);
            const F4 lo23 = __builtin_shufflevector(s2, s3, 0, 4, 1, 5);
            const F4 hi01 = __builtin_shufflevector(s0, s1, 2, 6, 3, 7);
            const F4 hi23 = __builtin_shufflevector(s2, s3, 2, 6, 3, 7);
            const F4 xm1 = __builtin_shufflevector(lo01, lo23, 0, 1, 4, 5);
            const F4 x0 = __builtin_shufflevector(lo01, lo23, 2, 3, 6, 7);
            const F4 x1 = __builtin_shufflevector(hi01, hi23, 0, 1, 4, 5);
            const F4 x2 = __builtin_shufflevector(hi01, hi23, 2, 3, 6, 7);
            const F4 c1 = 0.5f * (x1 - xm1);
            const F4 c2 = xm1 - 2.5f * x0 + 2.0f * x1 - 0.5f * x2;
            const F4 c3 = 0.5f * (x2 - xm1) + 1.5f * (x0 - x1);
            return ((c3 * frac + c2) * frac + c1) * frac + x0;
        };
        // Stretches of frames: first the serial parts (input, glides, LFO, gain) frame by
        // frame, then the taps four frames at a time, which no longer wait on each other. The line
        // is long enough that a stretch's writes never reach a sample its reads still need.
        alignas(16) float delays[kStretch];
        alignas(16) float depths[kStretch];
        alignas(16) float sines[kStretch];
        alignas(16) float cosines[kStretch];
        alignas(16) float gains[kStretch];
        alignas(16) int32_t at[kStretch];
        for (int done = 0; done < frames;) {
            const int count = std::min(kStretch, frames - done);
            const float* const l = inLeft + done;
            const float* const r = inRight + done;
            for (int j = 0; j < count; ++j) {
                const float x = 0.5f * (l[j] + r[j]);
                buffer[write] = x;
                buffer[write + size] = x;
                if (gliding) {
                    delay += (targetDelay - delay) * glide;
                    depth += (targetDepth - depth) * glide;
                }
                delays[j] = delay;
                depths[j] = depth;
                sines[j] = sine;
                cosines[j] = cosine;
                g += gainStep;
                gains[j] = g;
                at[j] = write;
                const float c = cosine * stepCos - sine * stepSin;
                sine = sine * stepCos + cosine * stepSin;
                cosine = c;
                write = (write + 1) & wrap;
            }
            // A short last group repeats its last frame in the spare lanes.
            for (int j = count; j % 4 != 0; ++j) {
                delays[j] = delays[count - 1];
                depths[j] = depths[count - 1];
                sines[j] = sines[count - 1];
                cosines[j] = cosines[count - 1];
                gains[j] = gains[count - 1];
                at[j] = at[count - 1];
            }
            float* const outL = outLeft + done;
            float* const outR = outRight + done;
            for (int j = 0; j < count; j += 4) {
                const F4 d = Load(delays + j);
                const F4 swingLeft = Load(depths + j) * Load(sines + j);
                const F4 swingRight = Load(depths + j) * Load(cosines + j);
                I4 where;
                std::memcpy(&where, at + j, sizeof where);
                // Left hears the taps at +- the sine swing, right at +- the cosine swing.
                const F4 left = tap(d + swingLeft, where) + tap(d - swingLeft, where);
                const F4 right = tap(d + swingRight, where) + tap(d - swingRight, where);
                const F4 gv = Load(gains + j);
                if (j + 4 <= count) {
                    Store(outL + j, Load(outL + j) + gv * left);
                    Store(outR + j, Load(outR + j) + gv * right);
                } else {
                    for (int k = 0; j + k < count; ++k) {
                        outL[j + k] += gains[j + k] * left[k];
                        outR[j + k] += gains[j + k] * right[k];
                    }
                }
            }
            done += count;
        }
    }
    writeIndex = write;
    delaySamples = delay;
    depthSamples = depth;
    lfoCos = cosine;
    lfoSin = sine;
    gain = targetGain;
}

} // namespace hml::audio
