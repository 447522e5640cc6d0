// The voice kernels' code, included by one source file per instruction set; each compiles it with
// its own target options inside its own namespace (HML_KERNEL_NS) and vector width
// (HML_KERNEL_LANES floats: 4 for SSE2, 8 for AVX). The vectors are GCC and Clang extensions.
#pragma once

#include "audio/dsp/VoiceKernels.h"

#include <cstring>

#ifndef HML_KERNEL_NS
#error "define HML_KERNEL_NS before including VoiceKernelsImpl.h"
#endif

namespace hml::audio::HML_KERNEL_NS {
namespace {

constexpr int kLanes = HML_KERNEL_LANES;
using FV = float __attribute__((vector_size(4 * kLanes)));

inline FV Load(const float* p) {
    FV v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void Store(float* p, FV v) {
    std::memcpy(p, &v, sizeof v);
}
inline float Sum(FV v) {
    float total = 0.0f;
    for (int i = 0; i < kLanes; ++i)
        total += v[i];
    return total;
}
inline FV Ramp(float from) {
    FV r;
    for (int i = 0; i < kLanes; ++i)
        r[i] = from + static_cast<float>(i);
    return r;
}

// Two neighbouring 16-bit frames arrive in one 32-bit little-endian word: the first in the low
// half, the next in the high half. Four frames at a time in every build: gathering the words
// costs more than eight lanes save (and AVX2's gather instruction is slower still).
void Linear16(const uint8_t* data, uint64_t phase, uint64_t step, float* out, int n) {
    using F4 = float __attribute__((vector_size(16)));
    using I4 = int32_t __attribute__((vector_size(16)));
    using U4 = uint32_t __attribute__((vector_size(16)));
    using Q4 = uint64_t __attribute__((vector_size(32)));
    constexpr float kFraction = 1.0f / 8388608.0f; // the top 23 bits of the 32-bit fraction
    constexpr float kScale = 1.0f / 32768.0f;
    // Frame offsets fit 32 bits within a block.
    Q4 lanes;
    for (int k = 0; k < 4; ++k)
        lanes[k] = phase + step * static_cast<uint64_t>(k);
    const uint64_t stride = step * 4;
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const I4 frame = __builtin_convertvector(lanes >> 32, I4);
        const I4 f = __builtin_convertvector((lanes & 0xFFFFFFFFu) >> 9, I4);
        lanes += stride;
        uint32_t words[4];
        for (int k = 0; k < 4; ++k)
            std::memcpy(&words[k], data + 2 * static_cast<uint32_t>(frame[k]), 4);
        U4 w;
        std::memcpy(&w, words, sizeof w);
        const F4 a = __builtin_convertvector(reinterpret_cast<I4>(w << 16) >> 16, F4);
        const F4 b = __builtin_convertvector(reinterpret_cast<I4>(w) >> 16, F4);
        const F4 fr = __builtin_convertvector(f, F4) * kFraction;
        const F4 y = (a + fr * (b - a)) * kScale;
        std::memcpy(out + i, &y, sizeof y);
    }
    phase += step * static_cast<uint64_t>(i);
    for (; i < n; ++i) {
        const uint8_t* d = data + 2 * (phase >> 32);
        const float fr = static_cast<float>(static_cast<uint32_t>(phase) >> 9) * kFraction;
        const float a = static_cast<float>(static_cast<int16_t>(d[0] | (d[1] << 8)));
        const float b = static_cast<float>(static_cast<int16_t>(d[2] | (d[3] << 8)));
        out[i] = (a + fr * (b - a)) * kScale;
        phase += step;
    }
}

void Filter(const SFilterBlock& f, const float* in, float* out, int n, float& s1, float& s2) {
    constexpr int kBlock = SFilterBlock::kSize;
    constexpr int kParts = kBlock / kLanes;
    // The next state rides in the first two lanes of one more vector, so that it comes out of
    // the same broadcasts as the outputs, without horizontal sums.
    FV state1 = FV{}, state2 = FV{}, toState[kBlock] = {};
    state1[0] = f.r11;
    state1[1] = f.r21;
    state2[0] = f.r12;
    state2[1] = f.r22;
    for (int i = 0; i < kBlock; ++i) {
        toState[i][0] = f.w1[i];
        toState[i][1] = f.w2[i];
    }
    float x1 = s1, x2 = s2;
    for (int b = 0; b + kBlock <= n; b += kBlock) {
        // Input i reaches output j through h[j - i]; inputs after a part's last output do not
        // reach it. Everything that does not wait for the state comes first, so the chain from
        // one block to the next stays short. All inputs are read before any output is written:
        // in and out may be one buffer.
        FV y[kParts], next = FV{};
        for (int p = 0; p < kParts; ++p)
            y[p] = FV{};
        for (int i = 0; i < kBlock; ++i) {
            const float u = in[b + i];
            for (int p = i / kLanes; p < kParts; ++p)
                y[p] += Load(f.h + kBlock - i + p * kLanes) * u;
            next += toState[i] * u;
        }
        for (int p = 0; p < kParts; ++p)
            Store(out + b + p * kLanes,
                  y[p] + (Load(f.m1 + p * kLanes) * x1 + Load(f.m2 + p * kLanes) * x2));
        next += state1 * x1 + state2 * x2;
        x1 = next[0];
        x2 = next[1];
    }
    s1 = x1;
    s2 = x2;
}

void Mix(const float* x, int n, const SMixGains& g, float* __restrict left, float* __restrict right,
         float* __restrict reverb, float* __restrict chorus) {
    const float sum = g.left + g.right, sumStep = g.leftStep + g.rightStep;
    const FV ramp = Ramp(1.0f);
    int i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        const FV k = ramp + static_cast<float>(i);
        const FV v = Load(x + i);
        Store(left + i, Load(left + i) + v * (g.left + g.leftStep * k));
        Store(right + i, Load(right + i) + v * (g.right + g.rightStep * k));
        if (reverb != nullptr) {
            const FV m = v * (sum + sumStep * k);
            Store(reverb + i, Load(reverb + i) + m * g.reverb);
            Store(chorus + i, Load(chorus + i) + m * g.chorus);
        }
    }
    for (; i < n; ++i) {
        const float k = static_cast<float>(i + 1);
        left[i] += x[i] * (g.left + g.leftStep * k);
        right[i] += x[i] * (g.right + g.rightStep * k);
        if (reverb != nullptr) {
            const float m = x[i] * (sum + sumStep * k);
            reverb[i] += m * g.reverb;
            chorus[i] += m * g.chorus;
        }
    }
}

} // namespace

const SKernels kKernels = {HML_KERNEL_NAME, Linear16, Filter, Mix};

} // namespace hml::audio::HML_KERNEL_NS
