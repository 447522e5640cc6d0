#include "audio/dsp/LowPassFilter.h"

#include <algorithm>
#include <cmath>

namespace hml::audio {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Past this the prewarped cutoff heads for infinity; SoundFont players clamp about here too.
constexpr double kMaxCutoffRatio = 0.45;

// Below this the state is inaudible (< -400 dB); zeroing it keeps decaying tails out of the slow
// denormal range.
constexpr float kFlushThreshold = 1e-20f;

// How often the state is checked for denormal-range values, in samples.
constexpr int kFlushInterval = 64;

// Samples per coefficient update while the parameters glide (a divisor of kFlushInterval).
constexpr int kGlideStep = 8;

// Clears state that has decayed below audibility, or that went non-finite: a non-finite input (or
// an overflow at extreme resonance) must not latch the voice forever.
void Flush(float& s1, float& s2) {
    if (!std::isfinite(s1) || !std::isfinite(s2)) {
        s1 = 0.0f;
        s2 = 0.0f;
    }
    if (std::fabs(s1) < kFlushThreshold) {
        s1 = 0.0f;
    }
    if (std::fabs(s2) < kFlushThreshold) {
        s2 = 0.0f;
    }
}

// The trapezoidal state-variable low-pass with its update solved for the two states:
//     v3 = x - s2,  v1 = a1 s1 + a2 v3,  v2 = s2 + a2 s1 + a3 v3,  s1' = 2 v1 - s1,  s2' = 2 v2 -
//     s2
// is s' = A s + B x with output y = v2 = C s + D x.
struct SStep {
    float a11, a12, a21, a22, b1, b2, c1, c2, d;
    // h scales the input: the pass-band gain.
    SStep(float g, float k, float h, EFilterShape shape) {
        const float a1 = 1.0f / (1.0f + g * (g + k));
        const float a2 = g * a1;
        const float a3 = g * a2;
        a11 = 2.0f * a1 - 1.0f;
        a12 = -2.0f * a2;
        a21 = 2.0f * a2;
        a22 = 1.0f - 2.0f * a3;
        b1 = 2.0f * a2 * h;
        b2 = 2.0f * a3 * h;
        c1 = a2; // the low-pass output, y = v2
        c2 = 1.0f - a3;
        d = a3 * h;
        switch (shape) {
        case EFilterShape::LowPass2:
            break;
        case EFilterShape::HighPass2: // y = x - k v1 - v2
            c1 = -k * a1 - a2;
            c2 = k * a2 - 1.0f + a3;
            d = (1.0f - k * a2 - a3) * h;
            break;
        case EFilterShape::BandPass2: // y = k v1: unity at the centre
            c1 = k * a1;
            c2 = -k * a2;
            d = k * a2 * h;
            break;
        case EFilterShape::LowPass1: {
            // The trapezoidal one-pole in the first state: s' = (1 - 2G) s + 2G x,
            // y = (1 - G) s + G x with G = g / (1 + g); the second state stays 0.
            const float gOne = g / (1.0f + g);
            a11 = 1.0f - 2.0f * gOne;
            a12 = a21 = 0.0f;
            a22 = 0.0f;
            b1 = 2.0f * gOne * h;
            b2 = 0.0f;
            c1 = 1.0f - gOne;
            c2 = 0.0f;
            d = gOne * h;
            break;
        }
        }
    }
};

// Every step's coefficients, as SStep, side by side so that they vectorise.
void FillSteps(SFilterSteps& f, const float* g, const float* k, float h, EFilterShape shape) {
    constexpr int n = SFilterSteps::kMaxSteps;
    if (shape == EFilterShape::LowPass1) {
        for (int s = 0; s < n; ++s) {
            const float gOne = g[s] / (1.0f + g[s]);
            f.a11[s] = 1.0f - 2.0f * gOne;
            f.a12[s] = f.a21[s] = f.a22[s] = 0.0f;
            f.b1[s] = 2.0f * gOne * h;
            f.b2[s] = 0.0f;
            f.c1[s] = 1.0f - gOne;
            f.c2[s] = 0.0f;
            f.d[s] = gOne * h;
        }
        return;
    }
    float a1[n], a2[n], a3[n];
    for (int s = 0; s < n; ++s) {
        a1[s] = 1.0f / (1.0f + g[s] * (g[s] + k[s]));
        a2[s] = g[s] * a1[s];
        a3[s] = g[s] * a2[s];
        f.a11[s] = 2.0f * a1[s] - 1.0f;
        f.a12[s] = -2.0f * a2[s];
        f.a21[s] = 2.0f * a2[s];
        f.a22[s] = 1.0f - 2.0f * a3[s];
        f.b1[s] = 2.0f * a2[s] * h;
        f.b2[s] = 2.0f * a3[s] * h;
    }
    switch (shape) {
    case EFilterShape::HighPass2:
        for (int s = 0; s < n; ++s) {
            f.c1[s] = -k[s] * a1[s] - a2[s];
            f.c2[s] = k[s] * a2[s] - 1.0f + a3[s];
            f.d[s] = (1.0f - k[s] * a2[s] - a3[s]) * h;
        }
        break;
    case EFilterShape::BandPass2:
        for (int s = 0; s < n; ++s) {
            f.c1[s] = k[s] * a1[s];
            f.c2[s] = -k[s] * a2[s];
            f.d[s] = k[s] * a2[s] * h;
        }
        break;
    default:
        for (int s = 0; s < n; ++s) {
            f.c1[s] = a2[s];
            f.c2[s] = 1.0f - a3[s];
            f.d[s] = a3[s] * h;
        }
        break;
    }
}

// One step of the filter at a time, for the few samples that do not fill a block. Speed is bound
// by the chain from one state to the next, so samples go in pairs: s'' = A^2 s + A B x0 + B x1
// takes one multiply and two adds per pair, and both outputs come from s off that chain.
struct SStateSpace : SStep {
    // Two steps at once.
    float p11, p12, p21, p22, q1, q2, e1, e2, f;
    SStateSpace(float g, float k, float h, EFilterShape shape = EFilterShape::LowPass2)
        : SStep(g, k, h, shape) {
        p11 = a11 * a11 + a12 * a21; // A^2
        p12 = a11 * a12 + a12 * a22;
        p21 = a21 * a11 + a22 * a21;
        p22 = a21 * a12 + a22 * a22;
        q1 = a11 * b1 + a12 * b2; // A B
        q2 = a21 * b1 + a22 * b2;
        e1 = c1 * a11 + c2 * a21; // C A
        e2 = c1 * a12 + c2 * a22;
        f = c1 * b1 + c2 * b2; // C B
    }
    // Filters n samples; `in` and `out` may be the same buffer.
    void Run(const float* in, float* out, int n, float& s1, float& s2) const {
        float x1 = s1, x2 = s2;
        int i = 0;
        for (; i + 1 < n; i += 2) {
            const float u0 = in[i], u1 = in[i + 1];
            const float y0 = c1 * x1 + c2 * x2 + d * u0;
            const float y1 = e1 * x1 + e2 * x2 + f * u0 + d * u1;
            const float n1 = (p11 * x1 + (q1 * u0 + b1 * u1)) + p12 * x2;
            const float n2 = (p22 * x2 + (q2 * u0 + b2 * u1)) + p21 * x1;
            x1 = n1;
            x2 = n2;
            out[i] = y0;
            out[i + 1] = y1;
        }
        if (i < n) {
            const float u = in[i];
            const float y = c1 * x1 + c2 * x2 + d * u;
            const float n1 = (a11 * x1 + b1 * u) + a12 * x2;
            const float n2 = (a22 * x2 + b2 * u) + a21 * x1;
            x1 = n1;
            x2 = n2;
            out[i] = y;
        }
        s1 = x1;
        s2 = x2;
    }
};

// The filter unrolled over blocks of eight samples (see SFilterBlock), computed in double so the
// powers of A add no error of their own.
SFilterBlock Unroll(const SStep& m) {
    constexpr int n = SFilterBlock::kSize;
    SFilterBlock f{};
    double p11 = 1, p12 = 0, p21 = 0, p22 = 1; // A^j
    f.h[n] = m.d;
    for (int j = 0; j < n; ++j) {
        const double cp1 = m.c1 * p11 + m.c2 * p21, cp2 = m.c1 * p12 + m.c2 * p22; // C A^j
        f.m1[j] = static_cast<float>(cp1);
        f.m2[j] = static_cast<float>(cp2);
        if (j + 1 < n)
            f.h[n + j + 1] = static_cast<float>(cp1 * m.b1 + cp2 * m.b2);
        f.w1[n - 1 - j] = static_cast<float>(p11 * m.b1 + p12 * m.b2); // A^j B
        f.w2[n - 1 - j] = static_cast<float>(p21 * m.b1 + p22 * m.b2);
        const double q11 = m.a11 * p11 + m.a12 * p21, q12 = m.a11 * p12 + m.a12 * p22;
        const double q21 = m.a21 * p11 + m.a22 * p21, q22 = m.a21 * p12 + m.a22 * p22;
        p11 = q11;
        p12 = q12;
        p21 = q21;
        p22 = q22;
    }
    f.r11 = static_cast<float>(p11);
    f.r12 = static_cast<float>(p12);
    f.r21 = static_cast<float>(p21);
    f.r22 = static_cast<float>(p22);
    return f;
}

double ClampResonance(double qCentibels) {
    return std::clamp(qCentibels, 0.0, static_cast<double>(CLowPassFilter::kMaxResonanceCentibels));
}

double QFromCentibels(double qCentibels) {
    const double peak = std::pow(10.0, ClampResonance(qCentibels) / 200.0);
    return std::sqrt((peak * peak + peak * std::sqrt(peak * peak - 1.0)) * 0.5);
}

} // namespace

void CLowPassFilter::SetParameters(float cutoffHz, float qCentibels, float sampleRate) {
    const double fs = sampleRate > 0.0f ? sampleRate : 44100.0f;
    const double maxCutoff = kMaxCutoffRatio * fs;
    // NaN parameters fall back to an open filter rather than poisoning the state.
    const double cutoff = std::isnan(cutoffHz) ? maxCutoff : cutoffHz;
    const double q = std::isnan(qCentibels) ? 0.0 : qCentibels;

    const bool lowPass = shape == EFilterShape::LowPass2 || shape == EFilterShape::LowPass1;
    targetBypass = lowPass && (shape == EFilterShape::LowPass1 || q < 1.0) &&
                   cutoff >= std::min<double>(kBypassCutoffHz, maxCutoff);
    const double fc = std::clamp<double>(cutoff, kMinCutoffHz, maxCutoff);
    target.g = static_cast<float>(std::tan(kPi * fc / fs));
    // Modulation moves the cutoff every block; the resonance seldom changes.
    if (!resonanceKnown || q != resonanceCentibels) {
        resonanceCentibels = q;
        resonanceKnown = true;
        target.k = static_cast<float>(1.0 / QFromCentibels(q));
        // Half the resonance comes off the pass band, as the reference player does, so a
        // resonant voice is not louder overall than the same voice without resonance.
        const bool resonant = shape == EFilterShape::LowPass2 || shape == EFilterShape::HighPass2;
        target.h = resonant ? static_cast<float>(std::pow(10.0, -ClampResonance(q) / 400.0)) : 1.0f;
    }
    if (!primed) {
        current = target;
        currentBypass = targetBypass;
        primed = true;
        blockReady = false;
    }
}

void CLowPassFilter::Process(float* samples, int frames) {
    Process(samples, samples, frames);
}

void CLowPassFilter::Process(const float* in, float* out, int frames) {
    if (frames <= 0) {
        return;
    }
    if (currentBypass && targetBypass) {
        if (in != out) {
            std::copy(in, in + frames, out);
        }
        return;
    }

    // Off -> on starts from a cleared state (cleared when it went off) and fades the filtered
    // signal in; on -> off glides toward the last coefficients and fades the dry signal in.
    const bool fadeIn = currentBypass;
    const bool fadeOut = targetBypass;
    const SCoefficients from = fadeIn ? target : current;
    const float invFrames = 1.0f / static_cast<float>(frames);
    float g = from.g;
    float k = from.k;
    float s1 = ic1eq;
    float s2 = ic2eq;

    if (!fadeIn && !fadeOut && target.g == from.g && target.k == from.k && target.h == from.h) {
        // Steady parameters, the common case: no coefficient update. Whole blocks of eight go
        // through the unrolled kernel, a last few samples through the plain steps.
        if (!blockReady) {
            block = Unroll(SStep(g, k, from.h, shape));
            blockReady = true;
        }
        const SKernels& kernels = Kernels();
        for (int start = 0; start < frames; start += kFlushInterval) {
            const int n = std::min(frames - start, kFlushInterval);
            const int whole = n - n % SFilterBlock::kSize;
            kernels.filter(block, in + start, out + start, whole, s1, s2);
            if (whole < n)
                SStateSpace(g, k, from.h, shape)
                    .Run(in + start + whole, out + start + whole, n - whole, s1, s2);
            Flush(s1, s2);
        }
        ic1eq = s1;
        ic2eq = s2;
        return;
    }

    // The coefficients move in steps of kGlideStep samples, each step taking the value the
    // glide reaches at its end: the cutoff evenly in pitch, which a linear ramp of g would not.
    // The pass-band gain instead scales the input sample by sample: in steps it would click.
    const float stepShare = static_cast<float>(kGlideStep) * invFrames;
    // A 64-frame block glides in eight steps: the eighth root by square roots is cheaper than
    // pow.
    const float ratio = target.g / from.g;
    const float gStep = frames == 8 * kGlideStep ? std::sqrt(std::sqrt(std::sqrt(ratio)))
                                                 : std::pow(ratio, stepShare);
    const float kStep = (target.k - from.k) * stepShare;
    const float hSlope = (target.h - from.h) * invFrames;
    auto advanceTo = [&](int end) {
        if (end == frames) {
            g = target.g; // exact at the end, whatever the rounding on the way
            k = target.k;
        } else {
            g *= gStep;
            k += kStep;
        }
    };
    const SKernels& kernels = Kernels();
    // A steady pass-band gain goes into the coefficients instead.
    const bool gainInSteps = hSlope == 0.0f && !fadeIn && !fadeOut;
    for (int chunk = 0; chunk < frames; chunk += kFlushInterval) {
        const int n = std::min(frames - chunk, kFlushInterval);
        float scaled[kFlushInterval];
        const float* x = in + chunk;
        if (!gainInSteps) {
            for (int i = 0; i < n; ++i)
                scaled[i] = x[i] * (from.h + hSlope * static_cast<float>(chunk + i + 1));
            x = scaled;
        }
        if (!fadeIn && !fadeOut) {
            // Whole steps go through the stepped kernel together, a last few samples alone.
            static_assert(kFlushInterval / kGlideStep <= SFilterSteps::kMaxSteps);
            float gs[SFilterSteps::kMaxSteps] = {}, ks[SFilterSteps::kMaxSteps] = {};
            const int whole = n / kGlideStep;
            for (int step = 0; step < whole; ++step) {
                advanceTo(chunk + (step + 1) * kGlideStep);
                gs[step] = g;
                ks[step] = k;
            }
            const float h = gainInSteps ? from.h : 1.0f;
            SFilterSteps steps;
            FillSteps(steps, gs, ks, h, shape);
            kernels.filterSteps(steps, whole, x, out + chunk, s1, s2);
            const int done = whole * kGlideStep;
            if (done < n) {
                advanceTo(chunk + n);
                SStateSpace(g, k, h, shape).Run(x + done, out + chunk + done, n - done, s1, s2);
            }
        } else {
            for (int start = 0; start < n; start += kGlideStep) {
                const int end = std::min(n, start + kGlideStep);
                advanceTo(chunk + end);
                float wetPart[kGlideStep];
                SStateSpace(g, k, 1.0f, shape).Run(x + start, wetPart, end - start, s1, s2);
                for (int i = start; i < end; ++i) {
                    const int at = chunk + i;
                    const float wet = static_cast<float>(at + 1) * invFrames;
                    const float mix = fadeIn ? wet : 1.0f - wet;
                    out[at] = in[at] + mix * (wetPart[i - start] - in[at]);
                }
            }
        }
        Flush(s1, s2);
    }

    ic1eq = s1;
    ic2eq = s2;
    current = target;
    currentBypass = targetBypass;
    blockReady = false;
    if (currentBypass) {
        ic1eq = 0.0f;
        ic2eq = 0.0f;
    }
}

void CLowPassFilter::Reset() {
    ic1eq = 0.0f;
    ic2eq = 0.0f;
    primed = false;
    blockReady = false;
}

} // namespace hml::audio
