#include "synth/win32/IpcBase.h"

#include "ui/MessageBox.h"

#include <cstring>

namespace hml::synth {

using namespace hml::ui;

namespace {

bool Valid(HANDLE h) {
    return h != nullptr && h != INVALID_HANDLE_VALUE;
}

void CloseAndClear(HANDLE& h) {
    if (h) {
        CloseHandle(h);
        h = nullptr;
    }
}

} // namespace

CIpcBase::~CIpcBase() {
    CIpcBase::Close();
}

bool CIpcBase::Open() {
    view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
    if (!view) {
        lastError = GetLastError();
        ui::ShowError(L"SERVER: Can't get a pointer to shared memory.\n\nError: " +
                      ui::WindowsErrorText(lastError));
        return false;
    }
    RegionHeader& header = Region()->header;
    header.size = kRegionSize;
    std::memset(header.version, 0, sizeof header.version);
    std::memcpy(header.version, kVersion, sizeof kVersion);

    auto create = [this](HANDLE& h, BOOL manualReset, const wchar_t* name) {
        h = CreateEventW(nullptr, manualReset, FALSE, name);
        if (!Valid(h)) {
            lastError = GetLastError();
            h = nullptr;
            return false;
        }
        return true;
    };
    return create(dataAvailable, FALSE, kDataAvailableName) &&
           create(queueFree, FALSE, kQueueFreeName) && create(stopEvent, TRUE, nullptr);
}

int CIpcBase::OpenCount() {
    std::lock_guard<std::mutex> guard(watchdogLock);
    return openCount;
}

bool CIpcBase::WatchdogRunning() {
    std::lock_guard<std::mutex> guard(watchdogLock);
    return watchdogThread != nullptr;
}

bool CIpcBase::Close() {
    Release();
    if (!StopWatchdog()) {
        return false;
    }
    CloseAndClear(stopEvent);
    CloseAndClear(dataAvailable);
    CloseAndClear(queueFree);
    if (view) {
        UnmapViewOfFile(view);
        view = nullptr;
    }
    CloseAndClear(mapping);
    return true;
}

void CIpcBase::Release() {
    std::lock_guard<std::mutex> guard(watchdogLock);
    if (openCount > 0) {
        --openCount;
    }
    if (openCount == 0 && watchdogThread && stopEvent) {
        SetEvent(stopEvent);
    }
}

void CIpcBase::AddConnection() {
    std::lock_guard<std::mutex> guard(watchdogLock);
    ++openCount;
    if (watchdogThread || !stopEvent) {
        return;
    }
    HANDLE thread =
        CreateThread(nullptr, 0, &CIpcBase::WatchdogThread, this, CREATE_SUSPENDED, nullptr);
    if (!thread) {
        // Goes on without a watchdog; the next new connection tries again.
        // Shown without waiting: this runs on the listen thread.
        ui::ShowErrorLater(L"Can't start watchdog thread.\n\nError: " +
                           ui::WindowsErrorText(GetLastError()));
        return;
    }
    SetThreadPriority(thread, THREAD_PRIORITY_BELOW_NORMAL);
    watchdogThread = thread;
    closing = false;
    ResetEvent(stopEvent);
    ResumeThread(thread);
}

bool CIpcBase::StopWatchdog() {
    HANDLE thread = nullptr;
    {
        std::lock_guard<std::mutex> guard(watchdogLock);
        if (!watchdogThread) {
            return true;
        }
        closing = true;
        SetEvent(stopEvent);
        // The thread is ours to wait for and close from now on.
        DuplicateHandle(GetCurrentProcess(), watchdogThread, GetCurrentProcess(), &thread, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
    }
    bool ended = true;
    if (thread) {
        // A pass in progress may wait for the table lock; it gets a little more than a second.
        ended = WaitForSingleObject(thread, 5000) == WAIT_OBJECT_0;
        CloseHandle(thread);
    }
    return ended;
}

DWORD WINAPI CIpcBase::WatchdogThread(LPVOID param) {
    auto* self = static_cast<CIpcBase*>(param);
    for (;;) {
        if (WaitForSingleObject(self->stopEvent, self->watchdogIntervalMs) == WAIT_TIMEOUT) {
            self->OnWatchdogTick();
            continue;
        }
        std::lock_guard<std::mutex> guard(self->watchdogLock);
        ResetEvent(self->stopEvent);
        // A client may have connected between the last release and now: keep watching it.
        if (self->openCount > 0 && !self->closing) {
            continue;
        }
        CloseHandle(self->watchdogThread);
        self->watchdogThread = nullptr;
        return 0;
    }
}

} // namespace hml::synth
