// hml_render_list: renders MIDI files through a SoundFont list like the synthesizer's own, one
// entry per line: "PRESET BANK PATH" (preset -1 for all of a font). For measuring fonts made of
// many single-instrument files (SFZ) against the font they came from.
//
// usage: hml_render_list LIST.txt OUT_DIR FILE.mid...   (48 kHz 16-bit WAV, named after each input)
#include "audio/sf2/CSoundFont.h"
#include "base/Utf8.h"
#include "converter/RenderCore.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

using namespace hml;
namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fputs("usage: hml_render_list LIST.txt OUT_DIR FILE.mid...\n", stderr);
        return 2;
    }
    converter::SRenderOptions options;
    options.voices = 256;
    std::ifstream list(argv[1]);
    std::string line;
    while (std::getline(list, line)) {
        std::istringstream in(line);
        int preset = 0, bank = 0;
        std::string path;
        if (!(in >> preset >> bank) || !std::getline(in >> std::ws, path) || path.empty())
            continue;
        audio::EError e = audio::EError::Ok;
        std::string why;
        audio::PSoundFont font = audio::CSoundFont::Open(base::PathFromUtf8(path), 0, e);
        if (!font) {
            std::fprintf(stderr, "hml_render_list: %s: cannot load (error %d)\n", path.c_str(),
                         static_cast<int>(e));
            return 1;
        }
        options.fonts.push_back({font, preset, bank});
    }
    std::atomic<bool> cancel{false};
    int failed = 0;
    for (int i = 3; i < argc; ++i) {
        const fs::path input = base::PathFromUtf8(argv[i]);
        const fs::path output =
            base::PathFromUtf8(argv[2]) / input.filename().replace_extension(".wav");
        const converter::SRenderResult r =
            converter::RenderFile(input, output, options, nullptr, cancel);
        if (r.status != converter::ERenderStatus::Completed) {
            std::fprintf(stderr, "hml_render_list: %s: %s\n", argv[i], r.message.c_str());
            ++failed;
        }
    }
    return failed != 0 ? 1 : 0;
}
