#include "driver/win32/DriverConfig.h"

#include "config/Settings.h"

#include <windows.h>

#include <vector>

namespace hml::driver {

using config::CSettings;

namespace {

// The installation folder the synth's registry value names, in the 64-bit view (where the
// installer writes it, whatever the bitness of the program that loads us).
std::wstring InstallFolder() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, CSettings::kRegistryKey, 0, KEY_READ | KEY_WOW64_64KEY,
                      &key) != ERROR_SUCCESS) {
        return {};
    }
    wchar_t buffer[MAX_PATH] = {};
    DWORD size = sizeof buffer;
    const LONG status = RegGetValueW(key, nullptr, CSettings::kRegistryValue, RRF_RT_REG_SZ,
                                     nullptr, buffer, &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? buffer : L"";
}

} // namespace

SDriverConfig ReadDriverConfig() {
    SDriverConfig config;
    config.installFolder = InstallFolder();
    if (config.installFolder.empty()) {
        return config;
    }
    const std::wstring file = config.installFolder + L"\\" + CSettings::kConfigFileName;
    config.devicesCount = GetPrivateProfileIntW(L"Advanced", L"DevicesCount", 1, file.c_str());
    std::vector<wchar_t> text(32768);
    GetPrivateProfileStringW(L"Advanced", L"ClientBlacklist", L"", text.data(),
                             static_cast<DWORD>(text.size()), file.c_str());
    config.clientBlacklist = text.data();
    return config;
}

std::wstring ThisProgram() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            return std::wstring(path.data(), length);
        }
        path.resize(path.size() * 2);
    }
}

} // namespace hml::driver
