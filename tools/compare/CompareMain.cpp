// harmolith-compare: how faithfully a recording of the live synth plays a song, against the
// offline render of the same song and font.
//
// usage: harmolith-compare REFERENCE.wav RECORDING.wav
// Prints the alignment and the measures; exit status 0 when the recording passes (no silent
// window or hole where the reference sounds, envelope correlation 0.95 or more, loudness within
// 1 dB), 1 when it does not, 2 on bad arguments or unreadable files.
#include "compare/AudioCompare.h"

#include <cmath>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    using namespace hml::compare;
    if (argc != 3) {
        std::fputs("usage: harmolith-compare REFERENCE.wav RECORDING.wav\n", stderr);
        return 2;
    }
    SAudio reference, recording;
    std::string why;
    if (!ReadWav(argv[1], reference, why) || !ReadWav(argv[2], recording, why)) {
        std::fprintf(stderr, "harmolith-compare: %s\n", why.c_str());
        return 2;
    }
    const SPlaybackReport r = ComparePlayback(reference, recording);
    std::printf("compared %.1f s, recording offset %.3f s\n", r.comparedSeconds,
                static_cast<double>(r.offsetFrames) / reference.rate);
    std::printf("silent 10 ms windows where the render sounds: %zu of %zu\n", r.silentWindows,
                r.soundingWindows);
    std::printf("holes of 1 ms or more: %zu\n", r.holes);
    std::printf("50 ms envelope correlation: %.3f\n", r.correlation);
    std::printf("loudness difference: %+.2f LU\n", r.loudnessDifference);
    if (!r.problemSeconds.empty()) {
        std::fputs("first problems at (s):", stdout);
        for (double t : r.problemSeconds) {
            std::printf(" %.3f", t);
        }
        std::puts("");
    }
    const bool pass = r.comparedSeconds > 0 && r.silentWindows == 0 && r.holes == 0 &&
                      r.correlation >= 0.95 && std::fabs(r.loudnessDifference) <= 1.0;
    std::puts(pass ? "PASS" : "FAIL");
    return pass ? 0 : 1;
}
