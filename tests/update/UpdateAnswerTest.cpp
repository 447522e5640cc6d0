// What a check stores and concludes from the update service's answer, on a configuration file.

#include "update/UpdateAnswer.h"

#include "support/ConfigFixture.h"

using namespace hml::update;

namespace {

using hml::update::CheckResult;
using namespace std::string_view_literals;

class UpdateAnswerTest : public ConfigFixture {
protected:
    CheckResult Answer(std::string_view body) {
        return hml::update::StoreAnswer(*Open(), body, ProductVersion::Parse(L"2.9.1.0"),
                                        L"2026-12-06");
    }
    std::wstring Found() { return Stored(L"Update", L"LastVersionFound"); }
    std::wstring Url() { return Stored(L"Update", L"LastVersionURL"); }
};

TEST_F(UpdateAnswerTest, VersionAndPageAreStoredAsReceivedAndDateTheCheck) {
    EXPECT_EQ(Answer("lastversion=2.9.2.0\nupdateurl=https://example.invalid/get\n"),
              CheckResult::UpdateAvailable);
    EXPECT_EQ(Url(), L"https://example.invalid/get");
    EXPECT_EQ(Stored(L"Update", L"LastCheck"), L"2026-12-06");

    EXPECT_EQ(Answer("lastversion=2.9.1.0\nupdateurl=u"), CheckResult::UpToDate);
    EXPECT_EQ(Answer("lastversion=2.9.0.99\nupdateurl=u"), CheckResult::UpToDate);
    EXPECT_EQ(Answer("lastversion=3\nupdateurl=u"), CheckResult::UpdateAvailable);
    EXPECT_EQ(Found(), L"3");
}

TEST_F(UpdateAnswerTest, KeysIgnoreCaseAndOnlyWholeKeysBeforeTheFirstEqualsCount) {
    Answer("=lastversion=9.0.0.0\nLastVersion=2.9.2.0\nlastversion =8.0.0.0\nno key here\n"
           "UPDATEURL=https://example.invalid/a=b\nlastversionx=7.0.0.0\n");
    EXPECT_EQ(Found(), L"2.9.2.0");
    EXPECT_EQ(Url(), L"https://example.invalid/a=b");
    Answer("lastversion=2.9.3.0\nlastversion=2.9.4.0");
    EXPECT_EQ(Found(), L"2.9.4.0") << "a later line wins";
}

TEST_F(UpdateAnswerTest, MissingKeysFailUnlessAnEarlierCheckStoredThem) {
    EXPECT_EQ(Answer("lastversion=2.9.2.0\n"), CheckResult::CheckFailed);
    EXPECT_EQ(Stored(L"Update", L"LastCheck"), L"<none>") << "the automatic check stays due";
    EXPECT_EQ(Answer("lastversion=2.9.2.0\nupdateurl=\n"), CheckResult::CheckFailed);

    EXPECT_EQ(Answer("updateurl=https://example.invalid/"), CheckResult::UpdateAvailable);
    EXPECT_EQ(Answer("<html>busy</html>"), CheckResult::UpdateAvailable) << "earlier values stay";
}

// Regression: the service could put a line break into a stored value, and with it any key or
// section into the configuration file.
TEST_F(UpdateAnswerTest, ValuesEndingInCarriageReturnLoseItAndOtherControlCharactersAreRefused) {
    Answer("lastversion=2.9.2.0\r\nupdateurl=https://example.invalid/\r\n");
    EXPECT_EQ(Found(), L"2.9.2.0");
    EXPECT_EQ(Url(), L"https://example.invalid/");

    for (std::string_view bad :
         {"updateurl=http://evil/\rLastCheck=2099-01-01"sv, "updateurl=http://evil/\r\r"sv,
          "updateurl=http://evil/\tx"sv, "updateurl=http://evil/\x1b[0m"sv, "updateurl=\xc2\x85"sv,
          "updateurl=http://evil/\0x"sv}) {
        Answer(bad);
        EXPECT_EQ(Url(), L"https://example.invalid/") << bad;
    }
    EXPECT_EQ(Stored(L"Update", L"LastCheck"), L"2026-12-06");
    EXPECT_EQ(hml::update::AcceptValue("caf\xe9 ~"), std::wstring(L"caf\u00e9 ~"));
}

} // namespace
