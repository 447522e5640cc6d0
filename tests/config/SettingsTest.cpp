// The settings records and the SoundFont list on a configuration file (a real file through the
// private-profile functions in the Windows build, an in-memory one natively).

#include "support/ConfigFixture.h"

#include <fstream>

namespace {

class SettingsTest : public ConfigFixture {};

TEST_F(SettingsTest, IntegersAreClampedOnReadAndTheFileIsNotRepaired) {
    Put(L"Advanced", L"DevicesCount", L"9");
    Put(L"Advanced", L"VoicesLimit", L"5");
    Put(L"Advanced", L"ReverbLevel", L"-1");
    Put(L"Advanced", L"OutputSampleRate", L"-1");
    Put(L"Advanced", L"CpuLimit", L"abc");
    auto s = Open();
    EXPECT_EQ(s->devicesCount.Get(), 4u);
    EXPECT_EQ(s->voicesLimit.Get(), 16u);
    EXPECT_EQ(s->reverbLevel.Get(), 127u) << "-1 reads as 4294967295, above the maximum";
    EXPECT_EQ(s->outputSampleRate.Get(), 4294967295u);
    EXPECT_EQ(s->cpuLimit.Get(), 0u) << "text that is no number reads as 0";
    EXPECT_EQ(Stored(L"Advanced", L"DevicesCount"), L"9");

    Put(L"Advanced", L"DevicesCount", L"0");
    EXPECT_EQ(Open()->devicesCount.Get(), 1u);
    // Missing keys read as their defaults.
    EXPECT_EQ(s->watchdogTimeout.Get(), 8000u);
    EXPECT_EQ(s->langID.Get(), 1033u);
    EXPECT_EQ(s->showMixer.Get(), 1613u);
}

TEST_F(SettingsTest, SetStoresSignedTextRemovesDefaultsAndRaisesItsFlag) {
    auto s = Open();
    s->cpuLimit.Set(150);
    EXPECT_EQ(Stored(L"Advanced", L"CpuLimit"), L"100");
    EXPECT_TRUE(s->audioChanged);
    EXPECT_EQ(Open()->cpuLimit.Get(), 100u);

    s->cpuLimit.Set(95);
    EXPECT_EQ(Stored(L"Advanced", L"CpuLimit"), L"<none>") << "a default is never stored";

    s->openStatus.Set(4294967295u);
    EXPECT_EQ(Stored(L"Mixer", L"OpenStatus"), L"-1");
    EXPECT_EQ(Open()->openStatus.Get(), 4294967295u);

    EXPECT_FALSE(s->hotkeysChanged);
    s->showMixer.Set(0);
    EXPECT_TRUE(s->hotkeysChanged);
    EXPECT_EQ(Stored(L"Shortcuts", L"ShowMixer"), L"0");
    s->devicesCount.Set(3);
    EXPECT_TRUE(s->portCountChanged);
    s->langID.Set(1031);
    EXPECT_TRUE(s->languageChanged);
    s->disableVUMeter.Set(1);
    EXPECT_TRUE(s->vuMeterChanged);

    // Records without a flag change nothing else.
    auto fresh = Open();
    fresh->soloRatio.Set(50);
    EXPECT_FALSE(fresh->audioChanged || fresh->hotkeysChanged || fresh->vuMeterChanged ||
                 fresh->languageChanged || fresh->portCountChanged);
}

TEST_F(SettingsTest, SetOfTheCachedValueWritesNothingButAnUnreadRecordAlwaysWrites) {
    Put(L"Advanced", L"ReverbLevel", L"70");
    auto s = Open();
    s->reverbLevel.Set(70); // not read yet: written, flag raised
    EXPECT_TRUE(s->audioChanged);
    EXPECT_EQ(s->reverbLevel.Get(), 70u);

    s->audioChanged = false;
    Put(L"Advanced", L"ReverbLevel", L"hand edited");
    s->reverbLevel.Set(70); // read and equal: nothing happens
    EXPECT_FALSE(s->audioChanged);
    EXPECT_EQ(Stored(L"Advanced", L"ReverbLevel"), L"hand edited");
}

TEST_F(SettingsTest, StringsOfAnyLengthReadWhole) {
    std::wstring url = L"https://example.org/";
    while (url.size() < 450) {
        url += L"harmolith/";
    }
    // 99 characters fill the first buffer exactly: the read must grow and still end right.
    std::wstring ninetyNine(99, L'x');
    Put(L"Update", L"LastVersionURL", url);
    Put(L"Update", L"LastVersionFound", ninetyNine);
    auto s = Open();
    EXPECT_EQ(s->lastVersionURL.Get(), url);
    EXPECT_EQ(s->lastVersionFound.Get(), ninetyNine);
    EXPECT_EQ(s->lastCheck.Get(), L"1900-01-01");
}

TEST_F(SettingsTest, StringSetKeepsTheFileLineBased) {
    auto s = Open();
    s->lastVersionFound.Set(L"2.9.2.0\r\n[Advanced]\r\nDevicesCount=4");
    EXPECT_EQ(Stored(L"Update", L"LastVersionFound"), L"2.9.2.0");
    EXPECT_EQ(s->lastVersionFound.Get(), L"2.9.2.0");
    EXPECT_EQ(Open()->devicesCount.Get(), 1u);

    s->encoderOptions.Set(L"-V 2\nEvil=1");
    EXPECT_EQ(Stored(L"MidiConverter", L"EncoderOptions"), L"-V 2");
    EXPECT_EQ(Stored(L"MidiConverter", L"Evil"), L"<none>");

    s->lastVersionFound.Set(L"");
    EXPECT_EQ(Stored(L"Update", L"LastVersionFound"), L"<none>");
    // Case matters when comparing with the cached value.
    s->lastCheck.Set(L"2026-12-06");
    s->clientBlacklist.Set(L"Game.exe");
    s->clientBlacklist.Set(L"game.exe");
    EXPECT_EQ(Stored(L"Advanced", L"ClientBlacklist"), L"game.exe");
}

TEST_F(SettingsTest, OutputDevicesParseAndWrite) {
    Put(L"Advanced", L"OutputDevice", L"2;3");
    auto one = Open();
    EXPECT_EQ(one->outputDevices[0], 2u);
    EXPECT_EQ(one->outputDevices[1], 1u) << "only DevicesCount numbers are read";

    Put(L"Advanced", L"DevicesCount", L"3");
    Put(L"Advanced", L"OutputDevice", L" 4 ; 0 ; x ; 7 ");
    auto three = Open();
    EXPECT_EQ(three->outputDevices[0], 4u);
    EXPECT_EQ(three->outputDevices[1], 0u);
    EXPECT_EQ(three->outputDevices[2], 1u) << "reading stops at the first non-number";

    Put(L"Advanced", L"OutputDevice", L"   ");
    EXPECT_EQ(Open()->outputDevices[0], 1u);

    three->outputDevices = {1, 1, 1, 1};
    three->WriteOutputDevices();
    EXPECT_EQ(Stored(L"Advanced", L"OutputDevice"), L"1;1;1");

    Put(L"Advanced", L"DevicesCount", L"1");
    auto single = Open();
    single->outputDevices = {1, 5, 5, 5};
    single->outputDevice.Set(L"9");
    single->WriteOutputDevices();
    EXPECT_EQ(Stored(L"Advanced", L"OutputDevice"), L"<none>")
        << "one port on device 1 is the default";
}

TEST_F(SettingsTest, SoundFontListReadsContiguousEntriesAndMasksPorts) {
    const std::wstring fontPath = folder.File(L"piano.sf2");
    std::ofstream(std::filesystem::path(fontPath)) << std::string(1234, 'x');
    Put(L"SoundFonts", L"sf1", fontPath);
    Put(L"SoundFonts", L"sf1.enabled", L"7");
    Put(L"SoundFonts", L"sf1.bank", L"3");
    Put(L"SoundFonts", L"sf1.preset", L"5");
    Put(L"SoundFonts", L"sf1.volume", L"80");
    Put(L"SoundFonts", L"sf1.preload", L"0");
    Put(L"SoundFonts", L"sf1.xgdrums", L"1");
    Put(L"SoundFonts", L"sf2", L"*C:\\old.sf2");
    Put(L"SoundFonts", L"sf2.enabled", L"1");
    Put(L"SoundFonts", L"sf4", L"C:\\lost.sf2");

    auto s = Open();
    ASSERT_EQ(s->soundFonts.size(), 2u) << "the first missing key ends the list";
    const SoundFontEntry& a = s->soundFonts[0];
    EXPECT_EQ(a.filename, fontPath);
    EXPECT_EQ(a.fileSize, 1234u);
    EXPECT_EQ(a.enabled, 1u) << "one port: bits of other ports are dropped";
    EXPECT_EQ(a.bank, 3u);
    EXPECT_EQ(a.preset, 5);
    EXPECT_EQ(a.volume, 80u);
    EXPECT_EQ(a.preload, 0u);
    EXPECT_EQ(a.xgdrums, 1u);
    const SoundFontEntry& b = s->soundFonts[1];
    EXPECT_EQ(b.filename, L"C:\\old.sf2");
    EXPECT_EQ(b.enabled, 0u) << "the legacy '*' form is a disabled entry";
    EXPECT_EQ(b.fileSize, 0u) << "a missing file is listed with size 0";

    Put(L"Advanced", L"DevicesCount", L"3");
    EXPECT_EQ(Open()->soundFonts[0].enabled, 7u);

    s->WriteSoundFonts();
    EXPECT_EQ(Stored(L"SoundFonts", L"sf4"), L"<none>") << "the orphan entry is gone";
    EXPECT_EQ(Stored(L"SoundFonts", L"sf2"), L"C:\\old.sf2");
    EXPECT_EQ(Stored(L"SoundFonts", L"sf2.enabled"), L"<none>");
    EXPECT_EQ(Stored(L"SoundFonts", L"sf1.preset"), L"5");
    EXPECT_EQ(Stored(L"SoundFonts", L"sf1.preload"), L"0");
}

TEST_F(SettingsTest, SoundFontListSkipsALegacyStarAloneAndKeepsTheEntriesAfterIt) {
    Put(L"SoundFonts", L"sf1", L"C:\\a.sf2");
    Put(L"SoundFonts", L"sf2", L"*");
    Put(L"SoundFonts", L"sf3", L"C:\\c.sf2");
    auto s = Open();
    ASSERT_EQ(s->soundFonts.size(), 2u);
    EXPECT_EQ(s->soundFonts[1].filename, L"C:\\c.sf2");

    // Saved and read again, nothing after the bad entry is lost.
    s->WriteSoundFonts();
    EXPECT_EQ(Stored(L"SoundFonts", L"sf2"), L"C:\\c.sf2");
    EXPECT_EQ(Open()->soundFonts.size(), 2u);
}

TEST_F(SettingsTest, SoundFontListWritesOnlyWhatDiffersFromTheDefaults) {
    Put(L"Advanced", L"DevicesCount", L"2");
    auto s = Open();
    std::vector<SoundFontEntry> list(2);
    list[0].filename = L"C:\\a.sf2";
    list[1].filename = L"C:\\b.sf2";
    list[1].enabled = 0xF; // ports 3 and 4 do not exist
    list[1].preset = 0;
    list[1].bank = 128;
    s->WriteSoundFonts(list);
    EXPECT_EQ(list[1].enabled, 3u) << "the masked value is stored back";
    EXPECT_EQ(Stored(L"SoundFonts", L"sf1"), L"C:\\a.sf2");
    for (const wchar_t* key : {L"sf1.enabled", L"sf1.bank", L"sf1.preset", L"sf1.preload",
                               L"sf1.volume", L"sf1.xgdrums", L"sf2.volume"}) {
        EXPECT_EQ(Stored(L"SoundFonts", key), L"<none>") << key;
    }
    EXPECT_EQ(Stored(L"SoundFonts", L"sf2.enabled"), L"3");
    EXPECT_EQ(Stored(L"SoundFonts", L"sf2.preset"), L"0");
    EXPECT_EQ(Stored(L"SoundFonts", L"sf2.bank"), L"128");

    // An exported list file holds the same keys; reading it back gives the same entries.
    const std::wstring exported = folder.File(L"fonts.hmlsf");
    s->WriteSoundFonts(list, exported);
    std::vector<SoundFontEntry> back;
    s->ReadSoundFonts(back, exported);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1].preset, 0);
    EXPECT_EQ(back[1].enabled, 3u);

    std::vector<SoundFontEntry> empty;
    s->WriteSoundFonts(empty);
    EXPECT_EQ(Stored(L"SoundFonts", L"sf1"), L"<none>");
    EXPECT_TRUE(Open()->soundFonts.empty());
}

} // namespace
