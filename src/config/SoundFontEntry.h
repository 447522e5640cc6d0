#pragma once
// One entry of the SoundFont list: a font file and the ports and options it is used with.

#include <cstdint>
#include <string>

namespace hml::config {

struct SoundFontEntry {
    std::wstring filename;
    std::uint64_t fileSize = 0; // from the file system when the list is read; never stored
    std::uint32_t enabled = 0;  // bit n: used by the port with index n
    std::uint32_t bank = 0;
    std::int32_t preset = -1;      // -1: every preset of the file
    std::uint32_t volume = 100;    // percent
    std::uint32_t preload = 1;     // 1: load all samples when the port starts
    std::uint32_t xgdrums = 0;     // 1: bank 127 supplies the XG drum kits
    std::uintptr_t fontHandle = 0; // the loaded font while a port uses it; never stored
};

} // namespace hml::config
