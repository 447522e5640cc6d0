// The inner loops of voice rendering, built twice: for the x86-64 baseline (SSE2) and for
// processors with AVX2 and FMA. The set is chosen once, from what the processor offers.
#pragma once

#include <cstdint>

namespace hml::audio {

// A 2-state linear filter (s' = A s + B x, y = C s + D x) unrolled over blocks of eight samples:
//     y[j]  = m1[j] s1 + m2[j] s2 + sum over i <= j of h[j - i] x[i]   (m = C A^j, h = impulse)
//     s1'   = r11 s1 + r12 s2 + sum w1[i] x[i],  s2' likewise          (r = A^8, w = A^(7-i) B)
// The chain from one state to the next is then one step per eight samples instead of eight.
struct SFilterBlock {
    static constexpr int kSize = 8;
    float m1[kSize], m2[kSize];
    float h[2 * kSize]; // h[kSize + k] is the impulse response at k; the first half is 0
    float w1[kSize], w2[kSize];
    float r11, r12, r21, r22;
};

// A filter whose coefficients change every eight samples: step s runs samples 8s..8s+7 with its
// own s' = A s + B x, y = C s + D x. Steps a call does not use hold zeros.
struct SFilterSteps {
    static constexpr int kMaxSteps = 8;
    float a11[kMaxSteps], a12[kMaxSteps], a21[kMaxSteps], a22[kMaxSteps];
    float b1[kMaxSteps], b2[kMaxSteps], c1[kMaxSteps], c2[kMaxSteps], d[kMaxSteps];
};

// Gains of one voice's block: each gliding linearly from its start by `step` per frame, reaching
// start + step * (i + 1) at frame i.
struct SMixGains {
    float left, leftStep, right, rightStep;
    float reverb, chorus; // send levels, applied to the sum of both gains
};

struct SKernels {
    const char* name;
    // Linear interpolation of 16-bit little-endian mono frames: out[i] is read at the 32.32
    // fixed-point position phase + i * step, counted in frames from data.
    void (*linear16)(const uint8_t* data, uint64_t phase, uint64_t step, float* out, int n);
    // Runs n samples (a multiple of 8) through the filter; in and out may be the same.
    void (*filter)(const SFilterBlock& f, const float* in, float* out, int n, float& s1, float& s2);
    // Runs 8 * steps samples (steps <= SFilterSteps::kMaxSteps) through the stepped filter; in
    // and out may be the same.
    void (*filterSteps)(const SFilterSteps& f, int steps, const float* in, float* out, float& s1,
                        float& s2);
    // Adds x times the gliding gains into left/right, and into the sends when they are given.
    void (*mix)(const float* x, int n, const SMixGains& g, float* left, float* right, float* reverb,
                float* chorus);
};

enum class EKernelSet { Baseline, Avx2 };

// The set in use: AVX2 when the processor has it (and HML_SIMD is not "sse2"), else the baseline.
const SKernels& Kernels();
// Switches the set, for tests and benchmarks; false when the processor lacks it.
bool UseKernels(EKernelSet set);

namespace baseline {
extern const SKernels kKernels;
}
namespace avx2 {
extern const SKernels kKernels;
}

} // namespace hml::audio
