#include "audio/dsp/Reverb.h"

#include "audio/dsp/Float4.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace hml::audio {

namespace {

constexpr float kReferenceRate = 44100.0f;

// Mutually prime comb and allpass lengths at 44.1 kHz; the right channel adds kStereoSpread.
constexpr int kCombLengths[] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr int kAllpassLengths[] = {556, 441, 341, 225};
constexpr int kStereoSpread = 23;

constexpr float kInputGain = 0.015f; // eight combs summed, each near unity loop gain
constexpr float kRoomScale = 0.28f;  // room size 0..1 -> comb feedback 0.7..0.98
constexpr float kRoomOffset = 0.7f;
constexpr float kDampScale = 0.4f;
constexpr float kAllpassFeedback = 0.5f;

// A DC offset far below audibility keeps every state out of the denormal range as tails decay;
// the allpasses pass it on, so the output carries it too (~1e-18).
constexpr float kAntiDenormal = 1e-20f;

int Scaled(int length, float sampleRate) {
    return std::max(1, static_cast<int>(std::lround(length * sampleRate / kReferenceRate)));
}

using namespace float4;

// Calls body(ring stretch, first frame, frames) over the contiguous stretches that `frames`
// samples from `index` on visit, and returns the index after them.
template <typename Body>
int ForStretches(float* ring, int length, int index, int frames, Body body) {
    for (int done = 0; done < frames;) {
        const int count = std::min(frames - done, length - index);
        body(ring + index, done, count);
        done += count;
        index += count;
        if (index == length) {
            index = 0;
        }
    }
    return index;
}

} // namespace

CReverb::CReverb() {
    SetSampleRate(kReferenceRate);
}

void CReverb::SetSampleRate(float rate) {
    sampleRate = rate > 0.0f ? rate : kReferenceRate;
    int total = 0;
    auto place = [&](SDelay& delay, int length) {
        delay.offset = total;
        delay.length = Scaled(length, sampleRate);
        total += delay.length;
    };
    chunk = kChunk;
    for (int c = 0; c < 2; ++c) {
        const int spread = c == 0 ? 0 : kStereoSpread;
        for (int i = 0; i < kCombs; ++i) {
            place(channels[c].combs[i], kCombLengths[i] + spread);
            chunk = std::min(chunk, channels[c].combs[i].length);
        }
        for (int i = 0; i < kAllpasses; ++i) {
            place(channels[c].allpasses[i], kAllpassLengths[i] + spread);
        }
    }
    storage.assign(static_cast<size_t>(total), 0.0f);
    UpdateCoefficients();
    Reset();
}

void CReverb::SetRoomSize(float value) {
    roomSize = std::clamp(value, 0.0f, 1.0f);
    UpdateCoefficients();
}

void CReverb::SetWidth(float value) {
    width = std::clamp(value, 0.0f, 1.0f);
    UpdateCoefficients();
}

void CReverb::SetLevel(float value) {
    level = std::max(0.0f, value);
    UpdateCoefficients();
}

void CReverb::UpdateCoefficients() {
    // The loops keep their length in seconds, so the feedback per loop stays; the damping pole
    // is matched to the rate so its cutoff stays put.
    feedback = roomSize * kRoomScale + kRoomOffset;
    const double pole = damping * kDampScale;
    damp1 = static_cast<float>(std::pow(pole, kReferenceRate / sampleRate));
    damp2 = 1.0f - damp1;
    wet1 = level * (width * 0.5f + 0.5f);
    wet2 = level * (1.0f - width) * 0.5f;
}

void CReverb::ProcessChannel(SChannel& channel, int frames, float* out) {
    const float d1 = damp1;
    const float d2 = damp2;
    const float fb = feedback;
    float* const rings = storage.data();

    // The combs' stretches: the frames split wherever one of the eight rings wraps, so that
    // within a stretch every ring is contiguous. The last walk over them moves the indices on.
    auto forCombStretches = [&](bool advance, auto body) {
        int index[kCombs];
        for (int k = 0; k < kCombs; ++k) {
            index[k] = channel.combs[k].index;
        }
        for (int done = 0; done < frames;) {
            int count = frames - done;
            float* ring[kCombs];
#pragma GCC unroll 8
            for (int k = 0; k < kCombs; ++k) {
                const SDelay& comb = channel.combs[k];
                count = std::min(count, comb.length - index[k]);
                ring[k] = rings + comb.offset + index[k];
            }
            body(ring, done, count);
            done += count;
            for (int k = 0; k < kCombs; ++k) {
                index[k] += count;
                if (index[k] == channel.combs[k].length) {
                    index[k] = 0;
                }
            }
        }
        if (advance) {
            for (int k = 0; k < kCombs; ++k) {
                channel.combs[k].index = index[k];
            }
        }
    };

    // The combs' delayed samples, summed in comb order into out, and the low-pass input kept.
    forCombStretches(false, [&](float* const* ring, int from, int count) {
        float* const sum = out + from;
        int i = 0;
        for (; i + 4 <= count; i += 4) {
            F4 total = {0.0f, 0.0f, 0.0f, 0.0f};
#pragma GCC unroll 8
            for (int k = 0; k < kCombs; ++k) {
                const F4 delayed = Load(ring[k] + i);
                Store(loop[k] + from + i, delayed * d2);
                total += delayed;
            }
            Store(sum + i, total);
        }
        for (; i < count; ++i) {
            float total = 0.0f;
#pragma GCC unroll 8
            for (int k = 0; k < kCombs; ++k) {
                loop[k][from + i] = ring[k][i] * d2;
                total += ring[k][i];
            }
            sum[i] = total;
        }
    });

    // The low-pass recurrences, the only serial part: all eight in one loop, so their latency
    // chains overlap. The loops over the combs are unrolled explicitly: at -O2 GCC keeps them as
    // loops, with the states in memory.
    float store[kCombs];
    std::copy(channel.stores, channel.stores + kCombs, store);
    for (int i = 0; i < frames; ++i) {
#pragma GCC unroll 8
        for (int k = 0; k < kCombs; ++k) {
            store[k] = loop[k][i] + store[k] * d1;
            loop[k][i] = store[k];
        }
    }
    std::copy(store, store + kCombs, channel.stores);

    // Feedback into the rings. A pass is no longer than the shortest comb, so these writes land
    // after every read of the pass.
    forCombStretches(true, [&](float* const* ring, int from, int count) {
        const float* const x = input + from;
        int i = 0;
        for (; i + 4 <= count; i += 4) {
            const F4 in = Load(x + i);
#pragma GCC unroll 8
            for (int k = 0; k < kCombs; ++k) {
                Store(ring[k] + i, in + Load(loop[k] + from + i) * fb);
            }
        }
        for (; i < count; ++i) {
#pragma GCC unroll 8
            for (int k = 0; k < kCombs; ++k) {
                ring[k][i] = x[i] + loop[k][from + i] * fb;
            }
        }
    });

    // The allpasses in series, each over the whole pass in place. A sample written to a ring is
    // read again only a ring length later, so a stretch has no dependence within itself.
    for (SDelay& allpass : channel.allpasses) {
        allpass.index = ForStretches(rings + allpass.offset, allpass.length, allpass.index, frames,
                                     [&](float* ring, int from, int count) {
                                         float* const x = out + from;
                                         int i = 0;
                                         for (; i + 4 <= count; i += 4) {
                                             const F4 delayed = Load(ring + i);
                                             const F4 sum = Load(x + i);
                                             Store(ring + i, sum + delayed * kAllpassFeedback);
                                             Store(x + i, delayed - sum);
                                         }
                                         for (; i < count; ++i) {
                                             const float delayed = ring[i];
                                             ring[i] = x[i] + delayed * kAllpassFeedback;
                                             x[i] = delayed - x[i];
                                         }
                                     });
    }
}

void CReverb::Process(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                      int frames) {
    if (frames <= 0) {
        return;
    }
    // Output gains glide to new settings across the call: a level jump over a loud tail clicks.
    const float step = 1.0f / static_cast<float>(frames);
    const float step1 = (wet1 - appliedWet1) * step;
    const float step2 = (wet2 - appliedWet2) * step;
    float gain1 = appliedWet1;
    float gain2 = appliedWet2;
    for (int done = 0; done < frames;) {
        const int n = std::min(chunk, frames - done);
        // Read before anything is written: the input and output may be the same buffers.
        const float* const l = inLeft + done;
        const float* const r = inRight + done;
        int i = 0;
        for (; i + 4 <= n; i += 4) {
            Store(input + i, (Load(l + i) + Load(r + i)) * kInputGain + kAntiDenormal);
        }
        for (; i < n; ++i) {
            input[i] = (l[i] + r[i]) * kInputGain + kAntiDenormal;
        }

        ProcessChannel(channels[0], n, wet[0]);
        ProcessChannel(channels[1], n, wet[1]);

        const float* const left = wet[0];
        const float* const right = wet[1];
        float* const outL = outLeft + done;
        float* const outR = outRight + done;
        if (step1 == 0.0f && step2 == 0.0f) {
            // Steady gains: adding a zero step changes a gain at most once (-0 to +0), so the
            // first sum is every sample's gain.
            gain1 += step1;
            gain2 += step2;
            i = 0;
            for (; i + 4 <= n; i += 4) {
                const F4 a = Load(left + i);
                const F4 b = Load(right + i);
                Store(outL + i, Load(outL + i) + (a * gain1 + b * gain2));
                Store(outR + i, Load(outR + i) + (b * gain1 + a * gain2));
            }
            for (; i < n; ++i) {
                outL[i] += left[i] * gain1 + right[i] * gain2;
                outR[i] += right[i] * gain1 + left[i] * gain2;
            }
        } else {
            for (i = 0; i < n; ++i) {
                gain1 += step1;
                gain2 += step2;
                outL[i] += left[i] * gain1 + right[i] * gain2;
                outR[i] += right[i] * gain1 + left[i] * gain2;
            }
        }
        done += n;
    }
    appliedWet1 = wet1;
    appliedWet2 = wet2;
}

void CReverb::Reset() {
    appliedWet1 = wet1;
    appliedWet2 = wet2;
    std::fill(storage.begin(), storage.end(), 0.0f);
    for (auto& channel : channels) {
        for (auto& comb : channel.combs) {
            comb.index = 0;
        }
        std::fill(channel.stores, channel.stores + kCombs, 0.0f);
        for (auto& allpass : channel.allpasses) {
            allpass.index = 0;
        }
    }
}

} // namespace hml::audio
