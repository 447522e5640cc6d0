// The System Exclusive messages that set the reverb or chorus level of every part: Roland GS
// "F0 41 10 42 12 40 01 <address> <level> <checksum> F7" and Yamaha XG effect return
// "F0 43 10 4C 02 01 <address> <level> F7". Header only, so the server's MIDI handling can use
// it without the rest of the audio library. Levels above 127 are cut to 127.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

namespace hml::audio::effect_sysex {

constexpr std::uint8_t kGsReverb = 0x33;
constexpr std::uint8_t kGsChorus = 0x3A;
constexpr std::uint8_t kXgReverb = 0x0C;
constexpr std::uint8_t kXgChorus = 0x2C;

// Roland checksum over address and data: the low 7 bits of their sum plus it are 0.
constexpr std::uint8_t GsChecksum(std::uint8_t address, std::uint8_t level) {
    return static_cast<std::uint8_t>((128 - (0x40 + 0x01 + address + level) % 128) % 128);
}

constexpr std::array<std::uint8_t, 11> Gs(std::uint8_t address, std::uint32_t level) {
    const auto v = static_cast<std::uint8_t>(std::min<std::uint32_t>(level, 127));
    return {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, address, v, GsChecksum(address, v), 0xF7};
}

constexpr std::array<std::uint8_t, 9> Xg(std::uint8_t address, std::uint32_t level) {
    const auto v = static_cast<std::uint8_t>(std::min<std::uint32_t>(level, 127));
    return {0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, address, v, 0xF7};
}

} // namespace hml::audio::effect_sysex
