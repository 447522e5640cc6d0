// The debug report's text and file: what is left out, how the status and the SoundFont entries
// read, and that any character survives the trip to disk and back.

#include "configurator/DebugReport.h"

#include "base/Utf8.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace hml;
using namespace hml::configurator;

namespace {

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(DebugReportTest, UnreadableConfigurationIsNamedAndTheReportGoesOn) {
    DebugReportInput input;
    input.configPath = L"C:\\Harmolith\\Harmolith.conf";
    input.registry = L"*** HKCU\\X ***\n\n";
    const std::wstring report = FormatDebugReport(input);
    EXPECT_NE(report.find(L"=\nCan't open configuration file: C:\\Harmolith\\Harmolith.conf\n" +
                          std::wstring(72, L'=') + L"\n\nRegistry keys\n"),
              std::wstring::npos)
        << base::Utf8FromWide(report);
    EXPECT_EQ(report.substr(report.size() - input.registry.size()), input.registry);
}

TEST(DebugReportTest, ConfigurationKeepsOnlyLinesThatAreNeitherBlankNorComments) {
    EXPECT_EQ(ReportedConfigLines(L"; head\r\n[Advanced]\r\n\r\n  ;indented\r\nA=1\n;B=2\nC=;3"),
              (std::vector<std::wstring>{L"[Advanced]", L"  ;indented", L"A=1", L"C=;3"}));
    EXPECT_TRUE(ReportedConfigLines(L"").empty());
}

TEST(DebugReportTest, FilesDecodeByTheirByteOrderMark) {
    // "ä☃" and a character outside the basic plane, as UTF-16 LE with a surrogate pair.
    const std::string utf16("\xFF\xFE\xE4\x00\x03\x26\x3C\xD8\xB5\xDF", 10);
    const std::wstring expected = base::WideFromUtf8("\xC3\xA4\xE2\x98\x83\xF0\x9F\x8E\xB5");
    EXPECT_EQ(DecodeTextFile(utf16), expected);
    EXPECT_EQ(DecodeTextFile("\xEF\xBB\xBF\xC3\xA4\xE2\x98\x83\xF0\x9F\x8E\xB5"), expected);
    auto latin1 = [](const std::string& bytes) {
        std::wstring text;
        for (char c : bytes) {
            text += static_cast<wchar_t>(static_cast<unsigned char>(c));
        }
        return text;
    };
    EXPECT_EQ(DecodeTextFile("\xE4=1", latin1), L"\u00E4=1");
}

TEST(DebugReportTest, WrittenFileIsUtf8WithMarkAndCrLfAndReplacesTheOldOneWhole) {
    test::CTempFolder folder;
    const std::filesystem::path path = folder.path / "report.txt";
    std::ofstream(path) << "an older, longer report that must go entirely";
    const std::wstring text = base::WideFromUtf8("K\xC3\xA4se \xE2\x98\x83\nFl\xC3\xB6te\n");
    ASSERT_TRUE(WriteUtf8TextFile(path, text));
    EXPECT_EQ(ReadBytes(path), "\xEF\xBB\xBFK\xC3\xA4se \xE2\x98\x83\r\nFl\xC3\xB6te\r\n");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"report.txt"}) << "no temporary left";

    EXPECT_FALSE(WriteUtf8TextFile(folder.path / "missing" / "report.txt", text));
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"report.txt"});
}

} // namespace
