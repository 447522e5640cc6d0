// The System Exclusive messages the synthesizer understands: the GM, GM2, GS and XG resets,
// master volume, the reverb and chorus levels of every part, and the GS and XG drum-part
// settings. One decoder serves the MIDI file reader, the stream and the server's MIDI
// handling, so they all agree on what a message is; each decides for itself what to do with
// it. The builders make the effect-level messages the server sends.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace hml::audio::sysex {

enum class EKind : std::uint8_t {
    Other,         // not one of the messages below (still a valid SysEx to pass on)
    GmSystemOn,    // F0 7E dev 09 01 F7
    GmSystemOff,   // F0 7E dev 09 02 F7
    Gm2SystemOn,   // F0 7E dev 09 03 F7
    MasterVolume,  // universal (F0 7F dev 04 01 lsb msb F7), GS 40 00 04 or XG 00 00 04
    GsReset,       // GS 40 00 7F
    XgSystemOn,    // XG 00 00 7E
    XgAllReset,    // XG 00 00 7F
    ReverbLevel,   // GS 40 01 33 or XG 02 01 0C (reverb return)
    ChorusLevel,   // GS 40 01 3A or XG 02 01 2C (chorus return)
    GsPartChannel, // GS 40 1x 02: receive channel of part x
    GsRhythmPart,  // GS 40 1x 15: part x plays a drum map (value 1 or 2) or not (0)
    XgPartMode,    // XG 08 pp 07: part pp is normal (0) or one of the drum modes
};

struct SMessage {
    EKind kind = EKind::Other;
    std::uint8_t maker = 0;  // 0x41 Roland, 0x43 Yamaha, 0x7E or 0x7F universal
    std::uint8_t device = 0; // the device id byte (for XG its low nibble)
    std::uint8_t part = 0;   // GS block number or XG part, for the part messages
    std::uint16_t value = 0; // the first data byte; master volume 0..16383 when universal
    bool standard = false;   // exactly the one-value length, with the default device id
    bool checksumOk = true;  // GS only: the Roland checksum is right

    // Master volume as a gain, 0..1.
    float MasterVolume() const { return maker == 0x7F ? value / 16383.0f : value / 127.0f; }
};

// Decodes a complete message, F0 through F7. Truncated or unterminated bytes give Other.
SMessage Decode(const std::uint8_t* bytes, std::size_t length);

// MIDI channel of a GS part by default: part 0 is channel 10, 1-9 are 1-9, 10-15 are 11-16.
constexpr int GsPartDefaultChannel(int part) {
    return part == 0 ? 9 : part <= 9 ? part - 1 : part;
}

// The four system resets exactly as a GM, GM2, GS or XG synthesizer expects them.
constexpr std::uint8_t kGmSystemOn[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
constexpr std::uint8_t kGm2SystemOn[] = {0xF0, 0x7E, 0x7F, 0x09, 0x03, 0xF7};
constexpr std::uint8_t kGsReset[] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40,
                                     0x00, 0x7F, 0x00, 0x41, 0xF7};
constexpr std::uint8_t kXgSystemOn[] = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};

// True when the message is one of the four resets byte for byte.
bool IsExactReset(const SMessage& m);

constexpr std::uint8_t kGsReverb = 0x33;
constexpr std::uint8_t kGsChorus = 0x3A;
constexpr std::uint8_t kXgReverb = 0x0C;
constexpr std::uint8_t kXgChorus = 0x2C;

// Roland checksum over address and data: the low 7 bits of their sum plus it are 0.
constexpr std::uint8_t GsChecksum(std::uint8_t address, std::uint8_t level) {
    return static_cast<std::uint8_t>((128 - (0x40 + 0x01 + address + level) % 128) % 128);
}

// "F0 41 10 42 12 40 01 <address> <level> <checksum> F7"; levels above 127 are cut to 127.
constexpr std::array<std::uint8_t, 11> Gs(std::uint8_t address, std::uint32_t level) {
    const auto v = static_cast<std::uint8_t>(std::min<std::uint32_t>(level, 127));
    return {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, address, v, GsChecksum(address, v), 0xF7};
}

// "F0 43 10 4C 02 01 <address> <level> F7"; levels above 127 are cut to 127.
constexpr std::array<std::uint8_t, 9> Xg(std::uint8_t address, std::uint32_t level) {
    const auto v = static_cast<std::uint8_t>(std::min<std::uint32_t>(level, 127));
    return {0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, address, v, 0xF7};
}

} // namespace hml::audio::sysex
