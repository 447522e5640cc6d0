// Which programs the driver serves, and the ports it offers them.

#include "driver/DriverRules.h"

#include <gtest/gtest.h>

using namespace hml::driver;

namespace {

TEST(DriverRulesTest, BlacklistMatchesTheProgramsFileNameAsTheEditorWouldStoreIt) {
    const std::wstring stored = L"game.exe;player.exe";
    EXPECT_TRUE(IsBlacklisted(stored, L"C:\\Program Files\\Game\\Game.EXE"));
    EXPECT_TRUE(IsBlacklisted(stored, L"player.exe"));
    EXPECT_FALSE(IsBlacklisted(stored, L"C:\\Games\\game.exe.bak"));
    EXPECT_FALSE(IsBlacklisted(stored, L"C:\\player.exe\\other.exe")) << "folders do not count";
    EXPECT_FALSE(IsBlacklisted(stored, L"C:\\Games\\agame.exe"));
    EXPECT_FALSE(IsBlacklisted(L"", L"C:\\Games\\game.exe"));
    // Edited by hand: blanks, capitals, a missing extension.
    EXPECT_TRUE(IsBlacklisted(L" Tracker ;SEQ.exe", L"D:\\tracker.exe"));
    EXPECT_TRUE(IsBlacklisted(L" Tracker ;SEQ.exe", L"D:\\Seq.exe"));
}

TEST(DriverRulesTest, PortsFollowTheSynthsClampedCount) {
    EXPECT_EQ(PortCount(0), 1u);
    EXPECT_EQ(PortCount(3), 3u);
    EXPECT_EQ(PortCount(9), 4u);
    EXPECT_EQ(PortName(0), L"Harmolith #1");
    EXPECT_EQ(PortName(3), L"Harmolith #4");
}

} // namespace
