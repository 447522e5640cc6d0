#include "audio/sf2/CMappedFile.h"

#include <windows.h>

namespace hml::audio {

std::unique_ptr<CMappedFile> CMappedFile::Open(const std::filesystem::path& path, EError& error) {
    HANDLE fh = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (fh == INVALID_HANDLE_VALUE) {
        error = EError::FileOpen;
        return nullptr;
    }
    LARGE_INTEGER len{};
    if (!::GetFileSizeEx(fh, &len)) {
        ::CloseHandle(fh);
        error = EError::FileOpen;
        return nullptr;
    }
    if (static_cast<unsigned long long>(len.QuadPart) > SIZE_MAX / 2) {
        ::CloseHandle(fh); // cannot map it into a 32-bit address space
        error = EError::Mem;
        return nullptr;
    }
    std::unique_ptr<CMappedFile> file(new CMappedFile());
    file->size = static_cast<size_t>(len.QuadPart);
    if (file->size > 0) {
        HANDLE map = ::CreateFileMappingW(fh, nullptr, PAGE_READONLY, 0, 0, nullptr);
        const void* view = map ? ::MapViewOfFile(map, FILE_MAP_READ, 0, 0, 0) : nullptr;
        if (view == nullptr) {
            if (map)
                ::CloseHandle(map);
            ::CloseHandle(fh);
            error = EError::Mem;
            return nullptr;
        }
        file->data = static_cast<const uint8_t*>(view);
        file->handle = map;
    }
    ::CloseHandle(fh);
    error = EError::Ok;
    return file;
}

CMappedFile::~CMappedFile() {
    if (data != nullptr)
        ::UnmapViewOfFile(data);
    if (handle != nullptr)
        ::CloseHandle(static_cast<HANDLE>(handle));
}

} // namespace hml::audio
