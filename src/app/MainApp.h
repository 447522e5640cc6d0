#pragma once
// The synth process from its command line to its exit code: driver registration, the hand-over to
// a running instance, or start-up, main loop and clean-up.

#include "app/AppWindows.h"
#include "app/Systray.h"
#include "ui/App.h"

#include <string>

namespace hml::app {

class CMainApp : public ui::CWinApp {
public:
    CMainApp(IAppWindows& windows, std::wstring commandLine_);

    // Creates the tray window (no parent).
    bool InitInstance() override;

    CSystray& Tray() { return tray; }
    const std::wstring& CommandLine() const { return commandLine; }

private:
    CSystray tray;
    std::wstring commandLine;
};

constexpr const wchar_t* kInstanceMutex = L"Harmolith_Synth";

// The entry point's work; returns the process's exit code.
int RunHarmolith(const std::wstring& commandLine);

// Creates the process's instance mutex; false when another instance holds it.
bool TakeInstanceMutex();
void ReleaseInstanceMutex();

// Starts this program anew and ends this process through the tray (a new port count). False when
// the user declines or cancels because clients still hold ports open, or when the new instance
// cannot be started: this one then keeps running and keeps the instance mutex.
bool RestartProcess();
// The same with the program to start.
bool RestartProcess(const std::wstring& program);

} // namespace hml::app
