// Versions as the update service sends them and the configuration keeps them.

#include "update/ProductVersion.h"

#include <gtest/gtest.h>

using namespace hml::update;

namespace {

class UpdateProductVersionTest : public ::testing::Test {
protected:
    static std::wstring Read(const std::wstring& text) {
        return ProductVersion::Parse(text).Format();
    }
    static bool Newer(const std::wstring& a, const std::wstring& b) {
        return ProductVersion::Parse(a).IsNewerThan(ProductVersion::Parse(b));
    }
};

TEST_F(UpdateProductVersionTest, ReadsLikeScanfWithMissingAndNegativePartsAsZero) {
    EXPECT_EQ(Read(L"3"), L"3.0.0.0");
    EXPECT_EQ(Read(L""), L"0.0.0.0");
    EXPECT_EQ(Read(L"v2.9.1.0"), L"0.0.0.0");
    EXPECT_EQ(Read(L"2.-1.5.7"), L"2.0.5.7");
    EXPECT_EQ(Read(L"2.9.x.7"), L"2.9.0.0") << "parts after one that fails stay 0";
    EXPECT_EQ(Read(L" 2. 9.1.0.5-beta"), L"2.9.1.0") << "%d skips white space before a number";
    EXPECT_EQ(Read(L"99999999999.1"), L"2147483647.1.0.0") << "saturates, never overflows";
}

TEST_F(UpdateProductVersionTest, NewerIsDecidedByTheFirstDifferingPartAsANumber) {
    EXPECT_TRUE(Newer(L"2.9.1.1", L"2.9.1.0"));
    EXPECT_TRUE(Newer(L"2.10", L"2.9.99.99")) << "numbers, not text";
    EXPECT_FALSE(Newer(L"2.9.1.0", L"2.9.1.0"));
    EXPECT_FALSE(Newer(L"1.99.99.99", L"2.9.1.0"));
    EXPECT_FALSE(Newer(L"", L"2.9.1.0"));
}

} // namespace
