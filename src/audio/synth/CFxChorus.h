// Stereo chorus fed by a mono send bus: two delay lines swept by sine LFOs in quadrature.
#pragma once

#include <cstddef>
#include <vector>

namespace hml::audio::synth {

class CFxChorus {
public:
    explicit CFxChorus(double sampleRate);
    void Clear();
    // Adds the chorused `in` to left/right.
    void Process(const float* in, float* left, float* right, int frames);

private:
    std::vector<float> buf;
    size_t pos = 0;
    double phase = 0, phaseStep = 0;
    double baseDelay = 0, depth = 0;
};

} // namespace hml::audio::synth
