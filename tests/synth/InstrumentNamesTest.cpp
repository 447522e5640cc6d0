// The three instrument name tables: every program has a bank 0 name, rows sorted for the lookup
// by program, bank and mode, names kept exactly as the instruments' makers spell them.

#include "synth/InstrumentNames.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <set>
#include <span>
#include <string>

using namespace hml::synth;

namespace {

using testing::StrEq;

class InstrumentNamesTest : public testing::Test {
protected:
    static void ExpectWellFormed(std::span<const InstrumentRow> rows, const char* table) {
        SCOPED_TRACE(table);
        std::set<std::uint32_t> programsWithBank0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            ASSERT_NE(rows[i].name, nullptr);
            EXPECT_GE(rows[i].program, 1u);
            EXPECT_LE(rows[i].program, 128u);
            EXPECT_NE(std::wstring(rows[i].name), L"") << "row " << i;
            if (i > 0) {
                const auto& prev = rows[i - 1];
                EXPECT_TRUE(prev.program < rows[i].program ||
                            (prev.program == rows[i].program && prev.bank <= rows[i].bank))
                    << "row " << i << " is out of order";
            }
            if (rows[i].bank == 0) {
                programsWithBank0.insert(rows[i].program);
            }
        }
        EXPECT_EQ(programsWithBank0.size(), 128u); // programs are 1..128
    }
};

TEST_F(InstrumentNamesTest, TablesAreCompleteAndSorted) {
    ExpectWellFormed(gmInstrumentNames, "gm");
    ExpectWellFormed(gsInstrumentNames, "gs");
    ExpectWellFormed(xgInstrumentNames, "xg");
}

TEST_F(InstrumentNamesTest, LookupUsesTheTableOfTheModeOrGivesNoName) {
    EXPECT_THAT(LookupInstrumentName(0, 0, kModeGm), StrEq(L"Acoustic Grand Piano"));
    EXPECT_THAT(LookupInstrumentName(0, 0, kModeGm2), StrEq(L"Acoustic Grand Piano"));
    EXPECT_THAT(LookupInstrumentName(0, 0, kModeGs), StrEq(L"Piano 1"));
    EXPECT_THAT(LookupInstrumentName(0, 0, kModeXg), StrEq(L"Grand Piano"));
    EXPECT_THAT(LookupInstrumentName(79, 0, kModeGm), StrEq(L"Ocarina"));
    EXPECT_THAT(LookupInstrumentName(127, 0, kModeGm), StrEq(L"Gun Shot"));
    EXPECT_THAT(LookupInstrumentName(0, 1, kModeGm2), StrEq(L"Wide Acoustic Grand"));
    EXPECT_THAT(LookupInstrumentName(4, 8, kModeGs), StrEq(L"Detuned EP 1"));
    EXPECT_THAT(LookupInstrumentName(0, 8192, kModeXg), StrEq(L"Cutting Noise"));
    // Unknown modes fall back to the GM table.
    EXPECT_THAT(LookupInstrumentName(0, 0, 7), StrEq(L"Acoustic Grand Piano"));

    // No row for the program and bank, or no such program.
    EXPECT_THAT(LookupInstrumentName(0, 7, kModeGm), StrEq(kNoInstrumentName));
    EXPECT_THAT(LookupInstrumentName(0, 8192, kModeGs), StrEq(L"<--->"));
    EXPECT_THAT(LookupInstrumentName(128, 0, kModeGm), StrEq(L"<--->"));
    EXPECT_THAT(LookupInstrumentName(0xFFFFFFFFu, 0, kModeXg), StrEq(L"<--->"));
}

TEST_F(InstrumentNamesTest, NamesAreExactToTheSpace) {
    // Two rows for program 94, bank 65: the first is found.
    EXPECT_THAT(LookupInstrumentName(93, 65, kModeXg), StrEq(L"Hard Sync"));
    const auto* hardSync =
        std::find_if(xgInstrumentNames.begin(), xgInstrumentNames.end(),
                     [](const InstrumentRow& r) { return r.program == 94 && r.bank == 65; });
    ASSERT_NE(hardSync, xgInstrumentNames.end());
    EXPECT_EQ(hardSync[1].program, 94u);
    EXPECT_EQ(hardSync[1].bank, 65u);
    EXPECT_THAT(hardSync[1].name, StrEq(L"Pan Pad"));

    EXPECT_THAT(LookupInstrumentName(119, 101, kModeXg), StrEq(L"Reverse  Tom 2"));
    EXPECT_THAT(LookupInstrumentName(81, 24, kModeXg), StrEq(L"Heavy Synth "));
    EXPECT_THAT(LookupInstrumentName(16, 40, kModeXg), StrEq(L"16+2\"2/3"));
}

} // namespace
