// WAV decoding: every sample format in mono and stereo, the loop and root key of "smpl", and
// hostile files (truncated, oversized lengths, missing or odd chunks) answered without reading
// outside the bytes.
#include "audio/decode/DecodedAudio.h"
#include "support/WavFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace hml::audio::decode;
using namespace hml::test;

namespace {

class WavDecoderTest : public ::testing::Test {
protected:
    static bool Decode(const std::vector<uint8_t>& b, SDecodedAudio& out, std::string& error) {
        return DecodeAudio(b.data(), b.size(), out, error);
    }
};

TEST_F(WavDecoderTest, DecodesEveryFormatInMonoAndStereo) {
    const std::vector<float> ramp = {0.0f, 0.5f, -0.5f, 0.25f, -1.0f, 0.75f};
    const struct {
        EWavFormat format;
        double tolerance;
    } cases[] = {{EWavFormat::Pcm8, 1.0 / 128},
                 {EWavFormat::Pcm16, 1.0 / 32768},
                 {EWavFormat::Pcm24, 1.0 / 8388608},
                 {EWavFormat::Pcm32, 1e-7},
                 {EWavFormat::Float32, 0}};
    for (const auto& c : cases) {
        for (uint16_t channels : {uint16_t{1}, uint16_t{2}}) {
            SCOPED_TRACE(testing::Message() << static_cast<int>(c.format) << " x" << channels);
            SDecodedAudio out;
            std::string error;
            ASSERT_TRUE(Decode(MakeWav(ramp, channels, 22050, c.format), out, error)) << error;
            EXPECT_EQ(out.sampleRate, 22050u);
            EXPECT_EQ(out.channels, channels);
            EXPECT_EQ(out.Frames(), ramp.size() / channels);
            ASSERT_EQ(out.samples.size(), ramp.size());
            for (size_t i = 0; i < ramp.size(); ++i)
                EXPECT_NEAR(out.samples[i], ramp[i], c.tolerance + 1e-9) << i;
            EXPECT_FALSE(out.loop);
            EXPECT_FALSE(out.rootKey);
        }
    }
}

TEST_F(WavDecoderTest, ReadsLoopAndRootKeyAndDropsLoopsOutsideTheData) {
    const auto sine = SineWave(441, 44100, 1000);
    SDecodedAudio out;
    std::string error;
    ASSERT_TRUE(
        Decode(MakeWav(sine, 1, 44100, EWavFormat::Pcm16, SWavLoop{100, 899}, 69), out, error));
    ASSERT_TRUE(out.loop);
    EXPECT_EQ(out.loop->start, 100u);
    EXPECT_EQ(out.loop->end, 900u); // exclusive
    EXPECT_EQ(out.rootKey, 69);

    ASSERT_TRUE(
        Decode(MakeWav(sine, 1, 44100, EWavFormat::Pcm16, SWavLoop{100, 5000}), out, error));
    EXPECT_FALSE(out.loop);
    EXPECT_EQ(out.Frames(), 1000u);
}

TEST_F(WavDecoderTest, RefusesWhatItCannotPlay) {
    const auto sine = SineWave(441, 44100, 100);
    auto wav = MakeWav(sine, 1, 44100, EWavFormat::Pcm16);
    SDecodedAudio out;
    std::string error;

    auto threeChannels = wav;
    threeChannels[22] = 3;
    EXPECT_FALSE(Decode(threeChannels, out, error));
    auto twelveBits = wav;
    twelveBits[34] = 12;
    EXPECT_FALSE(Decode(twelveBits, out, error));
    auto noFmt = wav;
    std::memcpy(noFmt.data() + 12, "junk", 4);
    EXPECT_FALSE(Decode(noFmt, out, error));
    EXPECT_NE(error.find("format"), std::string::npos) << error;
    auto zeroRate = wav;
    std::memset(zeroRate.data() + 24, 0, 4);
    EXPECT_FALSE(Decode(zeroRate, out, error));
    const std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o'};
    EXPECT_FALSE(Decode(text, out, error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(out.samples.empty());
}

// A chunk claiming more bytes than the file has keeps what is there; a file cut anywhere
// decodes or fails but never reads past its end (AddressSanitizer watches the copies).
TEST_F(WavDecoderTest, SurvivesTruncationAndHugeLengths) {
    const auto sine = SineWave(441, 44100, 64);
    const auto wav = MakeWav(sine, 2, 44100, EWavFormat::Pcm24, SWavLoop{4, 20}, 60);
    for (size_t n = 0; n <= wav.size(); ++n) {
        std::vector<uint8_t> cut(wav.begin(), wav.begin() + static_cast<std::ptrdiff_t>(n));
        SDecodedAudio out;
        std::string error;
        if (Decode(cut, out, error))
            EXPECT_LE(out.Frames(), 32u);
        else
            EXPECT_FALSE(error.empty());
    }
    auto huge = wav;
    const size_t data = huge.size() - sine.size() * 3 - 8;
    ASSERT_EQ(std::memcmp(huge.data() + data, "data", 4), 0);
    std::memset(huge.data() + data + 4, 0xFF, 4);
    SDecodedAudio out;
    std::string error;
    ASSERT_TRUE(Decode(huge, out, error)) << error;
    EXPECT_EQ(out.Frames(), 32u);
    auto hugeFmt = wav;
    std::memset(hugeFmt.data() + 16, 0xFF, 4);
    EXPECT_FALSE(Decode(hugeFmt, out, error));
}

} // namespace
