// Measures how many voices the engine renders per second of CPU: FluidR3 GM piano, linear
// interpolation, no effects, a fixed number of sustained notes, at 48 kHz. With "helper" last,
// the stream renders with its helper thread, as live ports do: then the wall-clock figure counts.
// Usage: hml_voice_bench [font.sf2 or instrument.sfz] [voices] [seconds] [helper]
#include "audio/stream/CMidiStream.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

using namespace hml::audio;

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "/usr/share/sounds/sf2/FluidR3_GM.sf2";
    const int voices = argc > 2 ? std::atoi(argv[2]) : 256;
    const double seconds = argc > 3 ? std::atof(argv[3]) : 10.0;
    EError e;
    auto font = CSoundFont::Open(std::string(path), 0, e);
    if (!font) {
        std::fprintf(stderr, "cannot open %s (error %d)\n", path, static_cast<int>(e));
        return 1;
    }
    font->Load(-1, -1);
    const bool helper = argc > 4 && std::string(argv[4]) == "helper";
    auto stream = CMidiStream::Create(StreamFlags::Decode | StreamFlags::Float | StreamFlags::NoFx |
                                          (helper ? StreamFlags::HelperThread : 0u),
                                      48000, voices + 64, e);
    const SFontMapping mapping{font, -1, 0};
    stream->SetFonts(&mapping, 1);
    std::vector<float> buf(2 * 4800);
    // Sustain pedal down so every note keeps its voice; keys spread over the piano.
    for (int ch = 0; ch < 16; ++ch) {
        if (ch == 9)
            continue;
        stream->SendEvent(ch, EMidiEvent::Program, 0);
        stream->SendEvent(ch, EMidiEvent::Controller, 64 | 127 << 8);
    }
    int started = 0;
    for (int i = 0; started < voices; ++i) {
        const int ch = i % 15 >= 9 ? i % 15 + 1 : i % 15;
        stream->SendEvent(ch, EMidiEvent::Note,
                          static_cast<uint32_t>(30 + (i * 7) % 60) | 100u << 8);
        stream->GetData(buf.data(), 64 * 8);
        started = static_cast<int>(stream->GetActiveVoices());
        if (i > voices * 4)
            break;
    }
    const uint32_t active = stream->GetActiveVoices();
    const std::clock_t c0 = std::clock();
    const auto w0 = std::chrono::steady_clock::now();
    double rendered = 0, voiceSeconds = 0;
    while (rendered < seconds) {
        stream->GetData(buf.data(), buf.size() * 4);
        rendered += 0.1;
        voiceSeconds += 0.1 * stream->GetActiveVoices();
    }
    const double cpu = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
    std::printf("voices at start: %u, at end: %u\n", active, stream->GetActiveVoices());
    std::printf("rendered %.1f s of audio in %.3f s CPU (%.3f s wall)\n", rendered, cpu, wall);
    std::printf(
        "voice throughput: %.0f voices rendered per second of CPU (real-time voices on one core)\n",
        voiceSeconds / cpu);
    std::printf("real-time voices on the wall clock: %.0f%s\n", voiceSeconds / wall,
                helper ? " (with the helper thread)" : "");
    if (helper)
        std::printf("blocks shared with the helper: %lu\n", stream->GetHelperRuns());
    return 0;
}
