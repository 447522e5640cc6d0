#include "configurator/win32/ConfiguratorTabAbout.h"

#include "audio/win32/COutputDevice.h"
#include "config/Language.h"
#include "config/Settings.h"
#include "configurator/DebugReport.h"
#include "configurator/PagesIds.h"
#include "ui/FileDialogs.h"
#include "ui/MessageBox.h"
#include "ui/WindowsVersion.h"

#include <fstream>
#include <iterator>

namespace hml::configurator {

using config::settings;

namespace {

constexpr const wchar_t* kVersionKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const wchar_t* kDriversKey =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
constexpr const wchar_t* kMidiMapKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Multimedia\\MIDIMap";
constexpr const wchar_t* kMidiOutKey =
    L"Software\\Microsoft\\ActiveMovie\\devenum\\{4EFE2452-168A-11D1-BC76-00C04FB9453B}\\"
    L"Default MidiOut Device";

std::wstring ReadString(HKEY key, const wchar_t* name, bool& ok) {
    wchar_t value[260] = {};
    DWORD size = sizeof value - sizeof value[0];
    DWORD type = 0;
    ok = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
             ERROR_SUCCESS &&
         (type == REG_SZ || type == REG_EXPAND_SZ);
    return ok ? value : L"";
}

void DumpValue(std::wstring& out, HKEY root, const wchar_t* path, REGSAM access,
               const wchar_t* name, bool quiet) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, access, &key) != ERROR_SUCCESS) {
        if (!quiet) {
            out += L"Error reading registry key\n";
        }
        return;
    }
    BYTE data[520] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, data, &size) == ERROR_SUCCESS) {
        out += std::wstring(name) + L": ";
        if (type == REG_SZ || type == REG_EXPAND_SZ) {
            out += reinterpret_cast<const wchar_t*>(data);
        } else if (type == REG_DWORD) {
            DWORD number = 0;
            memcpy(&number, data, sizeof number);
            out += std::to_wstring(number);
        } else {
            out += L"Unsupported value type";
        }
        out += L"\n";
    }
    RegCloseKey(key);
}

void DumpDrivers(std::wstring& out, REGSAM access) {
    for (int slot = 0; slot <= 9; ++slot) {
        const std::wstring name = slot == 0 ? L"midi" : L"midi" + std::to_wstring(slot);
        DumpValue(out, HKEY_LOCAL_MACHINE, kDriversKey, access, name.c_str(), false);
    }
    out += L"\n";
}

std::wstring FromCodePage(const std::string& bytes) {
    const int length =
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(length > 0 ? length : 0, L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                            length);
    }
    return text;
}

} // namespace

CConfiguratorTabAbout::CConfiguratorTabAbout(IConfiguratorFrame& frame_, IPageHost& host_)
    : CConfiguratorTabBase(IDD_CFG_ABOUT, frame_), host(host_) {}

CConfiguratorTabAbout::~CConfiguratorTabAbout() {
    StopRefresh();
    if (titleFont) {
        DeleteObject(titleFont);
    }
}

std::wstring CConfiguratorTabAbout::BaseInfo() {
    std::wstring info;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kVersionKey, 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS) {
        info = L"Error reading Windows version";
    } else {
        bool ok = false;
        const std::wstring product = ReadString(key, L"ProductName", ok);
        if (ok) {
            info = product + L" (" + (ui::Is64BitWindows() ? L"64 bit" : L"32 bit") + L")";
        }
        const std::wstring servicePack = ReadString(key, L"CSDVersion", ok);
        if (ok) {
            info += L", " + servicePack;
        }
        RegCloseKey(key);
        const OSVERSIONINFOW version = ui::WindowsVersion();
        info += L" (" + std::to_wstring(version.dwMajorVersion) + L"." +
                std::to_wstring(version.dwMinorVersion) + L"." +
                std::to_wstring(version.dwBuildNumber) + L")";
    }
    return info + L"\r\nHarmolith: 2.9.1 (" + kArchitecture + L")\r\n";
}

BOOL CConfiguratorTabAbout::OnInitDialog() {
    resizer.Initialize(GetHwnd());
    HWND title = GetDlgItem(GetHwnd(), IDC_ABOUT_TITLE);
    titleFont = CreateFontW(20, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_DONTCARE, L"Verdana");
    SendMessageW(title, WM_SETFONT, reinterpret_cast<WPARAM>(titleFont), FALSE);
    Translate();
    SetWindowTextW(title, L"Tarnwick Harmolith - 2.9.1");
    SetDlgItemTextW(GetHwnd(), IDC_ABOUT_MAKER, L"Made by Tarnwick");
    baseInfo = BaseInfo();
    RefreshStatus();
    return TRUE;
}

void CConfiguratorTabAbout::RefreshStatus() {
    statusText = baseInfo;
    MEMORYSTATUSEX memory{sizeof memory};
    if (GlobalMemoryStatusEx(&memory)) {
        statusText += L"Memory (MB): total " + std::to_wstring(memory.ullTotalPhys >> 20) +
                      L", free " + std::to_wstring(memory.ullAvailPhys >> 20) + L" (" +
                      std::to_wstring(100 - memory.dwMemoryLoad) + L"%)\r\n";
    }
    statusText += L"Available devices: " +
                  std::to_wstring(settings ? settings->devicesCount.Get() : 1) + L"\r\n";
    statusText += host.ServerStatusText();

    HWND edit = GetDlgItem(GetHwnd(), IDC_ABOUT_STATUS);
    if (!edit) {
        return;
    }
    SendMessageW(edit, WM_SETREDRAW, FALSE, 0);
    const int horizontal = GetScrollPos(edit, SB_HORZ);
    const int vertical = GetScrollPos(edit, SB_VERT);
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    SetWindowTextW(edit, statusText.c_str());
    SendMessageW(edit, EM_SETSEL, start, end);
    SendMessageW(edit, EM_SCROLLCARET, 0, 0);
    SendMessageW(edit, WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, horizontal), 0);
    SendMessageW(edit, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, vertical), 0);
    SendMessageW(edit, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(edit, nullptr, TRUE);
}

DWORD WINAPI CConfiguratorTabAbout::RefreshMain(void* self) {
    auto* page = static_cast<CConfiguratorTabAbout*>(self);
    HWND window = page->GetHwnd();
    HWND frameWindow = page->frame.FrameWindow();
    while (WaitForSingleObject(page->stopRefresh, kRefreshMs) == WAIT_TIMEOUT &&
           ::IsWindow(window)) {
        // A minimised configurator shows nothing: skip the work until it is restored.
        if (!frameWindow || !IsIconic(frameWindow)) {
            PostMessageW(window, kRefreshMessage, 0, 0);
        }
    }
    return 0;
}

void CConfiguratorTabAbout::StartRefresh() {
    if (refreshThread) {
        return;
    }
    if (!stopRefresh) {
        stopRefresh = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ResetEvent(stopRefresh);
    refreshThread = CreateThread(nullptr, 0, &RefreshMain, this, CREATE_SUSPENDED, nullptr);
    if (refreshThread) {
        SetThreadPriority(refreshThread, THREAD_PRIORITY_ABOVE_NORMAL);
        ResumeThread(refreshThread);
    }
}

void CConfiguratorTabAbout::StopRefresh() {
    if (refreshThread) {
        SetEvent(stopRefresh);
        WaitForSingleObject(refreshThread, INFINITE);
        CloseHandle(refreshThread);
        refreshThread = nullptr;
    }
    if (stopRefresh && !GetHwnd()) {
        CloseHandle(stopRefresh);
        stopRefresh = nullptr;
    }
}

INT_PTR CConfiguratorTabAbout::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case kRefreshMessage:
        RefreshStatus();
        return TRUE;
    case WM_SHOWWINDOW:
        if (wParam) {
            StartRefresh();
        } else {
            StopRefresh();
        }
        break;
    case WM_WINDOWPOSCHANGED: {
        const auto* position = reinterpret_cast<const WINDOWPOS*>(lParam);
        if (position->flags & SWP_HIDEWINDOW) {
            StopRefresh();
        } else if (position->flags & SWP_SHOWWINDOW) {
            StartRefresh();
        }
        break;
    }
    case WM_DESTROY:
        StopRefresh();
        break;
    default:
        break;
    }
    return CConfiguratorTabBase::DialogProc(msg, wParam, lParam);
}

BOOL CConfiguratorTabAbout::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) == IDC_ABOUT_REPORT && HIWORD(wParam) == BN_CLICKED) {
        WriteDebugReport();
        return TRUE;
    }
    return CConfiguratorTabBase::OnCommand(wParam, lParam);
}

std::wstring CConfiguratorTabAbout::RegistryDump() {
    // Both views by name, whatever this build is: the 32-bit driver lives in the 32-bit view.
    std::wstring out = std::wstring(L"*** x86: HKLM\\") + kDriversKey + L" ***\n";
    DumpDrivers(out, KEY_READ | KEY_WOW64_32KEY);
    if (ui::Is64BitWindows()) {
        out += std::wstring(L"*** x64: HKLM\\") + kDriversKey + L" ***\n";
        DumpDrivers(out, KEY_READ | KEY_WOW64_64KEY);
    }
    bool quiet = false;
    const OSVERSIONINFOW version = ui::WindowsVersion();
    if (version.dwMajorVersion > 6 ||
        (version.dwMajorVersion == 6 && version.dwMinorVersion >= 2)) {
        HKEY mapper = nullptr;
        quiet = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tarnwick Lindenport", 0,
                              KEY_READ | KEY_WOW64_32KEY, &mapper) != ERROR_SUCCESS;
        if (mapper) {
            RegCloseKey(mapper);
        }
    }
    out += std::wstring(L"*** HKCU\\") + kMidiMapKey + L" ***\n";
    DumpValue(out, HKEY_CURRENT_USER, kMidiMapKey, KEY_READ, L"szPname", quiet);
    out += L"\n";
    out += std::wstring(L"*** HKCU\\") + kMidiOutKey + L" ***\n";
    DumpValue(out, HKEY_CURRENT_USER, kMidiOutKey, KEY_READ, L"MidiOutId", quiet);
    out += L"\n";
    return out;
}

bool CConfiguratorTabAbout::WriteDebugReportTo(const std::wstring& path) {
    DebugReportInput input;
    HWND edit = GetDlgItem(GetHwnd(), IDC_ABOUT_STATUS);
    const int length = GetWindowTextLengthW(edit);
    input.status.assign(length + 1, L'\0');
    GetWindowTextW(edit, input.status.data(), length + 1);
    input.status.resize(length);
    input.architecture = kArchitecture;
    input.midiDevices = host.MidiOutputNames();
    const std::vector<audio::SOutputDeviceInfo> audioDevices = audio::EnumerateOutputDevices();
    for (std::size_t i = 1; i < audioDevices.size(); ++i) {
        input.audioDevices.push_back(audioDevices[i].name);
    }
    if (settings) {
        settings->ReadSoundFonts(input.soundFonts);
        input.configPath = settings->ConfigFile();
        std::ifstream file(std::filesystem::path(input.configPath), std::ios::binary);
        if (file) {
            const std::string bytes{std::istreambuf_iterator<char>(file),
                                    std::istreambuf_iterator<char>()};
            input.configText = DecodeTextFile(bytes, &FromCodePage);
        }
    }
    input.registry = RegistryDump();
    if (!WriteUtf8TextFile(std::filesystem::path(path), FormatDebugReport(input))) {
        ui::ShowMessageBox(config::Translate(L"cfg.about.debugReportFailed", path), ui::kAppCaption,
                           MB_ICONERROR, GetHwnd());
        return false;
    }
    return true;
}

void CConfiguratorTabAbout::WriteDebugReport() {
    const std::optional<std::wstring> path = ui::SaveFileDialog(
        GetHwnd(), config::Translate(L"cfg.about.debugReportSave"),
        L"Harmolith debug report (*.txt)|*.txt|", L"txt", L"Harmolith_debug_report.txt");
    if (!path || !WriteDebugReportTo(*path)) {
        return;
    }
    if (ui::ShowMessageBox(config::Translate(L"cfg.about.debugReportSaveCompleted", *path),
                           ui::kAppCaption, MB_OKCANCEL | MB_ICONINFORMATION, GetHwnd()) == IDOK) {
        host.Open(*path);
    }
}

} // namespace hml::configurator
