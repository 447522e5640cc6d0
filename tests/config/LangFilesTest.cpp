// The shipped language files against each other and against the keys the code uses. English is
// the fallback: its file is the inventory of keys.

#include "base/Utf8.h"
#include "config/Language.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

using namespace hml::config;

namespace {

const std::wstring kSections[] = {L"common", L"synth", L"midiconverter"};

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

TextMap Section(const std::string& file, const std::wstring& section) {
    TextMap texts;
    ParseLanguageSection(ReadAll(hml::test::Source("lang/" + file)), section, texts);
    return texts;
}

// The section a key must sit in: the one the process showing it loads.
std::wstring SectionOf(const std::wstring& key) {
    if (key.rfind(L"common.", 0) == 0) {
        return L"common";
    }
    return key.rfind(L"mc.", 0) == 0 ? L"midiconverter" : L"synth";
}

// The placeholders {0}..{9} a text holds, as a bit set.
unsigned PlaceholdersIn(const std::wstring& text) {
    unsigned found = 0;
    for (std::size_t i = 0; i + 2 < text.size(); ++i) {
        if (text[i] == L'{' && text[i + 2] == L'}' && text[i + 1] >= L'0' && text[i + 1] <= L'9') {
            found |= 1u << (text[i + 1] - L'0');
        }
    }
    return found;
}

TEST(LangFilesTest, EnglishKeysSitInTheirSectionWithPlaceholdersFromZeroUp) {
    std::size_t keys = 0;
    for (const std::wstring& section : kSections) {
        for (const auto& [key, text] : Section("1033.lang", section)) {
            ++keys;
            const std::string name = hml::base::Utf8FromWide(key);
            EXPECT_EQ(SectionOf(key), section) << name;
            const unsigned placeholders = PlaceholdersIn(text);
            EXPECT_EQ(placeholders & (placeholders + 1), 0u) << name << " skips a placeholder";
        }
    }
    EXPECT_GT(keys, 100u);
    EXPECT_EQ(Section("1033.lang", L"info").at(L"language"), L"English");
}

TEST(LangFilesTest, GermanTranslatesTheEssentialsWithTheSamePlaceholders) {
    std::size_t englishKeys = 0, translated = 0;
    for (const std::wstring& section : kSections) {
        const TextMap german = Section("1031.lang", section);
        const TextMap english = Section("1033.lang", section);
        for (const auto& [key, text] : english) {
            ++englishKeys;
            const std::string name = hml::base::Utf8FromWide(key);
            auto found = german.find(key);
            const bool essential = name.rfind("scm.", 0) == 0 || name.rfind("mixer.", 0) == 0 ||
                                   name.rfind("err.", 0) == 0 || name.rfind("warn.", 0) == 0 ||
                                   name.rfind("common.", 0) == 0;
            if (found == german.end()) {
                EXPECT_FALSE(essential) << name << " lacks a German text";
                continue;
            }
            ++translated;
            EXPECT_EQ(PlaceholdersIn(found->second), PlaceholdersIn(text)) << name;
        }
        for (const auto& entry : german) {
            EXPECT_TRUE(english.count(entry.first))
                << hml::base::Utf8FromWide(entry.first) << " is German only";
        }
    }
    EXPECT_LT(translated, englishKeys) << "some keys are left to the English fallback";
    EXPECT_EQ(Section("1031.lang", L"info").at(L"language"), L"Deutsch");
}

TEST(LangFilesTest, EveryKeyTheCodeUsesIsDefined) {
    const std::regex literal(R"re(L?"((?:cfg|mc|mixer|scm|err|warn|common|be)\.[A-Za-z0-9.]+)")re");
    std::set<std::string> used;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(hml::test::Source("src"))) {
        const auto extension = entry.path().extension();
        if (extension != ".cpp" && extension != ".h") {
            continue;
        }
        const std::string code = ReadAll(entry.path());
        for (std::sregex_iterator it(code.begin(), code.end(), literal), end; it != end; ++it) {
            used.insert((*it)[1]);
        }
    }
    for (const std::string& key : used) {
        const std::wstring wide = hml::base::WideFromUtf8(key);
        EXPECT_TRUE(Section("1033.lang", SectionOf(wide)).count(wide))
            << key << " is used in src/ but has no English text";
    }
}

} // namespace
