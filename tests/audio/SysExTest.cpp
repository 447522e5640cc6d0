// The one reading of the reset, master-volume, effect-level and drum-part messages that the
// file reader, the stream and the server's MIDI handling share.
#include "audio/SysEx.h"

#include <gtest/gtest.h>

#include <vector>

namespace hml::audio::sysex {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct SCase {
    const char* what;
    Bytes bytes;
    EKind kind;
    int part = 0;
    int value = 0;
    bool standard = false;
    bool exactReset = false;
};

TEST(SysExTest, DecodesEveryMessageByOneRule) {
    const SCase cases[] = {
        {"GM on", {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, EKind::GmSystemOn, 0, 1, true, true},
        {"GM on, device 0x10", {0xF0, 0x7E, 0x10, 0x09, 0x01, 0xF7}, EKind::GmSystemOn, 0, 1},
        {"GM off", {0xF0, 0x7E, 0x7F, 0x09, 0x02, 0xF7}, EKind::GmSystemOff, 0, 2, true},
        {"GM2 on", {0xF0, 0x7E, 0x7F, 0x09, 0x03, 0xF7}, EKind::Gm2SystemOn, 0, 3, true, true},
        {"GM on with a stray byte", {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0x00, 0xF7}, EKind::Other},
        {"universal volume",
         {0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x7F, 0x7F, 0xF7},
         EKind::MasterVolume,
         0,
         16383,
         true},
        {"GS reset",
         {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7},
         EKind::GsReset,
         0,
         0,
         true,
         true},
        {"GS reset, bad checksum",
         {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x40, 0xF7},
         EKind::GsReset,
         0,
         0,
         true},
        {"GS reset, device 0x11",
         {0xF0, 0x41, 0x11, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7},
         EKind::GsReset},
        {"GS reset, one byte more",
         {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x00, 0x41, 0xF7},
         EKind::GsReset},
        {"GS reset, cut short",
         {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0xF7},
         EKind::Other},
        {"GS volume",
         {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x04, 0x64, 0x58, 0xF7},
         EKind::MasterVolume,
         0,
         100,
         true},
        {"GS reverb",
         {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x33, 0x50, 0x3C, 0xF7},
         EKind::ReverbLevel,
         0,
         0x50,
         true},
        {"GS chorus",
         {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x3A, 0x10, 0x75, 0xF7},
         EKind::ChorusLevel,
         0,
         0x10,
         true},
        {"GS part 2 rhythm",
         {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x12, 0x15, 0x02, 0x17, 0xF7},
         EKind::GsRhythmPart,
         2,
         2,
         true},
        {"GS part 10 channel",
         {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x1A, 0x02, 0x0C, 0x18, 0xF7},
         EKind::GsPartChannel,
         10,
         12,
         true},
        {"XG on",
         {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7},
         EKind::XgSystemOn,
         0,
         0,
         true,
         true},
        {"XG all reset",
         {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7F, 0x00, 0xF7},
         EKind::XgAllReset,
         0,
         0,
         true},
        {"XG on, device 3",
         {0xF0, 0x43, 0x13, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7},
         EKind::XgSystemOn},
        {"XG reverb return",
         {0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x0C, 0x40, 0xF7},
         EKind::ReverbLevel,
         0,
         0x40,
         true},
        {"XG chorus return",
         {0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x2C, 0x20, 0xF7},
         EKind::ChorusLevel,
         0,
         0x20,
         true},
        {"XG part 3 drums",
         {0xF0, 0x43, 0x10, 0x4C, 0x08, 0x03, 0x07, 0x01, 0xF7},
         EKind::XgPartMode,
         3,
         1,
         true},
        {"XG part 16 is no part",
         {0xF0, 0x43, 0x10, 0x4C, 0x08, 0x10, 0x07, 0x01, 0xF7},
         EKind::Other},
        {"XG, not a parameter change",
         {0xF0, 0x43, 0x30, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7},
         EKind::Other},
        {"unterminated", {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00}, EKind::Other},
        {"status byte inside",
         {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x90, 0x7E, 0x00, 0xF7},
         EKind::Other},
        {"another maker",
         {0xF0, 0x47, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7},
         EKind::Other},
        {"empty", {}, EKind::Other},
    };
    for (const SCase& c : cases) {
        const SMessage m = Decode(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(m.kind, c.kind) << c.what;
        if (c.kind == EKind::Other)
            continue;
        EXPECT_EQ(m.part, c.part) << c.what;
        EXPECT_EQ(m.value, c.value) << c.what;
        EXPECT_EQ(m.standard, c.standard) << c.what;
        EXPECT_EQ(IsExactReset(m), c.exactReset) << c.what;
    }
}

TEST(SysExTest, BuiltLevelMessagesDecodeAsLevelsAndTheResetsAreExact) {
    for (std::uint32_t level : {0u, 64u, 127u, 500u}) {
        const auto gs = Gs(kGsReverb, level);
        const SMessage g = Decode(gs.data(), gs.size());
        EXPECT_EQ(g.kind, EKind::ReverbLevel);
        EXPECT_TRUE(g.standard && g.checksumOk) << level;
        EXPECT_EQ(g.value, std::min(level, 127u));
        const auto xg = Xg(kXgChorus, level);
        EXPECT_EQ(Decode(xg.data(), xg.size()).kind, EKind::ChorusLevel);
    }
    for (const auto* reset : {kGmSystemOn, kGm2SystemOn}) {
        EXPECT_TRUE(IsExactReset(Decode(reset, 6)));
    }
    EXPECT_TRUE(IsExactReset(Decode(kGsReset, sizeof kGsReset)));
    EXPECT_TRUE(IsExactReset(Decode(kXgSystemOn, sizeof kXgSystemOn)));
    EXPECT_EQ(GsPartDefaultChannel(0), 9);
    EXPECT_EQ(GsPartDefaultChannel(9), 8);
    EXPECT_EQ(GsPartDefaultChannel(10), 10);
}

TEST(SysExTest, MasterVolumeScalesByTheMessageForm) {
    const Bytes universal = {0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x40, 0xF7};
    EXPECT_NEAR(Decode(universal.data(), universal.size()).MasterVolume(), 8192 / 16383.0, 1e-6);
    const Bytes xg = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x04, 0x7F, 0xF7};
    EXPECT_FLOAT_EQ(Decode(xg.data(), xg.size()).MasterVolume(), 1.0f);
}

} // namespace
} // namespace hml::audio::sysex
