#include "app/DriverRegistration.h"

#include "ui/MessageBox.h"
#include "ui/WindowsVersion.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdio>

namespace hml::app {

using namespace hml::ui;

namespace {

constexpr const wchar_t* kSlotKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
constexpr const wchar_t* kDriver = L"Harmolith.dll";
constexpr const wchar_t* kFreeSlot = L"wdmaud.drv";
constexpr const wchar_t* kSlots[] = {L"midi",  L"midi1", L"midi2", L"midi3", L"midi4",
                                     L"midi5", L"midi6", L"midi7", L"midi8", L"midi9"};
constexpr const wchar_t* kMidiOutDevice =
    L"{4EFE2452-168A-11D1-BC76-00C04FB9453B}\\Default MidiOut Device";

REGSAM ViewFlag(View view) {
    return view == View::k64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

const wchar_t* ViewName(View view) {
    return view == View::k64 ? L"x64" : L"x86";
}

LONG WriteSlot(View view, const wchar_t* slot, const wchar_t* value) {
    HKEY key = nullptr;
    // Created when missing (a fresh system may lack the key in one view) rather than failing.
    LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSlotKey, 0, nullptr, 0,
                                  KEY_WRITE | ViewFlag(view), nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    // The byte count includes the terminating zero.
    status = RegSetValueExW(key, slot, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                            static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status;
}

void ShowRegistryError(const wchar_t* format, LONG status, const wchar_t* slot, View view) {
    wchar_t text[512];
    std::swprintf(text, sizeof text / sizeof text[0], format, static_cast<int>(status), slot,
                  ViewName(view));
    ui::ShowMessageBox(text, ui::kAppCaption, MB_ICONERROR);
}

bool HasDriver(View view) {
    for (const wchar_t* slot : kSlots) {
        if (ReadSlot(view, slot, L"") == kDriver) {
            return true;
        }
    }
    return false;
}

// A slot may be taken only when it is missing or holds exactly the free-slot value. A value that
// cannot be read as a short string (another type, or too long) belongs to someone else.
bool IsFreeSlot(View view, const wchar_t* slot) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSlotKey, 0, KEY_READ | ViewFlag(view), &key) !=
        ERROR_SUCCESS) {
        return true;
    }
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof value - sizeof value[0];
    DWORD type = 0;
    const LONG status =
        RegQueryValueExW(key, slot, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (status == ERROR_FILE_NOT_FOUND) {
        return true;
    }
    return status == ERROR_SUCCESS && type == REG_SZ && lstrcmpW(value, kFreeSlot) == 0;
}

void SetMidiOutId(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_WRITE, &key) != ERROR_SUCCESS) {
        return;
    }
    const DWORD zero = 0;
    RegSetValueExW(key, L"MidiOutId", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero),
                   sizeof zero);
    RegCloseKey(key);
}

} // namespace

std::wstring ReadSlot(View view, const std::wstring& slot, const std::wstring& def) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSlotKey, 0, KEY_READ | ViewFlag(view), &key) !=
        ERROR_SUCCESS) {
        return def;
    }
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof value;
    LONG status = RegGetValueW(key, nullptr, slot.c_str(), RRF_RT_REG_SZ, nullptr, value, &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::wstring(value) : def;
}

bool Is64BitWindows() {
    return ui::Is64BitWindows();
}

bool IsWindows8OrLater() {
    const OSVERSIONINFOW info = ui::WindowsVersion();
    return info.dwMajorVersion >= 7 || (info.dwMajorVersion == 6 && info.dwMinorVersion >= 2);
}

bool IsDriverRegistered() {
    if (!HasDriver(View::k32)) {
        return false;
    }
    return !Is64BitWindows() || HasDriver(View::k64);
}

bool RemoveRegistrations(View view) {
    for (const wchar_t* slot : kSlots) {
        if (lstrcmpiW(ReadSlot(view, slot, L"").c_str(), kDriver) != 0) {
            continue;
        }
        LONG status = WriteSlot(view, slot, kFreeSlot);
        if (status != ERROR_SUCCESS) {
            ShowRegistryError(L"Error %d while removing driver key \"%ls\" from %ls registry, "
                              L"please check if you're running with administrator privileges.",
                              status, slot, view);
            return false;
        }
    }
    return true;
}

bool AddRegistration(View view) {
    for (const wchar_t* slot : kSlots) {
        if (lstrcmpW(slot, L"midi") == 0 || !IsFreeSlot(view, slot)) {
            continue;
        }
        LONG status = WriteSlot(view, slot, kDriver);
        if (status != ERROR_SUCCESS) {
            ShowRegistryError(L"Error %d while installing driver in key \"%ls\" in %ls registry, "
                              L"please check if you're running with administrator privileges.",
                              status, slot, view);
            return false;
        }
        return true;
    }
    return false;
}

bool RegisterDriver() {
    const bool both = Is64BitWindows();
    return RemoveRegistrations(View::k32) && (!both || RemoveRegistrations(View::k64)) &&
           AddRegistration(View::k32) && (!both || AddRegistration(View::k64));
}

bool UnregisterDriver(bool restoreDefaultDevice) {
    const bool both = Is64BitWindows();
    if (!RemoveRegistrations(View::k32) || (both && !RemoveRegistrations(View::k64))) {
        return false;
    }
    if (restoreDefaultDevice) {
        RestoreDefaultMidiDevice();
    }
    return true;
}

void RestoreDefaultMidiDevice() {
    if (!IsWindows8OrLater()) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER,
                          L"Software\\Microsoft\\Windows\\CurrentVersion\\Multimedia\\MIDIMap", 0,
                          KEY_WRITE, &key) == ERROR_SUCCESS) {
            const wchar_t name[] = L"Microsoft GS Wavetable Synth";
            RegSetValueExW(key, L"szPname", 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                           sizeof name);
            RegCloseKey(key);
        }
    }
    SetMidiOutId(std::wstring(L"Software\\Microsoft\\ActiveMovie\\devenum\\") + kMidiOutDevice);
    if (Is64BitWindows()) {
        SetMidiOutId(std::wstring(L"Software\\Microsoft\\ActiveMovie\\devenum 64-bit\\") +
                     kMidiOutDevice);
    }
}

int RunElevated(const std::wstring& program, const std::wstring& parameters, unsigned long waitMs) {
    SHELLEXECUTEINFOW run{sizeof(run)};
    run.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    run.lpVerb = L"runas";
    run.lpFile = program.c_str();
    run.lpParameters = parameters.c_str();
    run.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&run) || !run.hProcess) {
        return 1;
    }
    DWORD code = 1;
    if (WaitForSingleObject(run.hProcess, waitMs) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(run.hProcess, &code)) {
        code = 1;
    }
    CloseHandle(run.hProcess);
    return static_cast<int>(code);
}

bool DefaultDeviceChoosable() {
    if (!IsWindows8OrLater()) {
        return true;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tarnwick Lindenport", 0,
                      KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

} // namespace hml::app
