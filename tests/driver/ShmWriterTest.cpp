// The writers' end of the channel against a real ring and a scripted synth: what reaches the
// reader, and that no call waits past its bound, whatever the lock and the reader do.

#include "driver/ShmWriter.h"
#include "synth/Ring.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace hml::driver;
using namespace hml::synth;

namespace {

// Plays the kernel objects and the synth: time passes only while a writer waits, and the synth
// reads `readPerWait` records whenever a writer waits for room.
class CFakeSync : public IWriterSync {
public:
    explicit CFakeSync(Region& region_) : reader(region_) {}

    ELock Lock(std::uint32_t timeoutMs) override {
        if (lockResult == ELock::TimedOut) {
            now += timeoutMs;
        } else {
            ++locks;
        }
        const ELock result = lockResult;
        if (lockResult == ELock::Abandoned) {
            lockResult = ELock::Acquired; // taken over once, ours from then on
        }
        return result;
    }
    void Unlock() override { ++unlocks; }
    void SignalData() override { ++signals; }
    void WaitQueueFree(std::uint32_t ms) override {
        now += ms;
        for (std::uint32_t i = 0; i < readPerWait && !reader.Empty(); ++i) {
            Consume();
        }
    }
    std::uint64_t NowMs() override { return now; }

    MidiRecord Consume() {
        const MidiRecord record = reader.Front();
        woken += reader.Advance();
        read.push_back(record);
        return record;
    }

    CRingReader reader;
    ELock lockResult = ELock::Acquired;
    std::uint32_t readPerWait = 0;
    std::uint64_t now = 0;
    int locks = 0, unlocks = 0, signals = 0, woken = 0;
    std::vector<MidiRecord> read;
};

class ShmWriterTest : public ::testing::Test {
protected:
    ShmWriterTest() : region(std::make_unique<Region>()), sync(*region) {
        InitializeRegion(*region);
    }

    void FillRing(CShmWriter& writer) {
        for (std::uint32_t i = 0; i + 1 < kRecordCount; ++i) {
            ASSERT_TRUE(writer.Send(MakeRecord(0, 7, kShortMsg, i)));
        }
    }

    std::unique_ptr<Region> region;
    CFakeSync sync;
};

TEST_F(ShmWriterTest, EachRecordIsLockedQueuedAndSignalledOnItsOwn) {
    CShmWriter writer(*region, sync);
    ASSERT_TRUE(writer.Send(MakeRecord(2, 7, kOpen)));
    ASSERT_TRUE(writer.Send(MakeRecord(2, 7, kShortMsg, 0x403C90)));
    EXPECT_EQ(sync.locks, 2);
    EXPECT_EQ(sync.unlocks, 2);
    EXPECT_EQ(sync.signals, 2);
    ASSERT_EQ(region->header.tail, 2u);
    const MidiRecord shortMsg = region->records[1];
    EXPECT_EQ(shortMsg.port, 2u);
    EXPECT_EQ(shortMsg.clientId, 7u);
    EXPECT_EQ(shortMsg.command, kShortMsg);
    EXPECT_EQ(shortMsg.param1, 0x403C90u);
    EXPECT_EQ(shortMsg.next, 2u) << "the links stay the server's";
    EXPECT_EQ(shortMsg.prev, 0u);
}

TEST_F(ShmWriterTest, BatchesHoldTheLockUntilSignalled) {
    CShmWriter writer(*region, sync);
    writer.SetSignalEvery(64);
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(writer.Send(MakeRecord(0, 7, kShortMsg, i)));
    }
    EXPECT_EQ(sync.signals, 1);
    EXPECT_EQ(sync.locks, 2) << "the second batch is still open";
    writer.Flush();
    EXPECT_EQ(sync.signals, 2);
    EXPECT_EQ(sync.unlocks, 2);
    writer.Flush();
    EXPECT_EQ(sync.unlocks, 2) << "nothing held, nothing released";
}

TEST_F(ShmWriterTest, SysExTravelsInChunksOfFiftyBytes) {
    CShmWriter writer(*region, sync);
    std::vector<std::uint8_t> sysEx(120);
    for (std::size_t i = 0; i < sysEx.size(); ++i) {
        sysEx[i] = static_cast<std::uint8_t>(i);
    }
    ASSERT_TRUE(writer.SendSysEx(1, 7, sysEx.data(), sysEx.size()));
    ASSERT_EQ(region->header.tail, 3u);
    const std::uint32_t lengths[] = {50, 50, 20};
    for (std::uint32_t i = 0; i < 3; ++i) {
        const MidiRecord& r = region->records[i];
        EXPECT_EQ(r.command, kLongMsg);
        EXPECT_EQ(r.param1, i);
        EXPECT_EQ(r.param2, 3u);
        EXPECT_EQ(r.length, lengths[i]);
        EXPECT_EQ(r.data[0], i * 50);
    }
    ASSERT_TRUE(writer.SendSysEx(1, 7, sysEx.data(), 50));
    EXPECT_EQ(region->records[3].param2, 1u) << "fifty bytes are one record";
}

TEST_F(ShmWriterTest, AFullRingWaitsForTheSynthAndLosesNothing) {
    CShmWriter writer(*region, sync);
    FillRing(writer);
    sync.readPerWait = 10;
    ASSERT_TRUE(writer.Send(MakeRecord(0, 7, kShortMsg, 123456)));
    EXPECT_EQ(writer.Waits(), 1u);
    EXPECT_EQ(sync.woken, 1) << "the server's read of the record after ours wakes us";
    while (!sync.reader.Empty()) {
        sync.Consume();
    }
    ASSERT_EQ(sync.read.size(), kRecordCount);
    for (std::uint32_t i = 0; i < sync.read.size(); ++i) {
        ASSERT_EQ(sync.read[i].param1, i + 1 < kRecordCount ? i : 123456u);
    }
}

TEST_F(ShmWriterTest, ASynthThatStoppedReadingCostsABoundedWait) {
    CShmWriter writer(*region, sync);
    FillRing(writer);
    const std::uint32_t tail = region->header.tail;
    const int unlocks = sync.unlocks;
    EXPECT_FALSE(writer.Send(MakeRecord(0, 7, kShortMsg)));
    EXPECT_GE(sync.now, kRoomWaitMs);
    EXPECT_LE(sync.now, kRoomWaitMs + kPollMs);
    EXPECT_EQ(region->header.tail, tail);
    EXPECT_EQ(sync.unlocks, unlocks + 1) << "the lock is not kept by a writer that gave up";
}

TEST_F(ShmWriterTest, AHungWriterHoldingTheLockCostsABoundedWait) {
    CShmWriter writer(*region, sync);
    sync.lockResult = ELock::TimedOut;
    EXPECT_FALSE(writer.Send(MakeRecord(0, 7, kOpen)));
    EXPECT_EQ(sync.now, kLockWaitMs);
    EXPECT_EQ(region->header.tail, 0u);
    EXPECT_EQ(sync.unlocks, 0) << "a lock never taken is never released";
}

TEST_F(ShmWriterTest, ALockLeftByADeadWriterIsTakenOver) {
    CShmWriter writer(*region, sync);
    sync.lockResult = ELock::Abandoned;
    EXPECT_TRUE(writer.Send(MakeRecord(0, 7, kOpen)));
    EXPECT_TRUE(writer.Send(MakeRecord(0, 7, kShortMsg)));
    EXPECT_EQ(writer.Recovered(), 1u);
    EXPECT_EQ(region->header.tail, 2u);
    EXPECT_EQ(sync.unlocks, 2);
}

} // namespace
