#pragma once

#include <vector>

namespace hml::audio {

// Stereo send reverb: the Schroeder/Moorer design popularised as Freeverb. Eight parallel
// feedback combs per channel with a one-pole low-pass in each loop (high frequencies die first)
// feed four series allpasses; the right channel's delays are slightly longer, which decorrelates
// the two sides. Delays are defined at 44.1 kHz and scaled to the sample rate, and the damping
// pole is matched, so the sound does not depend on the rate.
//
// Defaults are a medium hall: about 1.8 s to decay by 60 dB.
class CReverb {
public:
    CReverb();

    // Allocates the delay lines (not real-time safe) and clears the tail.
    void SetSampleRate(float sampleRate);

    // 0..1: the decay time, from a small room (~0.5 s) through a hall (0.7: ~1.8 s) to ~10 s.
    void SetRoomSize(float roomSize);
    // 0..1: 0 gives a mono reverb, 1 the widest stereo.
    void SetWidth(float width);
    // Linear gain of the wet output.
    void SetLevel(float level);

    // Adds the reverb of the input (its channels summed) into the output buffers; level and
    // width changes glide across the call. Allocates nothing; the input and output may be the
    // same buffers.
    void Process(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                 int frames);

    void Reset();

    static constexpr float kDefaultRoomSize = 0.7f;
    static constexpr float kDefaultDamping = 0.4f;
    static constexpr float kDefaultWidth = 1.0f;
    static constexpr float kDefaultLevel = 1.0f;

private:
    static constexpr int kCombs = 8;
    static constexpr int kAllpasses = 4;
    // Frames worked through stage by stage (comb reads, the combs' low-pass chains side by side,
    // comb writes, each allpass in turn), so states stay in registers and the rest runs in lanes.
    static constexpr int kChunk = 64;

    // A ring of `length` floats at `offset` in the shared storage.
    struct SDelay {
        int offset = 0;
        int length = 1;
        int index = 0;
    };

    struct SChannel {
        SDelay combs[kCombs];
        float stores[kCombs] = {}; // the comb loops' low-pass states
        SDelay allpasses[kAllpasses];
    };

    void UpdateCoefficients();
    void ProcessChannel(SChannel& channel, int frames, float* out);

    float sampleRate = 44100.0f;
    float roomSize = kDefaultRoomSize;
    float damping = kDefaultDamping;
    float width = kDefaultWidth;
    float level = kDefaultLevel;

    float feedback = 0.0f;
    float damp1 = 0.0f; // low-pass pole in the comb loops
    float damp2 = 1.0f;
    float wet1 = 0.0f; // own-side and cross-side output gains
    float wet2 = 0.0f;
    float appliedWet1 = 0.0f; // the gains reached by the last Process()
    float appliedWet2 = 0.0f;

    // Frames per stage pass: kChunk, or less when a comb is shorter (a comb must not read a
    // sample that the same pass writes).
    int chunk = kChunk;

    SChannel channels[2];
    std::vector<float> storage; // every delay line, one after another

    // Per-pass scratch: the input, each comb's loop signal, each channel's wet output.
    float input[kChunk];
    float loop[kCombs][kChunk];
    float wet[2][kChunk];
};

} // namespace hml::audio
