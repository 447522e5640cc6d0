#include "audio/synth/CFxChorus.h"

#include <algorithm>
#include <cmath>

namespace hml::audio::synth {

CFxChorus::CFxChorus(double sampleRate) {
    buf.assign(static_cast<size_t>(sampleRate * 0.05) + 4, 0.0f);
    baseDelay = 0.012 * sampleRate;
    depth = 0.004 * sampleRate;
    phaseStep = 0.4 / sampleRate;
}

void CFxChorus::Clear() {
    std::fill(buf.begin(), buf.end(), 0.0f);
}

void CFxChorus::Process(const float* in, float* left, float* right, int frames) {
    const size_t size = buf.size();
    for (int n = 0; n < frames; ++n) {
        buf[pos] = in[n];
        const double s = std::sin(phase * 6.283185307179586);
        const double c = std::cos(phase * 6.283185307179586);
        float out[2];
        const double lfo[2] = {s, c};
        for (int ch = 0; ch < 2; ++ch) {
            const double d = baseDelay + depth * lfo[ch];
            double rp = static_cast<double>(pos) - d;
            while (rp < 0)
                rp += static_cast<double>(size);
            const size_t i0 = static_cast<size_t>(rp);
            const size_t i1 = (i0 + 1) % size;
            const float fr = static_cast<float>(rp - static_cast<double>(i0));
            out[ch] = buf[i0 % size] + fr * (buf[i1] - buf[i0 % size]);
        }
        left[n] += out[0];
        right[n] += out[1];
        if (++pos == size)
            pos = 0;
        phase += phaseStep;
        if (phase >= 1)
            phase -= 1;
    }
}

} // namespace hml::audio::synth
