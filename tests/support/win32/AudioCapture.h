#pragma once
// The test environment's virtual sound card records what is played into a raw file (16-bit
// stereo, 48 kHz) named by HML_CAPTURE, a host path. A test notes the file's size before it
// plays, then reads what was recorded from there on.

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace hml::test {

// The capture file as a Windows path; false where audio is not captured.
inline bool CaptureFile(std::filesystem::path& path) {
    wchar_t capture[1024] = {};
    if (!GetEnvironmentVariableW(L"HML_CAPTURE", capture, 1024))
        return false;
    path = std::wstring(L"Z:") + capture;
    return true;
}

// Where the audio of what follows will start: the file's size now, 0 while it does not exist.
inline std::uintmax_t CaptureSize(const std::filesystem::path& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

// The bytes recorded from `start` on.
inline std::vector<char> RecordedBytes(const std::filesystem::path& path, std::uintmax_t start) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(start));
    return std::vector<char>((std::istreambuf_iterator<char>(in)), {});
}

} // namespace hml::test
