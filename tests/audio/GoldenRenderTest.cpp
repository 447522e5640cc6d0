// Renders fixed General MIDI scenes with the FluidR3 GM font and compares them with stored
// renders (24-bit FLAC in data/golden). Speed work on the voice, filter and mixing code must not
// change what is heard: every sample stays within -90 dB of full scale of the stored render, with
// each set of vector kernels the processor can run.
// HML_GOLDEN_WRITE=DIR writes the scenes as raw float stereo instead, to make new stored renders
// (tests/audio/data/golden/make_golden.sh).
#include "audio/decode/DecodedAudio.h"
#include "audio/dsp/VoiceKernels.h"
#include "audio/stream/CMidiStream.h"
#include "support/Signal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace hml::audio;
using namespace hml::test;

namespace {

const char* const kFluidGm = "/usr/share/sounds/sf2/FluidR3_GM.sf2";
constexpr uint32_t kRate = 32000;

struct SScene {
    const char* name;
    uint32_t flags;
    int voices;
    int bars;
};

// Eight channels of layered chords over drums, with resonant synth presets (their filters sweep
// with the modulation envelope), vibrato from the modulation wheel, a pitch bend, sustain pedal
// and panning; each bar ends with all notes released and their tails rendered.
void PlayScene(CMidiStream& s, int bars, SStereo& out) {
    Send(s, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
    const uint8_t programs[] = {0, 95, 84, 38, 62, 48, 19, 73};
    for (uint8_t ch = 0; ch < 8; ++ch)
        Send(s, {static_cast<uint8_t>(0xC0 | ch), programs[ch], static_cast<uint8_t>(0xB0 | ch), 10,
                 static_cast<uint8_t>(16 * ch), static_cast<uint8_t>(0xB0 | ch), 91, 70,
                 static_cast<uint8_t>(0xB0 | ch), 93, 40});
    for (int bar = 0; bar < bars; ++bar) {
        Send(s, {0xB0, 64, 127, 0xB2, 1, static_cast<uint8_t>(40 * bar)});
        for (uint8_t ch = 0; ch < 8; ++ch)
            for (uint8_t k : {36, 48, 55, 60, 64, 67, 72})
                Send(s, {static_cast<uint8_t>(0x90 | ch), static_cast<uint8_t>(k + bar + ch),
                         static_cast<uint8_t>(60 + 8 * ch)});
        Send(s, {0x99, 36, 110, 0x99, 38, 100, 0x99, 42, 90, 0x99, 49, 100});
        Render(s, 0.3, out);
        Send(s, {0xE3, 0x00, 0x50, 0x99, 42, 80, 0x99, 46, 70});
        Render(s, 0.3, out);
        for (uint8_t ch = 0; ch < 8; ++ch)
            Send(s, {static_cast<uint8_t>(0xB0 | ch), 123, 0});
        Send(s, {0xB0, 64, 0, 0xE3, 0x00, 0x40});
        Render(s, 0.2, out);
    }
    Render(s, 0.6, out);
}

std::vector<uint8_t> ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class GoldenRenderTest : public ::testing::Test {};

TEST_F(GoldenRenderTest, ScenesMatchTheStoredRenders) {
    if (!std::filesystem::exists(kFluidGm))
        GTEST_SKIP() << kFluidGm << " is not installed";
    EError e;
    auto font = CSoundFont::Open(std::filesystem::path(kFluidGm), 0, e);
    ASSERT_TRUE(font) << static_cast<int>(e);
    ASSERT_EQ(font->Load(0, 0), EError::Ok);
    const char* writeTo = std::getenv("HML_GOLDEN_WRITE");

    // The last scene runs out of voices, so stealing decides what is heard.
    const SScene scenes[] = {
        {"linear", 0, 256, 3}, {"sinc", StreamFlags::Sinc, 256, 1}, {"stealing", 0, 40, 1}};
    for (const EKernelSet set : {EKernelSet::Baseline, EKernelSet::Avx2})
        for (const SScene& scene : scenes) {
            if (!UseKernels(set))
                continue;
            SCOPED_TRACE(std::string(scene.name) + " with " + Kernels().name);
            auto s = MakeStream({{font, -1, 0}}, scene.flags, kRate, scene.voices);
            SStereo out;
            PlayScene(*s, scene.bars, out);
            if (writeTo != nullptr) {
                std::ofstream f(std::filesystem::path(writeTo) / (std::string(scene.name) + ".raw"),
                                std::ios::binary);
                for (size_t i = 0; i < out.Frames(); ++i) {
                    f.write(reinterpret_cast<const char*>(&out.l[i]), sizeof(float));
                    f.write(reinterpret_cast<const char*>(&out.r[i]), sizeof(float));
                }
                continue;
            }
            const auto bytes = ReadAll(std::filesystem::path(HML_AUDIO_TEST_DATA) / "golden" /
                                       (std::string(scene.name) + ".flac"));
            ASSERT_FALSE(bytes.empty()) << "stored render missing";
            decode::SDecodedAudio want;
            std::string error;
            ASSERT_TRUE(decode::DecodeFlac(bytes.data(), bytes.size(), want, error)) << error;
            ASSERT_EQ(want.channels, 2);
            ASSERT_EQ(want.Frames(), out.Frames());
            double worst = 0;
            size_t worstAt = 0;
            for (size_t i = 0; i < out.Frames(); ++i) {
                const double d = std::max(std::fabs(out.l[i] - want.samples[2 * i]),
                                          std::fabs(out.r[i] - want.samples[2 * i + 1]));
                if (d > worst) {
                    worst = d;
                    worstAt = i;
                }
            }
            EXPECT_LT(Db(worst), -90.0) << "at " << static_cast<double>(worstAt) / kRate << " s";
            std::printf("%s %s: %.1f dB\n", scene.name, Kernels().name, Db(worst));
            EXPECT_GT(Db(Peak(out.l, 0, out.Frames())), -20.0); // the scene is not silent
        }
    UseKernels(EKernelSet::Avx2) || UseKernels(EKernelSet::Baseline);
}

} // namespace
