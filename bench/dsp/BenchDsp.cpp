// Micro-benchmark of the DSP kernels: nanoseconds per sample (per stereo frame for the effects).
// Build with `scripts/build.sh release`, run build/release/bench/dsp/bench_dsp.

#include "audio/dsp/Chorus.h"
#include "audio/dsp/Interpolator.h"
#include "audio/dsp/LowPassFilter.h"
#include "audio/dsp/Reverb.h"
#include "audio/dsp/VoiceKernels.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace hml::audio;

namespace {

constexpr int kBlock = 64;
constexpr float kRate = 48000.0f;

volatile float sink;

std::vector<float> Noise(size_t count) {
    std::vector<float> out(count);
    unsigned seed = 1;
    for (auto& v : out) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
    }
    return out;
}

// Runs body(samples) repeatedly for about 0.3 s and reports the best of five rounds.
template <typename Body> void Measure(const char* name, long samplesPerCall, Body body) {
    using Clock = std::chrono::steady_clock;
    long calls = 1;
    for (;;) {
        const auto start = Clock::now();
        for (long i = 0; i < calls; ++i) {
            body();
        }
        if (Clock::now() - start > std::chrono::milliseconds(60)) {
            break;
        }
        calls *= 2;
    }
    double best = 1e30;
    for (int round = 0; round < 5; ++round) {
        const auto start = Clock::now();
        for (long i = 0; i < calls; ++i) {
            body();
        }
        const std::chrono::duration<double, std::nano> elapsed = Clock::now() - start;
        best = std::min(best, elapsed.count() / static_cast<double>(calls * samplesPerCall));
    }
    std::printf("%-36s %8.2f ns/sample\n", name, best);
}

} // namespace

int main() {
    const auto noise = Noise(1 << 16);
    std::vector<float> buffer(4096);

    {
        CLowPassFilter filter;
        filter.SetParameters(2000.0f, 100.0f, kRate);
        Measure("low-pass, steady", 4096, [&] {
            buffer.assign(noise.begin(), noise.begin() + 4096);
            filter.Process(buffer.data(), 4096);
            sink = buffer[100];
        });
        float cutoff = 300.0f;
        Measure("low-pass, new cutoff every 64", 4096, [&] {
            buffer.assign(noise.begin(), noise.begin() + 4096);
            for (int b = 0; b < 4096; b += kBlock) {
                cutoff = cutoff > 8000.0f ? 300.0f : cutoff * 1.05f;
                filter.SetParameters(cutoff, 100.0f, kRate);
                filter.Process(buffer.data() + b, kBlock);
            }
            sink = buffer[100];
        });
    }

    auto resample = [&](const char* name, auto interpolate) {
        Measure(name, 4096, [&] {
            double position = 16.0;
            for (auto& v : buffer) {
                const auto index = static_cast<std::ptrdiff_t>(position);
                v = interpolate(noise.data(), index,
                                static_cast<float>(position - static_cast<double>(index)));
                position += 1.37;
            }
            sink = buffer[100];
        });
    };
    resample("interpolate linear", InterpolateLinear);
    resample("interpolate cubic", InterpolateCubic);
    const CSincInterpolator sinc;
    resample("interpolate sinc (8 taps)",
             [&](const float* s, std::ptrdiff_t i, float f) { return sinc.Interpolate(s, i, f); });

    std::vector<float> left(4096);
    std::vector<float> right(4096);
    std::vector<float> sends(2 * kBlock);
    std::vector<uint8_t> pcm(2 * 8192);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<uint8_t>(noise[i] * 127.0f);
    // The voice kernels of each instruction set the processor has, on one 64-frame block.
    for (const EKernelSet set : {EKernelSet::Baseline, EKernelSet::Avx2}) {
        if (!UseKernels(set))
            continue;
        const SKernels& k = Kernels();
        char name[64];
        std::snprintf(name, sizeof name, "%s linear 16-bit", k.name);
        Measure(name, kBlock, [&] {
            k.linear16(pcm.data(), 0x12345678u, uint64_t{0x1'5F000000}, buffer.data(), kBlock);
            sink = buffer[10];
        });
        SFilterBlock block{};
        for (int i = 0; i < SFilterBlock::kSize; ++i) {
            block.m1[i] = block.w1[i] = 0.1f;
            block.m2[i] = block.w2[i] = 0.05f;
            block.h[SFilterBlock::kSize + i] = 0.01f;
        }
        block.r11 = block.r22 = 0.9f;
        float s1 = 0.0f, s2 = 0.0f;
        std::snprintf(name, sizeof name, "%s filter block", k.name);
        Measure(name, kBlock, [&] {
            k.filter(block, noise.data(), buffer.data(), kBlock, s1, s2);
            sink = buffer[10];
        });
        const SMixGains gains{0.5f, 0.001f, 0.4f, -0.001f, 0.2f, 0.1f};
        std::snprintf(name, sizeof name, "%s mix with sends", k.name);
        Measure(name, kBlock, [&] {
            k.mix(noise.data(), kBlock, gains, left.data(), right.data(), sends.data(),
                  sends.data() + kBlock);
            sink = left[10];
        });
    }
    {
        CReverb reverb;
        reverb.SetSampleRate(kRate);
        Measure("reverb (stereo frame)", 4096, [&] {
            reverb.Process(noise.data(), noise.data() + 4096, left.data(), right.data(), 4096);
            sink = left[100];
        });
    }
    {
        CChorus chorus;
        chorus.SetSampleRate(kRate);
        Measure("chorus (stereo frame)", 4096, [&] {
            chorus.Process(noise.data(), noise.data() + 4096, left.data(), right.data(), 4096);
            sink = left[100];
        });
        // Most music sends nothing to the chorus; the stream calls it per 64-frame block. (The
        // warm-up rounds let the noise above leave the delay line.)
        const std::vector<float> silence(kBlock);
        Measure("chorus, silent send", 4096, [&] {
            for (int b = 0; b < 4096; b += kBlock) {
                chorus.Process(silence.data(), silence.data(), left.data() + b, right.data() + b,
                               kBlock);
            }
            sink = left[100];
        });
    }
    return 0;
}
