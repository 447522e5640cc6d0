#pragma once
// Starts the test MIDI client (harmolith-client) as a process of its own, as a client program
// would be.

#include "support/TestPaths.h"

#include <windows.h>

#include <string>

// The client's process handle, or null when it could not start.
inline HANDLE StartClient(const std::wstring& actions) {
    std::wstring command = L"\"" + hml::test::FromHost(HML_CLIENT_EXE) + L"\" " + actions;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return nullptr;
    }
    CloseHandle(info.hThread);
    return info.hProcess;
}
