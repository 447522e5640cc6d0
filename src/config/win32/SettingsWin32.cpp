// The Windows side of the settings: finding the configuration through the registry, and saving
// and restoring window positions.

#include "config/Settings.h"
#include "config/win32/Win32ProfileStore.h"
#include "ui/MessageBox.h"

#include <windows.h>

#include <shlwapi.h>

#include <algorithm>
#include <cstdio>

namespace hml::config {

using namespace hml::ui;

namespace {

constexpr std::size_t kMaxPath = 260;

// Reads the installation folder from the 64-bit registry view. Returns the Windows error code of
// the failed call, or ERROR_SUCCESS.
LONG ReadInstallFolder(std::wstring& folder) {
    folder.clear();
    HKEY key = nullptr;
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, CSettings::kRegistryKey, 0,
                                KEY_READ | KEY_WOW64_64KEY, &key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    wchar_t buffer[kMaxPath] = {};
    DWORD size = sizeof buffer;
    status = RegGetValueW(key, nullptr, CSettings::kRegistryValue, RRF_RT_REG_SZ, nullptr, buffer,
                          &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    folder = buffer;
    // An empty value names no folder: reported as invalid data.
    return folder.empty() ? ERROR_INVALID_DATA : ERROR_SUCCESS;
}

} // namespace

CSettings::CSettings() : CSettings(std::make_unique<CWin32ProfileStore>(), L"", L"") {
    LONG status = ReadInstallFolder(installFolder);
    if (status != ERROR_SUCCESS) {
        installFolder.clear();
        ui::ShowMessageBox(ui::SystemMessage(static_cast<unsigned long>(status)) +
                               L"\nError reading configuration registry key:\n"
                               L"HKLM\\SOFTWARE\\Tarnwick Harmolith\\path",
                           kInitErrorCaption, MB_ICONERROR | MB_TOPMOST);
        return;
    }
    std::wstring path = installFolder + L"\\" + kConfigFileName;
    if (path.size() >= kMaxPath || !PathFileExistsW(path.c_str())) {
        ui::ShowMessageBox(L"ERROR: configuration file is missing or unreadable: " + path,
                           kInitErrorCaption, MB_ICONERROR | MB_TOPMOST);
        return;
    }
    configFile = path;
    Load();
}

bool CSettings::RestoreWindowPosition(const std::wstring& key, HWND window, unsigned flags,
                                      const std::wstring& suffix) {
    std::wstring text = ReadString(L"Windows", key, L"", 30, suffix);
    if (text.empty()) {
        return false;
    }
    int left = 0, top = 0, width = 0, height = 0, maximized = 0;
    int fields =
        std::swscanf(text.c_str(), L"%d,%d,%d,%d,%d", &left, &top, &width, &height, &maximized);
    if (fields < 4) {
        return false;
    }
    RECT wanted{left, top, left + width, top + height};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromRect(&wanted, MONITOR_DEFAULTTONEAREST), &monitor);
    RECT work = monitor.rcWork;
    InflateRect(&work, 20, 20);
    int newLeft =
        std::max(std::min(left, static_cast<int>(work.right) - width), static_cast<int>(work.left));
    int newTop =
        std::max(std::min(top, static_cast<int>(work.bottom) - height), static_cast<int>(work.top));
    SetWindowPos(window, nullptr, newLeft, newTop, width, height, flags);
    if (fields == 5 && maximized != 0) {
        ShowWindow(window, SW_MAXIMIZE);
    }
    return true;
}

void CSettings::SaveWindowPosition(const std::wstring& key, HWND window,
                                   const std::wstring& suffix) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(window, &placement)) {
        return;
    }
    const RECT& r = placement.rcNormalPosition;
    wchar_t text[40];
    std::swprintf(text, sizeof text / sizeof text[0], L"%ld,%ld,%ld,%ld%ls",
                  static_cast<long>(r.left), static_cast<long>(r.top),
                  static_cast<long>(r.right - r.left), static_cast<long>(r.bottom - r.top),
                  IsZoomed(window) ? L",1" : L"");
    std::wstring value = text;
    WriteString(L"Windows", key, &value, suffix);
}

} // namespace hml::config
