// What a check stores and concludes from the update service's answer, on a configuration file.

#include "update/UpdateAnswer.h"

#include "support/ConfigFixture.h"

namespace {

using update_check::CheckResult;

const std::wstring kToday = L"2026-12-06";

class UpdateAnswerTest : public ConfigFixture {
protected:
    CheckResult Answer(std::string_view body) {
        return update_check::StoreAnswer(*Open(), body, ProductVersion::Parse(L"2.9.1.0"), kToday);
    }
    std::wstring Found() { return Stored(L"Update", L"LastVersionFound"); }
    std::wstring Url() { return Stored(L"Update", L"LastVersionURL"); }
    std::wstring LastCheck() { return Stored(L"Update", L"LastCheck"); }
};

TEST_F(UpdateAnswerTest, NewerVersionIsStoredWithItsPageAndDatesTheCheck) {
    EXPECT_EQ(Answer("lastversion=2.9.2.0\nupdateurl=https://example.invalid/get\n"),
              CheckResult::UpdateAvailable);
    EXPECT_EQ(Found(), L"2.9.2.0");
    EXPECT_EQ(Url(), L"https://example.invalid/get");
    EXPECT_EQ(LastCheck(), kToday);

    EXPECT_EQ(Answer("lastversion=2.9.1.0\nupdateurl=u"), CheckResult::UpToDate);
    EXPECT_EQ(Answer("lastversion=2.9.0.99\nupdateurl=u"), CheckResult::UpToDate);
    EXPECT_EQ(Answer("lastversion=3\nupdateurl=u"), CheckResult::UpdateAvailable);
    EXPECT_EQ(Found(), L"3") << "stored as received, not as parsed";
}

TEST_F(UpdateAnswerTest, KeysIgnoreCaseAndOnlyWholeKeysBeforeTheFirstEqualsCount) {
    EXPECT_EQ(Answer("=lastversion=9.0.0.0\n"
                     "LastVersion=2.9.2.0\n"
                     "lastversion =8.0.0.0\n"
                     "no key here\n"
                     "UPDATEURL=https://example.invalid/a=b\n"
                     "lastversionx=7.0.0.0\n"),
              CheckResult::UpdateAvailable);
    EXPECT_EQ(Found(), L"2.9.2.0");
    EXPECT_EQ(Url(), L"https://example.invalid/a=b") << "the value runs to the line's end";

    Answer("lastversion=2.9.3.0\nlastversion=2.9.4.0");
    EXPECT_EQ(Found(), L"2.9.4.0") << "a later line wins";
}

TEST_F(UpdateAnswerTest, MissingKeysFailUnlessAnEarlierCheckStoredThem) {
    EXPECT_EQ(Answer("lastversion=2.9.2.0\n"), CheckResult::CheckFailed);
    EXPECT_EQ(LastCheck(), L"<none>") << "a failed check leaves the automatic check due";
    EXPECT_EQ(Answer(""), CheckResult::CheckFailed);
    EXPECT_EQ(Answer("lastversion=2.9.2.0\nupdateurl=\n"), CheckResult::CheckFailed);
    EXPECT_EQ(Url(), L"<none>") << "an empty value is the default and removes the key";

    EXPECT_EQ(Answer("updateurl=https://example.invalid/"), CheckResult::UpdateAvailable)
        << "the version of the earlier answer stays";
    EXPECT_EQ(Answer("<html>busy</html>"), CheckResult::UpdateAvailable);
    EXPECT_EQ(LastCheck(), kToday);
}

// Regression: the service could put a line break into a stored value, and with it any key or
// section into the configuration file.
TEST_F(UpdateAnswerTest, ValuesEndingInCarriageReturnLoseItAndOtherControlCharactersAreRefused) {
    EXPECT_EQ(Answer("lastversion=2.9.2.0\r\nupdateurl=https://example.invalid/\r\n"),
              CheckResult::UpdateAvailable);
    EXPECT_EQ(Found(), L"2.9.2.0");
    EXPECT_EQ(Url(), L"https://example.invalid/");

    for (std::string_view bad :
         {"updateurl=http://evil/\rLastCheck=2099-01-01", "updateurl=http://evil/\r\r",
          "updateurl=http://evil/\tx", "updateurl=http://evil/\x1b[0m",
          "updateurl=http://evil/\x7f", "updateurl=http://evil/\xc2\x85"}) {
        EXPECT_EQ(Answer(bad), CheckResult::UpdateAvailable) << bad;
        EXPECT_EQ(Url(), L"https://example.invalid/") << bad;
    }
    using namespace std::string_view_literals;
    EXPECT_EQ(Answer("updateurl=http://evil/\0x"sv), CheckResult::UpdateAvailable);
    EXPECT_EQ(Url(), L"https://example.invalid/");
    EXPECT_EQ(Stored(L"Update", L"LastCheck"), kToday);

    // Other bytes each become one character.
    EXPECT_EQ(update_check::AcceptValue("caf\xe9 \x7e"), std::wstring(L"caf\u00e9 ~"));
    EXPECT_EQ(update_check::AcceptValue("\r"), std::wstring());
}

} // namespace
