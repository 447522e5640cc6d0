// The render core: key shift and drum tracking, dropped out-of-range notes, skipped silence,
// the SysEx override, mix levels, effect-level messages, command lines and output paths,
// cancel and a stopped encoder leaving nothing behind.
#include "converter/RenderCore.h"
#include "converter/EncoderProfiles.h"

#include "audio/midifile/SmfBuilder.h"
#include "mixer/MixerOwner.h"
#include "support/CSf2Writer.h"
#include "support/Signal.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>

using namespace hml::mixer;

using namespace hml;
using namespace hml::converter;
using namespace hml::test;

namespace {

class CTestMixer final : public IMixerOwner {
public:
    CTestMixer() { SetChannelVolume(100, kAllChannels); }
    std::uint32_t GetLevel() override { return kNoLevel; }
    std::wstring GetInstrumentName(std::uint32_t) override { return {}; }
    std::wstring GetTitle() override { return {}; }
    void ApplyChannel(std::uint32_t) override {}
};

class CCancelAt final : public IRenderObserver {
public:
    CCancelAt(std::atomic<bool>& flag, uint32_t at) : cancel(flag), permille(at) {}
    void OnProgress(uint32_t p) override {
        if (p >= permille)
            cancel = true;
        last = p;
    }
    void OnLog(const std::string& line) override { log += line + "\n"; }
    std::atomic<bool>& cancel;
    uint32_t permille, last = 0;
    std::string log;
};

// One quarter (96 ticks) is half a second.
CTrack& Note(CTrack& t, uint32_t delta, uint8_t channel, uint8_t key, uint32_t length) {
    return t.Add(delta, {uint8_t(0x90 | channel), key, 100})
        .Add(length, {uint8_t(0x80 | channel), key, 0});
}

class RenderCoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Key 69 plays 440 Hz shifted by the preset's semitones: 0 (bank 0 program 0),
        // 5 (program 1); the drum kit plays 440 Hz too, so only the key shift tells.
        const CSf2Writer w = CSf2Writer::SinePresets({{0, 0, 0}, {0, 1, 5}, {128, 0, 0}});
        audio::EError e;
        options.fonts.push_back({audio::CSoundFont::OpenMemory(w.Build(), 0, e), -1, 0});
        options.extraFlags = audio::StreamFlags::NoFx;
        options.profile = 2; // float WAV
        options.mixer = &mixer;
    }

    SRenderResult Render(const CTrack& track, SStereo& out) {
        WriteBytes(dir / "in.mid", MakeSmf(0, 96, {track}));
        std::atomic<bool> cancel{false};
        const SRenderResult r =
            RenderFile(dir / "in.mid", dir / "out.wav", options, nullptr, cancel);
        std::ifstream f(dir / "out.wav", std::ios::binary);
        std::vector<char> bytes{std::istreambuf_iterator<char>(f),
                                std::istreambuf_iterator<char>()};
        out = {};
        for (size_t i = 58; i + 8 <= bytes.size(); i += 8) {
            float lr[2];
            std::memcpy(lr, bytes.data() + i, 8);
            out.l.push_back(lr[0]);
            out.r.push_back(lr[1]);
        }
        return r;
    }
    // Semitones above 440 Hz in [from, to) seconds; -100 when silent.
    static int Semitones(const SStereo& s, double from, double to) {
        if (s.At(to) > s.Frames() || Rms(s.l, s.At(from), s.At(to)) < 0.01)
            return -100;
        const double f = ZeroCrossFrequency(s.l, s.At(from), s.At(to), s.rate);
        return static_cast<int>(std::lround(12 * std::log2(f / 440.0)));
    }

    SRenderOptions options;
    CTestMixer mixer;
    hml::test::CTempFolder folder{"hml render test "};
    const std::filesystem::path& dir = folder.path;
};

TEST_F(RenderCoreTest, KeyShiftSparesDrumsFollowsDrumChangesAndDropsNotesOutOfRange) {
    CTrack t;
    Note(t, 0, 0, 69, 48); // 0.00 s: shifted
    Note(t, 0, 9, 69, 48); // 0.25 s: a drum channel keeps its key
    t.Add(0, {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x10, 0x15, 0x00, 0x1B, 0xF7});
    Note(t, 0, 9, 69, 48); // 0.50 s: channel 10 is no drum channel any more
    t.Add(0, {0xF0, 0x08, 0x43, 0x10, 0x4C, 0x08, 0x01, 0x07, 0x01, 0xF7});
    Note(t, 0, 1, 69, 48); // 0.75 s: channel 2 became one
    t.Add(0, {0x90, 127, 100}).Add(24, {0x90, 69, 100}).Add(24, {0x80, 127, 0});
    t.Add(0, {0x80, 69, 0}).End(48); // 1.00 s: key 127 + 2 is dropped, its note-off too
    options.keyShift = 2;
    SStereo out;
    const SRenderResult r = Render(t, out);
    ASSERT_EQ(r.status, ERenderStatus::Completed) << r.message;
    EXPECT_EQ(Semitones(out, 0.03, 0.22), 2);
    EXPECT_EQ(Semitones(out, 0.28, 0.47), 0);
    EXPECT_EQ(Semitones(out, 0.53, 0.72), 2);
    EXPECT_EQ(Semitones(out, 0.78, 0.97), 0);
    EXPECT_EQ(Semitones(out, 1.01, 1.12), -100);
    EXPECT_EQ(Semitones(out, 1.16, 1.24), 2);
    EXPECT_LT(Rms(out.l, out.At(1.4), out.Frames()), 1e-3); // nothing hangs
    EXPECT_NEAR(r.seconds, out.Frames() / 48000.0, 1e-9);
}

TEST_F(RenderCoreTest, SkippedSilenceOverrideAndMixLevels) {
    CTrack t;
    t.Add(0, {0xC0, 1}).Add(0, {0xF0, 0x07, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x00, 0xF7});
    Note(t, 576, 0, 69, 48).End(); // 3 s of set-up, then a quarter second of note
    options.skipInitialSilence = true;
    SStereo out;
    ASSERT_EQ(Render(t, out).status, ERenderStatus::Completed);
    // The master volume 0 in the file is ignored; the program change still counts.
    EXPECT_EQ(Semitones(out, 0.01, 0.2), 5);
    EXPECT_GT(Rms(out.l, 0, out.At(0.005)), 0.01); // starts at once
    EXPECT_LT(out.Frames(), 72000u);

    options.overrideEffects = false;
    ASSERT_EQ(Render(t, out).status, ERenderStatus::Completed);
    EXPECT_EQ(Semitones(out, 0.01, 0.2), -100);

    options.overrideEffects = true;
    mixer.SetChannelMute(true, 0);
    ASSERT_EQ(Render(t, out).status, ERenderStatus::Completed);
    EXPECT_EQ(Semitones(out, 0.01, 0.2), -100);
}

TEST_F(RenderCoreTest, EffectMessagesCommandLinesAndPaths) {
    const auto m = EffectLevelMessages(12, 5);
    EXPECT_EQ(m[0][9], 0); // Roland checksums that wrap to 0
    EXPECT_EQ(m[1][9], 0);
    EXPECT_EQ(
        EffectLevelMessages(64, 64)[0],
        (std::vector<uint8_t>{0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x33, 64, 0x4C, 0xF7}));
    EXPECT_EQ(EffectLevelMessages(64, 64)[3],
              (std::vector<uint8_t>{0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x2C, 64, 0xF7}));

    const auto& rows = EncoderProfiles();
    EXPECT_STREQ(rows[0].extension, ".wav");
    EXPECT_EQ(rows[6].encoderFlags, 6u);
    EXPECT_EQ(MakeCommandLine(rows[6], "/opt/flac", " -V --out=%%OUTPUT%% ", "/m/a.b/song.mid",
                              "/m/a.b/song.mid"),
              "\"/opt/flac\" --tag \"DESCRIPTION=Generated by Tarnwick Harmolith\" --tag "
              "\"TITLE=song\" -5  -V --out=/m/a.b/song.mid  - -o \"/m/a.b/song.mid\"");
    EXPECT_EQ(MakeCommandLine(rows[4], "lame", "", "o.mp3", "x"),
              "\"lame\" --tc \"Generated by Tarnwick Harmolith\" --tt \"x\" -b 192  - \"o.mp3\"");
    EXPECT_EQ(MakeCommandLine(rows[1], "", "", "  out.wav ", "x"), "out.wav");
    EXPECT_EQ(TitleOf("/m/a.b/song"), "song");
    EXPECT_EQ(TitleOf("tune.v2.mid"), "tune.v2");
    EXPECT_EQ(MakeOutputPath("/m/a.b/song.mid", "", ".flac"), "/m/a.b/song.flac");
#ifdef _WIN32
    EXPECT_EQ(MakeOutputPath("C:\\m\\song.mid", "D:\\out", ".mp3"), "D:\\out\\song.mp3");
    EXPECT_EQ(MakeOutputPath("C:\\a.b\\song", "", ".mp3"), "C:\\a.b\\song.mp3");
#else
    EXPECT_EQ(MakeOutputPath("/m/a.b/song", "/out", ".mp3"), "/out/song.mp3");
#endif
    EXPECT_EQ(MakeOutputPath("song.mid", "/out/", ".wav"), "/out/song.wav");
#ifndef _WIN32
    EXPECT_EQ(ProgramName(rows[3]), "lame");
#endif
}

TEST_F(RenderCoreTest, FormatsByNameAndByExtension) {
    const auto& rows = EncoderProfiles();
    for (size_t i = 0; i < kProfileCount; ++i)
        EXPECT_EQ(FindProfile(rows[i].format), i) << rows[i].format; // names are unique
    EXPECT_EQ(FindProfile("ogg"), kProfileCount);
    EXPECT_EQ(FindProfile(""), kProfileCount);
    EXPECT_STREQ(rows[ProfileForPath("/a.b/song.wav")].format, "wav16");
    EXPECT_STREQ(rows[ProfileForPath("Song.MP3")].format, "mp3");
    EXPECT_STREQ(rows[ProfileForPath("x.Flac")].format, "flac");
    EXPECT_EQ(ProfileForPath("/a.wav/song"), kProfileCount); // a dot in a folder is no extension
    EXPECT_EQ(ProfileForPath("song.ogg"), kProfileCount);
    EXPECT_EQ(ProfileForPath("song."), kProfileCount);
}

TEST_F(RenderCoreTest, CancelFailuresAndStoppedEncodersLeaveNothingBehind) {
    CTrack t;
    for (int i = 0; i < 40; ++i)
        Note(t, 0, 0, 60, 12);
    t.End();
    WriteBytes(dir / "in.mid", MakeSmf(0, 96, {t}));
    std::atomic<bool> cancel{false};
    CCancelAt observer(cancel, 300);
    SRenderResult r = RenderFile(dir / "in.mid", dir / "out.wav", options, &observer, cancel);
    EXPECT_EQ(r.status, ERenderStatus::Canceled);
    EXPECT_EQ(observer.last, 1000u);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"in.mid"});

    cancel = false;
    r = RenderFile(dir / "missing.mid", dir / "out.wav", options, nullptr, cancel);
    EXPECT_EQ(r.error, audio::EError::FileOpen);
    WriteBytes(dir / "bad.mid", {'M', 'T', 'h', 'd'});
    r = RenderFile(dir / "bad.mid", dir / "out.wav", options, nullptr, cancel);
    EXPECT_EQ(r.error, audio::EError::FileForm);
    EXPECT_FALSE(r.message.empty());
    SRenderOptions noFonts = options;
    noFonts.fonts.clear();
    EXPECT_EQ(RenderFile(dir / "in.mid", dir / "out.wav", noFonts, nullptr, cancel).status,
              ERenderStatus::Failed);
    std::filesystem::remove(dir / "bad.mid");

    // An encoder that cannot even start ends the batch the same way.
    options.profile = 3;
    options.encoderProgram = (dir / "no such lame").string();
    r = RenderFile(dir / "in.mid", dir / "out.mp3", options, nullptr, cancel);
    EXPECT_EQ(r.status, ERenderStatus::Failed);
    EXPECT_TRUE(r.encoderStopped);
    EXPECT_TRUE(cancel.load());
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"in.mid"});
    options.profile = 2;
    options.encoderProgram.clear();
    cancel = false;

#ifndef _WIN32
    // An encoder that exits at once ends the batch and leaves no output.
    options.profile = 6;
    options.encoderProgram = "false";
    CCancelAt logged(cancel, 2000);
    r = RenderFile(dir / "in.mid", dir / "out.flac", options, &logged, cancel);
    EXPECT_EQ(r.status, ERenderStatus::Failed);
    EXPECT_TRUE(r.encoderStopped);
    EXPECT_TRUE(cancel.load());
    EXPECT_NE(logged.log.find("Command line: \"false\" --tag"), std::string::npos) << logged.log;
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"in.mid"});

    if (std::filesystem::exists("/usr/bin/flac")) {
        cancel = false;
        options.encoderProgram.clear();
        r = RenderFile(dir / "in.mid", dir / "out.flac", options, nullptr, cancel);
        EXPECT_EQ(r.status, ERenderStatus::Completed) << r.message;
        EXPECT_EQ(folder.Names(), (std::vector<std::string>{"in.mid", "out.flac"}));
    }
#endif
}

TEST_F(RenderCoreTest, MonoStreamsWriteOneChannelAndEightBitSettingsStillRenderFloat) {
    CTrack t;
    Note(t, 0, 0, 69, 96).End();
    WriteBytes(dir / "in.mid", MakeSmf(0, 96, {t}));
    options.extraFlags |= audio::StreamFlags::Mono | audio::StreamFlags::Sample8Bits;
    for (size_t profile : {0u, 2u}) {
        options.profile = profile;
        std::atomic<bool> cancel{false};
        const SRenderResult r =
            RenderFile(dir / "in.mid", dir / "mono.wav", options, nullptr, cancel);
        ASSERT_EQ(r.status, ERenderStatus::Completed) << r.message;
        std::ifstream f(dir / "mono.wav", std::ios::binary);
        std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(f),
                                         std::istreambuf_iterator<char>()};
        ASSERT_GT(bytes.size(), 44u);
        EXPECT_EQ(bytes[22], 1) << "channels, profile " << profile;
        const size_t sampleBytes = profile == 0 ? 2 : 4, header = profile == 0 ? 44 : 58;
        const double seconds = double(bytes.size() - header) / (sampleBytes * options.rate);
        // Half a second of note plus its release; twice that would mean a stereo-sized read.
        EXPECT_NEAR(seconds, r.seconds, 0.05) << profile;
        EXPECT_LT(seconds, 2.0);
    }
}

} // namespace
