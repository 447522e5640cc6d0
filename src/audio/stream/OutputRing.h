// A playing stream's output: the conversion of the float mix into the sample format its flags
// ask for, and the ring of converted frames between the render-ahead thread and the device.
// One writer at a time and one reader; the stream serialises them (its render lock).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace hml::audio {

// Bytes of one output frame for the stream flags (mono or stereo; 8, 16-bit or float).
uint32_t BytesPerFrame(uint32_t streamFlags);

// Writes `frames` frames of the two float channels in the flags' format: clamped and rounded
// for integer samples, the average of the two for mono.
void ConvertFrames(uint32_t streamFlags, const float* left, const float* right, int frames,
                   uint8_t* out);

class COutputRing {
public:
    COutputRing() = default;
    // Room for `frames` frames of `bytesPerFrame` bytes; 0 frames makes an unused ring.
    void Allocate(uint64_t frames, uint32_t bytesPerFrame);
    bool Empty() const { return buffer.empty(); }
    uint64_t Capacity() const { return frames; }

    uint64_t Buffered() const {
        return ringWrite.load(std::memory_order_acquire) - ringRead.load(std::memory_order_acquire);
    }
    // Appends converted frames.
    void Write(const uint8_t* data, uint64_t count);
    // Takes `count` frames (at most Buffered()).
    void Read(uint8_t* out, uint64_t count);
    // Forgets what is buffered.
    void Drop();

private:
    std::vector<uint8_t> buffer;
    uint64_t frames = 0;
    uint32_t frameBytes = 4;
    std::atomic<uint64_t> ringWrite{0}, ringRead{0};
};

} // namespace hml::audio
