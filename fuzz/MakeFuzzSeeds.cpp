// Writes the seed corpora of the audio fuzzers: a few SoundFonts from the test writer and a
// few raw MIDI streams, SFZ texts and WAV files.
// Usage: MakeFuzzSeeds <sf2-dir> <midi-dir> <sfz-dir> <wav-dir>
#include "support/CSf2Writer.h"
#include "support/WavFile.h"

#include <filesystem>
#include <fstream>
#include <vector>

using hml::test::CSf2Writer;
using hml::test::Gen;
using hml::test::Range;

namespace {

void Save(const std::filesystem::path& p, const std::vector<uint8_t>& b) {
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5)
        return 2;
    const std::filesystem::path sf2(argv[1]), midi(argv[2]), sfz(argv[3]), wav(argv[4]);
    for (const auto& dir : {sf2, midi, sfz, wav})
        std::filesystem::create_directories(dir);

    CSf2Writer plain;
    const int s = plain.AddSample("sine", CSf2Writer::Sine(0.01, 600), 44100, 60, 100, 500);
    const int i = plain.AddInstrument("i", {}, {{{Gen(54, 1)}, {}, s}});
    plain.AddPreset("p", 0, 0, {}, {{{}, {}, i}});
    Save(sf2 / "plain.sf2", plain.Build());

    CSf2Writer rich;
    rich.SetInfo("Rich", "(c)", "comment");
    const int a = rich.AddSample("l", CSf2Writer::Sine(0.02, 300), 22050, 60, 10, 290, -5, 4, 1);
    const int b = rich.AddSample("r", CSf2Writer::Saw(20, 300), 22050, 60, 10, 290, 5, 2, 0);
    rich.SetLowBytes(a, std::vector<uint8_t>(300, 0x40));
    const int ia = rich.AddInstrument(
        "stereo", {{Gen(34, -1200), Gen(8, 6000), Gen(9, 100)}, {{0x0081, 8, 2000, 0, 0}}, -1},
        {{{Range(43, 0, 63), Gen(17, -500), Gen(57, 2), Gen(0, 5)}, {}, a},
         {{Range(43, 0, 127), Range(44, 10, 127), Gen(17, 500), Gen(54, 3)}, {}, b}});
    rich.AddPreset("stereo", 0, 0, {{Gen(48, 30)}, {{0x0502, 48, 480, 0, 0}}, -1}, {{{}, {}, ia}});
    rich.AddPreset("kit", 0, 128, {}, {{{Range(43, 35, 81)}, {}, ia}});
    Save(sf2 / "rich.sf2", rich.Build());

    Save(midi / "notes.mid", {0x90, 60,   100,  64, 100,  0xFD, 0x80, 60,   0,  0xB0, 64,
                              127,  0xFD, 0xE0, 0,  0x40, 0xC9, 0,    0x99, 36, 100});
    Save(midi / "sysex.mid",
         {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7, 0xFD, 0xF0, 0x43,
          0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7, 0xFD, 0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00,
          0x40, 0xF7, 0xB0, 101,  0,    100,  0,    6,    12,   0x90, 60,   1});

    using namespace hml::test;
    WriteFile(sfz / "headers.sfz",
              std::string("<control> default_path=s\\ note_offset=1 octave_offset=-1\n"
                          "#define $K 60\n<global> volume=-3 ampeg_release=0.2\n"
                          "<master> pan=20 /* block */ <group> lovel=1 hivel=90 seq_length=2\n"
                          "<region> sample=a b.wav key=$K seq_position=1 // comment\n"
                          "<region> sample=c.wav lokey=c#3 hikey=eb5 pitch_keycenter=sample\n"
                          "#include \"inc.sfz\"\n"));
    WriteFile(sfz / "rules.sfz",
              std::string("<region> sample=x.wav trigger=release group=2 off_by=3 off_mode=normal "
                          "lorand=0.2 hirand=0.6 locc64=64 sw_lokey=24 sw_hikey=30 sw_last=25 "
                          "polyphony=2 note_polyphony=1 loop_mode=one_shot cutoff=500 "
                          "resonance=6 fil_keytrack=50 fil_veltrack=1200 fileg_depth=1200 "
                          "fileg_attack=0.1 pitcheg_depth=100 amplfo_depth=3 amplfo_freq=5 "
                          "pitchlfo_depth=20 pitchlfo_freq=6 effect1=40 effect2=10 "
                          "amp_keytrack=1 amp_veltrack=50 offset=10 end=50 loop_start=8 "
                          "loop_end=40 tune=-20 transpose=2 lochan=1 hichan=4\n")
                  .append(1, '\0')
                  .append("<group> hikey=70 <region> sample=inc.wav\n"));
    const auto sine = SineWave(441, 44100, 64);
    WriteFile(wav / "pcm16.wav", MakeWav(sine, 1, 44100, EWavFormat::Pcm16, SWavLoop{8, 40}, 69));
    WriteFile(wav / "pcm24.wav", MakeWav(sine, 2, 48000, EWavFormat::Pcm24));
    WriteFile(wav / "pcm8.wav", MakeWav(sine, 1, 8000, EWavFormat::Pcm8));
    WriteFile(wav / "float.wav", MakeWav(sine, 2, 96000, EWavFormat::Float32, SWavLoop{0, 31}));
    return 0;
}
