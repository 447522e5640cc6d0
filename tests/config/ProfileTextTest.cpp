// Conversions between configuration text and values.

#include "config/ProfileText.h"

#include <gtest/gtest.h>

using namespace hml::config;

namespace pt = hml::config;

TEST(ProfileTextTest, NumberListsReadLikeScanfAndStopAtTheFirstNonNumber) {
    std::uint32_t n[4] = {7, 7, 7, 7};
    EXPECT_EQ(pt::ReadNumberList(L"  12 ;;+3;99999999999;x;5", n, 4), 3u);
    EXPECT_EQ(n[0], 12u);
    EXPECT_EQ(n[1], 3u);
    EXPECT_EQ(n[2], 4294967295u) << "too large saturates";
    EXPECT_EQ(n[3], 7u);
    EXPECT_EQ(pt::ReadNumberList(L"-1", n, 1), 1u);
    EXPECT_EQ(n[0], 4294967295u);
    EXPECT_EQ(pt::ReadNumberList(L"- 1", n, 1), 0u);
    EXPECT_EQ(pt::ReadNumberList(L"", n, 4), 0u);
}

TEST(ProfileTextTest, ClampAndSignedText) {
    EXPECT_EQ(pt::ClampUnsigned(4294967295u, 0, 127), 127u);
    EXPECT_EQ(pt::ClampUnsigned(0, 16, 100000), 16u);
    EXPECT_EQ(pt::ClampUnsigned(50, 16, 100000), 50u);
    EXPECT_EQ(pt::SignedText(4294967295u), L"-1");
    EXPECT_EQ(pt::SignedText(2147483648u), L"-2147483648");
    EXPECT_EQ(pt::UpToLineBreak(L"a\rb\nc"), L"a");
}

TEST(ProfileTextTest, PortNamesAndSuffixes) {
    EXPECT_EQ(pt::PortSuffix(0), L"");
    EXPECT_EQ(pt::PortSuffix(1), L"2");
    EXPECT_EQ(pt::PortSuffix(3), L"4");
    EXPECT_EQ(pt::PortDisplayName(0), L"Harmolith #1");
    EXPECT_EQ(pt::PortDisplayName(3), L"Harmolith #4");
    EXPECT_EQ(pt::FormatDate(2026, 1, 5), L"2026-01-05");
}
