// The three instrument name tables and the lookup by program, bank and mode.

#include "synth/InstrumentNames.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <set>
#include <span>
#include <string>

namespace {

using testing::StrEq;

class InstrumentNamesTest : public testing::Test {
protected:
    static std::set<std::uint32_t> Banks(std::span<const InstrumentRow> rows) {
        std::set<std::uint32_t> banks;
        for (const auto& row : rows) {
            banks.insert(row.bank);
        }
        return banks;
    }

    static std::set<std::uint32_t> Range(std::uint32_t first, std::uint32_t last) {
        std::set<std::uint32_t> banks;
        for (std::uint32_t b = first; b <= last; ++b) {
            banks.insert(b);
        }
        return banks;
    }

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
        EXPECT_EQ(programsWithBank0, Range(1, 128));
    }
};

TEST_F(InstrumentNamesTest, TablesAreCompleteAndSorted) {
    ExpectWellFormed(gmInstrumentNames, "gm");
    ExpectWellFormed(gsInstrumentNames, "gs");
    ExpectWellFormed(xgInstrumentNames, "xg");

    EXPECT_EQ(Banks(gmInstrumentNames), Range(0, 9));

    auto gs = Range(0, 35);
    gs.merge(Range(40, 45));
    gs.insert(48);
    EXPECT_EQ(Banks(gsInstrumentNames), gs);

    std::set<std::uint32_t> xg = {0, 1, 3, 6, 8, 12, 14, 45, 48, 126, 8192};
    for (auto [first, last] :
         {std::pair{16u, 22u}, {24u, 29u}, {32u, 43u}, {52u, 54u}, {64u, 88u}, {96u, 101u}}) {
        xg.merge(Range(first, last));
    }
    EXPECT_EQ(Banks(xgInstrumentNames), xg);
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

    int doubleSpaced = 0;
    int trailingSpace = 0;
    for (const auto& row : xgInstrumentNames) {
        const std::wstring name = row.name;
        doubleSpaced += name.find(L"  ") != std::wstring::npos ? 1 : 0;
        trailingSpace += name.back() == L' ' ? 1 : 0;
    }
    EXPECT_EQ(doubleSpaced, 5);
    EXPECT_EQ(trailingSpace, 8);
}

} // namespace
