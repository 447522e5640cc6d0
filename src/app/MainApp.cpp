#include "app/MainApp.h"

#include "app/CommandLine.h"
#include "app/DriverRegistration.h"
#include "app/UpdateDecision.h"
#include "config/Language.h"
#include "config/Settings.h"
#include "mixer/win32/MixerPorts.h"
#include "synth/win32/IpcServer.h"
#include "synth/win32/MidiDevice.h"
#include "synth/win32/SynthEngine.h"
#include "ui/MessageBox.h"

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hml::app {

using namespace hml::config;
using namespace hml::mixer;
using namespace hml::synth;
using namespace hml::ui;

CMainApp::CMainApp(IAppWindows& windows, std::wstring commandLine_)
    : tray(windows), commandLine(std::move(commandLine_)) {}

bool CMainApp::InitInstance() {
    return tray.Create();
}

namespace {

constexpr int kFindTries = 5;
constexpr DWORD kFindRetryMs = 1000;
constexpr DWORD kElevatedInstallWaitMs = 30000;

HANDLE instanceMutex = nullptr;

mixer::IMixerOwner* PortMixer(std::uint32_t port) {
    if (!synthEngine || port >= synthEngine->ports.size()) {
        return nullptr;
    }
    return synthEngine->ports[port].get();
}

std::wstring ModulePath() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            return std::wstring(path.data(), length);
        }
        path.resize(path.size() * 2);
    }
}

// The message is kept as 8-bit text and shown in the ANSI code page.
void ShowAnsiError(const char* text) {
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(length > 0 ? length - 1 : 0, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    ui::ShowError(wide);
}

int HandOver(const std::wstring& commandLine) {
    HWND tray = nullptr;
    for (int attempt = 0; attempt < kFindTries; ++attempt) {
        if (attempt > 0) {
            Sleep(kFindRetryMs);
        }
        tray = FindWindowW(CSystray::kClassName, CSystray::kTitle);
        if (tray) {
            break;
        }
    }
    if (!tray) {
        ShowAnsiError("Another instance of Harmolith is already running, but can't find it.");
        return 1;
    }
    COPYDATASTRUCT data{};
    data.dwData = CSystray::kCopyDataId;
    data.cbData = static_cast<DWORD>((commandLine.size() + 1) * sizeof(wchar_t));
    data.lpData = const_cast<wchar_t*>(commandLine.c_str());
    SendMessageW(tray, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    return 0;
}

const unsigned kQuestion = MB_YESNO | MB_ICONERROR | MB_TOPMOST;
const unsigned kNotice = MB_ICONINFORMATION | MB_TOPMOST;

// The driver prompt of start-up; an exit code when start-up ends here.
std::optional<int> OfferDriverInstall() {
    if (IsDriverRegistered()) {
        return std::nullopt;
    }
    if (ui::ShowMessageBox(Translate(L"err.driverMissing"), ui::kAppCaption, kQuestion) != IDYES) {
        return std::nullopt;
    }
    if (IsUserAnAdmin()) {
        if (!RegisterDriver()) {
            ui::ShowError(Translate(L"warn.driverInstallFailed"));
            return 1;
        }
    } else if (const int code = RunElevated(ModulePath(), L"--install", kElevatedInstallWaitMs)) {
        // Declined elevation or a failed elevated install: the driver is still missing.
        ui::ShowError(Translate(L"warn.driverInstallFailed"));
        return code;
    }
    ui::ShowMessageBox(Translate(L"warn.driverInstallCompleted"), ui::kAppCaption, kNotice);
    return 0;
}

} // namespace

int RunHarmolith(const std::wstring& commandLine) {
    const std::vector<std::wstring> args = SplitCommandLine(commandLine);
    switch (SelectMode(args)) {
    case Mode::kInstall:
        return RegisterDriver() ? 0 : 1;
    case Mode::kUninstall:
        return UnregisterDriver(true) ? 0 : 1;
    case Mode::kSynth:
        break;
    }

    if (!TakeInstanceMutex()) {
        return HandOver(commandLine);
    }

    SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS);
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    // Start-up failures leave the clean-up to the system: nothing has run yet that needs it.
    settings = new config::CSettings();
    if (!settings->IsLoaded()) {
        return 1;
    }
    LoadLanguage();
    CreateUpdateChecker();
    if (std::optional<int> exitCode = OfferDriverInstall()) {
        return *exitCode;
    }

    std::unique_ptr<IAppWindows> windows = CreateAppWindows();
    auto application = std::make_unique<CMainApp>(*windows, commandLine);
    taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
    systray = &application->Tray();

    synthEngine = new SynthEngine();
    mixer::SetPortOwnerLookup(&PortMixer);
    if (!synthEngine->Init()) {
        ui::ShowError(L"Error initializing BASS libraries, aborting");
        return 1;
    }
    ipcServer = new CIpcServer(*synthEngine, settings->watchdogTimeout.Get());
    if (!ipcServer->Open()) {
        ui::ShowError(L"Error initializing IPC channel, aborting");
        return 1;
    }
    if (!ipcServer->StartListening()) {
        // The server has shown what went wrong.
        ui::ShowError(L"Error start listening IPC channel, aborting");
        return 1;
    }

    application->Tray().DispatchWindows(args, false);

    int exitCode;
    if (!application->InitInstance()) {
        PostQuitMessage(-1);
        exitCode = -1;
    } else {
        exitCode = application->Run();
    }

    // The converter's worker uses the engine, the settings and the language: it goes first.
    windows->CloseConverter();
    mixer::SetPortOwnerLookup(nullptr);
    if (ipcServer->Close()) {
        delete ipcServer;
        ipcServer = nullptr;
        synthEngine->Free();
        delete synthEngine;
        synthEngine = nullptr;
    }
    // Otherwise a server thread is still running: what it uses stays until the process ends.
    FreeUpdateChecker();
    delete settings;
    settings = nullptr;
    FreeLanguage();
    ReleaseInstanceMutex();
    systray = nullptr;
    application.reset();
    return exitCode;
}

bool TakeInstanceMutex() {
    instanceMutex = CreateMutexW(nullptr, FALSE, kInstanceMutex);
    return instanceMutex && GetLastError() != ERROR_ALREADY_EXISTS;
}

void ReleaseInstanceMutex() {
    if (instanceMutex) {
        CloseHandle(instanceMutex);
        instanceMutex = nullptr;
    }
}

bool RestartProcess() {
    return RestartProcess(ModulePath());
}

bool RestartProcess(const std::wstring& program) {
    HWND tray = systray ? systray->GetHwnd() : nullptr;
    if (ui::ShowMessageBox(Translate(L"warn.restartHml"), ui::kAppCaption,
                           MB_OKCANCEL | MB_ICONWARNING | MB_TOPMOST, tray) != IDOK) {
        return false;
    }
    if (ipcServer && !ipcServer->ConfirmClosingPorts()) {
        return false;
    }
    // The new process must be able to take the mutex while this one is still closing.
    ReleaseInstanceMutex();
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                        settings ? settings->InstallFolder().c_str() : nullptr, &startup,
                        &process)) {
        // Nothing replaces this instance: it goes on running and stays the one instance.
        const DWORD error = GetLastError();
        instanceMutex = CreateMutexW(nullptr, FALSE, kInstanceMutex);
        ui::ShowMessageBox(Translate(L"err.restartFailed", ui::WindowsErrorText(error)),
                           ui::kAppCaption, MB_OK | MB_ICONERROR | MB_TOPMOST, tray);
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (tray) {
        PostMessageW(tray, WM_CLOSE, 0, 0);
    }
    return true;
}

} // namespace hml::app
