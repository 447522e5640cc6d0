// Reading recordings, and their loudness.
#include "compare/AudioCompare.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace hml::compare {

namespace {

uint32_t Le(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

} // namespace

bool ReadWav(const std::string& path, SAudio& out, std::string& why) {
    std::ifstream f(path, std::ios::binary);
    const std::vector<uint8_t> d{std::istreambuf_iterator<char>(f),
                                 std::istreambuf_iterator<char>()};
    if (d.size() < 12 || std::memcmp(d.data(), "RIFF", 4) != 0 ||
        std::memcmp(d.data() + 8, "WAVE", 4) != 0) {
        why = "not a WAV file";
        return false;
    }
    int channels = 0, bits = 0, tag = 0;
    for (size_t at = 12; at + 8 <= d.size();) {
        const uint32_t size = Le(&d[at + 4], 4);
        const size_t body = at + 8;
        const size_t avail = std::min<size_t>(size, d.size() - body); // streamed sizes overrun
        if (std::memcmp(&d[at], "fmt ", 4) == 0 && avail >= 16) {
            tag = static_cast<int>(Le(&d[body], 2));
            channels = static_cast<int>(Le(&d[body + 2], 2));
            out.rate = Le(&d[body + 4], 4);
            bits = static_cast<int>(Le(&d[body + 14], 2));
            if (tag == 0xFFFE && avail >= 26)
                tag = static_cast<int>(Le(&d[body + 24], 2));
        } else if (std::memcmp(&d[at], "data", 4) == 0) {
            const bool isFloat = tag == 3 && bits == 32;
            if ((tag != 1 && !isFloat) || (bits != 16 && bits != 24 && bits != 32) ||
                channels < 1 || channels > 2 || out.rate <= 0) {
                why = "unsupported format";
                return false;
            }
            const int bytes = bits / 8;
            const size_t frames = avail / static_cast<size_t>(bytes * channels);
            out.left.resize(frames);
            out.right.resize(frames);
            for (size_t i = 0; i < frames; ++i) {
                for (int c = 0; c < channels; ++c) {
                    const uint8_t* p = &d[body + (i * channels + c) * bytes];
                    float v;
                    if (isFloat) {
                        std::memcpy(&v, p, 4);
                    } else {
                        const uint32_t raw = Le(p, bytes) << (32 - bits);
                        v = static_cast<float>(static_cast<int32_t>(raw) / 2147483648.0);
                    }
                    (c == 0 ? out.left : out.right)[i] = v;
                }
                if (channels == 1)
                    out.right[i] = out.left[i];
            }
            return true;
        }
        at = body + size + (size & 1);
    }
    why = "no audio data";
    return false;
}

SAudio FromRaw16(const int16_t* frames, size_t count, double rate) {
    SAudio a;
    a.rate = rate;
    a.left.resize(count);
    a.right.resize(count);
    for (size_t i = 0; i < count; ++i) {
        a.left[i] = static_cast<float>(frames[2 * i] / 32768.0);
        a.right[i] = static_cast<float>(frames[2 * i + 1] / 32768.0);
    }
    return a;
}

namespace {

constexpr double kPi = 3.14159265358979323846;

// A biquad in direct form I; double precision because the high-pass sits near DC.
struct SBiquad {
    double b0, b1, b2, a1, a2;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    double Run(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// The K-weighting of BS.1770 at any rate: the head's high shelf, then the RLB high-pass.
void KWeighting(double rate, SBiquad& shelf, SBiquad& highPass) {
    {
        const double f0 = 1681.974450955533, gainDb = 3.999843853973347, q = 0.7071752369554196;
        const double k = std::tan(kPi * f0 / rate);
        const double vh = std::pow(10.0, gainDb / 20.0);
        const double vb = std::pow(vh, 0.4996667741545416);
        const double a0 = 1.0 + k / q + k * k;
        shelf = {(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0,
                 (vh - vb * k / q + k * k) / a0, 2.0 * (k * k - 1.0) / a0,
                 (1.0 - k / q + k * k) / a0};
    }
    {
        const double f0 = 38.13547087602444, q = 0.5003270373238773;
        const double k = std::tan(kPi * f0 / rate);
        const double a0 = 1.0 + k / q + k * k;
        highPass = {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
    }
}

} // namespace

double IntegratedLoudness(const SAudio& a) {
    SBiquad shelfL, hpL, shelfR, hpR;
    KWeighting(a.rate, shelfL, hpL);
    shelfR = shelfL;
    hpR = hpL;
    // Energy per 100 ms step; a 400 ms block is four consecutive steps.
    const size_t step = static_cast<size_t>(a.rate / 10.0);
    std::vector<double> steps;
    double acc = 0;
    for (size_t i = 0; i < a.left.size(); ++i) {
        const double l = hpL.Run(shelfL.Run(a.left[i]));
        const double r = hpR.Run(shelfR.Run(a.right[i]));
        acc += l * l + r * r;
        if ((i + 1) % step == 0) {
            steps.push_back(acc);
            acc = 0;
        }
    }
    std::vector<double> blocks; // mean square per block, channels summed
    for (size_t i = 3; i < steps.size(); ++i)
        blocks.push_back((steps[i - 3] + steps[i - 2] + steps[i - 1] + steps[i]) /
                         (4.0 * static_cast<double>(step)));
    const auto loudness = [](double power) { return -0.691 + 10.0 * std::log10(power); };
    const auto gatedMean = [&](double gateLufs) {
        double sum = 0;
        size_t n = 0;
        for (double z : blocks)
            if (z > 0 && loudness(z) > gateLufs) {
                sum += z;
                ++n;
            }
        return n == 0 ? 0.0 : sum / static_cast<double>(n);
    };
    const double absolute = gatedMean(-70.0);
    if (absolute <= 0)
        return -INFINITY;
    const double relative = gatedMean(loudness(absolute) - 10.0);
    return relative <= 0 ? -INFINITY : loudness(relative);
}

} // namespace hml::compare
