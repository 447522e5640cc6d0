// The IPC server with real kernel objects, threads and client processes.

#include "synth/win32/IpcServer.h"
#include "midiclient/ShmClient.h"
#include "support/Eventually.h"
#include "support/FakePorts.h"
#include "support/TestPaths.h"
#include "support/win32/MessageBoxCatcher.h"
#include "win32/ClientProcess.h"

#include <gtest/gtest.h>

#include <thread>

using namespace hml::synth;

namespace {

DWORD Finish(HANDLE process) {
    DWORD code = 999;
    if (WaitForSingleObject(process, 30000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process, &code);
    }
    CloseHandle(process);
    return code;
}

// A client on port 0 that gives the driver's sign of life every ms milliseconds, count times.
std::wstring KeepAlive(int ms, int count) {
    std::wstring actions = L"port=0 open";
    for (int i = 0; i < count; ++i) {
        actions += L" sleep=" + std::to_wstring(ms) + L" short=0xFE";
    }
    return actions + L" close";
}

class IpcServerTest : public ::testing::Test {
protected:
    void Start(DWORD watchdogMs = 8000) {
        server = std::make_unique<CIpcServer>(ports, watchdogMs);
        ASSERT_TRUE(server->Open());
        ASSERT_TRUE(server->StartListening());
    }
    ~IpcServerTest() override {
        if (server) {
            server->Close();
        }
    }
    CFakePorts ports;
    std::unique_ptr<CIpcServer> server;
};

TEST_F(IpcServerTest, ClientProcessMessagesArriveInOrder) {
    Start();
    const hml::synth::RegionHeader& header = server->Region()->header;
    EXPECT_EQ(header.size, 8800304u);
    EXPECT_STREQ(header.version, "2.9.1.0");
    EXPECT_TRUE(Eventually([&] { return header.listening == 1; }));

    std::wstring sysex = L"F0";
    for (int i = 0; i < 118; ++i) {
        sysex += L"2A";
    }
    sysex += L"F7"; // 120 bytes: three chunks
    HANDLE client =
        StartClient(L"port=0 open short=0x7F3C90 short=0x3C80 sysex=" + sysex + L" notesoff close");
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(Finish(client), 0u);
    ASSERT_TRUE(Eventually([&] { return ports.removed.size() == 1; }));
    auto c = ports.removed[0];
    EXPECT_EQ(c->ShortMessages(), (std::vector<std::uint32_t>{0x7F3C90u, 0x3C80u}));
    const auto chunks = c->Chunks();
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[2].index, 2u);
    EXPECT_EQ(chunks[2].count, 3u);
    EXPECT_EQ(chunks[2].bytes.size(), 20u);
    EXPECT_EQ(chunks[2].bytes.back(), 0xF7);
    EXPECT_EQ(c->Calls(), std::vector<std::wstring>{L"notesoff"});
    // The listen thread counts the close just after it removed the connection.
    EXPECT_TRUE(Eventually([&] { return server->OpenCount() == 0; }));
}

TEST_F(IpcServerTest, FullRingMakesTheWriterWaitAndNothingIsLost) {
    server = std::make_unique<CIpcServer>(ports, 8000);
    ASSERT_TRUE(server->Open()); // not listening yet: the ring fills up
    const std::uint32_t total = hml::synth::kRecordCount + 5000;
    std::atomic<bool> done{false};
    CShmClient client;
    ASSERT_TRUE(client.Connect());
    std::thread writer([&] {
        client.SetSignalEvery(64);
        client.Open(0);
        for (std::uint32_t i = 1; i < total; ++i) {
            client.ShortMsg(0, i);
        }
        client.Flush();
        done = true;
    });
    EXPECT_TRUE(Eventually([&] { return client.Waits() > 0; }));
    EXPECT_FALSE(done) << "the writer waits for room";
    ASSERT_TRUE(server->StartListening());
    writer.join();
    ASSERT_TRUE(Eventually([&] {
        auto c = ports.Connection(0, client.ClientId());
        return c && c->ShortMessages().size() == total - 1;
    }));
    const auto messages = ports.Connection(0, client.ClientId())->ShortMessages();
    for (std::uint32_t i = 0; i < messages.size(); ++i) {
        ASSERT_EQ(messages[i], i + 1);
    }
}

TEST_F(IpcServerTest, WatchdogDropsKilledClientsAndSparesLiveOnes) {
    ports.portCount = 2;
    Start(300);
    HANDLE first = StartClient(L"port=0 open hold");
    HANDLE second = StartClient(L"port=1 open hold");
    // A live client sends something more often than the watchdog looks.
    HANDLE live = StartClient(KeepAlive(150, 5));
    ASSERT_TRUE(first && second && live);
    ASSERT_TRUE(Eventually([&] { return ports.Count(0) == 2 && ports.Count(1) == 1; }));
    EXPECT_TRUE(server->WatchdogRunning());
    TerminateProcess(first, 1);
    TerminateProcess(second, 1);
    Finish(first);
    Finish(second);
    // Silent for one to two intervals: gone.
    EXPECT_TRUE(Eventually([&] { return ports.Count(1) == 0; }, 1500));
    EXPECT_EQ(ports.Count(0), 1u) << "the live client stays";
    EXPECT_EQ(Finish(live), 0u);
    ASSERT_TRUE(Eventually([&] { return server->OpenCount() == 0; }, 1500));
    EXPECT_TRUE(Eventually([&] { return !server->WatchdogRunning(); }, 1500))
        << "the watchdog ends with the last connection";

    // And starts again with the next one.
    HANDLE again = StartClient(L"port=0 open");
    EXPECT_EQ(Finish(again), 0u);
    EXPECT_TRUE(Eventually([&] { return server->WatchdogRunning(); }));
}

TEST_F(IpcServerTest, RestartWhileAClientHoldsTheRegion) {
    Start();
    CShmClient client;
    ASSERT_TRUE(client.Connect()); // keeps the mapping open across the restart
    server->Close();
    server = std::make_unique<CIpcServer>(ports, 8000);
    ASSERT_TRUE(server->Open()) << "a region held by a client does not stop the new server";
    ASSERT_TRUE(server->StartListening());
    client.Open(0);
    client.ShortMsg(0, 0x90);
    EXPECT_TRUE(Eventually([&] {
        auto c = ports.Connection(0, client.ClientId());
        return c && c->ShortMessages().size() == 1;
    }));
}

TEST_F(IpcServerTest, ConfirmOpenPortsAsksOnlyWhileClientsAreConnected) {
    Start();
    {
        CMessageBoxCatcher catcher;
        EXPECT_EQ(server->ConfirmOpenPorts(), IDCONTINUE);
        EXPECT_TRUE(catcher.boxes.empty());
    }
    CShmClient client;
    ASSERT_TRUE(client.Connect());
    client.Open(0);
    ASSERT_TRUE(Eventually([&] { return ports.Count(0) == 1; }));
    CMessageBoxCatcher catcher(IDTRYAGAIN);
    EXPECT_EQ(server->ConfirmOpenPorts(), IDTRYAGAIN);
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_EQ(catcher.boxes[0].caption, L"Tarnwick Harmolith");
}

} // namespace

// While something holds the server back (a restart holding the tables, a box on the listen
// thread), records wait in the ring: the watchdog must not take that silence for a crash.
TEST_F(IpcServerTest, AServerHeldBackDropsNoLiveClient) {
    Start(300);
    HANDLE live = StartClient(KeepAlive(100, 23)); // about 2.3 s
    ASSERT_NE(live, nullptr);
    ASSERT_TRUE(Eventually([&] { return ports.Count(0) == 1; }));
    {
        std::lock_guard<std::recursive_mutex> hold(ports.TableLock());
        Sleep(1200); // four watchdog intervals
    }
    Sleep(400);
    EXPECT_EQ(ports.Count(0), 1u) << "the live client stays";
    EXPECT_EQ(Finish(live), 0u);
    EXPECT_TRUE(Eventually([&] { return ports.Count(0) == 0; })) << "its Close still counts";
}

// A writer that leaves `tail` outside the ring: its records are dropped, the others served.
TEST_F(IpcServerTest, AnIndexOutsideTheRingIsDroppedAndTheOthersServed) {
    Start();
    hml::synth::RegionHeader& header = server->Region()->header;
    std::atomic_ref<std::uint32_t>(header.tail).store(100000);
    SetEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, hml::synth::kDataAvailableName));
    ASSERT_TRUE(Eventually([&] {
        return std::atomic_ref<std::uint32_t>(header.tail).load() < hml::synth::kRecordCount;
    }));
    HANDLE client = StartClient(L"port=0 open short=0x7F3C90 close");
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(Finish(client), 0u);
    ASSERT_TRUE(Eventually([&] { return ports.removed.size() == 1; }));
    EXPECT_EQ(ports.removed[0]->ShortMessages(), (std::vector<std::uint32_t>{0x7F3C90u}));
    EXPECT_EQ(ports.created, 1u);
}
