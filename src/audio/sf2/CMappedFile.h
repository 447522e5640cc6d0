// A read-only memory mapping of a whole file. Sample data is read straight from the mapping,
// so opening a large SoundFont costs no copy and pages come in as notes first use them.
#pragma once

#include "audio/Audio.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

namespace hml::audio {

class CMappedFile {
public:
    // FileOpen when the file is missing or unreadable, Mem when it cannot be mapped.
    static std::unique_ptr<CMappedFile> Open(const std::filesystem::path& path, EError& error);
    ~CMappedFile();
    CMappedFile(const CMappedFile&) = delete;
    CMappedFile& operator=(const CMappedFile&) = delete;

    const uint8_t* Data() const { return data; }
    size_t Size() const { return size; }

private:
    CMappedFile() = default;
    const uint8_t* data = nullptr;
    size_t size = 0;
    [[maybe_unused]] void* handle = nullptr; // platform mapping object
};

} // namespace hml::audio
