#include "driver/win32/SynthStarter.h"

namespace hml::driver {

namespace {

constexpr DWORD kPollMs = 50;

// The synth holds this mutex for its whole life, from before it creates the region.
bool SynthProcessExists() {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, L"Harmolith_Synth");
    if (!mutex) {
        return false;
    }
    CloseHandle(mutex);
    return true;
}

bool Ready(CShmChannel& channel) {
    if (!SynthProcessExists()) {
        // A region may outlive its synth while other programs map it; nobody reads it then.
        channel.Disconnect();
        return false;
    }
    return channel.Connect() && channel.Listening();
}

// Starts the synth; its process handle, or null.
HANDLE StartSynth(const std::wstring& installFolder) {
    const std::wstring exe = installFolder + L"\\Harmolith.exe";
    std::wstring line = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        installFolder.c_str(), &startup, &process)) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

} // namespace

EStart ConnectToSynth(CShmChannel& channel, const std::wstring& installFolder,
                      unsigned long waitMs) {
    if (Ready(channel)) {
        return EStart::Ready;
    }
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    // One starter at a time: a second start would hand its empty command line to the first
    // synth, which opens the configurator for it.
    HANDLE starting = CreateMutexW(nullptr, FALSE, L"Harmolith_DriverStartsSynth");
    const DWORD lock = starting ? WaitForSingleObject(starting, waitMs) : WAIT_FAILED;
    const bool locked = lock == WAIT_OBJECT_0 || lock == WAIT_ABANDONED;
    EStart result = EStart::NoAnswer;
    HANDLE process = nullptr;
    if (Ready(channel)) {
        result = EStart::Ready;
    } else if (!SynthProcessExists()) {
        if (installFolder.empty()) {
            result = EStart::NotInstalled;
        } else if (!(process = StartSynth(installFolder))) {
            result = EStart::CouldNotStart;
        }
    }
    while (result == EStart::NoAnswer && GetTickCount64() < deadline) {
        if (process && WaitForSingleObject(process, kPollMs) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(process, &code);
            CloseHandle(process);
            process = nullptr;
            // 0: it found another synth starting and handed over to it; keep waiting for that.
            if (code != 0) {
                result = EStart::CouldNotStart;
                break;
            }
        } else if (!process) {
            Sleep(kPollMs);
        }
        if (Ready(channel)) {
            result = EStart::Ready;
        }
    }
    if (process) {
        CloseHandle(process);
    }
    if (locked) {
        ReleaseMutex(starting);
    }
    if (starting) {
        CloseHandle(starting);
    }
    return result;
}

} // namespace hml::driver
