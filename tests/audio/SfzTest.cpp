// SFZ instruments: the parser (headers and inheritance, comments, #define, #include and its
// cycles, default_path, backslashes, note names, unknown opcodes), hostile text, the mapping of
// regions into zones and samples, the list semantics of an instrument, and the region rules
// (round robins, key switches, release triggers, groups, channel and controller ranges) heard
// through a stream.
#include "audio/sf2/CSoundFont.h"
#include "audio/sfz/SfzInstrument.h"
#include "audio/sfz/SfzParser.h"
#include "support/SharedMaterial.h"
#include "support/Signal.h"
#include "support/TestPaths.h"
#include "support/WavFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>

using namespace hml::audio;
using namespace hml::audio::sfz;
using namespace hml::test;
namespace fs = std::filesystem;

namespace {

class SfzParserTest : public ::testing::Test {
protected:
    std::map<fs::path, std::string> files;

    bool Parse(const std::string& text, SParsed& out, std::string& error) {
        files[fs::path("/inst/main.sfz")] = text;
        CSfzParser parser([this](const fs::path& p) -> std::optional<std::string> {
            for (const auto& [name, body] : files)
                if (name.lexically_normal() == p.lexically_normal())
                    return body;
            return std::nullopt;
        });
        return parser.Parse("/inst/main.sfz", out, error);
    }
    static std::string Get(const SRegion& r, const char* name) {
        const std::string* v = r.Find(name);
        return v ? *v : "<none>";
    }
};

TEST_F(SfzParserTest, InheritsThroughHeadersAndReadsValuesWithSpaces) {
    SParsed p;
    std::string error;
    ASSERT_TRUE(Parse(R"(
<control> default_path=Samples\Piano
<global> volume=-3 // a comment
<master> pan=10 /* a block
comment spanning lines <region> sample=nothing.wav */
<group> lovel=1 hivel=64
<region> sample=Grand C4.wav key=c4 tune=5
<region>sample=sub\Grand D#4.wav lokey=d#4 hikey=eb5 pan=-20
<group> volume=2
<region> sample=x.wav pitch_keycenter=C-1 <region> sample=y.wav key=60
<global>
<region> sample=z.wav
)",
                      p, error))
        << error;
    ASSERT_EQ(p.regions.size(), 5u);
    const SRegion& a = p.regions[0];
    EXPECT_EQ(a.sample, "Samples/Piano/Grand C4.wav");
    EXPECT_EQ(Get(a, "volume"), "-3");
    EXPECT_EQ(Get(a, "pan"), "10");
    EXPECT_EQ(Get(a, "hivel"), "64");
    EXPECT_EQ(Get(a, "key"), "c4");
    EXPECT_EQ(p.regions[1].sample, "Samples/Piano/sub/Grand D#4.wav");
    EXPECT_EQ(Get(p.regions[1], "pan"), "-20"); // the region overrides its master
    EXPECT_EQ(Get(p.regions[2], "volume"), "2");
    EXPECT_EQ(Get(p.regions[2], "lovel"), "<none>"); // a new group forgets the old one
    EXPECT_EQ(Get(p.regions[2], "pan"), "10");
    EXPECT_EQ(p.regions[3].sample, "Samples/Piano/y.wav");
    EXPECT_EQ(Get(p.regions[4], "pan"), "<none>"); // a new global forgets everything
    EXPECT_EQ(p.unknownOpcodes, 0u);
}

TEST_F(SfzParserTest, NoteNamesAndOffsets) {
    EXPECT_EQ(ParseNote("c4"), 60);
    EXPECT_EQ(ParseNote("C#4"), 61);
    EXPECT_EQ(ParseNote("eb3"), 51);
    EXPECT_EQ(ParseNote("c-1"), 0);
    EXPECT_EQ(ParseNote("g9"), 127);
    EXPECT_EQ(ParseNote("127"), 127);
    EXPECT_FALSE(ParseNote("h4"));
    EXPECT_FALSE(ParseNote("c"));
    EXPECT_FALSE(ParseNote("12x"));
    SParsed p;
    std::string error;
    ASSERT_TRUE(Parse("<control> octave_offset=1 note_offset=-2\n"
                      "<region> sample=a.wav lokey=c4 hikey=62 pitch_keycenter=sample\n",
                      p, error));
    ASSERT_EQ(p.regions.size(), 1u);
    EXPECT_EQ(Get(p.regions[0], "lokey"), "70");
    EXPECT_EQ(Get(p.regions[0], "hikey"), "72");
    EXPECT_EQ(Get(p.regions[0], "pitch_keycenter"), "sample");
}

TEST_F(SfzParserTest, DefinesAndIncludes) {
    files[fs::path("/inst/parts/keys.sfz")] = "#include \"parts/vel.sfz\"\n<region> key=$K\n";
    files[fs::path("/inst/parts/vel.sfz")] = "<group> hivel=$V\n";
    SParsed p;
    std::string error;
    ASSERT_TRUE(Parse("#define $K 62\n#define $KEYS 70\n#define $V 99\n"
                      "<global> sample=s.wav\n#include \"parts\\keys.sfz\"\n"
                      "<region> key=$KEYS\n",
                      p, error))
        << error;
    ASSERT_EQ(p.regions.size(), 2u);
    EXPECT_EQ(Get(p.regions[0], "key"), "62");
    EXPECT_EQ(Get(p.regions[0], "hivel"), "99");
    EXPECT_EQ(Get(p.regions[1], "key"), "70"); // the longer name wins
}

TEST_F(SfzParserTest, RefusesIncludeCyclesAndMissingIncludes) {
    files[fs::path("/inst/a.sfz")] = "<region> sample=a.wav\n#include \"b.sfz\"\n";
    files[fs::path("/inst/b.sfz")] = "#include \"a.sfz\"\n";
    SParsed p;
    std::string error;
    EXPECT_FALSE(Parse("#include \"a.sfz\"\n", p, error));
    EXPECT_NE(error.find("cycle"), std::string::npos) << error;
    EXPECT_FALSE(Parse("#include \"main.sfz\"\n", p, error)); // itself
    EXPECT_FALSE(Parse("#include \"missing.sfz\"\n", p, error));
    EXPECT_NE(error.find("missing.sfz"), std::string::npos) << error;
    // The same file twice, one after the other, is no cycle.
    files[fs::path("/inst/r.sfz")] = "<region> sample=r.wav\n";
    ASSERT_TRUE(Parse("#include \"r.sfz\"\n#include \"r.sfz\"\n", p, error)) << error;
    EXPECT_EQ(p.regions.size(), 2u);
}

TEST_F(SfzParserTest, CountsUnknownOpcodesAndSkipsGarbage) {
    SParsed p;
    std::string error;
    ASSERT_TRUE(Parse("<region> sample=a.wav foo=1 ampeg_attack_oncc7=1 amp_velcurve_64=0.5\n"
                      "locc64=0 hicc64=63\n= stray words <curve> v000=0\n<region> bar_baz=2 key=5",
                      p, error))
        << error;
    EXPECT_EQ(p.regions.size(), 2u);
    EXPECT_EQ(p.unknownOpcodes, 3u); // foo, <curve>, bar_baz
    EXPECT_EQ(Get(p.regions[0], "hicc64"), "63");
    EXPECT_EQ(Get(p.regions[1], "key"), "5");
}

TEST_F(SfzParserTest, HostileTextEndsCleanly) {
    const std::string text = "#define $A 1\n<global> volume=-1\n<region> sample=a b.wav key=$A "
                             "/* open comment\n<group> x\n#include \"q";
    for (size_t n = 0; n <= text.size(); ++n) {
        SParsed p;
        std::string error;
        Parse(text.substr(0, n), p, error); // any prefix: an answer, no crash
    }
    // A million regions: a clean refusal, in bounded time.
    std::string many;
    many.reserve(16u << 20);
    for (int i = 0; i < 1000000; ++i)
        many += "<region>key=1\n";
    const auto t0 = std::chrono::steady_clock::now();
    SParsed p;
    std::string error;
    EXPECT_FALSE(Parse(many, p, error));
    EXPECT_NE(error.find("regions"), std::string::npos) << error;
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(30));
    // Defines that double at each step must not blow up memory.
    std::string bomb = "#define $A xxxxxxxxxxxxxxxx\n";
    for (char c = 'B'; c <= 'Z'; ++c)
        bomb += std::string("#define $") + c + " $" + char(c - 1) + "$" + char(c - 1) + "\n";
    bomb += "<region> sample=$Z\n";
    if (Parse(bomb, p, error)) {
        ASSERT_EQ(p.regions.size(), 1u);
        EXPECT_LE(p.regions[0].sample.size(), 2u << 20);
    }
}

// Instruments on disk: regions become zones, samples are shared, and a stream plays them.
class SfzInstrumentTest : public ::testing::Test {
protected:
    CTempFolder dir{"hml-sfz-"};

    void Sine(const std::string& name, double freq, size_t frames = 48000, uint16_t channels = 1,
              std::optional<SWavLoop> loop = std::nullopt) {
        auto mono = SineWave(freq, 48000, frames);
        std::vector<float> s;
        for (float x : mono)
            for (uint16_t c = 0; c < channels; ++c)
                s.push_back(c == 0 ? x : 0.5f * x);
        fs::create_directories((dir.path / name).parent_path());
        WriteFile(dir.path / name, MakeWav(s, channels, 48000, EWavFormat::Pcm16, loop));
    }
    PSoundFont Open(const std::string& name, const std::string& text) {
        WriteFile(dir.path / name, text);
        EError e = EError::Ok;
        std::string why;
        PSoundFont f = CSoundFont::OpenSfz(dir.path / name, 0, e, &why);
        EXPECT_TRUE(f) << why;
        return f;
    }
    // Frequency of what a note on `channel` plays for `seconds` (0 when silent).
    static double Play(const PSoundFont& f, int preset, int bank, std::vector<uint8_t> setup,
                       int channel, int key, double seconds = 0.2, SStereo* keep = nullptr) {
        auto s = MakeStream({{f, preset, bank}});
        if (!setup.empty())
            s->SendMidi(setup.data(), setup.size());
        Send(*s, {static_cast<uint8_t>(0x90 | channel), static_cast<uint8_t>(key), 100});
        SStereo out;
        Render(*s, seconds, out);
        if (keep)
            *keep = out;
        const size_t from = out.At(0.05), to = out.Frames();
        if (Rms(out.l, from, to) < 1e-3)
            return 0;
        return ZeroCrossFrequency(out.l, from, to, out.rate);
    }
};

TEST_F(SfzInstrumentTest, MapsRegionsAndSharesSamples) {
    Sine("s/a.wav", 440, 4800, 1, SWavLoop{100, 4699});
    Sine("s/St.wav", 440, 4800, 2);
    const std::string text = "<control> default_path=s\\\n"
                             "<region> sample=a.wav lokey=40 hikey=50 pitch_keycenter=45 "
                             "volume=-6 pan=-50 tune=-10 transpose=1 offset=10 end=4000\n"
                             "<region> sample=A.WAV key=60 loop_mode=no_loop\n"
                             "<region> sample=st.wav key=61 unknown_thing=1\n"
                             "<region> sample=gone.wav key=62\n";
    PSoundFont f = Open("one.sfz", text);
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->IsInstrument());
    EXPECT_EQ(f->UnknownOpcodes(), 1u);
    const SFontInfo info = f->GetInfo();
    EXPECT_EQ(info.presetCount, 1u);
    EXPECT_EQ(info.regionCount, 3u); // the region with a missing sample is dropped
    EXPECT_STREQ(f->GetPresetName(0, 0), "one");
    const sf2::SModel& m = f->Model();
    ASSERT_EQ(m.instruments.size(), 1u);
    const auto& zones = m.instruments[0].zones;
    ASSERT_EQ(zones.size(), 4u); // the stereo region is a pair
    const sf2::SZone& z = zones[0];
    EXPECT_EQ(z.keyLo, 40);
    EXPECT_EQ(z.keyHi, 50);
    EXPECT_EQ(z.gen[sf2::OverridingRootKey], 45);
    EXPECT_EQ(z.gen[sf2::InitialAttenuation], 150); // 6 dB in the fonts' 0.4 dB steps
    EXPECT_EQ(z.gen[sf2::Pan], -250);
    EXPECT_EQ(z.gen[sf2::FineTune], -10);
    EXPECT_EQ(z.gen[sf2::CoarseTune], 1);
    EXPECT_EQ(z.gen[sf2::StartAddrsOffset], 10);
    EXPECT_EQ(z.gen[sf2::EndAddrsOffset], 4001 - 4800);
    EXPECT_EQ(z.gen[sf2::SampleModes], 1); // the file's loop plays by default
    EXPECT_FALSE(zones[1].Has(sf2::SampleModes));
    EXPECT_EQ(zones[0].link, zones[1].link); // one file, one sample, whatever its name's case
    const sf2::SSample& left = m.samples[static_cast<size_t>(zones[2].link)];
    const sf2::SSample& right = m.samples[static_cast<size_t>(zones[3].link)];
    EXPECT_EQ(left.type, sf2::LeftSample);
    EXPECT_EQ(right.type, sf2::RightSample);
    EXPECT_EQ(&m.samples[left.link], &right);
    EXPECT_EQ(zones[2].gen[sf2::Pan], -500);
    EXPECT_EQ(zones[3].gen[sf2::Pan], 500);
    EXPECT_EQ(m.samples[0].loopStart, 100u);
    EXPECT_EQ(m.samples[0].loopEnd, 4700u);

    // 16-bit files play through the 16-bit path; deeper ones keep their low bytes.
    EXPECT_EQ(m.samples[0].data24, nullptr);
    WriteFile(dir.path / "deep.wav",
              MakeWav(SineWave(440, 48000, 4800), 1, 48000, EWavFormat::Pcm24));
    PSoundFont deep = Open("deep.sfz", "<region> sample=deep.wav\n");
    ASSERT_TRUE(deep);
    EXPECT_NE(deep->Model().samples[0].data24, nullptr);

    // A second instrument naming the same file plays the same decoded data.
    PSoundFont g = Open("two.sfz", "<region> sample=s/a.wav\n");
    ASSERT_TRUE(g);
    EXPECT_EQ(g->Model().samples[0].data16, m.samples[0].data16);

    EError e = EError::Ok;
    WriteFile(dir.path / "none.sfz", std::string("<region> sample=gone.wav\n"));
    EXPECT_FALSE(CSoundFont::Open(dir.path / "none.sfz", 0, e));
    EXPECT_EQ(e, EError::FileForm);
    EXPECT_FALSE(CSoundFont::Open(dir.path / "absent.sfz", 0, e));
    EXPECT_EQ(e, EError::FileOpen);
}

TEST_F(SfzInstrumentTest, PlaysAsOneProgramOfItsEntrysBank) {
    Sine("a.wav", 440, 48000);
    PSoundFont f = Open("i.sfz", "<region> sample=a.wav pitch_keycenter=69\n");
    ASSERT_TRUE(f);
    // Preset -1: program 0 of the entry's bank.
    EXPECT_NEAR(Play(f, -1, 0, {}, 0, 69), 440, 5);
    EXPECT_NEAR(Play(f, -1, 0, {}, 0, 81), 880, 10);
    EXPECT_EQ(Play(f, -1, 0, {0xC0, 5}, 0, 69), 0);
    // Preset N: program N.
    EXPECT_NEAR(Play(f, 5, 0, {0xC0, 5}, 0, 69), 440, 5);
    EXPECT_EQ(Play(f, 5, 0, {0xC0, 4}, 0, 69), 0);
    // Bank 128: the drum kit of channel 10, and nothing on melodic channels.
    EXPECT_NEAR(Play(f, -1, 128, {}, 9, 69), 440, 5);
    EXPECT_EQ(Play(f, -1, 128, {}, 0, 69), 0);
    EXPECT_EQ(Play(f, -1, 0, {}, 9, 69), 0);
}

TEST_F(SfzInstrumentTest, RegionRulesChooseWhatPlays) {
    for (int f : {300, 400, 500, 600, 700})
        Sine(std::to_string(f) + ".wav", f, 48000);
    PSoundFont rr = Open("rr.sfz", "<group> key=60 pitch_keycenter=60 seq_length=2\n"
                                   "<region> sample=300.wav seq_position=1\n"
                                   "<region> sample=400.wav seq_position=2\n");
    ASSERT_TRUE(rr);
    {
        auto s = MakeStream({{rr, -1, 0}});
        double freqs[4];
        for (double& fq : freqs) {
            Send(*s, {0x90, 60, 100});
            SStereo out;
            Render(*s, 0.15, out);
            Send(*s, {0x80, 60, 0});
            SStereo tail;
            Render(*s, 0.3, tail);
            fq = ZeroCrossFrequency(out.l, out.At(0.03), out.Frames(), out.rate);
        }
        EXPECT_NEAR(freqs[0], 300, 5);
        EXPECT_NEAR(freqs[1], 400, 5);
        EXPECT_NEAR(freqs[2], 300, 5);
        EXPECT_NEAR(freqs[3], 400, 5);
    }
    PSoundFont sw = Open("sw.sfz", "<global> sw_lokey=24 sw_hikey=25 sw_default=24\n"
                                   "<region> sample=300.wav key=60 sw_last=24\n"
                                   "<region> sample=500.wav key=60 sw_last=25\n");
    ASSERT_TRUE(sw);
    EXPECT_NEAR(Play(sw, -1, 0, {}, 0, 60), 300, 5);
    EXPECT_NEAR(Play(sw, -1, 0, {0x90, 25, 100, 0x80, 25, 0}, 0, 60), 500, 5);

    PSoundFont cc = Open("cc.sfz", "<region> sample=300.wav key=60 lochan=2 hichan=2\n"
                                   "<region> sample=600.wav key=60 lochan=1 hichan=1 hicc1=63\n"
                                   "<region> sample=700.wav key=60 lochan=1 hichan=1 locc1=64\n");
    ASSERT_TRUE(cc);
    EXPECT_NEAR(Play(cc, -1, 0, {}, 1, 60), 300, 5);
    EXPECT_NEAR(Play(cc, -1, 0, {}, 0, 60), 600, 5);
    EXPECT_NEAR(Play(cc, -1, 0, {0xB0, 1, 100}, 0, 60), 700, 5);
}

TEST_F(SfzInstrumentTest, FilterTypesShapeTheRegionsSound) {
    Sine("300.wav", 300, 48000);
    const auto level = [&](const std::string& filter) {
        PSoundFont f =
            Open("f.sfz", "<region> sample=300.wav key=60 pitch_keycenter=60 " + filter + "\n");
        EXPECT_TRUE(f);
        SStereo out;
        Play(f, -1, 0, {}, 0, 60, 0.3, &out);
        return 20.0 * std::log10(Rms(out.l, out.At(0.1), out.Frames()) + 1e-12);
    };
    const double open = level("");
    // 300 Hz against a 3 kHz cutoff: the low-passes keep it, the high-pass removes it, and a
    // band-pass there takes it down by about 20 dB.
    EXPECT_NEAR(level("cutoff=3000"), open, 0.5);
    EXPECT_NEAR(level("fil_type=lpf_1p cutoff=3000"), open, 0.5);
    EXPECT_LT(level("fil_type=hpf_2p cutoff=3000"), open - 35);
    const double band = level("fil_type=bpf_2p cutoff=3000");
    EXPECT_LT(band, open - 15);
    EXPECT_GT(band, open - 25);
    // At 300 Hz itself the band-pass passes it.
    EXPECT_NEAR(level("fil_type=bpf_2p cutoff=300"), open, 0.5);
}

TEST_F(SfzInstrumentTest, VelocityCurvesReplaceTheVelocityTracking) {
    Sine("300.wav", 300, 48000);
    const auto level = [&](const std::string& opcodes, uint8_t velocity) {
        PSoundFont f =
            Open("v.sfz", "<region> sample=300.wav key=60 pitch_keycenter=60 " + opcodes + "\n");
        EXPECT_TRUE(f);
        auto s = MakeStream({{f, -1, 0}});
        Send(*s, {0x90, 60, velocity});
        SStereo out;
        Render(*s, 0.3, out);
        return 20.0 * std::log10(Rms(out.l, out.At(0.1), out.Frames()) + 1e-12);
    };
    const double full = level("", 127);
    EXPECT_LT(level("", 20), full - 12); // the usual tracking
    // Flat from velocity 1: every note at full level.
    EXPECT_NEAR(level("amp_velcurve_1=1", 20), full, 0.2);
    // Points in between are joined by straight lines: 64 lies halfway from 0 to 0.5 at 127.
    EXPECT_NEAR(level("amp_velcurve_127=0.5", 127), full - 6.02, 0.2);
    EXPECT_NEAR(level("amp_velcurve_127=0.5", 64), full - 6.02 + 20 * std::log10(64.0 / 127), 0.2);
}

TEST_F(SfzInstrumentTest, VelocityAndControllersShapeTheEnvelopeAndMoveTheSound) {
    Sine("300.wav", 300, 96000);
    // Level in dB over [from, to) seconds of a note with `opcodes`, after the `setup` messages.
    const auto level = [&](const std::string& opcodes, uint8_t velocity, double from, double to,
                           std::vector<uint8_t> setup = {}) {
        PSoundFont f = Open("e.sfz", "<region> sample=300.wav key=60 pitch_keycenter=60 "
                                     "amp_veltrack=0 " +
                                         opcodes + "\n");
        EXPECT_TRUE(f);
        auto s = MakeStream({{f, -1, 0}});
        if (!setup.empty())
            s->SendMidi(setup.data(), setup.size());
        Send(*s, {0x90, 60, velocity});
        SStereo out;
        Render(*s, to, out);
        return 20.0 * std::log10(Rms(out.l, out.At(from), out.Frames()) + 1e-12);
    };
    const double steady = level("", 127, 0.5, 0.6);
    // Velocity lengthens the attack: at 127 the first 50 ms are still far down, at 1 not.
    EXPECT_LT(level("ampeg_vel2attack=0.5", 127, 0.0, 0.05), steady - 12);
    EXPECT_NEAR(level("ampeg_vel2attack=0.5", 1, 0.02, 0.05), steady, 1.0);
    // So does a controller, read at note-on.
    EXPECT_LT(level("ampeg_attack_oncc1=0.5", 100, 0.0, 0.05, {0xB0, 1, 127}), steady - 12);
    EXPECT_NEAR(level("ampeg_attack_oncc1=0.5", 100, 0.02, 0.05, {0xB0, 1, 0}), steady, 1.0);
    // Velocity raises the sustain level, in percent: 50 % + 50 % x 64/127.
    EXPECT_NEAR(level("ampeg_decay=0.01 ampeg_sustain=50 ampeg_vel2sustain=50", 127, 0.3, 0.4),
                steady, 0.2);
    EXPECT_NEAR(level("ampeg_decay=0.01 ampeg_sustain=50 ampeg_vel2sustain=50", 64, 0.3, 0.4),
                steady + 20 * std::log10(0.5 + 0.5 * 64 / 127.0), 0.2);
    // The attack starts from ampeg_start: half way (-6 dB) in its first milliseconds.
    EXPECT_NEAR(level("ampeg_attack=2 ampeg_start=50", 127, 0.003, 0.01), steady - 6.0, 0.5);
    // A controller moves volume and pitch while the note sounds.
    EXPECT_NEAR(level("volume_oncc20=-12", 127, 0.2, 0.3, {0xB0, 20, 127}), steady - 12, 0.3);
    PSoundFont f = Open("p.sfz", "<region> sample=300.wav key=60 pitch_keycenter=60 "
                                 "pitch_oncc21=1200\n");
    EXPECT_NEAR(Play(f, -1, 0, {0xB0, 21, 127}, 0, 60), 600, 8);
    EXPECT_NEAR(Play(f, -1, 0, {0xB0, 21, 0}, 0, 60), 300, 5);
}

TEST_F(SfzInstrumentTest, OutlandishNumbersAreClampedNotConverted) {
    // Values far past any range must not reach an integer conversion (the sanitizer watches),
    // and a curve point that is not a number must not reach the gain.
    Sine("300.wav", 300, 48000);
    PSoundFont f = Open("big.sfz", "<region> sample=300.wav key=60 lovel=-4e14 hivel=4e14 "
                                   "lochan=-9e18 hichan=9e18 amp_velcurve_64=nan\n");
    ASSERT_TRUE(f);
    EXPECT_NEAR(Play(f, -1, 0, {}, 0, 60), 300, 5);
}

TEST_F(SfzInstrumentTest, ReleaseTriggersGroupsAndOneShots) {
    Sine("300.wav", 300, 48000);
    Sine("500.wav", 500, 48000);
    PSoundFont f = Open("t.sfz", "<region> sample=300.wav key=60 ampeg_release=0.01\n"
                                 "<region> sample=500.wav key=60 trigger=release\n"
                                 "<region> sample=300.wav key=62 group=1 off_by=2\n"
                                 "<region> sample=500.wav key=64 group=2\n"
                                 "<region> sample=500.wav key=65 loop_mode=one_shot\n");
    ASSERT_TRUE(f);
    auto s = MakeStream({{f, -1, 0}});
    SStereo on, off;
    Send(*s, {0x90, 60, 100});
    Render(*s, 0.2, on);
    Send(*s, {0x80, 60, 0});
    Render(*s, 0.2, off);
    EXPECT_NEAR(ZeroCrossFrequency(on.l, on.At(0.03), on.Frames(), on.rate), 300, 5);
    EXPECT_NEAR(ZeroCrossFrequency(off.l, off.At(0.05), off.Frames(), off.rate), 500, 5);

    // Group 2 ends group 1's note, which a key still holds.
    auto g = MakeStream({{f, -1, 0}});
    SStereo a, b;
    Send(*g, {0x90, 62, 100});
    Render(*g, 0.1, a);
    Send(*g, {0x90, 64, 100});
    Render(*g, 0.2, b);
    EXPECT_LT(ToneAmplitude(b.l, b.At(0.05), b.Frames(), 300, b.rate),
              0.01 * ToneAmplitude(a.l, a.At(0.03), a.Frames(), 300, a.rate));

    // A one-shot plays on after its key goes up, as loud as a held note.
    auto o = MakeStream({{f, -1, 0}});
    SStereo oneShot, held;
    Send(*o, {0x90, 65, 100, 0x80, 65, 0});
    Render(*o, 0.3, oneShot);
    Send(*o, {0xB0, 120, 0, 0x90, 64, 100});
    Render(*o, 0.3, held);
    const double level = Rms(held.l, held.At(0.2), held.Frames());
    EXPECT_GT(level, 0.005);
    EXPECT_NEAR(Rms(oneShot.l, oneShot.At(0.2), oneShot.Frames()), level, 0.1 * level);
}

TEST_F(SfzInstrumentTest, LoadsTheInterpolationInstrument) {
    const fs::path file = FindSharedMaterial("interpolation/interpolation_test.sfz");
    if (file.empty())
        GTEST_SKIP() << "interpolation material not found under " << HML_SHARED_DIR;
    EError e = EError::Ok;
    PSoundFont f = CSoundFont::Open(file, 0, e);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->GetInfo().regionCount, 6u);
    EXPECT_EQ(f->UnknownOpcodes(), 6u); // the eg01_* opcodes of the newer format
    const auto& zones = f->Model().instruments[0].zones;
    EXPECT_EQ(zones[1].keyLo, 89); // f6
    EXPECT_EQ(zones[5].gen[sf2::FineTune], 44);
    EXPECT_EQ(zones[2].gen[sf2::SustainVolEnv], 1440); // the group's ampeg_sustain=0
}

} // namespace
