// SoundFont loading: information, preset lists and names, paths, preloading, 24-bit samples,
// and refusal of files that are not (or no longer) SoundFonts without ever reading out of bounds.
#include "audio/sf2/CSoundFont.h"
#include "audio/stream/CMidiStream.h"
#include "support/CSf2Writer.h"
#include "support/Signal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <thread>

using namespace hml::audio;
using namespace hml::test;

namespace {

class SoundFontTest : public ::testing::Test {
protected:
    static CSf2Writer MakeWriter() {
        CSf2Writer w;
        w.SetInfo("Unit Font", "(c) Tests", "A comment\nwith two lines");
        const int a = w.AddSample("a", CSf2Writer::Sine(0.01, 1000), 44100, 60, 100, 900);
        const int b = w.AddSample("b", CSf2Writer::Saw(50, 500), 22050, 60, 0, 500);
        const int ia = w.AddInstrument("ia", {{Gen(54, 1)}, {}, -1}, {{{}, {}, a}});
        const int ib =
            w.AddInstrument("ib", {}, {{{Range(43, 0, 63)}, {}, a}, {{Range(43, 64, 127)}, {}, b}});
        w.AddPreset("Piano", 0, 0, {}, {{{}, {}, ia}});
        w.AddPreset("Strings", 48, 1, {}, {{{}, {}, ib}});
        w.AddPreset("Kit", 0, 128, {}, {{{}, {}, ib}});
        return w;
    }
    static std::filesystem::path TempDir() {
        auto dir = std::filesystem::temp_directory_path() / "hml_sf2_tests";
        std::filesystem::create_directories(dir);
        return dir;
    }
    // Opens the bytes; when they open, plays every preset for a moment (under the sanitizers
    // any out-of-range read fails the test).
    static EError OpenAndPlay(std::vector<uint8_t> bytes) {
        EError e = EError::Unknown;
        auto font = CSoundFont::OpenMemory(std::move(bytes), 0, e);
        if (!font)
            return e;
        auto s = MakeStream({{font, -1, 0}});
        for (uint32_t p : font->GetPresets()) {
            const int ch = (p >> 16) == 128 ? 9 : 0;
            s->SendEvent(ch, EMidiEvent::Controller, 0 | ((p >> 16) & 0x7F) << 8);
            s->SendEvent(ch, EMidiEvent::Program, p & 0x7F);
            s->SendEvent(ch, EMidiEvent::Note, 30 | 100 << 8);
            s->SendEvent(ch, EMidiEvent::Note, 90 | 100 << 8);
        }
        SStereo out;
        Render(*s, 0.02, out);
        font->Load(-1, -1);
        font->GetInfo();
        return e;
    }
};

TEST_F(SoundFontTest, ReportsInformationPresetsAndNames) {
    const auto path = TempDir() / u8"fönt €.sf2";
    MakeWriter().Write(path);
    EError e = EError::Unknown;
    auto font = CSoundFont::Open(path, FontFlags::Unicode, e);
    ASSERT_TRUE(font) << static_cast<int>(e);
    const SFontInfo info = font->GetInfo();
    EXPECT_EQ(info.name, "Unit Font");
    EXPECT_EQ(info.copyright, "(c) Tests");
    EXPECT_EQ(info.comment, "A comment\nwith two lines");
    EXPECT_EQ(info.sampleDataSize, (1000u + 46 + 500 + 46) * 2);
    EXPECT_EQ(info.sampleType, 0u);
    EXPECT_EQ(info.presetCount, 3u);
    EXPECT_EQ(font->GetPresets(), (std::vector<uint32_t>{0, 1u << 16 | 48, 128u << 16 | 0}));
    ASSERT_NE(font->GetPresetName(48, 1), nullptr);
    EXPECT_STREQ(font->GetPresetName(48, 1), "Strings");
    EXPECT_STREQ(font->GetPresetName(0, 128), "Kit");
    EXPECT_EQ(font->GetPresetName(48, 0), nullptr);
    // Preloading one preset; a program change has the font's loader bring another one in.
    EXPECT_FALSE(font->IsPresetLoaded(48, 1));
    EXPECT_EQ(font->Load(48, 1), EError::Ok);
    EXPECT_TRUE(font->IsPresetLoaded(48, 1));
    EXPECT_FALSE(font->IsPresetLoaded(0, 0));
    auto s = MakeStream({{font, -1, 0}});
    s->SendEvent(0, EMidiEvent::Program, 0);
    SStereo out;
    Render(*s, 0.01, out);
    for (int i = 0; i < 200 && !font->IsPresetLoaded(0, 0); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(font->IsPresetLoaded(0, 0));
    EXPECT_EQ(font->Load(-1, -1), EError::Ok);
    EXPECT_EQ(font->Load(-1, 128), EError::Ok);
    EXPECT_EQ(font->Load(5, 0), EError::NotAvail);
    EXPECT_EQ(font->Unload(0, 0), EError::Ok);
    EXPECT_EQ(font->Unload(7, 7), EError::NotAvail);
    font->SetVolume(0.5f);
    EXPECT_FLOAT_EQ(font->GetVolume(), 0.5f);

    // The same file through the UTF-8 string and the wide string overloads.
    EXPECT_TRUE(CSoundFont::Open(
        std::string(reinterpret_cast<const char*>(path.u8string().c_str())), 0, e));
    EXPECT_TRUE(CSoundFont::Open(TempDir().wstring() + L"/f\u00f6nt \u20ac.sf2", 0, e));
    std::filesystem::remove(path);
}

TEST_F(SoundFontTest, MissingFilesAndOtherFormatsAreRefused) {
    EError e = EError::Ok;
    EXPECT_FALSE(CSoundFont::Open(TempDir() / "does-not-exist.sf2", 0, e));
    EXPECT_EQ(e, EError::FileOpen);
    EXPECT_FALSE(CSoundFont::Open(TempDir(), 0, e)); // a folder
    EXPECT_EQ(e, EError::FileOpen);

    const auto text = TempDir() / "notes.txt";
    std::ofstream(text) << "this is not a SoundFont at all, just text\n";
    EXPECT_FALSE(CSoundFont::Open(text, 0, e));
    EXPECT_EQ(e, EError::FileForm);
    std::ofstream(text, std::ios::trunc).close();
    EXPECT_FALSE(CSoundFont::Open(text, 0, e)); // empty
    EXPECT_EQ(e, EError::FileForm);
    std::filesystem::remove(text);

    auto bytes = MakeWriter().Build();
    auto wave = bytes;
    std::memcpy(&wave[8], "WAVE", 4);
    EXPECT_EQ(OpenAndPlay(wave), EError::FileForm);
    auto v4 = bytes; // ifil 4.x: a version that does not exist yet
    for (size_t i = 0; i + 4 < v4.size(); ++i)
        if (std::memcmp(&v4[i], "ifil", 4) == 0) {
            v4[i + 8] = 4;
            break;
        }
    EXPECT_EQ(OpenAndPlay(v4), EError::FileForm);
}

TEST_F(SoundFontTest, TruncatedAndCorruptedFilesNeverCrash) {
    const auto bytes = MakeWriter().Build();
    ASSERT_EQ(OpenAndPlay(bytes), EError::Ok);
    // Every truncation either still parses (the cut fell in padding) or is refused with 41.
    int refused = 0;
    for (size_t len = 0; len < bytes.size(); len += 3) {
        const EError e = OpenAndPlay(
            std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(len)));
        EXPECT_TRUE(e == EError::Ok || e == EError::FileForm) << len;
        refused += e == EError::FileForm;
    }
    EXPECT_GT(refused, 100);
    // Random corruption of single bytes and 16-bit words anywhere in the file.
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (int i = 0; i < 600; ++i) {
        auto m = bytes;
        for (int k = 0; k < 3; ++k) {
            const size_t at = next() % (m.size() - 1);
            if (next() & 1) {
                m[at] = static_cast<uint8_t>(next());
            } else {
                m[at] = 0xFF;
                m[at + 1] = static_cast<uint8_t>(next() & 1 ? 0xFF : 0x7F);
            }
        }
        const EError e = OpenAndPlay(m);
        EXPECT_TRUE(e == EError::Ok || e == EError::FileForm);
    }
    // A pdta chunk claiming more bytes than the file has.
    auto huge = bytes;
    for (size_t i = 0; i + 4 < huge.size(); ++i)
        if (std::memcmp(&huge[i], "phdr", 4) == 0) {
            huge[i + 4] = huge[i + 5] = huge[i + 6] = 0xFF;
            huge[i + 7] = 0x7F;
            break;
        }
    EXPECT_EQ(OpenAndPlay(huge), EError::FileForm);
    // Extreme but well-formed generators: tuning far beyond any pitch, offsets past the data.
    CSf2Writer w;
    const int smp = w.AddSample("s", CSf2Writer::Sine(0.01, 400), 44100, 60, 10, 390);
    const int inst = w.AddInstrument(
        "i", {},
        {{{Gen(54, 1), Gen(56, 32767), Gen(51, 120), Gen(0, 30000), Gen(3, -32768), Gen(9, 32767)},
          {},
          smp},
         {{Gen(54, 3), Gen(56, -32768), Gen(52, -32768), Gen(4, 32767), Gen(8, -32768)}, {}, smp}});
    w.AddPreset("p", 0, 0, {}, {{{}, {}, inst}});
    EXPECT_EQ(OpenAndPlay(w.Build()), EError::Ok);
}

TEST_F(SoundFontTest, TwentyFourBitSamplesUseTheirLowBytes) {
    // High bytes all zero: only the sm24 bytes carry the signal, 1/256 of a 16-bit step.
    CSf2Writer w;
    std::vector<int16_t> hi(2000, 0);
    std::vector<uint8_t> lo(2000, 0x80);
    const int smp = w.AddSample("s24", hi, 48000, 60, 100, 1900);
    w.SetLowBytes(smp, lo);
    const int inst = w.AddInstrument("i", {}, {{{Gen(54, 1), Gen(34, -12000)}, {}, smp}});
    w.AddPreset("p", 0, 0, {}, {{{}, {}, inst}});
    EError e;
    auto font = CSoundFont::OpenMemory(w.Build(), 0, e);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->GetInfo().sampleDataSize, 2046u * 3);
    auto s = MakeStream({{font, -1, 0}}, StreamFlags::NoFx);
    s->SendEvent(0, EMidiEvent::Controller, 10 | 0 << 8);
    s->SendEvent(0, EMidiEvent::Note, 60 | 127 << 8);
    SStereo out;
    Render(*s, 0.05, out);
    // 0x80 / 2^23 through the default volume (CC7 100) at hard left and the output headroom.
    const double expected =
        128.0 / 8388608.0 * std::pow(10.0, -40 * std::log10(127.0 / 100) / 20) * kOutputGain;
    EXPECT_NEAR(out.l[out.At(0.04)], expected, expected * 0.01);
}

} // namespace
