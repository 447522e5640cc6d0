#pragma once
// Something an output device plays: it hands over rendered frames on the device's mixing
// thread. Implementations must not allocate or block there.

#include <cstddef>

namespace hml::audio {

class IOutputSource {
public:
    virtual ~IOutputSource() = default;
    // Adds up to `frames` stereo frames (interleaved float, -1..1) into `mix`; returns the frames
    // that were ready. Missing frames are silence (the source fell behind).
    virtual size_t MixInto(float* mix, size_t frames) = 0;
};

} // namespace hml::audio
