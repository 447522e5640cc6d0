#pragma once
// Something an output device plays: it hands over rendered frames on the device's mixing
// thread. Implementations must not allocate or block there.

#include <cstddef>

namespace hml::audio {

class IOutputSource {
public:
    virtual ~IOutputSource() = default;
    // Adds `frames` stereo frames (interleaved float, -1..1) into `mix`; returns the frames given.
    // A source renders here whatever it has not rendered ahead: fewer means it has ended.
    virtual size_t MixInto(float* mix, size_t frames) = 0;
    // The source wants the lowest latency the device can give (a busy MIDI client).
    virtual bool WantsLowLatency() const { return false; }
};

} // namespace hml::audio
