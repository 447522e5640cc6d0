// The blacklist's normalising rules between what the user types and what the driver reads.
#include "configurator/Blacklist.h"

#include <gtest/gtest.h>

using namespace hml::configurator;

namespace {

TEST(BlacklistTest, TypedLinesBecomeSortedLowerCaseExeNames) {
    EXPECT_EQ(BlacklistToStored(L"Foo\r\n  bar.EXE \t\r\n"), L"bar.exe;foo.exe");
    // Bare line feeds, blank lines and a name typed twice in different case.
    EXPECT_EQ(BlacklistToStored(L"\n\nGame\n\r\r\ngame.exe\n   \n"), L"game.exe");
    // Short names and names ending in something like ".exe" still get the extension.
    EXPECT_EQ(NormaliseBlacklist(L"a\r\nsetup.ex\r\nx.exe.bak\r\n.exe"),
              L".exe\r\na.exe\r\nsetup.ex.exe\r\nx.exe.bak.exe");
    EXPECT_EQ(BlacklistToStored(L""), L"");
    EXPECT_EQ(BlacklistToStored(L" \r\n\t\r\n"), L"");
    // Letters outside ASCII are lowered too, so "ÄRGER" and "ärger" are one program.
    EXPECT_EQ(BlacklistToStored(L"\u00C4RGER\r\n\u00E4rger.exe\r\n\u0418\u0413\u0420\u0410"),
              L"\u00E4rger.exe;\u0438\u0433\u0440\u0430.exe");
}

TEST(BlacklistTest, StoredValueOpensAsOneNamePerLineWithRoomForANewOne) {
    EXPECT_EQ(BlacklistToEdited(L"b.exe;a.exe"), L"a.exe\r\nb.exe\r\n");
    EXPECT_EQ(BlacklistToEdited(L""), L"");
    EXPECT_EQ(BlacklistToEdited(L";;"), L"");
    // A stored form survives the round trip unchanged, so OK without edits reports no change.
    const std::wstring stored = L"a.exe;b b.exe;z.exe";
    EXPECT_EQ(BlacklistToStored(BlacklistToEdited(stored)), stored);
    EXPECT_EQ(BlacklistToStored(BlacklistToEdited(L"NOTEPAD.EXE")), L"notepad.exe");
}

} // namespace
