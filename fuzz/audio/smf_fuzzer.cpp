// Fuzzes the Standard MIDI File reader and the file player: any input either loads or fails
// with FileForm; a loaded file plays its first moments through a small font. Creates and seeds
// its corpus directory when the command line names one that does not exist yet.
#include "audio/midifile/CMidiFile.h"
#include "audio/midifile/CMidiFilePlayer.h"
#include "support/CSf2Writer.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace hml::audio;

namespace {

std::shared_ptr<CSoundFont> Font() {
    static std::shared_ptr<CSoundFont> font = [] {
        hml::test::CSf2Writer w;
        const int s =
            w.AddSample("s", hml::test::CSf2Writer::Sine(0.02, 2000), 22050, 60, 100, 1900);
        const int i = w.AddInstrument("i", {}, {{{hml::test::Gen(54, 1)}, {}, s}});
        w.AddPreset("melodic", 0, 0, {}, {{{}, {}, i}});
        w.AddPreset("drums", 0, 128, {}, {{{}, {}, i}});
        EError e;
        return CSoundFont::OpenMemory(w.Build(), 0, e);
    }();
    return font;
}

std::vector<uint8_t> Track(std::vector<uint8_t> body) {
    std::vector<uint8_t> t = {'M', 'T', 'r', 'k', 0, 0, 0, 0};
    const size_t n = body.size();
    t[4] = uint8_t(n >> 24), t[5] = uint8_t(n >> 16), t[6] = uint8_t(n >> 8), t[7] = uint8_t(n);
    t.insert(t.end(), body.begin(), body.end());
    return t;
}

std::vector<uint8_t> Smf(uint8_t format, std::vector<std::vector<uint8_t>> tracks) {
    std::vector<uint8_t> f = {'M',  'T', 'h', 'd', 0, 0, 0, 6, 0, format, 0, uint8_t(tracks.size()),
                              0x01, 0xE0};
    for (auto& t : tracks) {
        const std::vector<uint8_t> c = Track(t);
        f.insert(f.end(), c.begin(), c.end());
    }
    return f;
}

void Seed(const std::filesystem::path& dir) {
    const std::vector<std::vector<uint8_t>> seeds = {
        Smf(0, {{0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xC0, 0x05, 0x00, 0x90, 0x3C,
                 0x64, 0x60, 0x40, 0x00, 0x83, 0x60, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00}}),
        Smf(1, {{0x00, 0xFF, 0x03, 0x02, 'h', 'i', 0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7,
                 0x00, 0xFF, 0x2F, 0x00},
                {0x00, 0xB9, 0x07, 0x64, 0x10, 0x99, 0x24, 0x50, 0x10, 0x24, 0x00, 0x00, 0xF0,
                 0x03, 0x43, 0x10, 0x4C, 0x00, 0xF7, 0x05, 0x00, 0x00, 0x7E, 0x00, 0xF7}}),
        Smf(2, {{0x00, 0x90, 0x40, 0x40, 0x30, 0x80, 0x40, 0x00}, {0x00, 0xE0, 0x00, 0x50}}),
    };
    std::filesystem::create_directories(dir);
    for (size_t i = 0; i < seeds.size(); ++i) {
        std::ofstream f(dir / ("seed" + std::to_string(i) + ".mid"), std::ios::binary);
        f.write(reinterpret_cast<const char*>(seeds[i].data()),
                static_cast<std::streamsize>(seeds[i].size()));
    }
}

} // namespace

// libFuzzer refuses corpus directories that do not exist; the build seeds only the others.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    for (int i = 1; i < *argc; ++i) {
        const char* arg = (*argv)[i];
        std::error_code ec;
        if (arg[0] != '-' && !std::filesystem::exists(arg, ec))
            Seed(arg);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint32_t flags = StreamFlags::Decode | StreamFlags::Float | StreamFlags::DecayEnd;
    EError e = EError::Ok;
    std::string why;
    auto file = CMidiFile::Parse(data, size, flags, 22050, e, &why);
    if (!file) {
        if (e != EError::FileForm || why.empty())
            std::abort();
        return 0;
    }
    file->SkipInitialSilence();
    auto stream = CMidiStream::Create(flags, 22050, 32, e);
    const SFontMapping mapping{Font(), -1, 0};
    stream->SetFonts(&mapping, 1);
    CMidiFilePlayer player(*file, *stream);
    float buf[2 * 512];
    for (int i = 0; i < 20 && player.GetData(buf, sizeof buf) > 0; ++i) {
    }
    return 0;
}
