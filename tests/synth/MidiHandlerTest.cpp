// A connection's MIDI handling against a stream that records what reaches it.

#include "synth/MidiHandler.h"
#include "mixer/MixerOwner.h"

#include <gmock/gmock.h>

#include <string>
#include <vector>

using namespace hml::mixer;
using namespace hml::synth;

namespace {

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::IsEmpty;
using testing::StrEq;
using Bytes = std::vector<std::uint8_t>;

struct Event {
    std::uint32_t channel;
    std::uint32_t event;
    std::uint32_t value;
    bool operator==(const Event&) const = default;
};

class CRecordingStream : public IMidiStreamTarget {
public:
    void SendEvent(std::uint32_t channel, std::uint32_t event, std::uint32_t value) override {
        events.push_back({channel, event, value});
    }
    void SendRaw(const std::uint8_t* bytes, std::size_t count) override {
        raw.emplace_back(bytes, bytes + count);
    }
    std::vector<Event> Of(std::uint32_t kind) const {
        std::vector<Event> found;
        for (const auto& e : events) {
            if (e.event == kind) {
                found.push_back(e);
            }
        }
        return found;
    }
    void Clear() {
        events.clear();
        raw.clear();
    }
    std::vector<Event> events;
    std::vector<Bytes> raw;
};

class CRecordingPort : public IMixerOwner, public IStripRefresher {
public:
    std::uint32_t GetLevel() override { return 0; }
    std::wstring GetInstrumentName(std::uint32_t) override { return {}; }
    std::wstring GetTitle() override { return L"test"; }
    void ApplyChannel(std::uint32_t) override {}
    void RefreshStrip(std::uint32_t channel) override { refreshed.push_back(channel); }
    std::vector<std::uint32_t> refreshed;
};

const Bytes kGmOn = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
const Bytes kGm2On = {0xF0, 0x7E, 0x7F, 0x09, 0x03, 0xF7};
const Bytes kGsReset = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
const Bytes kXgOn = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
const Bytes kGsReverb64 = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x33, 0x40, 0x4C, 0xF7};
const Bytes kGsChorus64 = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x3A, 0x40, 0x45, 0xF7};
const Bytes kXgReverb64 = {0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x0C, 0x40, 0xF7};
const Bytes kXgChorus64 = {0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x2C, 0x40, 0xF7};

// A GS part parameter for the part in block 0x1<block>.
Bytes GsPart(std::uint8_t block, std::uint8_t parameter, std::uint8_t value) {
    return {0xF0,      0x41,  0x10, 0x42, 0x12, 0x40, static_cast<std::uint8_t>(0x10 | block),
            parameter, value, 0x00, 0xF7};
}

class MidiHandlerTest : public testing::Test {
protected:
    MidiHandlerTest() { midi.SetStream(&stream); }

    void Short(std::uint32_t b0, std::uint32_t b1 = 0, std::uint32_t b2 = 0,
               std::uint32_t param2 = 0) {
        midi.ShortMessage(b0 | b1 << 8 | b2 << 16, param2);
    }
    // Sends a message the way the driver does: in chunks of 50 bytes.
    void SysEx(const Bytes& message) {
        const auto count = static_cast<std::uint32_t>((message.size() + 49) / 50);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::size_t length = std::min<std::size_t>(50, message.size() - i * 50);
            midi.LongMessage(i, count, message.data() + i * 50, static_cast<std::uint32_t>(length));
        }
    }
    std::wstring Name(std::uint32_t channel) const {
        const wchar_t* name = midi.instrumentName[channel];
        return name ? name : L"(none)";
    }
    std::uint32_t Activity(std::uint32_t channel) const { return port.channelActivity[channel]; }

    CRecordingPort port;
    CRecordingStream stream;
    CMidiHandler midi{port, &port, MidiEffectsConfig{}};
};

TEST_F(MidiHandlerTest, RunningStatusAndMessageLengths) {
    Short(0x40, 0x40);
    EXPECT_THAT(stream.raw, IsEmpty()) << "a data byte before any status sends nothing";

    Short(0x90, 60, 100);
    Short(62, 90);
    EXPECT_THAT(stream.raw, ElementsAre(Bytes{0x90, 60, 100}, Bytes{0x90, 62, 90}));

    stream.Clear();
    Short(0xF8); // real-time bytes keep the running status
    Short(64, 80);
    Short(0xC3, 5);
    Short(0xD3, 7);
    Short(9);
    EXPECT_THAT(stream.raw, ElementsAre(Bytes{0xF8}, Bytes{0x90, 64, 80}, Bytes{0xC3, 5},
                                        Bytes{0xD3, 7}, Bytes{0xD3, 9}));

    stream.Clear();
    Short(0xF2, 1, 2);
    Short(60, 100);
    Short(0xF0, 1, 2);
    Short(0xF1, 3);
    Short(0xF6);
    EXPECT_THAT(stream.raw, ElementsAre(Bytes{0xF2, 1, 2}, Bytes{0xF1, 3}, Bytes{0xF6}))
        << "a system common message ends running status; F0 is never sent as a short message";
    EXPECT_EQ(midi.eventCount, 13);
}

TEST_F(MidiHandlerTest, ActivityFollowsNotesAndAllNotesControllers) {
    Short(0x90, 60, 100);
    Short(0x91, 60, 100);
    Short(0x92, 60, 100);
    Short(0x93, 60, 100);
    Short(0x94, 60, 100);
    EXPECT_EQ(Activity(0) + Activity(1) + Activity(2) + Activity(3) + Activity(4), 5u);

    Short(0x80, 60, 0);
    Short(0x91, 60, 0);
    Short(0xB2, 120, 0);
    Short(0xB3, 123, 0);
    EXPECT_EQ(Activity(0) + Activity(1) + Activity(2) + Activity(3), 0u);
    EXPECT_EQ(Activity(4), 1u);

    midi.NotesOff();
    EXPECT_EQ(Activity(4), 0u);
    const auto notesOff = stream.Of(kEventNotesOff);
    ASSERT_EQ(notesOff.size(), 16u);
    for (std::uint32_t c = 0; c < 16; ++c) {
        EXPECT_EQ(notesOff[c], (Event{c, kEventNotesOff, 0}));
    }

    midi.SetStream(nullptr);
    Short(0x95, 60, 1);
    midi.NotesOff();
    EXPECT_EQ(Activity(5), 0u) << "cleared even without a stream";
}

TEST_F(MidiHandlerTest, ProgramChangeNamesTheChannel) {
    Short(0xC9, 0);
    Short(0xC0, 0);
    Short(0xC1, 79);
    EXPECT_EQ(Name(9), L"Drums");
    EXPECT_EQ(Name(0), L"Acoustic Grand Piano");
    EXPECT_EQ(Name(1), L"Ocarina");
    EXPECT_EQ(midi.program[1], 79);
    EXPECT_THAT(port.refreshed, ElementsAre(9u, 0u, 1u));
    EXPECT_EQ(Name(2), L"(none)");

    stream.Clear();
    Short(0xC9, 3, 0, 0xC0);
    Short(0xC4, 3, 0, 0xC0);
    EXPECT_THAT(stream.Of(kEventDrums),
                ElementsAre(Event{9, kEventDrums, 1}, Event{4, kEventDrums, 0}));

    midi.ResetInstruments();
    EXPECT_EQ(Name(0), L"(none)");
    EXPECT_EQ(midi.program[1], 0);
    EXPECT_EQ(port.refreshed.back(), IMixerOwner::kAllChannels);
}

// The bank number is formed so the variation rows of each mode's table can be reached.
TEST_F(MidiHandlerTest, BankSelectReachesTheVariationRows) {
    Short(0xB0, 32, 1);
    Short(0xC0, 0);
    EXPECT_EQ(Name(0), L"Acoustic Grand Piano") << "plain GM has no variations";

    SysEx(kGm2On);
    Short(0xB0, 0, 121);
    Short(0xB0, 32, 1);
    Short(0xC0, 0);
    EXPECT_EQ(Name(0), L"Wide Acoustic Grand");

    SysEx(kGsReset);
    Short(0xB1, 0, 8);
    Short(0xB1, 32, 3);
    Short(0xC1, 4);
    EXPECT_EQ(Name(1), L"Detuned EP 1");
    EXPECT_EQ(midi.bank[1], 8u);

    SysEx(kXgOn);
    Short(0xB2, 32, 1); // LSB before MSB
    Short(0xB2, 0, 0);
    Short(0xC2, 0);
    EXPECT_EQ(Name(2), L"Grand Piano KSP");
    Short(0xB2, 0, 64);
    Short(0xB2, 32, 0);
    Short(0xC2, 0);
    EXPECT_EQ(Name(2), L"Cutting Noise");
    EXPECT_EQ(midi.bank[2], 8192u);
    Short(0xB2, 0, 5);
    Short(0xC2, 0);
    EXPECT_EQ(Name(2), L"<--->");

    SysEx(kXgOn);
    EXPECT_EQ(midi.bank[2], 0u);
    Short(0xB2, 32, 1);
    Short(0xC2, 0);
    EXPECT_EQ(Name(2), L"Grand Piano KSP") << "a mode reset also forgets the MSB";
}

// Drum tracking from bank select applies to the channel the message is for.
TEST_F(MidiHandlerTest, BankSelectDrumsFollowTheMessageChannel) {
    Short(0xB3, 0, 127);
    EXPECT_EQ(midi.drum[3], 0) << "GM ignores bank-select drums";
    SysEx(kGsReset);
    Short(0xB3, 0, 127);
    EXPECT_EQ(midi.drum[3], 0) << "so does GS";

    SysEx(kXgOn);
    Short(0xB3, 0, 127);
    Short(0xC3, 0);
    EXPECT_EQ(midi.drum[3], 1);
    EXPECT_EQ(Name(3), L"Drums");
    Short(0xB9, 0, 0);
    Short(0xC9, 0);
    EXPECT_EQ(midi.drum[9], 0);
    EXPECT_EQ(Name(9), L"Grand Piano");

    SysEx(kGm2On);
    Short(0xB5, 0, 120);
    EXPECT_EQ(midi.drum[5], 1);
    Short(0xB5, 0, 127);
    EXPECT_EQ(midi.drum[5], 1) << "only 121 ends GM2 drums";
    Short(0xB5, 0, 121);
    EXPECT_EQ(midi.drum[5], 0);
    EXPECT_EQ(midi.drum[0], 0);
}

TEST_F(MidiHandlerTest, ResetMessagesSetTheModeAndResetTheChannels) {
    const std::pair<Bytes, std::uint32_t> resets[] = {
        {kGsReset, kModeGs}, {kXgOn, kModeXg}, {kGm2On, kModeGm2}, {kGmOn, kModeGm}};
    for (const auto& [message, mode] : resets) {
        Short(0xB0, 0, 120);
        Short(0xC0, 5);
        stream.Clear();
        SysEx(message);
        EXPECT_EQ(midi.mode, mode);
        EXPECT_EQ(stream.raw.front(), message) << "the reset itself reaches the stream";
        EXPECT_EQ(Name(0), L"(none)");
        EXPECT_EQ(midi.bank[0], 0u);
        const auto drums = stream.Of(kEventDrums);
        ASSERT_EQ(drums.size(), 16u);
        for (std::uint32_t c = 0; c < 16; ++c) {
            EXPECT_EQ(drums[c].value, c == 9 ? 1u : 0u);
            EXPECT_EQ(midi.drum[c], c == 9 ? 1 : 0);
        }
    }

    Bytes longer = kGsReset;
    longer.insert(longer.end() - 1, 0x00);
    SysEx(longer);
    EXPECT_EQ(midi.mode, kModeGm) << "compared with its exact length";
}

TEST_F(MidiHandlerTest, GsRhythmPartFollowsThePartMap) {
    SysEx(GsPart(1, 0x15, 1));
    EXPECT_EQ(midi.drum[0], 0) << "only in GS mode";

    SysEx(kGsReset);
    SysEx(GsPart(1, 0x15, 1)); // part 1 is MIDI channel 1
    EXPECT_EQ(midi.drum[0], 1);
    SysEx(GsPart(0, 0x15, 0)); // part 0 is MIDI channel 10
    EXPECT_EQ(midi.drum[9], 0);
    SysEx(GsPart(0xA, 0x15, 2)); // part 10 is MIDI channel 11
    EXPECT_EQ(midi.drum[10], 1);

    SysEx(GsPart(3, 0x02, 12));
    SysEx(GsPart(3, 0x15, 1));
    EXPECT_EQ(midi.drum[12], 1);
    EXPECT_EQ(midi.drum[2], 0);

    SysEx(GsPart(4, 0x02, 0x10)); // receive channel off
    SysEx(GsPart(4, 0x15, 1));
    const std::array<std::uint8_t, 16> expected = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0};
    EXPECT_EQ(midi.drum, expected);
}

TEST_F(MidiHandlerTest, EffectLevelsInTheFormOfTheMode) {
    midi.ApplyEffects();
    EXPECT_THAT(stream.raw, IsEmpty());
    ASSERT_EQ(stream.events.size(), 32u);
    for (std::uint32_t c = 0; c < 16; ++c) {
        EXPECT_EQ(stream.events[2 * c], (Event{c, kEventReverb, 50}));
        EXPECT_EQ(stream.events[2 * c + 1], (Event{c, kEventChorus, 50}));
    }

    stream.Clear();
    midi.SetEffects({127, 0, true});
    midi.ApplyEffects();
    EXPECT_EQ(stream.Of(kEventReverb)[15].value, 100u);
    EXPECT_EQ(stream.Of(kEventChorus)[15].value, 0u);

    midi.SetEffects({});
    stream.Clear();
    SysEx(kGsReset);
    EXPECT_THAT(stream.raw, ElementsAre(kGsReset, kGsReverb64, kGsChorus64));

    stream.Clear();
    SysEx(kXgOn);
    midi.SetEffects({100, 20, true});
    midi.ApplyEffects();
    EXPECT_THAT(stream.raw, ElementsAre(kXgOn, kXgReverb64, kXgChorus64,
                                        Bytes{0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x0C, 100, 0xF7},
                                        Bytes{0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x2C, 20, 0xF7}));
    EXPECT_THAT(stream.Of(kEventReverb), IsEmpty());

    SysEx(kGsReset);
    stream.Clear();
    midi.SetEffects({127, 0, true});
    midi.ApplyEffects();
    EXPECT_EQ(stream.raw[0][9], 0x0D) << "checksum of 40 01 33 7F";
    EXPECT_EQ(stream.raw[1][9], 0x05) << "checksum of 40 01 3A 00";
}

TEST_F(MidiHandlerTest, OverrideKeepsTheConfiguredLevels) {
    for (const auto& level : {kGsReverb64, kGsChorus64, kXgReverb64, kXgChorus64}) {
        SysEx(level);
    }
    EXPECT_THAT(stream.raw, IsEmpty());
    EXPECT_EQ(midi.eventCount, 4) << "dropped messages still count";

    Bytes reverbMacro = kGsReverb64;
    reverbMacro[7] = 0x30;
    SysEx(reverbMacro);
    EXPECT_THAT(stream.raw, ElementsAre(reverbMacro));

    midi.SetEffects({64, 64, false});
    stream.Clear();
    SysEx(kGsReverb64);
    SysEx(kXgChorus64);
    EXPECT_THAT(stream.raw, ElementsAre(kGsReverb64, kXgChorus64));
}

TEST_F(MidiHandlerTest, SysExIsReassembledFromChunks) {
    Bytes message(120);
    for (std::size_t i = 0; i < message.size(); ++i) {
        message[i] = static_cast<std::uint8_t>(i);
    }
    midi.LongMessage(0, 3, message.data(), 50);
    midi.LongMessage(1, 3, message.data() + 50, 50);
    EXPECT_THAT(stream.raw, IsEmpty());
    EXPECT_EQ(midi.eventCount, 0);
    midi.LongMessage(2, 3, message.data() + 100, 20);
    EXPECT_THAT(stream.raw, ElementsAre(message));
    EXPECT_EQ(midi.eventCount, 1);

    stream.Clear();
    midi.LongMessage(0, 1, message.data(), 60);
    EXPECT_EQ(stream.raw.at(0).size(), 50u) << "a record holds at most 50 bytes";

    Bytes reset = kXgOn;
    reset.resize(60, 0);
    midi.LongMessage(0, 2, reset.data(), 50); // a new chunk 0 restarts reassembly
    midi.LongMessage(0, 2, kXgOn.data(), 5);
    midi.LongMessage(1, 2, kXgOn.data() + 5, 4);
    EXPECT_EQ(midi.mode, kModeXg) << "a reassembled message is handled like a whole one";
}

TEST_F(MidiHandlerTest, MalformedChunksAreDroppedWithTheirMessage) {
    const Bytes chunk(50, 0x11);
    midi.LongMessage(1, 2, chunk.data(), 50);
    midi.LongMessage(0, 0, chunk.data(), 50);
    midi.LongMessage(2, 2, chunk.data(), 50);
    midi.LongMessage(5, 1, chunk.data(), 50);
    EXPECT_THAT(stream.raw, IsEmpty()) << "no chunk 0, count 0 or index past the count";

    midi.LongMessage(0, 2, chunk.data(), 50);
    midi.LongMessage(1, 3, chunk.data(), 50);
    midi.LongMessage(2, 3, chunk.data(), 50);
    EXPECT_THAT(stream.raw, IsEmpty()) << "a count that changed drops the rest of the message";

    midi.LongMessage(0, 3, chunk.data(), 50);
    midi.LongMessage(2, 3, chunk.data(), 50);
    EXPECT_THAT(stream.raw, IsEmpty()) << "a skipped chunk drops the rest";

    // 1310 chunks fit into 64 KiB, 1311 do not; a huge count must not overflow into a small one.
    for (std::uint32_t count : {1311u, 0x80000000u, 0xFFFFFFFFu}) {
        midi.LongMessage(0, count, chunk.data(), 50);
        midi.LongMessage(1, count, chunk.data(), 50);
        midi.LongMessage(count - 1, count, chunk.data(), 50);
    }
    EXPECT_THAT(stream.raw, IsEmpty());

    for (std::uint32_t i = 0; i < 1310; ++i) {
        midi.LongMessage(i, 1310, chunk.data(), 50);
    }
    ASSERT_EQ(stream.raw.size(), 1u);
    EXPECT_EQ(stream.raw[0].size(), 65500u);
}

TEST_F(MidiHandlerTest, WithoutAStreamOnlyTheStateIsKept) {
    midi.SetStream(nullptr);
    SysEx(kXgOn);
    Short(0xB1, 0, 127);
    Short(0xC1, 0, 0, 0xC0);
    midi.NotesOff();
    midi.ApplyEffects();
    EXPECT_EQ(midi.mode, kModeXg);
    EXPECT_EQ(Name(1), L"Drums");
    EXPECT_THAT(stream.raw, IsEmpty());
    EXPECT_THAT(stream.events, IsEmpty());
}

} // namespace
