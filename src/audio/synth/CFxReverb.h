// Stereo room reverb fed by a mono send bus: parallel damped combs into series all-passes.
// Buffers are sized once at construction; Process never allocates.
#pragma once

#include <cstddef>
#include <vector>

namespace hml::audio::synth {

class CFxReverb {
public:
    explicit CFxReverb(double sampleRate);
    void SetRoom(float size, float damp); // both 0..1
    void Clear();
    // Adds the reverberated `in` to left/right.
    void Process(const float* in, float* left, float* right, int frames);

private:
    struct SComb {
        std::vector<float> buf;
        size_t pos = 0;
        float store = 0;
    };
    struct SAllPass {
        std::vector<float> buf;
        size_t pos = 0;
    };
    SComb combs[2][8];
    SAllPass passes[2][4];
    float feedback = 0.84f, damp = 0.2f;
};

} // namespace hml::audio::synth
