// The voice kernels' code, included by one source file per instruction set; each compiles it with
// its own target options inside its own namespace (HML_KERNEL_NS) and vector width
// (HML_KERNEL_LANES floats: 4 for SSE2, 8 for AVX). The vectors are GCC and Clang extensions.
#pragma once

#include "audio/dsp/VoiceKernels.h"

#include <cstring>

#ifndef HML_KERNEL_NS
#error "define HML_KERNEL_NS before including VoiceKernelsImpl.h"
#endif

// The small helpers of the kernels pass arrays of vectors: inlined, these stay in registers.
#define HML_KERNEL_INLINE inline __attribute__((always_inline))

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
// half, the next in the high half. The words are read one by one (AVX2's gather instruction is
// slower here) and the arithmetic runs kLanes frames at a time.
void Linear16(const uint8_t* data, uint64_t phase, uint64_t step, float* out, int n) {
    using I = int32_t __attribute__((vector_size(4 * kLanes)));
    using U = uint32_t __attribute__((vector_size(4 * kLanes)));
    constexpr float kFraction = 1.0f / 8388608.0f; // the top 23 bits of the 32-bit fraction
    constexpr float kScale = 1.0f / 32768.0f;
    // The fractions ride in vector lanes: the low 32 bits of a position are its fraction, and
    // adding wraps them exactly. The frames are read at positions stepped in a register.
    U fraction;
    for (int k = 0; k < kLanes; ++k)
        fraction[k] = static_cast<uint32_t>(phase + step * static_cast<uint64_t>(k));
    const uint32_t fractionStride = static_cast<uint32_t>(step * kLanes);
    uint64_t position = phase;
    int i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        uint32_t words[kLanes];
        for (int k = 0; k < kLanes; ++k) {
            std::memcpy(&words[k], data + 2 * (position >> 32), 4);
            position += step;
        }
        U w;
        std::memcpy(&w, words, sizeof w);
        const FV a = __builtin_convertvector(reinterpret_cast<I>(w << 16) >> 16, FV);
        const FV b = __builtin_convertvector(reinterpret_cast<I>(w) >> 16, FV);
        const FV fr = __builtin_convertvector(reinterpret_cast<I>(fraction >> 9), FV) * kFraction;
        fraction += fractionStride;
        Store(out + i, (a + fr * (b - a)) * kScale);
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

// Eight samples of each of kLanes steps, as rows of eight in memory, turned into eight vectors
// whose lanes are the steps (columns[i][s] = rows[8 s + i]), and back into vectors in memory
// order.
#if HML_KERNEL_LANES == 8
HML_KERNEL_INLINE void Transpose(const FV r[8], FV c[8]) {
    FV t[8], u[8];
    for (int k = 0; k < 8; k += 2) {
        t[k] = __builtin_shufflevector(r[k], r[k + 1], 0, 8, 1, 9, 4, 12, 5, 13);
        t[k + 1] = __builtin_shufflevector(r[k], r[k + 1], 2, 10, 3, 11, 6, 14, 7, 15);
    }
    for (int k = 0; k < 8; k += 4) {
        u[k] = __builtin_shufflevector(t[k], t[k + 2], 0, 1, 8, 9, 4, 5, 12, 13);
        u[k + 1] = __builtin_shufflevector(t[k], t[k + 2], 2, 3, 10, 11, 6, 7, 14, 15);
        u[k + 2] = __builtin_shufflevector(t[k + 1], t[k + 3], 0, 1, 8, 9, 4, 5, 12, 13);
        u[k + 3] = __builtin_shufflevector(t[k + 1], t[k + 3], 2, 3, 10, 11, 6, 7, 14, 15);
    }
    for (int k = 0; k < 4; ++k) {
        c[k] = __builtin_shufflevector(u[k], u[k + 4], 0, 1, 2, 3, 8, 9, 10, 11);
        c[k + 4] = __builtin_shufflevector(u[k], u[k + 4], 4, 5, 6, 7, 12, 13, 14, 15);
    }
}
HML_KERNEL_INLINE void ToColumns(const float* rows, FV columns[8]) {
    FV r[8];
    for (int k = 0; k < 8; ++k)
        r[k] = Load(rows + 8 * k);
    Transpose(r, columns);
}
// The vectors of the samples back in memory order: rows[q] holds samples kLanes q onwards.
HML_KERNEL_INLINE void ToRows(const FV columns[8], FV rows[8]) {
    Transpose(columns, rows);
}
#else
HML_KERNEL_INLINE void Transpose4(FV& a, FV& b, FV& c, FV& d) {
    const FV t0 = __builtin_shufflevector(a, b, 0, 4, 1, 5);
    const FV t1 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
    const FV t2 = __builtin_shufflevector(c, d, 0, 4, 1, 5);
    const FV t3 = __builtin_shufflevector(c, d, 2, 6, 3, 7);
    a = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    b = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    c = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    d = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}
HML_KERNEL_INLINE void ToColumns(const float* rows, FV columns[8]) {
    for (int half = 0; half < 8; half += 4) {
        FV* c = columns + half;
        for (int k = 0; k < 4; ++k)
            c[k] = Load(rows + 8 * k + half);
        Transpose4(c[0], c[1], c[2], c[3]);
    }
}
// The vectors of the samples back in memory order: rows[q] holds samples kLanes q onwards.
HML_KERNEL_INLINE void ToRows(const FV columns[8], FV rows[8]) {
    for (int half = 0; half < 2; ++half) {
        FV r[4] = {columns[4 * half], columns[4 * half + 1], columns[4 * half + 2],
                   columns[4 * half + 3]};
        Transpose4(r[0], r[1], r[2], r[3]);
        for (int k = 0; k < 4; ++k)
            rows[2 * k + half] = r[k];
    }
}
#endif

// A filter call's blocks go kLanes at a time, one block per lane. A short group (a call's last)
// goes through `partial`, so nothing is read or written past the samples.
HML_KERNEL_INLINE void ReadGroup(const float* in, int count, float* partial, FV u[8]) {
    if (count < kLanes) {
        std::memset(partial, 0, sizeof(float) * 8 * kLanes);
        std::memcpy(partial, in, sizeof(float) * 8 * count);
        in = partial;
    }
    ToColumns(in, u);
}
HML_KERNEL_INLINE float* GroupOutput(float* out, int count, float* partial) {
    return count < kLanes ? partial : out;
}
HML_KERNEL_INLINE void FinishGroup(float* out, int count, const float* partial) {
    if (count < kLanes)
        std::memcpy(out, partial, sizeof(float) * 8 * count);
}

// The inputs' share of every output of a block (h[k] is the impulse response at k), back in
// sample order.
HML_KERNEL_INLINE void InputShare(const FV h[8], const FV u[8], FV rows[8]) {
    FV y[8];
    for (int j = 0; j < 8; ++j) {
        FV sum = h[j] * u[0];
        for (int i = 1; i <= j; ++i)
            sum += h[j - i] * u[i];
        y[j] = sum;
    }
    ToRows(y, rows);
}

// The stepped filter, kLanes steps at a time with one step per lane: every step's filter is
// unrolled over its eight samples (as in Filter) side by side, the inputs' share of every output
// and of every step's end state follows without waiting for any state, and only the eight-sample
// state jumps are left in a chain.
void FilterSteps(const SFilterSteps& f, int steps, const float* in, float* out, float& s1,
                 float& s2) {
    constexpr int kBlock = SFilterBlock::kSize;
    constexpr int kParts = kBlock / kLanes;
    static_assert(kBlock == 8 && SFilterSteps::kMaxSteps % kLanes == 0);
    float x1 = s1, x2 = s2;
    for (int first = 0; first < steps; first += kLanes) {
        const int count = steps - first < kLanes ? steps - first : kLanes;
        float partial[kLanes * kBlock];
        FV u[kBlock];
        ReadGroup(in + kBlock * first, count, partial, u);

        const FV a11 = Load(f.a11 + first), a12 = Load(f.a12 + first);
        const FV a21 = Load(f.a21 + first), a22 = Load(f.a22 + first);
        const FV b1 = Load(f.b1 + first), b2 = Load(f.b2 + first);
        const FV c1 = Load(f.c1 + first), c2 = Load(f.c2 + first);
        // p = A^j; m = C A^j carries the start state to output j, h[j + 1] = C A^j B is the
        // impulse response, and A^j B carries input 7 - j into the end state (the drive).
        FV p11 = FV{} + 1.0f, p12 = FV{}, p21 = FV{}, p22 = FV{} + 1.0f;
        FV m1[kBlock], m2[kBlock], h[kBlock], drive1 = FV{}, drive2 = FV{};
        h[0] = Load(f.d + first);
        for (int j = 0; j < kBlock; ++j) {
            m1[j] = c1 * p11 + c2 * p21;
            m2[j] = c1 * p12 + c2 * p22;
            if (j + 1 < kBlock)
                h[j + 1] = m1[j] * b1 + m2[j] * b2;
            drive1 += (p11 * b1 + p12 * b2) * u[kBlock - 1 - j];
            drive2 += (p21 * b1 + p22 * b2) * u[kBlock - 1 - j];
            const FV q11 = a11 * p11 + a12 * p21, q12 = a11 * p12 + a12 * p22;
            const FV q21 = a21 * p11 + a22 * p21, q22 = a21 * p12 + a22 * p22;
            p11 = q11;
            p12 = q12;
            p21 = q21;
            p22 = q22;
        }
        // The inputs' share of every output and the start state's reach, in sample order; each
        // step then adds its start state's share as the chain reaches it.
        FV rows[kBlock], reach1[kBlock], reach2[kBlock];
        InputShare(h, u, rows);
        ToRows(m1, reach1);
        ToRows(m2, reach2);
        float r11[kLanes], r12[kLanes], r21[kLanes], r22[kLanes], d1[kLanes], d2[kLanes];
        Store(r11, p11);
        Store(r12, p12);
        Store(r21, p21);
        Store(r22, p22);
        Store(d1, drive1);
        Store(d2, drive2);
        float* const to = GroupOutput(out + kBlock * first, count, partial);
        for (int s = 0; s < count; ++s) {
            for (int p = 0; p < kParts; ++p) {
                const int q = kParts * s + p;
                Store(to + kBlock * s + kLanes * p, rows[q] + reach1[q] * x1 + reach2[q] * x2);
            }
            const float n1 = r11[s] * x1 + r12[s] * x2 + d1[s];
            const float n2 = r21[s] * x1 + r22[s] * x2 + d2[s];
            x1 = n1;
            x2 = n2;
        }
        FinishGroup(out + kBlock * first, count, partial);
    }
    s1 = x1;
    s2 = x2;
}

// The steady filter, kLanes blocks of eight at a time with one block per lane, as FilterSteps
// with one set of coefficients for every block.
void Filter(const SFilterBlock& f, const float* in, float* out, int n, float& s1, float& s2) {
    constexpr int kBlock = SFilterBlock::kSize;
    constexpr int kParts = kBlock / kLanes;
    const int blocks = n / kBlock;
    float x1 = s1, x2 = s2;
    for (int first = 0; first < blocks; first += kLanes) {
        const int count = blocks - first < kLanes ? blocks - first : kLanes;
        float partial[kLanes * kBlock];
        FV u[kBlock];
        ReadGroup(in + kBlock * first, count, partial, u);
        FV drive1 = FV{}, drive2 = FV{};
        for (int i = 0; i < kBlock; ++i) {
            drive1 += f.w1[i] * u[i];
            drive2 += f.w2[i] * u[i];
        }
        // The inputs' share of every output, in sample order; each block then adds its start
        // state's share as the chain reaches it.
        FV h[kBlock], rows[kBlock];
        for (int k = 0; k < kBlock; ++k)
            h[k] = FV{} + f.h[kBlock + k];
        InputShare(h, u, rows);
        float d1[kLanes], d2[kLanes];
        Store(d1, drive1);
        Store(d2, drive2);
        float* const to = GroupOutput(out + kBlock * first, count, partial);
        for (int s = 0; s < count; ++s) {
            for (int p = 0; p < kParts; ++p)
                Store(to + kBlock * s + kLanes * p, rows[kParts * s + p] +
                                                        Load(f.m1 + kLanes * p) * x1 +
                                                        Load(f.m2 + kLanes * p) * x2);
            const float n1 = f.r11 * x1 + f.r12 * x2 + d1[s];
            const float n2 = f.r21 * x1 + f.r22 * x2 + d2[s];
            x1 = n1;
            x2 = n2;
        }
        FinishGroup(out + kBlock * first, count, partial);
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

const SKernels kKernels = {HML_KERNEL_NAME, Linear16, Filter, FilterSteps, Mix};

} // namespace hml::audio::HML_KERNEL_NS

#undef HML_KERNEL_INLINE
