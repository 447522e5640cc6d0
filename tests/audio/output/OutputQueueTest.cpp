// The output queue: how much a device mixes each round, how it keeps time over many rounds, and
// how it falls back on the extra room when its mixing thread comes late.
#include "audio/output/OutputQueue.h"

#include <gtest/gtest.h>

namespace hml::audio {
namespace {

constexpr uint32_t kRate = 48000;
constexpr uint32_t kPeriod = 480; // 10 ms

TEST(OutputQueueTest, KeepsTheBaseQueuedAndWritesExactlyTheTimeThatPassed) {
    COutputQueue queue(kPeriod, kRate);
    EXPECT_EQ(queue.Round(0), 960u) << "20 ms at first";
    // Rounds at uneven times: every frame of time is written back, none is lost to rounding.
    uint64_t written = 0, elapsed = 0;
    const uint32_t steps[] = {241, 239, 480, 1, 333, 0, 479, 250};
    for (int i = 0; i < 1000; ++i) {
        const uint32_t step = steps[i % 8];
        elapsed += step;
        written += queue.Round(step);
        ASSERT_EQ(queue.Ahead(), 960u);
    }
    EXPECT_EQ(written, elapsed);
    EXPECT_EQ(queue.Starved(), 0u);

    queue.SetLowLatency(true); // a busy client: one period and 3 ms
    EXPECT_EQ(queue.Target(), kPeriod + 144);
    EXPECT_EQ(queue.Round(100), 0u) << "more is queued than the lower target";
    EXPECT_EQ(queue.Ahead(), 860u);
}

TEST(OutputQueueTest, LateRoundsGrowIntoTheExtraRoomAndCleanPlaybackShrinksIt) {
    COutputQueue queue(kPeriod, kRate);
    queue.Round(0);
    // No room: a late round is counted, the target stays.
    EXPECT_EQ(queue.Round(960 + 10), 960u);
    EXPECT_EQ(queue.Starved(), 1u);
    EXPECT_EQ(queue.Target(), 960u);

    queue.SetExtraRoom(kRate / 4); // 250 ms
    // 35 ms late: the target grows by four periods, what it lacked rounded up.
    queue.Round(960 + 1680);
    EXPECT_EQ(queue.Starved(), 2u);
    EXPECT_EQ(queue.Extra(), 4 * kPeriod);
    EXPECT_EQ(queue.Ahead(), queue.Target());
    // Very late: never beyond the room.
    queue.Round(kRate * 2);
    EXPECT_EQ(queue.Extra(), kRate / 4);
    // Eight clean seconds give back one period.
    for (int i = 0; i < 800; ++i) {
        queue.Round(kPeriod);
    }
    EXPECT_EQ(queue.Extra(), kRate / 4 - kPeriod);
    // A smaller room takes effect at once.
    queue.SetExtraRoom(kPeriod);
    EXPECT_EQ(queue.Extra(), kPeriod);
}

} // namespace
} // namespace hml::audio
