// The SoundFonts page's rules without its windows: port clicks, the duplicate check, new entries
// with XG drum detection, the editor's limits and what it shows of a font, page cycling.

#include "configurator/SoundFontRules.h"
#include "support/CSf2Writer.h"
#include "support/TestPaths.h"
#include "support/WavFile.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace hml::configurator;
using hml::config::SoundFontEntry;
using namespace hml::test;

namespace {

SoundFontEntry Entry(const std::wstring& file, std::uint32_t enabled, std::int32_t preset,
                     std::uint32_t bank = 0) {
    SoundFontEntry e;
    e.filename = file;
    e.enabled = enabled;
    e.preset = preset;
    e.bank = bank;
    return e;
}

// A font whose bank 127 holds presets 0 and 8 with the given names.
void WriteDrumFont(const std::filesystem::path& path, const std::string& kit0,
                   const std::string& kit8) {
    CSf2Writer w;
    const int s = w.AddSample("s", CSf2Writer::Sine(0.01, 800), 44100, 60, 100, 700);
    const int inst = w.AddInstrument("i", {}, {{{}, {}, s}});
    w.AddPreset("Piano", 0, 0, {}, {{{}, {}, inst}});
    w.AddPreset(kit0, 0, 127, {}, {{{}, {}, inst}});
    w.AddPreset(kit8, 8, 127, {}, {{{}, {}, inst}});
    w.Write(path);
}

TEST(SoundFontRulesTest, PortClicksToggleOneAndCtrlClicksSwitchAll) {
    EXPECT_EQ(ClickPort(0b101, 1, false, 4), 0b111u);
    EXPECT_EQ(ClickPort(0b101, 2, false, 4), 0b001u);
    // Ports 1 and 3 on: Ctrl on an enabled box clears all, and again sets all four.
    EXPECT_EQ(ClickPort(0b101, 0, true, 4), 0u);
    EXPECT_EQ(ClickPort(0, 0, true, 4), 0b1111u);
    EXPECT_EQ(ClickPort(0b10, 0, true, 2), 0b11u) << "Ctrl on a disabled box enables all";
}

TEST(SoundFontRulesTest, DuplicatesNeedTheSameFileBankAndPresetInUse) {
    std::vector<SoundFontEntry> list{Entry(L"C:\\a.sf2", 1, -1), Entry(L"C:\\A.SF2", 2, 5)};
    EXPECT_FALSE(FindDuplicate(list)) << "preset -1 and preset 5 of one file are two entries";

    list.push_back(Entry(L"c:\\b.sf2", 1, 3));
    list.push_back(Entry(L"C:\\B.sf2", 2, 3));
    ASSERT_TRUE(FindDuplicate(list)) << "ports need not overlap; names compare without case";
    EXPECT_EQ(*FindDuplicate(list), 3u) << "the later entry is the one to select";

    list[2].enabled = 0;
    EXPECT_FALSE(FindDuplicate(list)) << "an entry off for every port is no duplicate";
    list[2].enabled = 1;
    list[3].bank = 1;
    EXPECT_FALSE(FindDuplicate(list));
}

TEST(SoundFontRulesTest, NewEntriesUseEveryPortAndDetectXgDrumKits) {
    hml::test::CTempFolder folder;
    WriteDrumFont(folder.path / "xg.sf2", "Standard Kit", "Room Kit");
    WriteDrumFont(folder.path / "gs.sf2", "GS Standard", "GS Room");
    std::ofstream(folder.path / "notes.txt") << "not a font";

    const SoundFontEntry xg = NewSoundFontEntry(folder.File(L"xg.sf2"), 3);
    EXPECT_EQ(xg.enabled, 7u);
    EXPECT_EQ(xg.preset, -1);
    EXPECT_EQ(xg.volume, 100u);
    EXPECT_EQ(xg.preload, 1u);
    EXPECT_EQ(xg.xgdrums, 1u);
    EXPECT_GT(xg.fileSize, 0u);
    EXPECT_EQ(NewSoundFontEntry(folder.File(L"gs.sf2"), 1).xgdrums, 0u);

    // Any file is listed; what is no font simply has no XG kits.
    const SoundFontEntry text = NewSoundFontEntry(folder.File(L"notes.txt"), 1);
    EXPECT_EQ(text.xgdrums, 0u);
    EXPECT_EQ(text.fileSize, 10u);
    EXPECT_EQ(NewSoundFontEntry(folder.File(L"missing.sf2"), 1).fileSize, 0u);

    EXPECT_FALSE(LooksLikeXgDrums("Standard", nullptr));
    EXPECT_TRUE(LooksLikeXgDrums("STANDARD 1", "room"));
}

TEST(SoundFontRulesTest, EditorValuesKeepTheBankOffsetOnlyForAllPresets) {
    EditorValues v = NormaliseEditorValues(-1, -5, 100);
    EXPECT_EQ(v.bank, -5) << "with preset -1 the bank is an offset";
    v = NormaliseEditorValues(3, -5, 100);
    EXPECT_EQ(v.bank, 0);
    v = NormaliseEditorValues(200, 300, 600);
    EXPECT_EQ(v.preset, 127);
    EXPECT_EQ(v.bank, 127);
    EXPECT_EQ(v.volume, 500);
    EXPECT_EQ(NormaliseEditorValues(-9, -200, -1).bank, -128);
    EXPECT_EQ(ParseNumber(L"abc"), 0);
    EXPECT_EQ(ParseNumber(L"-"), 0);
    EXPECT_EQ(ParseNumber(L"-12"), -12);
    EXPECT_EQ(ParseNumber(L"99999999999999"), 1'000'000'000) << "no overflow";
}

TEST(SoundFontRulesTest, DetailsListThePresetsInTheLibrarysOrder) {
    hml::test::CTempFolder folder;
    CSf2Writer w;
    const int s = w.AddSample("s", CSf2Writer::Sine(0.01, 800), 44100, 60, 100, 700);
    const int inst = w.AddInstrument("i", {}, {{{}, {}, s}});
    w.AddPreset("Grand", 0, 0, {}, {{{}, {}, inst}});
    w.AddPreset("Kit", 0, 128, {}, {{{}, {}, inst}});
    w.SetInfo("Test Font", "nobody", "made for a test");
    w.Write(folder.path / "two.sf2");

    const std::wstring text = FontDetailsText(folder.File(L"two.sf2"));
    EXPECT_EQ(
        text.rfind(L"Name: Test Font\r\nCopyright: nobody\r\nComment: made for a test\r\n", 0), 0u);
    EXPECT_NE(text.find(L"Compressed samples: No\r\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"Soundfont contains 2 presets:"), std::wstring::npos);
    const auto rule = text.find(std::wstring(34, L'-') + L"\r\n");
    ASSERT_NE(rule, std::wstring::npos);
    EXPECT_EQ(text.substr(rule + 36), L"0:0 = Grand\r\n128:0 = Kit") << "trimmed at the end";

    EXPECT_EQ(FontDetailsText(folder.File(L"missing.sf2")), L"");
}

TEST(SoundFontRulesTest, DetailsOfAnSfzShowItsOneInstrumentAndItsRegions) {
    hml::test::CTempFolder folder;
    hml::test::WriteFile(folder.path / "tone.wav",
                         hml::test::MakeWav(hml::test::SineWave(440, 44100, 4410), 1, 44100,
                                            hml::test::EWavFormat::Pcm16));
    hml::test::WriteFile(folder.path / "Pad.sfz", "<region> sample=tone.wav hikey=59 fancy_new=1\n"
                                                  "<region> sample=tone.wav lokey=60\n");
    const std::wstring text = FontDetailsText(folder.File(L"Pad.sfz"));
    EXPECT_NE(
        text.find(L"SFZ instrument with 2 regions:\r\n" + std::wstring(34, L'-') + L"\r\nPad"),
        std::wstring::npos)
        << std::string(text.begin(), text.end());
    EXPECT_NE(text.find(L"does not know (skipped): 1"), std::wstring::npos);
}

TEST(SoundFontRulesTest, PagesCycleBothWays) {
    EXPECT_EQ(CyclePage(5, 6, false), 0);
    EXPECT_EQ(CyclePage(0, 6, true), 5) << "Ctrl+Shift+Tab on the first page selects the last";
    EXPECT_EQ(CyclePage(2, 6, false), 3);
    EXPECT_EQ(CyclePage(-1, 6, false), 0) << "from no page, the first";
}

} // namespace
