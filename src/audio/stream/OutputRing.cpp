#include "audio/stream/OutputRing.h"

#include "audio/Audio.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace hml::audio {

uint32_t BytesPerFrame(uint32_t flags) {
    const uint32_t channels = (flags & StreamFlags::Mono) ? 1 : 2;
    const uint32_t sampleBytes = (flags & StreamFlags::Float)         ? 4
                                 : (flags & StreamFlags::Sample8Bits) ? 1
                                                                      : 2;
    return channels * sampleBytes;
}

void ConvertFrames(uint32_t flags, const float* left, const float* right, int frames,
                   uint8_t* out) {
    const bool mono = (flags & StreamFlags::Mono) != 0;
    for (int i = 0; i < frames; ++i) {
        const float l = left[i], r = right[i];
        float s[2] = {l, r};
        if (mono)
            s[0] = 0.5f * (l + r);
        const int nch = mono ? 1 : 2;
        for (int c = 0; c < nch; ++c) {
            if (flags & StreamFlags::Float) {
                std::memcpy(out, &s[c], 4);
                out += 4;
            } else if (flags & StreamFlags::Sample8Bits) {
                const float v = std::clamp(s[c], -1.0f, 1.0f);
                *out++ = static_cast<uint8_t>(std::lrint(128.0f + v * 127.0f));
            } else {
                const float v = std::clamp(s[c], -1.0f, 1.0f);
                const int16_t x = static_cast<int16_t>(std::lrint(v * 32767.0f));
                std::memcpy(out, &x, 2);
                out += 2;
            }
        }
    }
}

void COutputRing::Allocate(uint64_t count, uint32_t bytesPerFrame) {
    frames = count;
    frameBytes = bytesPerFrame;
    buffer.assign(static_cast<size_t>(count) * bytesPerFrame, 0);
}

void COutputRing::Write(const uint8_t* data, uint64_t count) {
    uint64_t w = ringWrite.load(std::memory_order_relaxed);
    for (uint64_t i = 0; i < count; ++i, ++w)
        std::memcpy(buffer.data() + (w % frames) * frameBytes, data + i * frameBytes, frameBytes);
    ringWrite.store(w, std::memory_order_release);
}

void COutputRing::Read(uint8_t* out, uint64_t count) {
    uint64_t r = ringRead.load(std::memory_order_relaxed);
    for (uint64_t i = 0; i < count; ++i, ++r)
        std::memcpy(out + i * frameBytes, buffer.data() + (r % frames) * frameBytes, frameBytes);
    ringRead.store(r, std::memory_order_release);
}

void COutputRing::Drop() {
    ringRead.store(ringWrite.load(std::memory_order_relaxed), std::memory_order_release);
}

} // namespace hml::audio
