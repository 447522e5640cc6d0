#include "support/Signal.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace hml::test {

using namespace audio;

size_t SStereo::At(double sec) const {
    return std::min(l.size(), static_cast<size_t>(std::max(0.0, sec) * rate));
}

std::unique_ptr<CMidiStream> MakeStream(const std::vector<SFontMapping>& fonts, uint32_t extraFlags,
                                        uint32_t rate, int voices) {
    EError e = EError::Ok;
    auto s =
        CMidiStream::Create(StreamFlags::Decode | StreamFlags::Float | extraFlags, rate, voices, e);
    if (s && !fonts.empty())
        s->SetFonts(fonts.data(), fonts.size());
    return s;
}

void Render(CMidiStream& s, double seconds, SStereo& out) {
    out.rate = s.Rate();
    const size_t frames = static_cast<size_t>(std::lround(seconds * s.Rate()));
    std::vector<float> buf(2 * 1024);
    size_t done = 0;
    while (done < frames) {
        const size_t n = std::min<size_t>(1024, frames - done);
        const int64_t got = s.GetData(buf.data(), n * 8);
        if (got <= 0)
            break;
        for (size_t i = 0; i < static_cast<size_t>(got) / 8; ++i) {
            out.l.push_back(buf[2 * i]);
            out.r.push_back(buf[2 * i + 1]);
        }
        done += static_cast<size_t>(got) / 8;
    }
}

void Send(CMidiStream& s, std::initializer_list<uint8_t> bytes) {
    std::vector<uint8_t> v(bytes);
    s.SendMidi(v.data(), v.size());
}

double Rms(const std::vector<float>& x, size_t from, size_t to) {
    to = std::min(to, x.size());
    if (to <= from)
        return 0;
    double sum = 0;
    for (size_t i = from; i < to; ++i)
        sum += static_cast<double>(x[i]) * x[i];
    return std::sqrt(sum / static_cast<double>(to - from));
}

double Peak(const std::vector<float>& x, size_t from, size_t to) {
    double p = 0;
    for (size_t i = from; i < std::min(to, x.size()); ++i)
        p = std::max(p, static_cast<double>(std::fabs(x[i])));
    return p;
}

double Db(double linear) {
    return 20.0 * std::log10(std::max(linear, 1e-12));
}

double ZeroCrossFrequency(const std::vector<float>& x, size_t from, size_t to, double rate) {
    to = std::min(to, x.size());
    double first = -1, last = -1;
    int count = 0;
    for (size_t i = from + 1; i < to; ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            const double t = static_cast<double>(i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (first < 0)
                first = t;
            else
                ++count;
            last = t;
        }
    }
    if (count == 0)
        return 0;
    return count * rate / (last - first);
}

double ToneAmplitude(const std::vector<float>& x, size_t from, size_t to, double freq,
                     double rate) {
    to = std::min(to, x.size());
    const size_t n = to > from ? to - from : 0;
    if (n < 2)
        return 0;
    std::complex<double> acc = 0;
    double wsum = 0;
    const double pi = 3.14159265358979323846;
    for (size_t i = 0; i < n; ++i) {
        const double w =
            0.5 - 0.5 * std::cos(2 * pi * static_cast<double>(i) / static_cast<double>(n - 1));
        acc += w * x[from + i] * std::polar(1.0, -2 * pi * freq * static_cast<double>(i) / rate);
        wsum += w;
    }
    return 2.0 * std::abs(acc) / wsum;
}

void Fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double ang = -2 * 3.14159265358979323846 / static_cast<double>(len);
        const std::complex<double> wl(std::cos(ang), std::sin(ang));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1);
            for (size_t j = 0; j < len / 2; ++j) {
                const auto u = a[i + j], v = a[i + j + len / 2] * w;
                a[i + j] = u + v;
                a[i + j + len / 2] = u - v;
                w *= wl;
            }
        }
    }
}

std::vector<double> PowerDensity(const std::vector<float>& x, size_t from, size_t to, size_t size) {
    std::vector<double> p(size / 2, 0.0);
    to = std::min(to, x.size());
    int frames = 0;
    std::vector<std::complex<double>> buf(size);
    for (size_t at = from; at + size <= to; at += size / 2) {
        for (size_t i = 0; i < size; ++i) {
            const double w =
                0.5 - 0.5 * std::cos(2 * 3.14159265358979323846 * static_cast<double>(i) /
                                     static_cast<double>(size));
            buf[i] = w * x[at + i];
        }
        Fft(buf);
        for (size_t i = 0; i < size / 2; ++i)
            p[i] += std::norm(buf[i]);
        ++frames;
    }
    for (double& v : p)
        v /= std::max(frames, 1);
    return p;
}

double MaxStep(const std::vector<float>& x, size_t from, size_t to) {
    double m = 0;
    for (size_t i = from + 1; i < std::min(to, x.size()); ++i)
        m = std::max(m, static_cast<double>(std::fabs(x[i] - x[i - 1])));
    return m;
}

} // namespace hml::test
