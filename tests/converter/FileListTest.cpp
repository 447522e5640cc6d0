// The converter's file list: the add rule, key shifts, output paths and the list files, old and
// new.
#include "converter/FileList.h"

#include <gtest/gtest.h>

using namespace hml::converter;

namespace {

std::vector<std::wstring> Rows(const MidiFileList& list) {
    std::vector<std::wstring> rows;
    for (const auto& e : list.Entries())
        rows.push_back(e->inputPath + L"|" + e->keyText + L"|" + e->outputPath);
    return rows;
}

TEST(FileListTest, AddRuleKeysAndOutputPaths) {
    MidiFileList list;
    list.Add(L"C:\\A\\x.mid").SetKeyShift(3);
    list.Add(L"C:\\b.d\\song.mid");
    list.Add(L"c:\\a\\X.MID");
    list.SetOutput(L"", L".wav");
    EXPECT_EQ(Rows(list), (std::vector<std::wstring>{L"C:\\b.d\\song.mid|0|C:\\b.d\\song.wav",
                                                     L"c:\\a\\X.MID|0|c:\\a\\X.wav"}));

    // Non-ASCII letters are not folded: only A-Z are.
    list.Add(L"C:\\\u00c4.mid");
    list.Add(L"C:\\\u00e4.mid");
    EXPECT_EQ(list.Size(), 4u);

    MidiFileEntry& e = list[0];
    for (int i = 0; i < 15; ++i)
        e.SetKeyShift(e.keyShift + 1);
    EXPECT_EQ(e.keyText, L"+12");
    e.SetKeyShift(0);
    e.SetKeyShift(e.keyShift - 1);
    EXPECT_EQ(e.keyText, L"-1");
    e.SetKeyShift(-40);
    EXPECT_EQ(e.keyText, L"-12");

    list.SetOutput(L"D:\\out\\", L".mp3");
    EXPECT_EQ(list[0].outputPath, L"D:\\out\\song.mp3");
    list.SetOutput(L"D:\\out", L".flac");
    EXPECT_EQ(list[1].outputPath, L"D:\\out\\X.flac");
    list.Add(L"C:\\dir.v2\\noext");
    list.SetOutput(L"", L".wav");
    EXPECT_EQ(list[4].outputPath, L"C:\\dir.v2\\noext.wav");

    list.Remove({3, 0, 3});
    EXPECT_EQ(list.Size(), 3u);
    EXPECT_EQ(list[0].inputPath, L"c:\\a\\X.MID");
}

TEST(FileListTest, ListFilesRoundTripInUtf8AndReadTheOldOneByteForm) {
    MidiFileList list;
    list.Add(L"C:\\\u697d\u66f2\\\u0441\u043e\u043d.mid").SetKeyShift(2);
    list.Add(L"C:\\plain.mid").SetKeyShift(-12);
    list.Add(L"C:\\caf\u00e9.mid");
    const std::string bytes = list.Export();
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(bytes.find("C:\\plain.mid|-12\r\n"), std::string::npos);

    MidiFileList back;
    back.Add(L"C:\\stale.mid");
    back.Import(bytes);
    back.SetOutput(L"", L".wav");
    list.SetOutput(L"", L".wav");
    EXPECT_EQ(Rows(back), Rows(list));

    // Written by others without the mark: UTF-8 when valid, else one byte per character.
    back.Import("C:\\caf\xC3\xA9.mid|+1\r\n");
    ASSERT_EQ(back.Size(), 1u);
    EXPECT_EQ(back[0].inputPath, L"C:\\caf\u00e9.mid");
    back.Import("C:\\caf\xE9.mid|+1\r\n\"C:\\q uoted.mid\"|+99\r\nC:\\only.mid\n\r\n|\n"
                "C:\\neg.mid| -5x|ignored\nC:\\junk.mid|abc");
    ASSERT_EQ(back.Size(), 5u);
    EXPECT_EQ(back[0].inputPath, L"C:\\caf\u00e9.mid");
    EXPECT_EQ(back[0].keyText, L"+1");
    EXPECT_EQ(back[1].inputPath, L"C:\\q uoted.mid");
    EXPECT_EQ(back[1].keyText, L"+12");
    EXPECT_EQ(back[2].inputPath, L"C:\\only.mid");
    EXPECT_EQ(back[2].keyText, L"0");
    EXPECT_EQ(back[3].keyText, L"-5");
    EXPECT_EQ(back[4].keyText, L"0");

    // A missing or empty file empties the list.
    back.Import("");
    EXPECT_TRUE(back.Empty());
}

} // namespace
