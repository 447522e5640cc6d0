// The voice pool grows on demand: a high limit reserves little up front, and notes played faster
// than the background top-up still sound (stealing, as at the limit) rather than vanish.
#include "audio/stream/VoicePool.h"
#include "support/CSf2Writer.h"
#include "support/Signal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace hml::audio;
using namespace hml::test;

namespace {

class VoicePoolTest : public ::testing::Test {
protected:
    static std::unique_ptr<CMidiStream> MakeSineStream(int voices) {
        EError e = EError::Unknown;
        auto font = CSoundFont::OpenMemory(CSf2Writer::SinePresets({{0, 0, 0}}).Build(), 0, e);
        EXPECT_TRUE(font);
        return MakeStream({{font, -1, 0}}, 0, 48000, voices);
    }
    // 100 keys on each of `channels` melodic channels (channel 10 is the drums).
    static void PlayKeys(CMidiStream& s, int firstChannel, int channels) {
        for (int c = firstChannel; c < firstChannel + channels; ++c)
            for (uint32_t key = 14; key < 114; ++key)
                s.SendEvent(c >= 9 ? c + 1 : c, EMidiEvent::Note, key | 100u << 8);
    }
};

TEST_F(VoicePoolTest, HighLimitReservesLittleAndOrdinaryLimitsEverything) {
    const CVoicePool large(100000, 48000, false);
    EXPECT_LE(large.Capacity(), 2048);
    const CVoicePool ordinary(500, 48000, false);
    EXPECT_EQ(ordinary.Capacity(), 500 + 64);
}

TEST_F(VoicePoolTest, NotesBeyondTheFirstPoolAllSound) {
    // Batches arriving over time: the pool grows between them and nothing is lost.
    auto s = MakeSineStream(100000);
    SStereo out;
    for (int batch = 0; batch < 3; ++batch) {
        PlayKeys(*s, batch * 5, 5);
        Render(*s, 0.01, out);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Render(*s, 0.01, out);
    EXPECT_EQ(s->GetActiveVoices(), 1500u);

    // All at once, faster than any top-up: the pool steals for the newest notes, as it does at
    // a limit, and then grows so that the next notes take no more.
    auto burst = MakeSineStream(100000);
    PlayKeys(*burst, 0, 15);
    SStereo b;
    Render(*burst, 0.01, b);
    EXPECT_GE(burst->GetActiveVoices(), 1000u);
    EXPECT_GT(Rms(b.l, 0, b.Frames()), 0.0);
}

} // namespace
