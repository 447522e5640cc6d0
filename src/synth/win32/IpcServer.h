#pragma once
// The synth process's end of the shared-memory MIDI channel: creates the region, runs the listen
// thread that hands every record to its port's client connection, and the watchdog that drops
// connections of clients that went silent (crashed programs never say Close).

#include "synth/IpcSession.h"
#include "synth/win32/IpcBase.h"

#include <atomic>
#include <string>

namespace hml::synth {

class CIpcServer : public CIpcBase {
public:
    CIpcServer(IIpcPorts& ports, DWORD watchdogTimeoutMs);
    ~CIpcServer() override;

    bool Open() override;
    // False when the listen thread would not end: then nothing it uses may be freed.
    bool Close() override;
    void OnWatchdogTick() override;

    // Starts the listen thread on the first processor at time-critical priority.
    bool StartListening();

    // Asks whether to go on while clients still hold ports open: IDCONTINUE without asking when
    // none does, else the button pressed (IDCANCEL, IDTRYAGAIN or IDCONTINUE).
    int ConfirmOpenPorts();
    // Asks as above until the answer is not "Try again": true for Continue (or no client).
    bool ConfirmClosingPorts();
    void GetStatusText(std::wstring& text, bool includeFreePorts, bool includeStats);

    CIpcSession& Session() { return session; }

private:
    // A listen-thread round longer than this means the thread was held back (a lock, a box).
    static constexpr ULONGLONG kBlockedMs = 250;
    static constexpr DWORD kListenGraceMs = 1000;
    static constexpr DWORD kListenLastChanceMs = 4000;

    static DWORD WINAPI ListenThread(LPVOID self);
    void Listen();
    // Whether the listen thread was held back since the watchdog's previous pass.
    bool ListenerWasBlocked();

    CIpcSession session;
    HANDLE listenThread = nullptr;
    std::atomic<std::uint32_t> stopListening{0};
    std::atomic<ULONGLONG> lastBeat{0};
    std::atomic<bool> blockedSincePass{false};
};

// The one IPC server of the process; none before start-up and after clean-up.
extern CIpcServer* ipcServer;

} // namespace hml::synth
