// SF3 fonts: Ogg Vorbis samples decoded at load, with byte offsets for the streams and loops
// relative to the decoded sample; a font with a stream that does not decode is refused.
#include "audio/sf2/CSoundFont.h"
#include "audio/stream/CMidiStream.h"
#include "support/CSf2Writer.h"
#include "support/Signal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

using namespace hml::audio;
using namespace hml::test;

namespace {

class CompressedFontTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::ifstream in(std::string(HML_AUDIO_TEST_DATA) + "/tone440.ogg", std::ios::binary);
        ogg.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        ASSERT_FALSE(ogg.empty()) << "test material missing";
    }

    // A PCM sample first, so that the decoded stream does not start at frame 0 and a loop
    // taken as absolute would land in the wrong sample. Preset 0 plays the 440 Hz stream
    // (22050 Hz, root 69) looped over its middle; preset 1 plays the PCM saw.
    CSf2Writer MakeFont(const std::vector<uint8_t>& stream) const {
        CSf2Writer w;
        const int saw = w.AddSample("saw", CSf2Writer::Saw(100, 3000), 44100, 60, 0, 3000);
        const int tone = w.AddOggSample("tone", stream, 22050, 69, 2000, 8000);
        const int it = w.AddInstrument("it", {{Gen(54, 1)}, {}, -1}, {{{}, {}, tone}});
        const int is = w.AddInstrument("is", {{Gen(54, 1)}, {}, -1}, {{{}, {}, saw}});
        w.AddPreset("Tone", 0, 0, {}, {{{}, {}, it}});
        w.AddPreset("Saw", 1, 0, {}, {{{}, {}, is}});
        return w;
    }

    std::vector<uint8_t> ogg;
};

TEST_F(CompressedFontTest, PlaysVorbisSamplesAtPitchAndLoopsThem) {
    EError e = EError::Unknown;
    auto font = CSoundFont::OpenMemory(MakeFont(ogg).Build(), 0, e);
    ASSERT_TRUE(font) << static_cast<int>(e);
    EXPECT_NE(font->GetInfo().sampleType, 0u);
    EXPECT_TRUE(font->IsPresetLoaded(0, 0)); // decoded at load: nothing left to page in

    auto s = MakeStream({{font, -1, 0}});
    s->SendEvent(0, EMidiEvent::Note, 69 | 100 << 8);
    s->SendEvent(1, EMidiEvent::Program, 1);
    SStereo out;
    Render(*s, 2.0, out);
    // The stream lasts 0.5 s: a note still sounding at 440 Hz after 1.5 s runs in its loop.
    const size_t a = out.At(1.5), b = out.At(1.9);
    EXPECT_NEAR(ZeroCrossFrequency(out.l, a, b, out.rate), 440.0, 1.0);
    const double before = Rms(out.l, out.At(0.1), out.At(0.4));
    EXPECT_GT(before, 0.005);
    EXPECT_NEAR(Db(Rms(out.l, a, b) / before), 0.0, 1.0);

    s->SendEvent(0, EMidiEvent::Note, 69); // off
    s->SendEvent(1, EMidiEvent::Note, 60 | 100 << 8);
    SStereo saw;
    Render(*s, 0.3, saw);
    EXPECT_NEAR(ZeroCrossFrequency(saw.l, saw.At(0.1), saw.At(0.3), saw.rate), 441.0, 2.0);
}

TEST_F(CompressedFontTest, OddSampleChunkWithoutItsPadByteStillOpens) {
    // SF3 writers leave an odd-length sample chunk unpadded, so the next list starts at an odd
    // offset. Make one: a byte more in smpl, with the sizes of smpl, sdta and RIFF to match.
    auto bytes = MakeFont(ogg).Build();
    auto find = [&](const char* id) {
        for (size_t i = 0; i + 4 <= bytes.size(); ++i)
            if (std::memcmp(&bytes[i], id, 4) == 0)
                return i;
        return size_t{0};
    };
    auto grow = [&](size_t sizeAt) {
        uint32_t v = 0;
        std::memcpy(&v, &bytes[sizeAt], 4);
        ++v;
        std::memcpy(&bytes[sizeAt], &v, 4);
        return v;
    };
    const size_t smpl = find("smpl"), sdta = find("sdta");
    ASSERT_GT(smpl, 0u);
    ASSERT_GT(sdta, 0u);
    const uint32_t smplSize = grow(smpl + 4);
    ASSERT_EQ(smplSize % 2, 1u);
    grow(sdta - 4);
    grow(4);
    bytes.insert(bytes.begin() + static_cast<long>(smpl + 8 + smplSize - 1), 0);
    EError e = EError::Unknown;
    auto font = CSoundFont::OpenMemory(std::move(bytes), 0, e);
    ASSERT_TRUE(font) << static_cast<int>(e);
    EXPECT_EQ(font->GetPresets().size(), 2u);
}

TEST_F(CompressedFontTest, BadStreamsRefuseTheFont) {
    EError e = EError::Unknown;
    // Not Ogg at all, then a stream cut inside its headers.
    EXPECT_FALSE(CSoundFont::OpenMemory(MakeFont(std::vector<uint8_t>(600, 0x5A)).Build(), 0, e));
    EXPECT_EQ(e, EError::FileForm);
    e = EError::Unknown;
    const std::vector<uint8_t> cut(ogg.begin(), ogg.begin() + 120);
    EXPECT_FALSE(CSoundFont::OpenMemory(MakeFont(cut).Build(), 0, e));
    EXPECT_EQ(e, EError::FileForm);

    // Damage anywhere in the font: refused or played, never a crash or a read out of bounds.
    const auto bytes = MakeFont(ogg).Build();
    uint32_t seed = 11;
    for (int k = 0; k < 60; ++k) {
        seed = seed * 1103515245u + 12345u;
        auto damaged = bytes;
        damaged[(seed >> 8) % damaged.size()] ^= static_cast<uint8_t>(1 + (seed & 0x7F));
        auto font = CSoundFont::OpenMemory(std::move(damaged), 0, e);
        if (!font) {
            EXPECT_EQ(e, EError::FileForm);
            continue;
        }
        auto s = MakeStream({{font, -1, 0}});
        s->SendEvent(0, EMidiEvent::Note, 69 | 100 << 8);
        SStereo out;
        Render(*s, 0.05, out);
    }
}

} // namespace
