// The shipped language files against the key inventory and against the keys the code uses.

#include "base/Utf8.h"
#include "config/Language.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace {

struct KeyInfo {
    int placeholders = 0;
    std::string section;
};

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::map<std::string, KeyInfo> Inventory() {
    std::map<std::string, KeyInfo> keys;
    std::istringstream lines(ReadAll(test_paths::Source("tests/config/data/lang-keys.txt")));
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream fields(line);
        std::string key;
        KeyInfo info;
        fields >> key >> info.placeholders >> info.section;
        keys[key] = info;
    }
    return keys;
}

TextMap Section(const std::string& file, const std::wstring& section) {
    TextMap texts;
    ParseLanguageSection(ReadAll(test_paths::Source("lang/" + file)), section, texts);
    return texts;
}

std::wstring Wide(const std::string& s) {
    return hml::base::WideFromUtf8(s);
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

TEST(LangFilesTest, EnglishDefinesEveryKeyWithItsPlaceholders) {
    const auto inventory = Inventory();
    ASSERT_EQ(inventory.size(), 185u);
    for (const auto& [key, info] : inventory) {
        TextMap texts = Section("1033.lang", Wide(info.section));
        auto found = texts.find(Wide(key));
        ASSERT_NE(found, texts.end()) << key << " in [" << info.section << "]";
        EXPECT_EQ(PlaceholdersIn(found->second), (1u << info.placeholders) - 1)
            << key << " should hold {0}..{" << info.placeholders - 1 << "}";
    }
    EXPECT_EQ(Section("1033.lang", L"info").at(L"language"), L"English");
}

TEST(LangFilesTest, GermanTranslatesTheEssentialsWithTheSamePlaceholders) {
    const auto inventory = Inventory();
    int translated = 0;
    for (const auto& [key, info] : inventory) {
        TextMap german = Section("1031.lang", Wide(info.section));
        auto found = german.find(Wide(key));
        const bool essential = key.rfind("scm.", 0) == 0 || key.rfind("mixer.", 0) == 0 ||
                               key.rfind("err.", 0) == 0 || key.rfind("warn.", 0) == 0 ||
                               key.rfind("common.", 0) == 0;
        if (found == german.end()) {
            EXPECT_FALSE(essential) << key << " lacks a German text";
            continue;
        }
        ++translated;
        EXPECT_EQ(PlaceholdersIn(found->second), (1u << info.placeholders) - 1) << key;
    }
    EXPECT_LT(translated, 185) << "some keys are left to the English fallback";
    EXPECT_EQ(Section("1031.lang", L"info").at(L"language"), L"Deutsch");
}

TEST(LangFilesTest, EveryKeyTheCodeUsesIsDefined) {
    const auto inventory = Inventory();
    const std::regex literal(R"re(L?"((?:cfg|mc|mixer|scm|err|warn|common|be)\.[A-Za-z0-9.]+)")re");
    std::set<std::string> used;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(test_paths::Source("src"))) {
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
        EXPECT_TRUE(inventory.count(key)) << key << " is used in src/ but not in the inventory";
    }
}

} // namespace
