#include "synth/win32/IpcServer.h"

#include "config/Language.h"
#include "synth/Ring.h"
#include "ui/MessageBox.h"

CIpcServer* ipcServer = nullptr;

CIpcServer::CIpcServer(IIpcPorts& ports, DWORD watchdogTimeoutMs) : session(ports) {
    watchdogIntervalMs = watchdogTimeoutMs;
}

CIpcServer::~CIpcServer() {
    CIpcServer::Close();
}

bool CIpcServer::Open() {
    Close();
    mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, shm::kRegionSize,
                                 shm::kMappingName);
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
    shm::InitializeRegion(*Region());
    return true;
}

void CIpcServer::Close() {
    if (listenThread) {
        stopListening = 1;
        WaitForSingleObject(listenThread, 1000);
        CloseHandle(listenThread);
        listenThread = nullptr;
    }
    CIpcBase::Close();
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
    shm::CRingReader ring(*Region());
    while (!stopListening) {
        if (ring.Empty()) {
            WaitForSingleObject(dataAvailable, shm::kPollMs);
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

void CIpcServer::OnWatchdogTick() {
    for (std::size_t n = session.WatchdogPass(); n > 0; --n) {
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
