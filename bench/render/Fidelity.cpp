// hml_fidelity: how closely two renderings of one piece agree, for the comparison against
// FluidSynth. Prints the integrated loudness of each (ITU-R BS.1770: K-weighting, 400 ms blocks,
// absolute and relative gates), their difference, and the correlation of their 50 ms RMS
// envelopes over the time both cover.
//
// usage: hml_fidelity OURS.wav THEIRS.wav   (16-, 24-bit or float WAV, mono or stereo)
// Output: one line "lufs_ours lufs_theirs difference correlation".
#include "compare/AudioCompare.h"

#include <cstdio>
#include <string>

using namespace hml::compare;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: hml_fidelity OURS.wav THEIRS.wav\n", stderr);
        return 2;
    }
    SAudio ours, theirs;
    std::string why;
    for (int i = 1; i <= 2; ++i) {
        if (!ReadWav(argv[i], i == 1 ? ours : theirs, why)) {
            std::fprintf(stderr, "hml_fidelity: %s: %s\n", argv[i], why.c_str());
            return 1;
        }
    }
    if (ours.rate != theirs.rate) {
        std::fputs("hml_fidelity: the files have different sample rates\n", stderr);
        return 1;
    }
    const double a = IntegratedLoudness(ours), b = IntegratedLoudness(theirs);
    std::printf("%.2f %.2f %+.2f %.3f\n", a, b, a - b,
                Correlation(Envelope(ours), Envelope(theirs)));
    return 0;
}
