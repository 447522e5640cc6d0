// How a live recording lines up with the offline render of the same song.
#include "compare/AudioCompare.h"

#include <algorithm>
#include <cmath>

namespace hml::compare {

std::vector<double> Envelope(const SAudio& a, double seconds) {
    const size_t window = std::max<size_t>(1, static_cast<size_t>(a.rate * seconds));
    std::vector<double> env;
    for (size_t at = 0; at + window <= a.left.size(); at += window) {
        double sum = 0;
        for (size_t i = at; i < at + window; ++i) {
            const double m = 0.5 * (a.left[i] + a.right[i]);
            sum += m * m;
        }
        env.push_back(std::sqrt(sum / static_cast<double>(window)));
    }
    return env;
}

double Correlation(const std::vector<double>& x, const std::vector<double>& y) {
    const size_t n = std::min(x.size(), y.size());
    if (n < 2)
        return 0;
    double mx = 0, my = 0;
    for (size_t i = 0; i < n; ++i) {
        mx += x[i];
        my += y[i];
    }
    mx /= static_cast<double>(n);
    my /= static_cast<double>(n);
    double sxy = 0, sxx = 0, syy = 0;
    for (size_t i = 0; i < n; ++i) {
        sxy += (x[i] - mx) * (y[i] - my);
        sxx += (x[i] - mx) * (x[i] - mx);
        syy += (y[i] - my) * (y[i] - my);
    }
    return sxx > 0 && syy > 0 ? sxy / std::sqrt(sxx * syy) : 0;
}

namespace {

// Correlation of x[i] with y[i + lag] over the indices both have.
double LaggedCorrelation(const std::vector<double>& x, const std::vector<double>& y,
                         long long lag) {
    const long long from = std::max<long long>(0, -lag);
    const long long to = std::min<long long>(static_cast<long long>(x.size()),
                                             static_cast<long long>(y.size()) - lag);
    if (to - from < 2)
        return -1;
    std::vector<double> a(x.begin() + from, x.begin() + to);
    std::vector<double> b(y.begin() + from + lag, y.begin() + to + lag);
    return Correlation(a, b);
}

long long BestLag(const std::vector<double>& x, const std::vector<double>& y, long long from,
                  long long to) {
    long long best = from;
    double bestScore = -2;
    for (long long lag = from; lag <= to; ++lag) {
        const double score = LaggedCorrelation(x, y, lag);
        if (score > bestScore) {
            bestScore = score;
            best = lag;
        }
    }
    return best;
}

double WindowRms(const SAudio& a, size_t from, size_t count) {
    double sum = 0;
    for (size_t i = from; i < from + count; ++i) {
        const double m = 0.5 * (a.left[i] + a.right[i]);
        sum += m * m;
    }
    return std::sqrt(sum / static_cast<double>(count));
}

void Note(SPlaybackReport& report, double seconds) {
    if (report.problemSeconds.size() < 20)
        report.problemSeconds.push_back(seconds);
}

SAudio Slice(const SAudio& a, size_t from, size_t count) {
    SAudio s;
    s.rate = a.rate;
    s.left.assign(a.left.begin() + static_cast<long long>(from),
                  a.left.begin() + static_cast<long long>(from + count));
    s.right.assign(a.right.begin() + static_cast<long long>(from),
                   a.right.begin() + static_cast<long long>(from + count));
    return s;
}

} // namespace

SPlaybackReport ComparePlayback(const SAudio& reference, const SAudio& recording,
                                double maxLeadSeconds) {
    SPlaybackReport report;
    const double rate = reference.rate;
    if (rate <= 0 || recording.rate != rate)
        return report;
    // Coarse alignment on 10 ms envelopes, then to the millisecond, then to the frame.
    const long long coarseRange = static_cast<long long>(maxLeadSeconds * 100);
    const long long coarse =
        BestLag(Envelope(reference, 0.01), Envelope(recording, 0.01), -coarseRange, coarseRange);
    const long long fine = BestLag(Envelope(reference, 0.001), Envelope(recording, 0.001),
                                   coarse * 10 - 20, coarse * 10 + 20);
    const long long msFrames = static_cast<long long>(rate / 1000);
    const long long offset = fine * msFrames;
    report.offsetFrames = offset;

    const size_t refFrom = static_cast<size_t>(std::max<long long>(0, -offset));
    const long long recEnd = static_cast<long long>(recording.left.size()) - offset;
    const size_t refTo = static_cast<size_t>(std::max<long long>(
        0, std::min<long long>(static_cast<long long>(reference.left.size()), recEnd)));
    if (refTo <= refFrom + static_cast<size_t>(rate))
        return report;
    const size_t count = refTo - refFrom;
    const SAudio ref = Slice(reference, refFrom, count);
    const SAudio rec =
        Slice(recording, static_cast<size_t>(static_cast<long long>(refFrom) + offset), count);
    report.comparedSeconds = static_cast<double>(count) / rate;

    // A window sounds from -50 dBFS; it is missing when the recording is 20 dB or more below.
    const size_t window = static_cast<size_t>(rate / 100);
    const double sounding = std::pow(10.0, -50.0 / 20.0);
    for (size_t at = 0; at + window <= count; at += window) {
        const double want = WindowRms(ref, at, window);
        if (want < sounding)
            continue;
        ++report.soundingWindows;
        if (WindowRms(rec, at, window) < want * 0.1) {
            ++report.silentWindows;
            Note(report, (refFrom + at) / rate);
        }
    }
    // Holes: a millisecond or more of exact zeros in both channels where the reference sounds.
    const size_t hole = static_cast<size_t>(msFrames);
    size_t run = 0;
    for (size_t i = 0; i < count; ++i) {
        if (rec.left[i] == 0.0f && rec.right[i] == 0.0f) {
            if (++run == hole) {
                const size_t start = i + 1 - hole;
                const size_t w = std::min(start / window * window, count - window);
                if (WindowRms(ref, w, window) >= sounding) {
                    ++report.holes;
                    Note(report, (refFrom + start) / rate);
                }
            }
        } else {
            run = 0;
        }
    }
    report.correlation = Correlation(Envelope(ref), Envelope(rec));
    report.loudnessDifference = IntegratedLoudness(rec) - IntegratedLoudness(ref);
    return report;
}

} // namespace hml::compare
