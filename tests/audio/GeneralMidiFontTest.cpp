// Renders a short General MIDI sequence through the stream API with the FluidR3 GM font when
// the system has it: a large real-world font must play cleanly (sanitizers watch the reads).
#include "audio/stream/CMidiStream.h"
#include "support/Signal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

using namespace hml::audio;
using namespace hml::test;

namespace {

const char* const kFluidGm = "/usr/share/sounds/sf2/FluidR3_GM.sf2";

class GeneralMidiFontTest : public ::testing::Test {};

TEST_F(GeneralMidiFontTest, FluidR3PlaysAGmSequence) {
    if (!std::filesystem::exists(kFluidGm))
        GTEST_SKIP() << kFluidGm << " is not installed";
    EError e;
    auto font = CSoundFont::Open(std::filesystem::path(kFluidGm), 0, e);
    ASSERT_TRUE(font) << static_cast<int>(e);
    EXPECT_GT(font->GetInfo().presetCount, 100u);
    ASSERT_NE(font->GetPresetName(0, 0), nullptr);
    EXPECT_EQ(font->Load(0, 0), EError::Ok);

    for (uint32_t flags : {0u, StreamFlags::Sinc}) {
        auto s = MakeStream({{font, -1, 0}}, flags, 44100, 500);
        Send(*s, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
        const uint8_t programs[] = {0, 24, 40, 56, 73, 19, 33, 48};
        for (uint8_t ch = 0; ch < 8; ++ch)
            Send(*s,
                 {static_cast<uint8_t>(0xC0 | ch), programs[ch], static_cast<uint8_t>(0xB0 | ch),
                  91, 60, static_cast<uint8_t>(0xB0 | ch), 93, 30});
        SStereo out;
        for (int bar = 0; bar < 4; ++bar) {
            for (uint8_t ch = 0; ch < 8; ++ch)
                for (uint8_t k : {48, 55, 60, 64, 67})
                    Send(*s,
                         {static_cast<uint8_t>(0x90 | ch), static_cast<uint8_t>(k + bar + ch), 90});
            Send(*s, {0x99, 36, 110, 0x99, 38, 100, 0x99, 42, 90, 0x99, 49, 100});
            Send(*s, {0xE0, 0x00, 0x50, 0xB1, 1, 100, 0xB2, 64, 127});
            Render(*s, 0.4, out);
            for (uint8_t ch = 0; ch < 8; ++ch)
                Send(*s, {static_cast<uint8_t>(0xB0 | ch), 123, 0});
            Send(*s, {0xB2, 64, 0, 0xE0, 0x00, 0x40});
            Render(*s, 0.1, out);
        }
        Render(*s, 1.0, out);
        EXPECT_GT(s->GetActiveVoices(), 0u);
        double peak = 0;
        for (size_t i = 0; i < out.Frames(); ++i) {
            ASSERT_TRUE(std::isfinite(out.l[i]) && std::isfinite(out.r[i]));
            peak = std::max({peak, static_cast<double>(std::fabs(out.l[i])),
                             static_cast<double>(std::fabs(out.r[i]))});
        }
        EXPECT_GT(peak, 0.05);
        EXPECT_LT(peak, 4.0);
        EXPECT_GT(Rms(out.l, out.At(0.05), out.At(0.4)), 0.01);
    }
}

} // namespace
