// The MIDI stream: font precedence and mappings, bank select per mode, drums, raw MIDI
// parsing, pedals and channel-mode messages, state save/restore, effects, rendering modes.
#include "audio/stream/CMidiStream.h"
#include "support/AllocationCounter.h"
#include "support/CSf2Writer.h"
#include "support/Signal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

using namespace hml::audio;
using namespace hml::test;

namespace {

std::shared_ptr<CSoundFont> MakeFont(const std::vector<SSinePreset>& presets, uint32_t flags = 0,
                                     int releaseTc = -6000) {
    EError e;
    return CSoundFont::OpenMemory(CSf2Writer::SinePresets(presets, releaseTc).Build(), flags, e);
}

class MidiStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        fontA = MakeFont({{0, 0, 0}, {0, 1, 1}, {1, 0, 2}, {128, 0, 3}, {128, 5, 4}, {127, 0, 5}});
        fontB = MakeFont({{0, 0, 7}, {0, 2, 8}});
        ASSERT_TRUE(fontA && fontB);
    }
    // Semitones above 440 Hz of what key 69 plays on `channel` after `setup`; -100 if silent.
    static int Which(CMidiStream& s, int channel = 0, std::initializer_list<uint8_t> setup = {}) {
        if (setup.size() != 0) {
            std::vector<uint8_t> v(setup);
            s.SendMidi(v.data(), v.size());
        }
        s.SendEvent(channel, EMidiEvent::Note, 69 | 100 << 8);
        SStereo out;
        Render(s, 0.12, out);
        s.SendEvent(channel, EMidiEvent::NotesOff, 0);
        Render(s, 0.05, out);
        if (Rms(out.l, out.At(0.02), out.At(0.12)) < 0.01) // a reverb tail is no note
            return -100;
        const double f = ZeroCrossFrequency(out.l, out.At(0.02), out.At(0.12), out.rate);
        return static_cast<int>(std::lround(12 * std::log2(f / 440.0)));
    }
    std::shared_ptr<CSoundFont> fontA, fontB;
};

TEST_F(MidiStreamTest, FontsTakePrecedenceInOrderWithTheirMappings) {
    auto ab = MakeStream({{fontA, -1, 0}, {fontB, -1, 0}});
    EXPECT_EQ(Which(*ab), 0);
    EXPECT_EQ(Which(*ab, 0, {0xC0, 2}), 8); // only B has program 2
    auto ba = MakeStream({{fontB, -1, 0}, {fontA, -1, 0}});
    EXPECT_EQ(Which(*ba), 7);
    EXPECT_EQ(Which(*ba, 0, {0xC0, 1}), 1);

    // Bank offset: with offset 5, bank 6 reaches the font's bank 1.
    auto offset = MakeStream({{fontA, -1, 5}});
    EXPECT_EQ(Which(*offset, 0, {0xB0, 0, 6, 0xC0, 0}), 2);
    EXPECT_EQ(Which(*offset, 0, {0xB0, 0, 5, 0xC0, 1}), 1);
    // One preset mapped to a bank: B's program 2 answers bank 3 program 2, before font A.
    auto single = MakeStream({{fontB, 2, 3}, {fontA, -1, 0}});
    EXPECT_EQ(Which(*single, 0, {0xB0, 0, 3, 0xC0, 2}), 8);
    EXPECT_EQ(Which(*single, 0, {0xB0, 0, 0, 0xC0, 0}), 0);

    // Detaching all fonts silences new notes; a font freed by its owner while a stream still
    // uses it stays alive for that stream.
    ab->SetFonts(nullptr, 0);
    EXPECT_EQ(Which(*ab, 0, {0xC0, 0}), -100);
    auto shared = MakeStream({{MakeFont({{0, 0, 4}}), -1, 0}});
    EXPECT_EQ(Which(*shared), 4);
}

TEST_F(MidiStreamTest, BankSelectDrumsAndFallbacksFollowTheMode) {
    auto s = MakeStream({{fontA, -1, 0}});
    // GM: channel 10 plays drums; a missing kit falls back to kit 0, a missing bank to bank 0.
    EXPECT_EQ(Which(*s, 9), 3);
    EXPECT_EQ(Which(*s, 9, {0xC9, 5}), 4);
    EXPECT_EQ(Which(*s, 9, {0xC9, 7}), 3);
    EXPECT_EQ(Which(*s, 0, {0xB0, 0, 9, 0xC0, 1}), 1);
    // The drums event turns any channel into a drum channel.
    s->SendEvent(2, EMidiEvent::Drums, 1);
    EXPECT_EQ(Which(*s, 2, {0xC2, 5}), 4);
    s->SendEvent(2, EMidiEvent::Drums, 0);
    EXPECT_EQ(Which(*s, 2, {0xC2, 0}), 0);

    // GS: "use for rhythm part" on part 2 (MIDI channel 2); MSB selects the variation.
    EXPECT_EQ(
        Which(*s, 1, {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7, 0xF0,
                      0x41, 0x10, 0x42, 0x12, 0x40, 0x12, 0x15, 0x01, 0x18, 0xF7, 0xC1, 0x05}),
        4);
    EXPECT_EQ(Which(*s, 0, {0xB0, 0, 1, 0xB0, 32, 3, 0xC0, 0}), 2);

    // XG: MSB 127 makes a drum channel, LSB picks the melodic bank.
    EXPECT_EQ(
        Which(*s, 3, {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7, 0xB3, 0, 127, 0xC3, 0}),
        3);
    EXPECT_EQ(Which(*s, 4, {0xB4, 0, 0, 0xB4, 32, 1, 0xC4, 0}), 2);
    EXPECT_EQ(Which(*s, 9), 3); // channel 10 stays drums after the reset
    // The XG drums option lets bank 127 presets serve the XG kits.
    auto xg = MakeStream({{MakeFont({{127, 0, 5}, {128, 0, 3}}, FontFlags::XgDrums), -1, 0}});
    EXPECT_EQ(Which(*xg, 9, {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}), 5);

    // GM2: MSB 120 drums, 121 melodic with the LSB as bank.
    EXPECT_EQ(Which(*s, 5, {0xF0, 0x7E, 0x7F, 0x09, 0x03, 0xF7, 0xB5, 0, 120, 0xC5, 5}), 4);
    EXPECT_EQ(Which(*s, 5, {0xB5, 0, 121, 0xB5, 32, 1, 0xC5, 0}), 2);
}

TEST_F(MidiStreamTest, RawMidiAndEventsFromAnotherThread) {
    {
        auto s = MakeStream({{fontA, -1, 0}});
        SStereo out;
        Send(*s,
             {0x45, 0x64, 0x90, 60, 100, 64, 100, 0xF8, 67, 100}); // stray data, clock in between
        Render(*s, 0.02, out);
        EXPECT_EQ(s->GetActiveVoices(), 3u);
        Send(*s, {72, 100}); // running status does not carry over into the next call
        Render(*s, 0.02, out);
        EXPECT_EQ(s->GetActiveVoices(), 3u);
        Send(*s, {0x90, 60, 0, 64, 0, 0xF2, 0x10, 0x10, 67, 0}); // F2 cancels running status
        Render(*s, 0.1, out);
        EXPECT_EQ(s->GetActiveVoices(), 1u);
        Send(*s, {0x80, 67, 0, 0xF0, 0x7E, 0x7F, 0x09, 0x01}); // unterminated SysEx is dropped
        Render(*s, 0.1, out);
        EXPECT_EQ(s->GetActiveVoices(), 0u);
        // Regression: a status byte cutting a message short once made the parser spin forever.
        Send(*s, {0x90, 61, 0x90, 62, 0xF8, 100});
        Render(*s, 0.02, out);
        EXPECT_EQ(s->GetActiveVoices(), 1u);
        EXPECT_FALSE(s->SendEvent(16, EMidiEvent::Note, 60 | 100 << 8));
    }
    {
        auto s = MakeStream({{fontA, -1, 0}, {fontB, -1, 0}}, 0, 48000, 64);
        std::atomic<bool> stop{false};
        std::thread feeder([&] {
            uint32_t i = 0;
            while (!stop.load()) {
                const uint8_t k = static_cast<uint8_t>(40 + i % 40);
                const uint8_t msg[] = {static_cast<uint8_t>(0x90 | (i % 16)), k, 90, 0xB0, 7,
                                       static_cast<uint8_t>(i % 128)};
                s->SendMidi(msg, sizeof msg);
                s->SendEvent(static_cast<int>(i % 16), EMidiEvent::Note, k);
                if (i % 50 == 0)
                    s->SendEvent(0, EMidiEvent::System, SysGs);
                ++i;
                if (i % 64 == 0)
                    std::this_thread::yield();
            }
        });
        SStereo out;
        for (int i = 0; i < 50; ++i)
            Render(*s, 0.01, out);
        stop = true;
        feeder.join();
        for (float v : out.l)
            ASSERT_TRUE(std::isfinite(v));
    }
}

// Voices keep their modulator sums between blocks; every way a control can change must still
// reach the notes already sounding, and only on their own channel.
TEST_F(MidiStreamTest, ControllerChangesReachSoundingNotes) {
    auto s = MakeStream({{fontA, -1, 0}});
    SStereo out;
    const auto tone = [&](double from, double freq) {
        return ToneAmplitude(out.l, out.At(from), out.At(from + 0.05), freq, out.rate);
    };
    Send(*s, {0x90, 69, 100, 0x91, 69, 100}); // the same sine on two channels, in phase
    Render(*s, 0.1, out);
    const double both = tone(0.05, 440);
    ASSERT_GT(both, 0.01);
    Send(*s, {0xB0, 7, 0}); // channel 1's volume down: half the amplitude is left
    Render(*s, 0.1, out);
    EXPECT_NEAR(tone(0.15, 440) / both, 0.5, 0.03);
    s->SendEvent(1, EMidiEvent::PitchBend, 16383); // channel 2 bends up a whole tone
    Render(*s, 0.1, out);
    EXPECT_NEAR(ZeroCrossFrequency(out.l, out.At(0.25), out.At(0.3), out.rate), 493.9, 1.5);
    Send(*s, {0xB0, 7, 127}); // back up, while channel 2 still bends
    Render(*s, 0.1, out);
    EXPECT_GT(tone(0.35, 440), 0.45 * both);
    EXPECT_GT(tone(0.35, 493.9), 0.45 * both);
    // A reset rewrites every channel; notes started after it hear the defaults again.
    Send(*s, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0x90, 69, 100});
    Render(*s, 0.2, out);
    EXPECT_NEAR(tone(0.55, 440) / both, 0.5, 0.03);
    EXPECT_LT(tone(0.55, 493.9), 0.01 * both);
}

TEST_F(MidiStreamTest, PedalsAndChannelModeMessages) {
    auto s = MakeStream({{fontA, -1, 0}}, StreamFlags::NoFx);
    SStereo out;
    // Sustain holds released notes until the pedal comes up.
    Send(*s, {0xB0, 64, 127, 0x90, 60, 100, 0x80, 60, 0});
    Render(*s, 0.1, out);
    EXPECT_EQ(s->GetActiveVoices(), 1u);
    Send(*s, {0xB0, 64, 0});
    Render(*s, 0.1, out);
    EXPECT_EQ(s->GetActiveVoices(), 0u);
    // Sostenuto holds only the notes down when it was pressed.
    Send(*s, {0x90, 60, 100, 0xB0, 66, 127, 0x90, 62, 100, 0x80, 60, 0, 0x80, 62, 0});
    Render(*s, 0.1, out);
    EXPECT_EQ(s->GetActiveVoices(), 1u);
    Send(*s, {0xB0, 66, 0});
    Render(*s, 0.1, out);
    EXPECT_EQ(s->GetActiveVoices(), 0u);
    // All sound off cuts within a few milliseconds; all notes off releases.
    Send(*s, {0x90, 60, 100, 0x90, 64, 100});
    Render(*s, 0.1, out);
    Send(*s, {0xB0, 120, 0});
    const size_t at = out.Frames();
    Render(*s, 0.02, out);
    EXPECT_LT(Peak(out.l, at + out.At(0.008), out.Frames()), 1e-6);
    Send(*s, {0x90, 60, 100, 0xB0, 123, 0});
    Render(*s, 0.1, out);
    EXPECT_EQ(s->GetActiveVoices(), 0u);
    // Mono mode: a new note releases the previous one; poly mode restores chords.
    Send(*s, {0xB0, 126, 1, 0x90, 60, 100, 0x90, 64, 100});
    Render(*s, 0.1, out);
    EXPECT_EQ(s->GetActiveVoices(), 1u);
    Send(*s, {0xB0, 127, 0, 0x90, 60, 100, 0x90, 64, 100});
    Render(*s, 0.1, out);
    EXPECT_EQ(s->GetActiveVoices(), 2u);
    // Notes off event ignores the pedal; reset controllers clears the bend.
    Send(*s, {0xB0, 64, 127, 0xE0, 0, 0});
    s->SendEvent(0, EMidiEvent::NotesOff, 0);
    Render(*s, 0.1, out);
    EXPECT_EQ(s->GetActiveVoices(), 0u);
    EXPECT_EQ(Which(*s, 0, {0xB0, 121, 0}), 0);
}

TEST_F(MidiStreamTest, StateSurvivesSaveAndRestoreIntoANewStream) {
    auto a = MakeStream({{fontA, -1, 0}, {fontB, -1, 0}}, StreamFlags::NoFx);
    Send(*a, {0xB0, 0,   1,  0xC0, 0,               // channel 1: bank 1 program 0
              0xB1, 7,   90, 0xB1, 10, 20, 0xC1, 2, // channel 2: volume, pan, font B
              0xB2, 101, 0,  100,  0,  6,  12,   0xE2, 0x00, 0x60}); // channel 3: range 12, bend
    a->SendEvent(3, EMidiEvent::Drums, 1);
    a->SendEvent(3, EMidiEvent::Program, 5);
    a->SendEvent(1, EMidiEvent::MixLevel, 40);
    SStereo warm;
    Render(*a, 0.01, warm);
    const std::vector<uint8_t> state = a->SaveState();
    ASSERT_FALSE(state.empty());

    auto b = MakeStream({{fontA, -1, 0}, {fontB, -1, 0}}, StreamFlags::NoFx);
    EXPECT_EQ(b->RestoreState(state.data(), state.size()), EError::Ok);
    Render(*b, 0.01, warm);
    for (auto* s : {a.get(), b.get()})
        for (int ch = 0; ch < 4; ++ch)
            s->SendEvent(ch, EMidiEvent::Note, static_cast<uint32_t>(60 + ch) | 100 << 8);
    SStereo oa, ob;
    Render(*a, 0.2, oa);
    Render(*b, 0.2, ob);
    ASSERT_EQ(oa.Frames(), ob.Frames());
    EXPECT_GT(Rms(oa.l, 0, oa.Frames()), 0.01);
    double diff = 0;
    for (size_t i = 0; i < oa.Frames(); ++i)
        diff = std::max(
            diff, static_cast<double>(std::fabs(oa.l[i] - ob.l[i]) + std::fabs(oa.r[i] - ob.r[i])));
    EXPECT_LT(diff, 1e-6);
    for (auto* s : {a.get(), b.get()})
        for (int ch = 0; ch < 4; ++ch)
            s->SendEvent(ch, EMidiEvent::SoundOff, 0);
    EXPECT_EQ(Which(*b, 3), 4); // the drum channel and its kit came back

    auto c = MakeStream({});
    std::vector<uint8_t> broken(state.begin(), state.begin() + static_cast<long>(state.size() / 2));
    EXPECT_EQ(c->RestoreState(broken.data(), broken.size()), EError::IllParam);
    EXPECT_EQ(c->RestoreState(nullptr, 0), EError::IllParam);
}

TEST_F(MidiStreamTest, ReverbAndChorusFollowSendsLevelsAndTheNoFxFlag) {
    auto tail = [&](uint32_t flags, std::initializer_list<uint8_t> setup, int level) {
        auto s = MakeStream({{fontA, -1, 0}}, flags);
        s->SendEvent(0, EMidiEvent::ReverbLevel, static_cast<uint32_t>(level));
        std::vector<uint8_t> v(setup);
        if (!v.empty())
            s->SendMidi(v.data(), v.size());
        s->SendEvent(0, EMidiEvent::Note, 69 | 127 << 8);
        SStereo out;
        Render(*s, 0.3, out);
        s->SendEvent(0, EMidiEvent::Note, 69);
        Render(*s, 0.5, out);
        return Rms(out.l, out.At(0.45), out.At(0.8)); // the dry note is over after 50 ms
    };
    const double wet = tail(0, {0xB0, 91, 127}, 100);
    EXPECT_GT(wet, 1e-3 * kOutputGain);
    EXPECT_LT(tail(0, {0xB0, 91, 0}, 100), wet / 100);
    EXPECT_LT(tail(0, {0xB0, 91, 127}, 0), wet / 100);
    EXPECT_LT(tail(StreamFlags::NoFx, {0xB0, 91, 127}, 100), 1e-7);
    EXPECT_NEAR(tail(0, {0xB0, 91, 127}, 50) / wet, 0.5, 0.05);
    // GS reverb level and XG reverb return messages set the level of every channel.
    EXPECT_LT(
        tail(0, {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x33, 0x00, 0x0C, 0xF7, 0xB0, 91, 127},
             100),
        wet / 100);
    EXPECT_NEAR(
        tail(0, {0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x0C, 0x40, 0xF7, 0xB0, 91, 127}, 100) / wet,
        64.0 / 127, 0.05);

    // Chorus widens a centred note: the side signal grows with the send.
    auto side = [&](int cc93) {
        auto s = MakeStream({{fontA, -1, 0}});
        Send(*s, {0xB0, 91, 0, 0xB0, 93, static_cast<uint8_t>(cc93), 0x90, 69, 127});
        SStereo out;
        Render(*s, 0.5, out);
        std::vector<float> diff(out.Frames());
        for (size_t i = 0; i < diff.size(); ++i)
            diff[i] = out.l[i] - out.r[i];
        return Rms(diff, out.At(0.1), out.Frames()) / Rms(out.l, out.At(0.1), out.Frames());
    };
    EXPECT_LT(side(0), 1e-6);
    EXPECT_GT(side(127), 0.005);
    EXPECT_GT(side(127), side(40) * 2);

    // The chorus returns what it is sent at about the send's level: CC93 127 sends a fifth of
    // the note (the default modulator), so the wet part is near 0.2 of the dry one on each side.
    auto render = [&](uint32_t flags) {
        auto s = MakeStream({{fontA, -1, 0}}, flags);
        s->SendEvent(0, EMidiEvent::ChorusLevel, 100); // unity: the send is what CC93 asks
        Send(*s, {0xB0, 91, 0, 0xB0, 93, 127, 0x90, 69, 127});
        SStereo out;
        Render(*s, 0.5, out);
        return out;
    };
    const SStereo withFx = render(0), dry = render(StreamFlags::NoFx);
    std::vector<float> chorused(dry.Frames());
    for (size_t i = 0; i < chorused.size(); ++i)
        chorused[i] = withFx.l[i] - dry.l[i];
    const double ratio =
        Rms(chorused, dry.At(0.1), dry.Frames()) / Rms(dry.l, dry.At(0.1), dry.Frames());
    EXPECT_GT(ratio, 0.14) << ratio;
    EXPECT_LT(ratio, 0.4) << ratio;
}

// A playing stream is read by the device while its render-ahead thread renders: whoever comes
// first renders the next block, and the output is the same as from one thread alone. A reset
// drops what was rendered ahead.
TEST_F(MidiStreamTest, DeviceAndRenderThreadTakeTurnsWithoutGaps) {
    const SFontMapping m{fontA, -1, 0};
    auto play = [&](bool withRenderThread) {
        EError e;
        auto s = CMidiStream::Create(StreamFlags::Float, 48000, 128, e);
        s->SetFonts(&m, 1);
        for (int k = 50; k < 60; ++k)
            s->SendEvent(0, EMidiEvent::Note, static_cast<uint32_t>(k) | 100u << 8);
        std::atomic<bool> stop{false};
        std::thread renderer;
        if (withRenderThread) {
            renderer = std::thread([&] {
                while (!stop)
                    s->RenderAhead(20);
            });
        }
        std::vector<float> out;
        std::vector<float> chunk(2 * 333); // not a multiple of the block
        for (int i = 0; i < 300; ++i) {
            EXPECT_EQ(s->ReadOutput(chunk.data(), chunk.size() * 4), chunk.size() * 4);
            out.insert(out.end(), chunk.begin(), chunk.end());
        }
        stop = true;
        if (renderer.joinable())
            renderer.join();
        return out;
    };
    const std::vector<float> alone = play(false), shared = play(true);
    ASSERT_EQ(alone.size(), shared.size());
    EXPECT_GT(Rms(alone, 0, alone.size()), 0.01);
    EXPECT_EQ(alone, shared);

    EError e;
    auto s = CMidiStream::Create(0, 48000, 128, e);
    s->SetFonts(&m, 1);
    s->SendEvent(0, EMidiEvent::Note, 60 | 100u << 8);
    EXPECT_GE(s->RenderAhead(20), 960u);
    s->DropOutput();
    EXPECT_EQ(s->BufferedFrames(), 0u);
}

TEST_F(MidiStreamTest, RenderingModesAndAttributes) {
    {
        EError e;
        auto s = CMidiStream::Create(0, 48000, 128, e);
        ASSERT_TRUE(s);
        const SFontMapping m{fontA, -1, 0};
        s->SetFonts(&m, 1);
        EXPECT_EQ(s->GetData(nullptr, 0), -1); // not a decoding stream
        EXPECT_EQ(s->BytesPerFrame(), 4u);
        for (int k = 40; k < 72; ++k)
            s->SendEvent(0, EMidiEvent::Note, static_cast<uint32_t>(k) | 127u << 8);
        const size_t frames = s->RenderAhead(20);
        EXPECT_GE(frames, 960u);
        EXPECT_LT(frames, 960u + 64);
        EXPECT_EQ(s->GetActiveVoices(), 32u);
        EXPECT_GT(s->GetRenderTime(), 0.0f);
        const uint32_t lv = s->GetLevel();
        EXPECT_GT(lv & 0xFFFF, 1000u);
        EXPECT_GT(lv >> 16, 1000u);
        EXPECT_LE(lv & 0xFFFF, 32768u);
        std::vector<int16_t> pcm(2 * 2000);
        // The device side takes all it asks for: what was not rendered ahead is rendered now.
        EXPECT_EQ(s->ReadOutput(pcm.data(), pcm.size() * 2), pcm.size() * 2);
        const size_t ahead = s->RenderAhead(10); // whole blocks until 10 ms are waiting
        EXPECT_GE(ahead, 480u);
        EXPECT_LT(ahead, 480u + 64);
        // A rendering limit far below what the block needs makes the stream drop voices.
        s->SetRenderTimeLimit(0.001f);
        for (int i = 0; i < 40; ++i) {
            s->RenderAhead(20);
            s->ReadOutput(pcm.data(), pcm.size() * 2);
        }
        EXPECT_LT(s->GetActiveVoices(), 8u);
        EError bad;
        EXPECT_FALSE(CMidiStream::Create(0, 100, 128, bad));
        EXPECT_EQ(bad, EError::IllParam);
    }
    {
        for (uint32_t flags : {0u, StreamFlags::DecayEnd}) {
            auto s = MakeStream({{MakeFont({{0, 0, 0}}, 0, 0), -1, 0}}, flags); // 1 s release
            s->SendEvent(0, EMidiEvent::Note, 69 | 100 << 8);
            std::vector<float> buf(2 * 4800);
            EXPECT_EQ(s->GetData(buf.data(), buf.size() * 4), static_cast<int64_t>(buf.size() * 4));
            s->SendEvent(0, EMidiEvent::Note, 69);
            s->SendEvent(0, EMidiEvent::End, 0);
            double seconds = 0;
            while (s->GetData(buf.data(), buf.size() * 4) > 0 && seconds < 10)
                seconds += 0.1;
            if (flags == 0)
                EXPECT_LE(seconds, 0.1);
            else
                EXPECT_NEAR(seconds, 1.0, 0.35); // the 1 s release plus the effects' tail
            EXPECT_EQ(s->GetData(buf.data(), buf.size() * 4), -1);
        }
    }
}

TEST_F(MidiStreamTest, RenderingAndEventIntakeAllocateNothing) {
    auto s = MakeStream({{fontA, -1, 0}, {fontB, -1, 0}}, StreamFlags::Sinc, 48000, 16);
    std::vector<float> buf(2 * 4096);
    s->GetData(buf.data(), buf.size() * 4); // warm up outside the count
    size_t allocated = 0;
    {
        CAllocationCounter allocations;
        // Resets, SysEx, notes beyond the voice limit (stealing), controllers, drums, effects.
        for (int round = 0; round < 4; ++round) {
            const uint8_t gs[] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
            s->SendMidi(gs, sizeof gs);
            for (uint8_t k = 40; k < 80; k += 2) {
                const uint8_t msg[] = {0x90, k,  100, 0xB0, 7, k, 0xC0, static_cast<uint8_t>(k % 3),
                                       0x99, 36, 90};
                s->SendMidi(msg, sizeof msg);
            }
            s->SendEvent(3, EMidiEvent::Drums, 1);
            s->SendEvent(0, EMidiEvent::ReverbLevel, 80);
            s->SendEvent(0, EMidiEvent::PitchBend, 1000);
            s->GetData(buf.data(), buf.size() * 4);
        }
        allocated = allocations.Count(); // read before any assertion allocates
    }
    EXPECT_GT(s->GetActiveVoices(), 0u);
    if (!CAllocationCounter::Available())
        GTEST_SKIP() << "allocation counting is off under the address sanitizer";
    EXPECT_EQ(allocated, 0u);
}

} // namespace
