// Text conversions that file names, language files and SoundFont paths go through.
#include "base/Utf8.h"

#include <gtest/gtest.h>

namespace hml::base {
namespace {

TEST(Utf8Test, RoundTripsEveryPlaneAndRejectsWhatIsNotText) {
    const std::wstring text = L"a\u00DF\u65E5\U0001F3B9";
    const std::string utf8 = hml::base::Utf8FromWide(text);
    EXPECT_EQ(utf8, "a\xC3\x9F\xE6\x97\xA5\xF0\x9F\x8E\xB9");
    EXPECT_EQ(hml::base::WideFromUtf8(utf8), text);

    EXPECT_EQ(hml::base::WideFromUtf8("\xC0\xAF"), L"\uFFFD\uFFFD") << "overlong";
    EXPECT_EQ(hml::base::WideFromUtf8("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD") << "surrogate";
    EXPECT_EQ(hml::base::WideFromUtf8("\xF4\x90\x80\x80"), L"\uFFFD\uFFFD\uFFFD\uFFFD")
        << "beyond Unicode";
    EXPECT_EQ(hml::base::WideFromUtf8("x\xE6\x97"), L"x\uFFFD\uFFFD") << "cut short";
}

TEST(Utf8Test, PathsKeepTheirCharacters) {
    const std::string name = "\xD0\x9C\xD1\x83\xD0\xB7\xD1\x8B\xD0\xBA\xD0\xB0 \xE6\x97\xA5.mid";
    const std::filesystem::path path = PathFromUtf8(name);
    EXPECT_EQ(Utf8(path), name);
#ifdef _WIN32
    EXPECT_EQ(path.wstring(), hml::base::WideFromUtf8(name)) << "the native wide name";
#endif
}

} // namespace
} // namespace hml::base
