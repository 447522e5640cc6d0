// Decodes sample files (WAV, FLAC, Ogg Vorbis) the way instruments load them and prints the CPU
// time per file: the best of five decodes, each of the whole file from memory.
// usage: hml_decode_bench FILE...
#include "audio/decode/DecodedAudio.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: hml_decode_bench FILE...\n");
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        double best = 1e30;
        size_t frames = 0;
        for (int run = 0; run < 5; ++run) {
            hml::audio::decode::SDecodedAudio audio;
            std::string error;
            const std::clock_t t0 = std::clock();
            if (!hml::audio::decode::DecodeAudio(bytes.data(), bytes.size(), audio, error)) {
                std::fprintf(stderr, "%s: %s\n", argv[i], error.c_str());
                return 1;
            }
            const double s = static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC;
            best = s < best ? s : best;
            frames = audio.Frames();
        }
        std::printf("%s %zu frames %.4f s\n", argv[i], frames, best);
    }
    return 0;
}
