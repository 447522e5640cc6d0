// The driver's handles: what a program gets back for open, and what it can do wrong with it.

#include "driver/OpenTable.h"

#include <gtest/gtest.h>

using namespace hml::driver;

namespace {

SClient OnPort(std::uint32_t port) {
    SClient client;
    client.port = port;
    client.instance = 100 + port;
    return client;
}

TEST(OpenTableTest, TheSynthSeesOneConnectionPerPortHoweverManyHandles) {
    COpenTable table;
    bool first = false, last = false;
    const auto a = table.Add(OnPort(0), first);
    EXPECT_TRUE(first);
    const auto b = table.Add(OnPort(0), first);
    EXPECT_FALSE(first);
    const auto c = table.Add(OnPort(2), first);
    EXPECT_TRUE(first);
    EXPECT_EQ(table.OpenPorts(), (std::vector<std::uint32_t>{0, 2}));

    ASSERT_TRUE(table.Remove(a, last));
    EXPECT_FALSE(last) << "b still has port 0 open";
    ASSERT_TRUE(table.Remove(b, last));
    EXPECT_TRUE(last);
    EXPECT_EQ(table.OpenPorts(), (std::vector<std::uint32_t>{2}));
    EXPECT_EQ(table.Find(c)->instance, 102u);
}

TEST(OpenTableTest, HandlesNeverOpenedOrAlreadyClosedAreRefused) {
    COpenTable table;
    bool first = false, last = true;
    EXPECT_FALSE(table.Find(0));
    EXPECT_FALSE(table.Find(1)) << "data before open";
    EXPECT_FALSE(table.Remove(1, last));
    EXPECT_FALSE(last);

    const auto handle = table.Add(OnPort(1), first);
    ASSERT_TRUE(table.Remove(handle, last));
    EXPECT_FALSE(table.Remove(handle, last)) << "closed twice";
    EXPECT_FALSE(last);
    EXPECT_FALSE(table.Find(handle));

    // A new open never gets the old number: a stale handle cannot reach someone else's port.
    const auto next = table.Add(OnPort(3), first);
    EXPECT_NE(next, handle);
    EXPECT_TRUE(first);
    EXPECT_FALSE(table.Find(handle));
}

} // namespace
