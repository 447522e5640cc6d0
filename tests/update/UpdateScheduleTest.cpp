// The day arithmetic of section "Update" and the tray's update decision at start-up.

#include "update/UpdateSchedule.h"

#include "support/ConfigFixture.h"

using namespace hml::update;

namespace {

using hml::update::CLocalTime;
using hml::update::DaysSince;

class UpdateScheduleTest : public ConfigFixture {
protected:
    hml::update::CStartupDecision Decide(const CLocalTime& now) {
        return hml::update::DecideAtStartup(*Open(), ProductVersion::Parse(L"2.9.1.0"), now);
    }
    void Know(const wchar_t* version, const wchar_t* lastCheck, const wchar_t* lastNotify) {
        Put(L"Update", L"CheckFrequency", L"7");
        Put(L"Update", L"LastVersionFound", version);
        Put(L"Update", L"LastCheck", lastCheck);
        Put(L"Update", L"LastNotify", lastNotify);
    }
};

TEST_F(UpdateScheduleTest, DaysAreWholeAndAFutureOrDamagedDateCountsAsLongPast) {
    EXPECT_EQ(DaysSince(L"2026-12-06", {2026, 12, 6, 23, 59, 59, 999}), 0u);
    EXPECT_EQ(DaysSince(L"2026-12-06", {2026, 12, 7}), 1u);
    EXPECT_EQ(DaysSince(L"2026-12-06", {2027, 1, 5, 12}), 30u);
    EXPECT_EQ(DaysSince(L"2024-02-28", {2024, 3, 1}), 2u) << "leap day";
    EXPECT_GT(DaysSince(L"2026-12-07", {2026, 12, 6, 23, 59}), 20000000u) << "hours ahead";

    const std::uint32_t sinceDefault = DaysSince(L"1900-01-01", {2026, 12, 6});
    EXPECT_EQ(sinceDefault, 46360u);
    for (const wchar_t* damaged : {L"", L"2026-12-6", L"2026-12-06 ", L"2026/12/06", L"2026-13-01",
                                   L"2026-02-29", L"1600-01-01"}) {
        EXPECT_EQ(DaysSince(damaged, {2026, 12, 6}), sinceDefault) << damaged;
    }
}

TEST_F(UpdateScheduleTest, CheckIsMadeOnceFrequencyDaysHavePassed) {
    Know(L"2.9.2.0", L"2026-11-30", L"1900-01-01");
    auto sixDays = Decide({2026, 12, 6, 23, 59});
    EXPECT_FALSE(sixDays.startCheck);
    EXPECT_TRUE(sixDays.updateAvailable);

    auto sevenDays = Decide({2026, 12, 7});
    EXPECT_TRUE(sevenDays.startCheck);
    EXPECT_FALSE(sevenDays.updateAvailable || sevenDays.remind) << "the check's callback decides";
    Put(L"Update", L"LastCheck", L"2027-01-01");
    EXPECT_TRUE(Decide({2026, 12, 7}).startCheck) << "a check date in the future";

    Put(L"Update", L"CheckFrequency", L"0");
    auto off = Decide({2026, 12, 7});
    EXPECT_FALSE(off.startCheck || off.updateAvailable || off.remind);
}

TEST_F(UpdateScheduleTest, KnownNewerVersionIsRemindedOncePerCalendarDay) {
    Know(L"2.9.2.0", L"2026-12-06", L"2026-12-06");
    auto today = Decide({2026, 12, 6, 18});
    EXPECT_TRUE(today.updateAvailable);
    EXPECT_FALSE(today.remind);

    const CLocalTime nextMorning{2026, 12, 7, 0, 5};
    EXPECT_TRUE(Decide(nextMorning).remind);
    hml::update::MarkReminded(*Open(), nextMorning);
    EXPECT_EQ(Stored(L"Update", L"LastNotify"), L"2026-12-07");
    EXPECT_FALSE(Decide({2026, 12, 7, 23, 59}).remind);
    Put(L"Update", L"LastNotify", L"2030-01-01");
    EXPECT_TRUE(Decide({2026, 12, 7}).remind) << "a reminder date in the future";

    for (const wchar_t* notNewer : {L"2.9.1.0", L"", L"unknown"}) {
        Put(L"Update", L"LastVersionFound", notNewer);
        auto decision = Decide({2026, 12, 8});
        EXPECT_FALSE(decision.updateAvailable || decision.remind) << notNewer;
    }
}

} // namespace
