// The record ring: layout, link discipline, the full ring and the waiting writer.

#include "synth/Ring.h"

#include <gtest/gtest.h>

#include <memory>

using namespace hml::synth;

namespace {

class RingTest : public ::testing::Test {
protected:
    RingTest() : region(std::make_unique<hml::synth::Region>()) {
        hml::synth::InitializeRegion(*region);
    }
    std::unique_ptr<hml::synth::Region> region;
};

TEST_F(RingTest, FreshRegionHasItsHeaderAndClosedLinks) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(region.get());
    EXPECT_EQ(*reinterpret_cast<const std::uint32_t*>(bytes), 8800304u);
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 4), "2.9.1.0");
    EXPECT_EQ(region->header.head, 0u);
    EXPECT_EQ(region->header.tail, 0u);
    EXPECT_EQ(region->header.waitIndex, 0u);
    EXPECT_EQ(region->records[0].prev, 99999u);
    EXPECT_EQ(region->records[0].next, 1u);
    EXPECT_EQ(region->records[99999].next, 0u);
    EXPECT_EQ(region->records[99999].prev, 99998u);
    // Record 7 starts at byte 304 + 7 * 88.
    EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(&region->records[7]) - bytes, 920);
}

TEST_F(RingTest, RecordsComeOutInOrderAndLinksStayTheServers) {
    hml::synth::CRingWriter writer(*region);
    hml::synth::CRingReader reader(*region);
    EXPECT_TRUE(reader.Empty());
    const std::uint8_t sysex[60] = {0xF0, 1, 2, 3};
    ASSERT_TRUE(writer.Push(hml::synth::MakeRecord(0, 42, hml::synth::kShortMsg, 0x7F3C90)));
    ASSERT_TRUE(writer.Push(hml::synth::MakeRecord(1, 42, hml::synth::kLongMsg, 0, 1, sysex, 60)));
    EXPECT_EQ(region->records[1].length, 50u) << "a chunk carries at most 50 bytes";
    EXPECT_EQ(region->records[1].next, 2u);
    EXPECT_EQ(reader.Front().param1, 0x7F3C90u);
    reader.Advance();
    EXPECT_EQ(reader.Front().port, 1u);
    reader.Advance();
    EXPECT_TRUE(reader.Empty());
}

TEST_F(RingTest, FullRingKeepsOneRecordFreeAndWakesTheWaitingWriter) {
    hml::synth::CRingWriter writer(*region);
    hml::synth::CRingReader reader(*region);
    for (std::uint32_t i = 0; i < hml::synth::kRecordCount - 1; ++i) {
        ASSERT_TRUE(writer.Push(hml::synth::MakeRecord(0, 1, hml::synth::kShortMsg, i))) << i;
    }
    EXPECT_EQ(region->header.tail, 99999u);
    EXPECT_FALSE(writer.Push(hml::synth::MakeRecord(0, 1, hml::synth::kShortMsg, 123)));
    EXPECT_EQ(region->header.waitIndex, 99999u) << "the record before the one awaited";
    EXPECT_TRUE(reader.Advance()) << "consuming record 0 (prev 99999) frees the writer";
    EXPECT_TRUE(writer.Push(hml::synth::MakeRecord(0, 1, hml::synth::kShortMsg, 123)));
    EXPECT_FALSE(reader.Advance()) << "record 1's prev is not the wait index";

    // Wrap-around: everything is read back in order.
    std::uint32_t expected = 2;
    while (!reader.Empty()) {
        const std::uint32_t value = reader.Front().param1;
        ASSERT_EQ(value, expected == hml::synth::kRecordCount - 1 ? 123u : expected);
        ++expected;
        reader.Advance();
    }
    EXPECT_EQ(region->header.head, 0u);
}

TEST_F(RingTest, WaitIndexWakesOnlyAfterItsRecord) {
    region->header.waitIndex = 40;
    region->header.head = 41;
    region->header.tail = 43;
    hml::synth::CRingReader reader(*region);
    EXPECT_TRUE(reader.Advance()) << "record 41's prev is 40";
    EXPECT_FALSE(reader.Advance());
}

} // namespace
