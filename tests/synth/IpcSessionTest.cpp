// What records do to the ports' client tables, the watchdog pass and the status report.

#include "synth/IpcSession.h"
#include "support/FakePorts.h"
#include "synth/Ring.h"

#include <gtest/gtest.h>

using namespace hml::synth;

namespace {

using Outcome = CIpcSession::Outcome;

class IpcSessionTest : public ::testing::Test {
protected:
    Outcome Send(std::uint32_t port, std::uint32_t client, std::uint32_t command,
                 std::uint32_t p1 = 0, std::uint32_t p2 = 0, const std::uint8_t* data = nullptr,
                 std::uint32_t length = 0) {
        hml::synth::MidiRecord r =
            hml::synth::MakeRecord(port, client, command, p1, p2, data, length);
        if (data) {
            r.length = length; // as a careless writer may leave it
        }
        return session.HandleRecord(r);
    }
    CFakePorts ports;
    CIpcSession session{ports};
};

TEST_F(IpcSessionTest, OnlyAnOpenCreatesAConnectionAndOnlyOnce) {
    EXPECT_EQ(Send(0, 7, hml::synth::kShortMsg, 0x403C90), Outcome::kNone);
    EXPECT_EQ(ports.Count(0), 0u) << "messages before Open are ignored";
    EXPECT_EQ(Send(0, 7, hml::synth::kOpen), Outcome::kOpened);
    EXPECT_EQ(Send(0, 7, hml::synth::kOpen), Outcome::kNone)
        << "a second Open keeps the connection";
    EXPECT_EQ(ports.created, 1);
    EXPECT_EQ(Send(0, 7, hml::synth::kClose), Outcome::kClosed);
    EXPECT_EQ(Send(0, 7, hml::synth::kClose), Outcome::kNone) << "the second Close finds nothing";
    EXPECT_FALSE(session.AnyConnection());
}

TEST_F(IpcSessionTest, RecordsReachTheirConnectionAndPortsBeyondTheCountAreDropped) {
    ports.portCount = 2;
    Send(0, 7, hml::synth::kOpen);
    Send(1, 7, hml::synth::kOpen);
    Send(1, 9, hml::synth::kOpen);
    EXPECT_EQ(Send(3, 7, hml::synth::kOpen), Outcome::kNone);
    EXPECT_EQ(Send(2, 7, hml::synth::kShortMsg, 1), Outcome::kNone);

    Send(1, 9, hml::synth::kShortMsg, 0x7F3C91);
    Send(1, 9, hml::synth::kReset);
    Send(1, 9, hml::synth::kNotesOff);
    Send(1, 9, 999); // unknown: a sign of life only
    std::uint8_t bytes[60];
    for (int i = 0; i < 60; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i);
    }
    Send(1, 9, hml::synth::kLongMsg, 1, 3, bytes, 60);

    auto c = ports.Connection(1, 9);
    EXPECT_EQ(c->ShortMessages(), std::vector<std::uint32_t>{0x7F3C91u});
    EXPECT_EQ(c->Calls(), (std::vector<std::wstring>{L"reset", L"notesoff"}));
    ASSERT_EQ(c->Chunks().size(), 1u);
    EXPECT_EQ(c->Chunks()[0].index, 1u);
    EXPECT_EQ(c->Chunks()[0].count, 3u);
    EXPECT_EQ(c->Chunks()[0].bytes.size(), 50u) << "length 60 is taken as 50";
    EXPECT_TRUE(ports.Connection(1, 7)->ShortMessages().empty());
    EXPECT_TRUE(ports.Connection(0, 7)->ShortMessages().empty());
    EXPECT_EQ(c->activity, 6u);
}

TEST_F(IpcSessionTest, WatchdogDropsWhoStayedSilentForAWholePass) {
    ports.portCount = 2;
    Send(0, 5, hml::synth::kOpen);
    Send(1, 6, hml::synth::kOpen);
    Send(1, 8, hml::synth::kOpen);
    EXPECT_EQ(session.WatchdogPass(), 0u) << "everyone spoke since the start";
    Send(1, 6, 4711); // any record keeps a client alive
    EXPECT_EQ(session.WatchdogPass(), 2u);
    EXPECT_EQ(ports.Count(0), 0u);
    EXPECT_EQ(ports.Count(1), 1u);
    EXPECT_EQ(session.WatchdogPass(), 1u);
    EXPECT_FALSE(session.AnyConnection());

    // A port beyond the count is not walked (its connections stay until the count grows).
    Send(1, 3, hml::synth::kOpen);
    ports.portCount = 1;
    EXPECT_EQ(session.WatchdogPass(), 0u);
}

TEST_F(IpcSessionTest, StatusTextListsPortsInUseAndOptionallyFreeOnesAndFigures) {
    ports.portCount = 3;
    Send(1, 300, hml::synth::kOpen);
    Send(1, 20, hml::synth::kOpen);
    std::wstring text = L"before\r\n";
    session.GetStatusText(text, false, false);
    EXPECT_EQ(text, L"before\r\n=== Harmolith #2 ===\r\n* C:\\Games\\game.exe (#20)\r\n"
                    L"* C:\\Games\\game.exe (#300)\r\n");
    std::wstring full;
    session.GetStatusText(full, true, true);
    EXPECT_EQ(full.substr(0, 32), L"=== Harmolith #1 ===\r\n* <free>\r\n");
    EXPECT_NE(full.find(L"(#20)\r\n  voices:  12, rendering time%:  3%, update rate (ms): 10\r\n"),
              std::wstring::npos)
        << std::string(full.begin(), full.end());
    EXPECT_NE(full.find(L"=== Harmolith #3 ===\r\n* <free>\r\n"), std::wstring::npos);
}

} // namespace
