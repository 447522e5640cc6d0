#include "synth/win32/IpcServer.h"

#include "config/Language.h"
#include "synth/Ring.h"
#include "ui/MessageBox.h"

namespace hml::synth {

using namespace hml::config;
using namespace hml::ui;

CIpcServer* ipcServer = nullptr;

CIpcServer::CIpcServer(IIpcPorts& ports, DWORD watchdogTimeoutMs) : session(ports) {
    watchdogIntervalMs = watchdogTimeoutMs;
}

CIpcServer::~CIpcServer() {
    CIpcServer::Close();
}

bool CIpcServer::Open() {
    Close();
    mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kRegionSize,
                                 kMappingName);
    if (!mapping) {
        lastError = GetLastError();
        if (lastError == ERROR_ALREADY_EXISTS) {
            ui::ShowError(Translate(L"err.fileMappingCreate", ui::WindowsErrorText(lastError)));
            return false;
        }
        if (lastError != 0) {
            return false;
        }
    }
    if (!CIpcBase::Open()) {
        return false;
    }
    InitializeRegion(*Region());
    return true;
}

bool CIpcServer::Close() {
    if (listenThread) {
        stopListening = 1;
        // A record in hand finishes within its bounded wait; give a stuck thread more time,
        // and if it is still running, keep everything it uses.
        if (WaitForSingleObject(listenThread, kListenGraceMs) != WAIT_OBJECT_0 &&
            WaitForSingleObject(listenThread, kListenLastChanceMs) != WAIT_OBJECT_0) {
            return false;
        }
        CloseHandle(listenThread);
        listenThread = nullptr;
    }
    return CIpcBase::Close();
}

bool CIpcServer::StartListening() {
    // Cleared here, not in the thread: a Close right after the start must not be undone by a
    // thread that only begins to run afterwards.
    stopListening = 0;
    listenThread =
        CreateThread(nullptr, 0, &CIpcServer::ListenThread, this, CREATE_SUSPENDED, nullptr);
    if (!listenThread) {
        DWORD error = GetLastError();
        if (error != 0) {
            lastError = error;
            ui::ShowError(Translate(L"err.listenThread", ui::WindowsErrorText(error)));
        }
        return false;
    }
    SetThreadAffinityMask(listenThread, 1);
    SetThreadPriority(listenThread, THREAD_PRIORITY_TIME_CRITICAL);
    ResumeThread(listenThread);
    return true;
}

DWORD WINAPI CIpcServer::ListenThread(LPVOID self) {
    static_cast<CIpcServer*>(self)->Listen();
    return 0;
}

void CIpcServer::Listen() {
    Region()->header.listening = 1;
    CRingReader ring(*Region());
    ULONGLONG previous = GetTickCount64();
    while (!stopListening) {
        const ULONGLONG now = GetTickCount64();
        if (now - previous > kBlockedMs) {
            blockedSincePass = true; // something held this thread back
        }
        previous = now;
        lastBeat.store(now, std::memory_order_relaxed);
        if (ring.Broken()) {
            // A writer put its tail outside the ring: drop what is pending, serve the others.
            ring.DropPending();
            SetEvent(queueFree);
            continue;
        }
        if (ring.Empty()) {
            WaitForSingleObject(dataAvailable, kPollMs);
            continue;
        }
        switch (session.HandleRecord(ring.Front())) {
        case CIpcSession::Outcome::kOpened:
            AddConnection();
            break;
        case CIpcSession::Outcome::kClosed:
            Release();
            break;
        case CIpcSession::Outcome::kNone:
            break;
        }
        if (ring.Advance()) {
            SetEvent(queueFree);
        }
    }
}

bool CIpcServer::ListenerWasBlocked() {
    const bool blocked = blockedSincePass.exchange(false);
    return blocked || GetTickCount64() - lastBeat.load(std::memory_order_relaxed) > kBlockedMs;
}

void CIpcServer::OnWatchdogTick() {
    auto blocked = [this] { return listenThread != nullptr && ListenerWasBlocked(); };
    for (std::size_t n = session.WatchdogPass(blocked); n > 0; --n) {
        Release();
    }
}

int CIpcServer::ConfirmOpenPorts() {
    if (!session.AnyConnection()) {
        return IDCONTINUE;
    }
    std::wstring text;
    GetStatusText(text, false, false);
    return ui::ShowMessageBox(Translate(L"warn.openDevices", text), ui::kAppCaption,
                              MB_CANCELTRYCONTINUE | MB_ICONWARNING | MB_TOPMOST);
}

bool CIpcServer::ConfirmClosingPorts() {
    int answer;
    do {
        answer = ConfirmOpenPorts();
    } while (answer == IDTRYAGAIN);
    return answer != IDCANCEL;
}

void CIpcServer::GetStatusText(std::wstring& text, bool includeFreePorts, bool includeStats) {
    session.GetStatusText(text, includeFreePorts, includeStats);
}

} // namespace hml::synth
