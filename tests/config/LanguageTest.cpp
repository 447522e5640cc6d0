// Language files: parsing, the English fallback, placeholders and the list of languages.

#include "config/Language.h"
#include "base/Utf8.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace hml::config;

namespace {

class LanguageTest : public ::testing::Test {
protected:
    void Write(const std::wstring& name, const std::string& bytes) {
        std::filesystem::create_directories(folder.path / "lang");
        std::ofstream(folder.path / "lang" / std::filesystem::path(name), std::ios::binary)
            << bytes;
    }
    hml::test::CTempFolder folder;
};

TEST(LanguageParseTest, LinesKeysValuesAndSections) {
    TextMap texts;
    ParseLanguageSection("\xEF\xBB\xBF"
                         "[info]\r\nlanguage=English\r\n"
                         "[COMMON]\r\n"
                         "; a comment = not a key\r\n"
                         "  key  =  value  \r\n"
                         "two=first\\nsecond\r\n"
                         "empty=\r\n"
                         "noequals\r\n"
                         "eq=a=b\r\n"
                         "dup=one\n"
                         "dup=two\n"
                         "[synth]\n"
                         "other=x\n"
                         "[common]\n"
                         "late=ignored\n",
                         L"common", texts);
    EXPECT_EQ(texts.at(L"key"), L"value");
    EXPECT_EQ(texts.at(L"two"), L"first\nsecond");
    EXPECT_EQ(texts.at(L"eq"), L"a=b");
    EXPECT_EQ(texts.at(L"dup"), L"two");
    EXPECT_EQ(texts.count(L"empty"), 0u);
    EXPECT_EQ(texts.count(L"noequals"), 0u);
    EXPECT_EQ(texts.count(L"other"), 0u) << "the next header ends the section";
    EXPECT_EQ(texts.count(L"late"), 0u) << "only the first section of that name is read";
    EXPECT_EQ(texts.count(L"language"), 0u);

    // An empty value leaves the earlier text in place.
    ParseLanguageSection("[common]\nkey=\n", L"common", texts);
    EXPECT_EQ(texts.at(L"key"), L"value");
}

TEST(LanguageParseTest, Utf8IsDecodedAndBrokenBytesDoNotDerail) {
    TextMap texts;
    ParseLanguageSection("[synth]\nscm.exit=Schlie\xC3\x9F"
                         "en\nbad=a\xFF\xC3z\nemoji=\xF0\x9F\x8E\xB9\nnext=ok",
                         L"synth", texts);
    EXPECT_EQ(texts.at(L"scm.exit"), L"Schlie\u00DFen");
    EXPECT_EQ(texts.at(L"bad"), L"a\uFFFD\uFFFDz");
    EXPECT_EQ(hml::base::Utf8FromWide(texts.at(L"emoji")), "\xF0\x9F\x8E\xB9");
    EXPECT_EQ(texts.at(L"next"), L"ok") << "a last line without LF counts";
}

TEST_F(LanguageTest, ChosenLanguageOverEnglishOverTheKey) {
    Write(L"1033.lang", "[synth]\nscm.exit=Exit\nscm.about=About\n[common]\ncommon.ok=OK\n");
    Write(L"1031.lang", "\xEF\xBB\xBF[synth]\r\nscm.exit=Beenden\r\n");
    CLanguage german(folder.Wide(), 1031);
    german.LoadSection(L"synth");
    EXPECT_EQ(german.Translate(L"scm.exit"), L"Beenden");
    EXPECT_EQ(german.Translate(L"scm.about"), L"About");
    EXPECT_EQ(german.Translate(L"common.ok"), L"common.ok") << "section not loaded";
    EXPECT_EQ(german.Translate(L"no.such.key"), L"no.such.key");

    CLanguage missing(folder.Wide(), 1040); // no 1040.lang: English only
    missing.LoadSection(L"synth");
    EXPECT_EQ(missing.Translate(L"scm.exit"), L"Exit");

    CLanguage nowhere(folder.File(L"not-installed"), 1033);
    nowhere.LoadSection(L"synth");
    EXPECT_EQ(nowhere.Translate(L"scm.exit"), L"scm.exit");
}

TEST(LanguagePlaceholderTest, ArgumentsReplaceEveryOccurrenceOnce) {
    TextMap texts;
    ParseLanguageSection("[s]\nk={0} and {0}, {1}; {2} but not {3}\n", L"s", texts);
    CLanguage lang(L"", 1033);
    const std::wstring text = texts.at(L"k");
    EXPECT_EQ(FillPlaceholders(text, L"A", L"B", L"C"), L"A and A, B; C but not {3}");
    EXPECT_EQ(FillPlaceholders(text, L"A", std::nullopt, std::nullopt),
              L"A and A, {1}; {2} but not {3}")
        << "placeholders without an argument stay";
    EXPECT_EQ(FillPlaceholders(L"{0}-{1}", L"{1}", L"x", std::nullopt), L"{1}-x")
        << "an argument's own text is not taken for a placeholder";
    EXPECT_EQ(lang.Translate(L"{0} missing key", L"x"), L"x missing key");
}

TEST_F(LanguageTest, LanguagesAreListedByTheNumberInTheirName) {
    Write(L"1033.lang", "[info]\nlanguage=English\n");
    Write(L"1040-old.lang", "[info]\nlanguage=Italiano\n");
    Write(L"italian.lang", "[info]\nlanguage=Italiano\n");
    Write(L"1036.lang", "[common]\nlanguage=Fran\xC3\xA7"
                        "ais\n");
    Write(L"1031.txt", "[info]\nlanguage=Deutsch\n");
    CLanguage lang(folder.Wide(), 1033);
    auto list = lang.ListLanguages();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.at(1033), L"English");
    EXPECT_EQ(list.at(1040), L"Italiano");
}

TEST_F(LanguageTest, FiltersCarryTheTranslatedDescription) {
    Write(L"1033.lang", "[common]\ncommon.filter.sfConfig=SoundFont lists\n");
    CLanguage lang(folder.Wide(), 1033);
    lang.LoadSection(L"common");
    const std::wstring filter = lang.Filter(L"common.filter.sfConfig", L"{0} (*.hmlsf)|*.hmlsf|");
    EXPECT_EQ(filter, L"SoundFont lists (*.hmlsf)|*.hmlsf|");
    const std::wstring dialog = ToDialogFilter(filter);
    EXPECT_EQ(dialog.size(), filter.size());
    EXPECT_EQ(dialog[dialog.find(L'(') + 9], L'\0');
}

} // namespace
