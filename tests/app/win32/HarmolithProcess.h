#pragma once
// Runs Harmolith.exe as a separate process against a throwaway installation (a folder with
// Harmolith.conf and the language files, named by the registry value the program looks up) and
// drives it from outside the way a user would: finds its windows, reads and answers its message
// boxes, checks its exit code.

#include "app/DriverRegistration.h"
#include "config/Settings.h"
#include "support/Eventually.h"
#include "support/TestPaths.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

using namespace hml::app;
using namespace hml::config;

namespace harness {

// Generous: a loaded machine under Wine can take many seconds to start a process.
constexpr DWORD kWaitMs = 30000;

inline std::wstring TextOf(HWND window) {
    wchar_t text[4096] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 2000,
                        &ignored);
    return text;
}

inline std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

struct WindowSearch {
    DWORD processId;
    const wchar_t* className;
    std::vector<HWND> found;
};

inline BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    auto* s = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == s->processId && (!s->className || ClassOf(window) == s->className)) {
        s->found.push_back(window);
    }
    return TRUE;
}

// The top-level windows of a process, optionally of one class.
inline std::vector<HWND> WindowsOf(DWORD processId, const wchar_t* className = nullptr) {
    WindowSearch search{processId, className, {}};
    EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct Box {
    HWND window;
    std::wstring caption;
    std::wstring text;
};

inline BOOL CALLBACK KeepLongestStatic(HWND child, LPARAM param) {
    auto* best = reinterpret_cast<std::wstring*>(param);
    std::wstring text = TextOf(child);
    if (_wcsicmp(ClassOf(child).c_str(), L"Static") == 0 && text.size() > best->size()) {
        *best = text;
    }
    return TRUE;
}

// A message box: a dialog whose longest static text is its message.
inline std::optional<Box> ReadBox(HWND window) {
    Box box{window, TextOf(window), {}};
    EnumChildWindows(window, &KeepLongestStatic, reinterpret_cast<LPARAM>(&box.text));
    return box;
}

class CHarmolith {
public:
    CHarmolith() {
        std::filesystem::create_directories(folder.path / "lang");
        for (const char* file : {"1033.lang", "1031.lang"}) {
            std::filesystem::copy_file(std::filesystem::path(HML_SOURCE_DIR) / "lang" / file,
                                       folder.path / "lang" / file);
        }
        SetRegistryPath(folder.Wide());
        WriteConfig("");
    }
    ~CHarmolith() {
        for (PROCESS_INFORMATION& p : started) {
            if (WaitForSingleObject(p.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(p.hProcess, 99);
                WaitForSingleObject(p.hProcess, 5000);
            }
            CloseHandle(p.hProcess);
            CloseHandle(p.hThread);
        }
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, CSettings::kRegistryKey, KEY_WOW64_64KEY, 0);
    }
    CHarmolith(const CHarmolith&) = delete;
    CHarmolith& operator=(const CHarmolith&) = delete;

    static void SetRegistryPath(const std::wstring& value) {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, CSettings::kRegistryKey, 0, nullptr, 0,
                        KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr);
        RegSetValueExW(key, CSettings::kRegistryValue, 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }

    // Windows has the driver slots' key in both registry views; a fresh Wine prefix may lack one.
    static void PrepareDriverSlots() {
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            HKEY key = nullptr;
            RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                            L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32", 0,
                            nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr);
            RegCloseKey(key);
        }
    }

    static void SetDriverInstalled(bool installed) {
        PrepareDriverSlots();
        if (installed) {
            ASSERT_TRUE(hml::app::RegisterDriver());
        } else {
            ASSERT_TRUE(hml::app::UnregisterDriver(false));
        }
    }

    void WriteConfig(const std::string& text) {
        std::ofstream(folder.path / "Harmolith.conf", std::ios::binary) << text;
    }
    std::string ReadConfig() const {
        std::ifstream in(folder.path / "Harmolith.conf", std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }

    // Starts Harmolith.exe with the arguments; returns the index of the run.
    std::size_t Start(const std::wstring& arguments = {}) {
        const std::wstring exe = hml::test::FromHost(HML_HARMOLITH_EXE);
        std::wstring line = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
        STARTUPINFOW startup{sizeof(startup)};
        PROCESS_INFORMATION process{};
        EXPECT_TRUE(CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   folder.Wide().c_str(), &startup, &process))
            << GetLastError();
        started.push_back(process);
        return started.size() - 1;
    }

    DWORD ProcessId(std::size_t run = 0) const { return started.at(run).dwProcessId; }

    // The exit code, or STILL_ACTIVE when the process runs on after ms.
    DWORD ExitCode(std::size_t run = 0, DWORD ms = kWaitMs) const {
        WaitForSingleObject(started.at(run).hProcess, ms);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(started.at(run).hProcess, &code);
        return code;
    }

    // The tray window of run, once it exists.
    HWND Tray(std::size_t run = 0, DWORD ms = kWaitMs) const {
        return Eventually<HWND>(
                   [&]() -> std::optional<HWND> {
                       HWND tray = FindWindowW(L"MSGWND", L"Harmolith Systray Window");
                       DWORD owner = 0;
                       GetWindowThreadProcessId(tray, &owner);
                       return tray && owner == ProcessId(run) ? std::optional(tray) : std::nullopt;
                   },
                   ms)
            .value_or(nullptr);
    }

    // The next message box of run (a dialog with the given caption).
    std::optional<Box> WaitBox(const std::wstring& caption, std::size_t run = 0,
                               DWORD ms = kWaitMs) const {
        return Eventually<Box>(
            [&]() -> std::optional<Box> {
                for (HWND window : WindowsOf(ProcessId(run), L"#32770")) {
                    if (IsWindowVisible(window) && TextOf(window) == caption) {
                        return ReadBox(window);
                    }
                }
                return std::nullopt;
            },
            ms);
    }

    // A visible top-level window of run with the title.
    HWND WaitWindow(const std::wstring& title, std::size_t run = 0, DWORD ms = kWaitMs) const {
        return Eventually<HWND>(
                   [&]() -> std::optional<HWND> {
                       for (HWND window : WindowsOf(ProcessId(run))) {
                           if (IsWindowVisible(window) && TextOf(window) == title) {
                               return window;
                           }
                       }
                       return std::nullopt;
                   },
                   ms)
            .value_or(nullptr);
    }

    // The pop-up menu of run once it shows.
    HWND WaitMenu(std::size_t run = 0) const {
        return Eventually<HWND>(
                   [&]() -> std::optional<HWND> {
                       for (HWND menu : WindowsOf(ProcessId(run), L"#32768")) {
                           if (IsWindowVisible(menu)) {
                               return menu;
                           }
                       }
                       return std::nullopt;
                   },
                   kWaitMs)
            .value_or(nullptr);
    }

    static void Press(const Box& box, int button) {
        PostMessageW(box.window, WM_COMMAND, static_cast<WPARAM>(button), 0);
    }

    hml::test::CTempFolder folder;

private:
    std::vector<PROCESS_INFORMATION> started;
};

} // namespace harness
