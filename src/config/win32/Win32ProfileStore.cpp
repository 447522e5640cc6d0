#include "config/win32/Win32ProfileStore.h"

#include "config/ProfileText.h"

#include <windows.h>

#include <vector>

namespace hml::config {

std::uint32_t CWin32ProfileStore::ReadInt(const std::wstring& section, const std::wstring& key,
                                          std::int32_t def, const std::wstring& file) {
    return GetPrivateProfileIntW(section.c_str(), key.c_str(), def, file.c_str());
}

std::wstring CWin32ProfileStore::ReadString(const std::wstring& section, const std::wstring& key,
                                            const std::wstring& def, std::size_t capacity,
                                            const std::wstring& file) {
    if (capacity == 0) {
        return {};
    }
    std::vector<wchar_t> buffer(capacity, L'\0');
    DWORD length =
        GetPrivateProfileStringW(section.c_str(), key.c_str(), def.c_str(), buffer.data(),
                                 static_cast<DWORD>(capacity), file.c_str());
    if (length >= capacity) {
        length = static_cast<DWORD>(capacity - 1);
    }
    return std::wstring(buffer.data(), length);
}

bool CWin32ProfileStore::WriteString(const std::wstring& section, const std::wstring& key,
                                     const std::wstring* value, const std::wstring& file) {
    if (!value) {
        return WritePrivateProfileStringW(section.c_str(), key.c_str(), nullptr, file.c_str());
    }
    std::wstring stored = UpToLineBreak(*value);
    return WritePrivateProfileStringW(section.c_str(), key.c_str(), stored.c_str(), file.c_str());
}

bool CWin32ProfileStore::RemoveSection(const std::wstring& section, const std::wstring& file) {
    // An empty section body: a list of no "key=value" strings, ended by two zeros.
    const wchar_t emptyBody[2] = {L'\0', L'\0'};
    return WritePrivateProfileSectionW(section.c_str(), emptyBody, file.c_str());
}

std::optional<std::uint64_t> CWin32ProfileStore::FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return std::nullopt;
    }
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

} // namespace hml::config
