// Standard MIDI File loading: track merging, tempo maps, SMPTE time, format 2, RMID wrappers,
// running status, SysEx packets and meta events, malformed input, skipping initial silence;
// and the player that feeds a loaded file to a decoding stream.
#include "audio/midifile/CMidiFile.h"
#include "audio/midifile/CMidiFilePlayer.h"
#include "audio/midifile/SmfBuilder.h"
#include "support/CSf2Writer.h"
#include "support/Signal.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace hml::audio;
using namespace hml::test;

namespace {

constexpr uint32_t kFlags = StreamFlags::Decode | StreamFlags::Float | StreamFlags::DecayEnd;

class MidiFileTest : public ::testing::Test {
protected:
    static std::unique_ptr<CMidiFile> Parse(const std::vector<uint8_t>& bytes,
                                            uint32_t flags = kFlags, uint32_t rate = 48000) {
        EError e = EError::Unknown;
        std::string why;
        auto f = CMidiFile::Parse(bytes.data(), bytes.size(), flags, rate, e, &why);
        EXPECT_EQ(e, f ? EError::Ok : EError::FileForm) << why;
        return f;
    }
    static std::vector<SMidiFileEvent> Only(const CMidiFile& f, uint32_t event) {
        std::vector<SMidiFileEvent> out;
        for (const SMidiFileEvent& e : f.Events())
            if (e.event == event)
                out.push_back(e);
        return out;
    }
    static std::vector<uint8_t> Data(const CMidiFile& f, const SMidiFileEvent& e) {
        return {f.Data(e), f.Data(e) + e.dataSize};
    }
    // Two tracks at 480 ticks per quarter; the tempo doubles at tick 960 (1 s).
    static std::vector<uint8_t> TwoTracks() {
        CTrack tempo, notes;
        tempo.Tempo(0, 500000).Tempo(960, 250000).End();
        notes.Add(0, {0xC0, 5}).Add(480, {0x90, 60, 100}).Add(480, {0x80, 60, 0});
        notes.Add(480, {0x90, 62, 90}).Add(10, {64, 80}).End();
        return MakeSmf(1, 480, {tempo, notes});
    }
};

TEST_F(MidiFileTest, TracksMergeInTimeOrderWithTheTempoMap) {
    for (const auto& bytes : {TwoTracks(), WrapRmid(TwoTracks())}) {
        auto f = Parse(bytes);
        ASSERT_TRUE(f);
        EXPECT_EQ(f->Format(), 1u);
        EXPECT_EQ(f->TrackCount(), 2u);
        const auto notes = Only(*f, EMidiEvent::Note);
        ASSERT_EQ(notes.size(), 4u);
        // 0.5 s, 1.0 s, then 0.25 s per quarter: 1.25 s and 1.25 + 10/480 * 0.25 s (running
        // status), exactly, in frames of 8 bytes.
        EXPECT_EQ(notes[0].pos, 24000u * 8);
        EXPECT_EQ(notes[1].pos, 48000u * 8);
        EXPECT_EQ(notes[2].pos, 60000u * 8);
        EXPECT_EQ(notes[3].pos, 60250u * 8);
        EXPECT_EQ(notes[0].param, 60u | 100u << 8);
        EXPECT_EQ(notes[1].param, 60u);
        EXPECT_EQ(notes[3].param, 64u | 80u << 8);
        EXPECT_EQ(notes[3].tick, 1450u);
        uint64_t last = 0;
        for (const SMidiFileEvent& e : f->Events()) {
            EXPECT_GE(e.pos, last);
            last = e.pos;
        }
        // At one tick the earlier track comes first: the tempo change precedes the note-off.
        const auto& ev = f->Events();
        const auto tempo = std::find_if(ev.begin(), ev.end(), [](const SMidiFileEvent& e) {
            return e.event == MidiFileEvent::Tempo && e.tick == 960;
        });
        const auto off = std::find_if(ev.begin(), ev.end(), [](const SMidiFileEvent& e) {
            return e.event == EMidiEvent::Note && e.tick == 960;
        });
        EXPECT_LT(tempo, off);
        EXPECT_EQ(f->LengthBytes(), 60250u * 8);
    }
    // The positions follow the output format: 16-bit mono at 44100 Hz.
    auto mono = Parse(TwoTracks(), StreamFlags::Decode | StreamFlags::Mono, 44100);
    ASSERT_TRUE(mono);
    EXPECT_EQ(Only(*mono, EMidiEvent::Note)[1].pos, 44100u * 2);
}

TEST_F(MidiFileTest, SysExPacketsMetaEventsAndRunningStatus) {
    CTrack t;
    t.Add(0, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7});                               // GM on
    t.Add(0, {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}); // GS
    t.Add(0, {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x12, 0x15, 0x02, 0x17, 0xF7}); // part 2
    t.Add(0, {0xF0, 0x08, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7});             // XG on
    t.Add(0, {0xF0, 0x08, 0x43, 0x10, 0x4C, 0x08, 0x03, 0x07, 0x01, 0xF7});             // part 3
    t.Add(10, {0xF0, 0x03, 0x7F, 0x7F, 0x04}).Add(5, {0xF7, 0x04, 0x01, 0x00, 0x00, 0xF7});
    t.Add(0, {0xF7, 0x02, 0xF3, 0x01}); // an escape
    t.Add(0, {0x91, 0x40, 0x50}).Add(0, {0xFF, 0x01, 0x02, 'h', 'i'}).Add(1, {0x40, 0x00});
    t.Add(0, {0xE2, 0x00, 0x40}).Add(0, {0xB3, 0x07, 0x64}).Add(0, {0xA4, 0x30, 0x20});
    t.Add(0, {0xD5, 0x11}).End(2);
    t.bytes.insert(t.bytes.end(), {0x99, 0xFF}); // after the end: not part of the track
    auto f = Parse(MakeSmf(0, 96, {t}));
    ASSERT_TRUE(f);

    const auto sys = Only(*f, EMidiEvent::System);
    ASSERT_EQ(sys.size(), 3u);
    EXPECT_EQ(sys[0].param, SysGm1);
    EXPECT_EQ(sys[1].param, SysGs);
    EXPECT_EQ(sys[2].param, SysXg);
    const auto drums = Only(*f, EMidiEvent::Drums);
    ASSERT_EQ(drums.size(), 2u);
    EXPECT_EQ(drums[0].channel, 1u); // GS part 2 is MIDI channel 2
    EXPECT_EQ(drums[1].channel, 3u);
    EXPECT_EQ(drums[0].param, 1u);

    const auto sysex = Only(*f, EMidiEvent::SystemEx);
    ASSERT_EQ(sysex.size(), 2u);
    EXPECT_EQ(sysex[0].tick, 15u); // a divided message counts from its last packet
    EXPECT_EQ(Data(*f, sysex[0]),
              (std::vector<uint8_t>{0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x00, 0xF7}));
    EXPECT_EQ(Data(*f, sysex[1]), (std::vector<uint8_t>{0xF3, 0x01}));

    const auto meta = Only(*f, MidiFileEvent::Meta);
    ASSERT_EQ(meta.size(), 1u);
    EXPECT_EQ(meta[0].param, 1u);
    EXPECT_EQ(Data(*f, meta[0]), (std::vector<uint8_t>{'h', 'i'}));

    const auto notes = Only(*f, EMidiEvent::Note);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[1].channel, 1u); // running status survives the meta event
    EXPECT_EQ(notes[1].param, 0x40u);
    EXPECT_EQ(Only(*f, EMidiEvent::PitchBend).at(0).param, 8192u);
    EXPECT_EQ(Only(*f, EMidiEvent::Controller).at(0).param, 7u | 100u << 8);
    EXPECT_EQ(Only(*f, EMidiEvent::KeyPressure).at(0).param, 0x30u | 0x20u << 8);
    EXPECT_EQ(Only(*f, EMidiEvent::ChannelPressure).at(0).channel, 5u);
    EXPECT_EQ(Only(*f, MidiFileEvent::TrackEnd).at(0).tick, 18u);
    EXPECT_EQ(f->Events().back().event, MidiFileEvent::TrackEnd);
}

TEST_F(MidiFileTest, FormatTwoAndSmpteTime) {
    // Format 2: patterns one after another, each with its own tempo.
    CTrack a, b;
    a.Tempo(0, 250000).Add(100, {0x90, 60, 100}).End(100);
    b.Add(100, {0x90, 62, 100}).End();
    auto f = Parse(MakeSmf(2, 100, {a, b}));
    ASSERT_TRUE(f);
    const auto notes = Only(*f, EMidiEvent::Note);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].pos, 12000u * 8); // 0.25 s
    EXPECT_EQ(notes[1].pos, 48000u * 8); // 0.5 s of the first pattern + 0.5 s
    EXPECT_EQ(notes[1].tick, 300u);

    // 25 frames of 40 ticks per second; 29.97 frames of 100 ticks; tempo has no say.
    CTrack s;
    s.Tempo(0, 100000).Add(1500, {0x90, 60, 100}).End();
    auto smpte = Parse(MakeSmf(0, 0xE728, {s}));
    ASSERT_TRUE(smpte);
    EXPECT_EQ(Only(*smpte, EMidiEvent::Note).at(0).pos, 72000u * 8);
    CTrack d;
    d.Add(3000, {0x90, 60, 100}).End();
    auto drop = Parse(MakeSmf(0, 0xE364, {d}));
    ASSERT_TRUE(drop);
    EXPECT_EQ(Only(*drop, EMidiEvent::Note).at(0).pos, 48048u * 8); // 1.001 s
}

TEST_F(MidiFileTest, MalformedInputFailsWithAReason) {
    const auto track = [](std::initializer_list<uint8_t> body) {
        CTrack t;
        t.bytes = body;
        return t;
    };
    CTrack longDelta;
    longDelta.Tempo(0, 0xFFFFFF).Add(0x0FFFFFFF, {0x90, 60, 100});
    CTrack manyTicks;
    for (int i = 0; i < 17; ++i)
        manyTicks.Add(0x0FFFFFFF, {0xB0, 1, 1});
    std::vector<uint8_t> cut = TwoTracks();
    cut.resize(cut.size() - 2); // the last track's length now points past the end
    const std::vector<std::vector<uint8_t>> bad = {
        {},
        {'M', 'T', 'h', 'd'},
        {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'R', 'M', 'I', 'D'},
        MakeSmf(3, 96, {track({0x00, 0xFF, 0x2F, 0x00})}),
        MakeSmf(0, 0, {track({0x00, 0xFF, 0x2F, 0x00})}),
        MakeSmf(0, 0xE101, {track({0x00, 0xFF, 0x2F, 0x00})}), // -31 fps
        MakeSmf(0, 96, {}),
        MakeSmf(0, 96, {track({0x00, 0x40, 0x40})}),             // data byte, no status
        MakeSmf(0, 96, {track({0x80, 0x80, 0x80, 0x80, 0x01})}), // five-byte delta
        MakeSmf(0, 96, {track({0x00, 0xF1, 0x00})}),             // not a file event
        MakeSmf(0, 96, {track({0x00, 0x90, 0x40})}),             // cut off
        MakeSmf(0, 96, {track({0x00, 0x90, 0xC0, 0x40})}),       // data byte with bit 7
        MakeSmf(0, 96, {track({0x00, 0xF0, 0x7F, 0x01})}),       // SysEx longer than the track
        MakeSmf(0, 96, {track({0x00, 0xFF, 0x01})}),             // meta without length
        MakeSmf(0, 1, {longDelta}),                              // more than a day
        MakeSmf(0, 0x7FFF, {manyTicks}),                         // beyond 32-bit ticks
        cut,
    };
    for (size_t i = 0; i < bad.size(); ++i) {
        EError e = EError::Ok;
        std::string why;
        EXPECT_FALSE(CMidiFile::Parse(bad[i].data(), bad[i].size(), kFlags, 48000, e, &why)) << i;
        EXPECT_EQ(e, EError::FileForm) << i;
        EXPECT_FALSE(why.empty()) << i;
    }
    // Every truncation either loads what is complete or fails cleanly.
    const std::vector<uint8_t> good = WrapRmid(TwoTracks());
    for (size_t n = 0; n < good.size(); ++n)
        Parse(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(n)));

    EError e = EError::Ok;
    std::vector<uint8_t> huge(CMidiFile::kMaxFileSize + 1);
    EXPECT_FALSE(CMidiFile::Parse(huge.data(), huge.size(), kFlags, 48000, e));
    EXPECT_EQ(e, EError::FileForm);
    const auto dir = std::filesystem::temp_directory_path();
    EXPECT_FALSE(CMidiFile::Load(dir / "no such file.mid", kFlags, 48000, e));
    EXPECT_EQ(e, EError::FileOpen);
    EXPECT_FALSE(CMidiFile::Load(dir, kFlags, 48000, e));
    EXPECT_EQ(e, EError::FileOpen);
    const auto path = dir / "hml midifile test.mid";
    WriteBytes(path, TwoTracks());
    EXPECT_TRUE(CMidiFile::Load(path, kFlags, 48000, e));
    EXPECT_EQ(e, EError::Ok);
    std::filesystem::remove(path);
}

TEST_F(MidiFileTest, SkipInitialSilenceStartsAtTheFirstSoundingNote) {
    CTrack t; // 96 ticks per half second
    t.Add(0, {0xC0, 1}).Add(192, {0xB0, 7, 100}).Add(192, {0x90, 50, 0});
    t.Add(192, {0x90, 60, 100}).Add(96, {0x80, 60, 0}).End();
    auto f = Parse(MakeSmf(0, 96, {t}));
    ASSERT_TRUE(f);
    f->SkipInitialSilence();
    const auto& ev = f->Events();
    ASSERT_EQ(ev.size(), 6u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(ev[i].pos, 0u) << i; // set-up, a velocity-0 note and the first note
    EXPECT_EQ(ev[4].pos, 24000u * 8);
    EXPECT_EQ(ev[4].tick, 672u);

    const SPcmLayout l = SPcmLayout::FromFlags(kFlags, 48000);
    EXPECT_EQ(l.SecondsToBytes(0.01), 480u * 8);
    EXPECT_EQ(l.SecondsToBytes(-1), 0u);
    EXPECT_DOUBLE_EQ(l.BytesToSeconds(48000 * 8 + 7), 1.0);
    EXPECT_EQ(
        SPcmLayout::FromFlags(StreamFlags::Mono | StreamFlags::Sample8Bits, 8000).BytesPerFrame(),
        1u);
}

// The player against a real stream, with a sine preset and a short release.
class MidiFilePlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        const CSf2Writer w = CSf2Writer::SinePresets({{0, 0, 0}});
        EError e;
        font = CSoundFont::OpenMemory(w.Build(), 0, e);
        ASSERT_TRUE(font);
    }
    std::vector<float> Play(const CMidiFile& f, size_t& dispatched) {
        auto s = MakeStream({{font, -1, 0}}, StreamFlags::DecayEnd);
        CMidiFilePlayer player(f, *s);
        std::vector<float> out, chunk(2 * 480);
        int64_t n;
        while ((n = player.GetData(chunk.data(), chunk.size() * 4)) > 0 &&
               out.size() < 2 * 48000 * 10)
            out.insert(out.end(), chunk.begin(), chunk.begin() + n / 4);
        EXPECT_EQ(player.GetData(chunk.data(), chunk.size() * 4), -1);
        dispatched = player.Dispatched();
        EXPECT_EQ(player.Dispatched(), player.Total());
        return out;
    }
    std::shared_ptr<CSoundFont> font;
};

TEST_F(MidiFilePlayerTest, EventsSoundAtTheirPositionsAndTheEndWaitsForTheDecay) {
    CTrack t; // 96 ticks per half second
    t.Add(96, {0x90, 69, 100}).Add(96, {0x80, 69, 0}).End();
    const auto bytes = MakeSmf(0, 96, {t});
    EError e;
    auto f = CMidiFile::Parse(bytes.data(), bytes.size(), kFlags, 48000, e);
    ASSERT_TRUE(f);
    size_t dispatched = 0;
    const std::vector<float> out = Play(*f, dispatched);
    size_t onset = 0;
    while (onset < out.size() / 2 && std::fabs(out[2 * onset]) < 1e-3)
        ++onset;
    EXPECT_GE(onset, 24000u);
    EXPECT_LE(onset, 24000u + 128); // within two render blocks, not a 10 ms chunk
    const double seconds = out.size() / 2 / 48000.0;
    EXPECT_GT(seconds, 1.0);
    EXPECT_LT(seconds, 3.5); // the release and the effects' tail, then the end
}

TEST_F(MidiFilePlayerTest, AFloodOfEventsAtOneTickLosesNone) {
    CTrack t;
    for (int i = 0; i < 40000; ++i)
        t.Add(0, {0xB0, 7, 100});
    t.Add(0, {0xB0, 7, 0}).Add(48, {0x90, 69, 100}).Add(48, {0x80, 69, 0}).End();
    const auto bytes = MakeSmf(0, 96, {t});
    EError e;
    auto f = CMidiFile::Parse(bytes.data(), bytes.size(), StreamFlags::Decode | StreamFlags::Float,
                              48000, e);
    ASSERT_TRUE(f);
    size_t dispatched = 0;
    const std::vector<float> out = Play(*f, dispatched);
    EXPECT_EQ(dispatched, f->Events().size());
    EXPECT_LT(Peak(out, 0, out.size()), 1e-3); // the last volume, 0, was applied
}

} // namespace
