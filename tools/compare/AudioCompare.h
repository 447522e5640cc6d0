// Measures for comparing two recordings of one piece: reading them, their loudness, their
// envelopes, and how a live recording of the synth lines up with an offline render of the same
// song. Used by the benchmarks, the end-to-end playback tests and harmolith-compare.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hml::compare {

struct SAudio {
    double rate = 0;
    std::vector<float> left, right;
};

// Reads a 16-, 24-bit or float WAV file, mono or stereo; false with a reason.
bool ReadWav(const std::string& path, SAudio& out, std::string& why);
// Raw interleaved 16-bit stereo frames, as the audio capture of the tests holds them.
SAudio FromRaw16(const int16_t* frames, size_t count, double rate);

// Integrated loudness in LUFS (ITU-R BS.1770: K-weighting, 400 ms blocks, both gates); -inf for
// silence.
double IntegratedLoudness(const SAudio& a);
// RMS of the mono sum in windows of `seconds`.
std::vector<double> Envelope(const SAudio& a, double seconds = 0.05);
// Pearson correlation over the length both share; 0 when either is constant.
double Correlation(const std::vector<double>& x, const std::vector<double>& y);

struct SPlaybackReport {
    long long offsetFrames = 0;    // where the reference begins in the recording
    size_t soundingWindows = 0;    // 10 ms windows where the reference sounds
    size_t silentWindows = 0;      // ... of which the recording is silent (20 dB or more down)
    size_t holes = 0;              // runs of 1 ms or more of exact zeros where the reference sounds
    double correlation = 0;        // of the 50 ms envelopes over the shared time
    double loudnessDifference = 0; // recording minus reference, LU
    double comparedSeconds = 0;
    std::vector<double> problemSeconds; // reference times of the first silent windows and holes
};

// Lines `recording` up with `reference` (the recording may start up to `maxLeadSeconds` before
// or after) and measures how faithfully it plays it.
SPlaybackReport ComparePlayback(const SAudio& reference, const SAudio& recording,
                                double maxLeadSeconds = 15);

} // namespace hml::compare
