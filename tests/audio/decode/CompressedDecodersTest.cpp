// FLAC and Ogg Vorbis decoding: FLAC sample for sample against the signal its files were made
// from (every subframe kind and stereo decorrelation occur in them), Vorbis by pitch and level,
// and damaged or hostile input answered with an error rather than noise or a crash.
#include "audio/decode/DecodedAudio.h"
#include "support/Signal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>

using namespace hml::audio::decode;
using namespace hml::test;

namespace {

std::vector<uint8_t> ReadData(const char* name) {
    std::ifstream in(std::string(HML_AUDIO_TEST_DATA) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The signal make_decoder_data.py encodes: a triangle with noise, silence, a stretch with its
// low bits zero, full-scale noise, and a second channel close to the first.
std::vector<int32_t> DecoderSignal(size_t frames, int channels, int bits) {
    std::vector<int32_t> out;
    uint32_t seed = 1;
    for (size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            seed = seed * 1103515245u + 12345u;
            const int noise = static_cast<int>((seed >> 16) & 63) - 32;
            const int tri = std::abs(static_cast<int>((i * 3) % 400) - 200) * 100 - 10000;
            const size_t seg = i / 3000;
            int v = tri + noise;
            if (seg == 1)
                v = 0;
            else if (seg == 2)
                v = static_cast<int>(std::floor(tri / 256.0)) * 256;
            else if (seg == 3)
                v = static_cast<int>((seed >> 8) & 0xFFFF) - 32768;
            else if (c == 1)
                v = tri + noise + 500;
            out.push_back(v * (1 << (bits - 16)));
        }
    }
    return out;
}

class CompressedDecodersTest : public ::testing::Test {
protected:
    static bool Decodes(const std::vector<uint8_t>& bytes,
                        bool (*decode)(const uint8_t*, size_t, SDecodedAudio&, std::string&)) {
        SDecodedAudio out;
        std::string error;
        const bool ok = decode(bytes.data(), bytes.size(), out, error);
        EXPECT_TRUE(ok || !error.empty());
        EXPECT_TRUE(ok || out.samples.empty());
        return ok;
    }
};

TEST_F(CompressedDecodersTest, FlacDecodesEverySampleExactly) {
    struct {
        const char* file;
        int channels, bits;
    } const cases[] = {
        {"stereo16.flac", 2, 16}, {"stereo16-fixed.flac", 2, 16}, {"mono24.flac", 1, 24}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto bytes = ReadData(c.file);
        ASSERT_FALSE(bytes.empty()) << "test material missing";
        SDecodedAudio out;
        std::string error;
        ASSERT_TRUE(DecodeFlac(bytes.data(), bytes.size(), out, error)) << error;
        EXPECT_EQ(out.sampleRate, 44100u);
        EXPECT_EQ(out.channels, c.channels);
        ASSERT_EQ(out.Frames(), 15000u);
        const auto want = DecoderSignal(15000, c.channels, c.bits);
        const double scale = std::ldexp(1.0, c.bits - 1);
        size_t wrong = 0;
        for (size_t i = 0; i < want.size(); ++i)
            wrong += std::lround(out.samples[i] * scale) != want[i];
        EXPECT_EQ(wrong, 0u);
    }
}

TEST_F(CompressedDecodersTest, DamagedFlacIsRefusedNeverPlayed) {
    const auto bytes = ReadData("stereo16.flac");
    ASSERT_FALSE(bytes.empty()) << "test material missing";
    // Any byte changed inside the audio frames fails a checksum.
    size_t firstFrame = 0;
    for (size_t i = 4; i + 1 < bytes.size() && firstFrame == 0; ++i)
        if (bytes[i] == 0xFF && (bytes[i + 1] & 0xFE) == 0xF8)
            firstFrame = i;
    ASSERT_GT(firstFrame, 0u);
    uint32_t seed = 7;
    for (int k = 0; k < 300; ++k) {
        seed = seed * 1103515245u + 12345u;
        auto damaged = bytes;
        const size_t at = firstFrame + (seed >> 8) % (bytes.size() - firstFrame);
        damaged[at] ^= static_cast<uint8_t>(1 + (seed & 0x7F));
        EXPECT_FALSE(Decodes(damaged, DecodeFlac)) << at;
    }
    // Truncation: a cut inside a frame is an error, never a crash or a read past the end.
    for (size_t len = 0; len < bytes.size(); len += 97)
        Decodes(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(len)),
                DecodeFlac);
    EXPECT_FALSE(Decodes({'f', 'L', 'a', 'C'}, DecodeFlac));
    EXPECT_FALSE(Decodes({'O', 'g', 'g', 'S'}, DecodeFlac));

    // A stream info claiming 2^36 frames is refused for lacking them, without first reserving
    // memory for them.
    auto huge = bytes;
    huge[8 + 13] |= 0x0F;
    std::fill(huge.begin() + 8 + 14, huge.begin() + 8 + 18, 0xFF);
    EXPECT_FALSE(Decodes(huge, DecodeFlac));
}

TEST_F(CompressedDecodersTest, VorbisDecodesPitchAndLevel) {
    const auto bytes = ReadData("tone440.ogg");
    ASSERT_FALSE(bytes.empty()) << "test material missing";
    SDecodedAudio out;
    std::string error;
    ASSERT_TRUE(DecodeVorbis(bytes.data(), bytes.size(), out, error)) << error;
    EXPECT_EQ(out.sampleRate, 22050u);
    EXPECT_EQ(out.channels, 1);
    EXPECT_NEAR(static_cast<double>(out.Frames()), 11025.0, 64.0);
    EXPECT_NEAR(ZeroCrossFrequency(out.samples, 1000, 10000, 22050), 440.0, 0.5);
    EXPECT_NEAR(Peak(out.samples, 1000, 10000), 0.5, 0.03);
}

TEST_F(CompressedDecodersTest, BadOggIsRefused) {
    const auto bytes = ReadData("tone440.ogg");
    ASSERT_FALSE(bytes.empty()) << "test material missing";
    EXPECT_FALSE(Decodes({'O', 'g', 'g', 'S', 0, 2, 0, 0}, DecodeVorbis));
    EXPECT_FALSE(Decodes(std::vector<uint8_t>(100, 0), DecodeVorbis));
    EXPECT_FALSE(Decodes(ReadData("mono24.flac"), DecodeVorbis));
    // Headers cut short are refused; cuts in the audio may decode what came before them.
    for (size_t len = 0; len < 200; len += 7)
        EXPECT_FALSE(
            Decodes(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(len)),
                    DecodeVorbis));
    for (size_t len = 200; len < bytes.size(); len += 61)
        Decodes(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(len)),
                DecodeVorbis);
    uint32_t seed = 3;
    for (int k = 0; k < 200; ++k) {
        seed = seed * 1103515245u + 12345u;
        auto damaged = bytes;
        damaged[(seed >> 8) % bytes.size()] ^= static_cast<uint8_t>(1 + (seed & 0x7F));
        Decodes(damaged, DecodeVorbis);
    }
}

} // namespace
