// The render helper thread: every offered job runs exactly once, whether the helper is spinning,
// asleep, or slower than the render thread (which then runs the job itself); and a stream that
// shares its voices with the helper sounds as one that renders them alone.
#include "audio/stream/RenderHelper.h"
#include "audio/stream/CMidiStream.h"
#include "support/AllocationCounter.h"
#include "support/CSf2Writer.h"
#include "support/Signal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

using namespace hml::audio;
using namespace hml::test;

namespace {

struct SJob {
    std::vector<int> runs;
    size_t at = 0;
    static void Run(void* self) {
        auto& j = *static_cast<SJob*>(self);
        ++j.runs[j.at];
    }
};

// Work the render thread does on its own part meanwhile, so that the helper gets a chance.
void Busy(std::chrono::microseconds d) {
    const auto end = std::chrono::steady_clock::now() + d;
    while (std::chrono::steady_clock::now() < end) {
    }
}

TEST(RenderHelperTest, EveryOfferedJobRunsExactlyOnce) {
    CRenderHelper helper;
    SJob job;
    constexpr size_t kJobs = 6000;
    job.runs.assign(kJobs, 0);
    for (size_t i = 0; i < kJobs; ++i) {
        job.at = i;
        // Now and then the helper has gone to sleep before the next offer.
        if (i % 500 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(4));
        helper.Offer(&SJob::Run, &job);
        if (i % 3 != 0)
            Busy(std::chrono::microseconds(20));
        helper.Finish();
    }
    size_t wrong = 0;
    for (int r : job.runs)
        wrong += r != 1;
    EXPECT_EQ(wrong, 0u);
    EXPECT_GT(helper.HelperRuns(), 0u);
    EXPECT_LE(helper.HelperRuns(), kJobs);
}

TEST(RenderHelperTest, SharedVoicesSoundAsUnsharedAndAllocateNothing) {
    EError e;
    std::vector<SSinePreset> presets;
    for (int p = 0; p < 8; ++p)
        presets.push_back({0, p, p});
    auto font = CSoundFont::OpenMemory(CSf2Writer::SinePresets(presets, -2000).Build(), 0, e);
    ASSERT_TRUE(font);
    auto alone = MakeStream({{font, -1, 0}}, 0, 48000, 400);
    auto shared = MakeStream({{font, -1, 0}}, StreamFlags::HelperThread, 48000, 400);
    // Interleaved stereo of both, into buffers made beforehand: the rendering is counted.
    constexpr size_t kFrames = 48000;
    std::vector<float> outAlone(2 * kFrames), outShared(2 * kFrames);
    size_t allocated = 0;
    {
        CAllocationCounter allocations;
        // 300 held notes over eight channels, then released: the helper takes half of the
        // voices while more than a few hundred sound, and none once they have died away.
        for (CMidiStream* s : {alone.get(), shared.get()}) {
            float* out = s == alone.get() ? outAlone.data() : outShared.data();
            for (uint8_t c = 0; c < 8; ++c) {
                const uint8_t setup[] = {static_cast<uint8_t>(0xC0 | c), c,
                                         static_cast<uint8_t>(0xB0 | c), 64, 127};
                s->SendMidi(setup, sizeof setup);
            }
            for (int n = 0; n < 300; ++n) {
                const uint8_t on[] = {static_cast<uint8_t>(0x90 | n % 8),
                                      static_cast<uint8_t>(30 + n % 70), 40};
                s->SendMidi(on, sizeof on);
            }
            s->GetData(out, kFrames / 2 * 8);
            for (uint8_t c = 0; c < 8; ++c) {
                const uint8_t off[] = {static_cast<uint8_t>(0xB0 | c), 64,  0,
                                       static_cast<uint8_t>(0xB0 | c), 123, 0};
                s->SendMidi(off, sizeof off);
            }
            s->GetData(out + kFrames, kFrames / 2 * 8);
        }
        allocated = allocations.Count();
    }
    SStereo a, b;
    for (size_t i = 0; i < kFrames; ++i) {
        a.l.push_back(outAlone[2 * i]);
        a.r.push_back(outAlone[2 * i + 1]);
        b.l.push_back(outShared[2 * i]);
        b.r.push_back(outShared[2 * i + 1]);
    }
    ASSERT_EQ(a.Frames(), b.Frames());
    double worst = 0;
    for (size_t i = 0; i < a.Frames(); ++i)
        worst = std::max({worst, std::fabs(static_cast<double>(a.l[i]) - b.l[i]),
                          std::fabs(static_cast<double>(a.r[i]) - b.r[i])});
    EXPECT_LT(Db(worst), -120.0); // only the order of the sums differs
    EXPECT_GT(Db(Peak(a.l, 0, a.Frames())), -20.0);
    EXPECT_EQ(alone->GetHelperRuns(), 0u);
    if (CAllocationCounter::Available()) { // off under the address sanitizer
        EXPECT_EQ(allocated, 0u);
    }
}

} // namespace
