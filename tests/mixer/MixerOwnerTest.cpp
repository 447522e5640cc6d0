// The mixer owner's setters, its effective-gain rule and its stored state.

#include "mixer/MixerOwner.h"
#include "support/ConfigFixture.h"

#include <gmock/gmock.h>

#include <vector>

using namespace hml::config;
using namespace hml::mixer;

namespace {

// An owner that records which channels it was asked to apply.
class CRecordingOwner : public IMixerOwner {
public:
    std::uint32_t GetLevel() override { return 0; }
    std::wstring GetInstrumentName(std::uint32_t) override { return {}; }
    std::wstring GetTitle() override { return L"test"; }
    void ApplyChannel(std::uint32_t channel) override { applied.push_back(channel); }

    void SetAllVolumes(std::uint32_t v) {
        for (auto& c : channelVolume) {
            c = v;
        }
    }
    std::vector<std::uint32_t> applied;
};

constexpr std::uint32_t kAll = IMixerOwner::kAllChannels;

class MixerOwnerTest : public ConfigFixture {
protected:
    MixerOwnerTest() {
        owned = Open();
        settings = owned.get();
        owner.SetAllVolumes(100);
    }
    ~MixerOwnerTest() override { settings = nullptr; }

    std::unique_ptr<CSettings> owned;
    CRecordingOwner owner;
};

TEST_F(MixerOwnerTest, MuteAndSoloExcludeEachOtherAndReapplyWhatChanged) {
    owner.SetChannelMute(true, 3);
    EXPECT_THAT(owner.applied, testing::ElementsAre(3u));

    owner.SetChannelSolo(true, 3);
    EXPECT_EQ(owner.channelMute[3], 0u) << "soloing a muted channel unmutes it";
    EXPECT_EQ(owner.applied.back(), kAll);

    owner.applied.clear();
    owner.SetChannelMute(true, 3);
    EXPECT_EQ(owner.channelSolo[3], 0u) << "muting a soloed channel clears its solo";
    EXPECT_THAT(owner.applied, testing::ElementsAre(kAll)) << "every channel's gain changed";

    owner.SetChannelSolo(true, kAll);
    for (std::uint32_t c = 0; c < 16; ++c) {
        EXPECT_EQ(owner.channelSolo[c], 1u);
        EXPECT_EQ(owner.channelMute[c], 0u);
    }
    owner.SetChannelMute(true, kAll);
    for (std::uint32_t c = 0; c < 16; ++c) {
        EXPECT_EQ(owner.channelSolo[c], 0u);
        EXPECT_EQ(owner.channelMute[c], 1u);
    }
    owner.SetChannelMute(false, kAll);
    EXPECT_EQ(owner.channelMute[15], 0u);
}

TEST_F(MixerOwnerTest, VolumesAreLimitedTo100AsUnsignedValues) {
    owner.SetChannelVolume(250, 0);
    owner.SetChannelVolume(-1, 1);
    owner.SetChannelVolume(42, 2);
    EXPECT_EQ(owner.channelVolume[0], 100u);
    EXPECT_EQ(owner.channelVolume[1], 100u);
    EXPECT_EQ(owner.channelVolume[2], 42u);
    owner.SetChannelVolume(7, kAll);
    EXPECT_EQ(owner.channelVolume[9], 7u);
    EXPECT_EQ(owner.applied.back(), kAll);
    owner.SetMasterVolume(-20);
    EXPECT_EQ(owner.masterVolume, 100u);
}

TEST_F(MixerOwnerTest, EffectiveVolumeFollowsMasterMuteAndSoloRatio) {
    owner.SetChannelVolume(50, 1);
    EXPECT_EQ(owner.GetEffectiveVolume(1), 50u);
    owner.SetMasterVolume(50);
    EXPECT_EQ(owner.GetEffectiveVolume(1), 25u);
    owner.SetMasterVolume(100);

    owner.SetChannelSolo(true, 0);
    owner.SetChannelVolume(90, 0);
    EXPECT_EQ(owner.GetEffectiveVolume(0), 90u) << "the soloed channel keeps its level";
    EXPECT_EQ(owner.GetEffectiveVolume(1), 10u) << "SoloRatio 20 of volume 50";

    owner.SetChannelMute(true, 2);
    EXPECT_EQ(owner.GetEffectiveVolume(2), 0u);
    EXPECT_EQ(owner.GetEffectiveVolume(16), 100u);
    EXPECT_EQ(owner.GetEffectiveVolume(200), 100u);

    settings->soloRatio.Set(0);
    EXPECT_EQ(owner.GetEffectiveVolume(1), 0u) << "ratio 0 silences the others";
    settings->soloRatio.Set(100);
    EXPECT_EQ(owner.GetEffectiveVolume(1), 50u);
}

TEST_F(MixerOwnerTest, StateReadsTolerantlyAndKeepsUnreadChannels) {
    Put(L"Mixer", L"ChannelMute", L"0000000000000001");
    Put(L"Mixer", L"ChannelSolo", L"01");
    Put(L"Mixer", L"ChannelVolume", L"80;120");
    Put(L"Mixer", L"MasterVolume", L"-5");
    CRecordingOwner fresh; // volumes 0 until read
    fresh.ReadMixerState(*settings);
    EXPECT_EQ(fresh.channelMute[15], 1u);
    EXPECT_EQ(fresh.channelMute[0], 0u);
    for (const auto& s : fresh.channelSolo) {
        EXPECT_EQ(s, 0u) << "a solo text not 16 characters long solos nothing";
    }
    EXPECT_EQ(fresh.channelVolume[0], 80u);
    EXPECT_EQ(fresh.channelVolume[1], 100u);
    EXPECT_EQ(fresh.channelVolume[2], 0u) << "channels after the last number keep their value";
    EXPECT_EQ(fresh.masterVolume, 0u);

    Put(L"Mixer", L"MasterVolume", L"250");
    Put(L"Mixer", L"ChannelVolume", L"10;20x;30");
    Put(L"Mixer", L"ChannelMute", L"00000000000000000000000000000000000000001");
    fresh.ReadMixerState(*settings);
    EXPECT_EQ(fresh.masterVolume, 100u);
    EXPECT_EQ(fresh.channelVolume[1], 20u);
    EXPECT_EQ(fresh.channelVolume[2], 0u) << "reading stops at the first non-number";
    EXPECT_EQ(fresh.channelMute[15], 0u) << "an overlong value mutes nothing";

    CRecordingOwner untouched;
    untouched.ReadMixerState(*settings, folder.File(L"missing.hmlms"));
    EXPECT_EQ(untouched.channelVolume[5], 100u) << "missing keys read as the defaults";
}

TEST_F(MixerOwnerTest, EachOwnerWritesUnderItsOwnSuffix) {
    CRecordingOwner second;
    second.portSuffix = L"2";
    second.SetAllVolumes(100);
    second.SetChannelMute(true, 0);
    second.SetChannelSolo(true, 15);
    second.SetChannelVolume(55, 4);
    second.SetMasterVolume(70);
    second.WriteMixerState(*settings);
    EXPECT_EQ(Stored(L"Mixer", L"ChannelMute2"), L"1000000000000000");
    EXPECT_EQ(Stored(L"Mixer", L"ChannelSolo2"), L"0000000000000001");
    EXPECT_EQ(Stored(L"Mixer", L"ChannelVolume2"),
              L"100;100;100;100;55;100;100;100;100;100;100;100;100;100;100;100");
    EXPECT_EQ(Stored(L"Mixer", L"MasterVolume2"), L"70");
    EXPECT_EQ(Stored(L"Mixer", L"ChannelMute"), L"<none>");

    CRecordingOwner converter;
    converter.portSuffix = L"MC";
    converter.WriteMixerState(*settings);
    EXPECT_EQ(Stored(L"Mixer", L"MasterVolumeMC"), L"100");

    // A state file has no suffix, whoever writes it, and reads back the same.
    const std::wstring file = folder.File(L"state.hmlms");
    second.WriteMixerState(*settings, file);
    EXPECT_EQ(Stored(L"Mixer", L"MasterVolume", file), L"70");
    CRecordingOwner first;
    first.ReadMixerState(*settings, file);
    EXPECT_EQ(first.channelVolume[4], 55u);
    EXPECT_EQ(first.channelMute[0], 1u);
    EXPECT_EQ(first.masterVolume, 70u);
}

} // namespace
