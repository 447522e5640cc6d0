#include "audio/SysEx.h"

namespace hml::audio::sysex {

namespace {

constexpr std::uint8_t kRoland = 0x41, kYamaha = 0x43;
constexpr std::uint8_t kUniversalNonRealTime = 0x7E, kUniversalRealTime = 0x7F;

// Roland data set 1: F0 41 dev 42 12 a1 a2 a3 data... checksum F7.
SMessage DecodeGs(const std::uint8_t* p, std::size_t n) {
    SMessage m;
    if (n < 11 || p[3] != 0x42 || p[4] != 0x12 || p[5] != 0x40)
        return m;
    m.device = p[2];
    m.standard = n == 11 && m.device == 0x10;
    unsigned sum = 0;
    for (std::size_t i = 5; i + 1 < n; ++i)
        sum += p[i];
    m.checksumOk = sum % 128 == 0;
    const std::uint8_t a2 = p[6], a3 = p[7];
    m.value = p[8];
    if (a2 == 0x00 && a3 == 0x7F)
        m.kind = EKind::GsReset;
    else if (a2 == 0x00 && a3 == 0x04)
        m.kind = EKind::MasterVolume;
    else if (a2 == 0x01 && a3 == kGsReverb)
        m.kind = EKind::ReverbLevel;
    else if (a2 == 0x01 && a3 == kGsChorus)
        m.kind = EKind::ChorusLevel;
    else if ((a2 & 0xF0) == 0x10 && (a3 == 0x02 || a3 == 0x15)) {
        m.kind = a3 == 0x02 ? EKind::GsPartChannel : EKind::GsRhythmPart;
        m.part = a2 & 0x0F;
    }
    return m;
}

// Yamaha XG parameter change: F0 43 1n 4C a1 a2 a3 data... F7.
SMessage DecodeXg(const std::uint8_t* p, std::size_t n) {
    SMessage m;
    if (n < 9 || (p[2] & 0xF0) != 0x10 || p[3] != 0x4C)
        return m;
    m.device = p[2] & 0x0F;
    m.standard = n == 9 && m.device == 0;
    const std::uint8_t a1 = p[4], a2 = p[5], a3 = p[6];
    m.value = p[7];
    if (a1 == 0x00 && a2 == 0x00 && a3 == 0x7E)
        m.kind = EKind::XgSystemOn;
    else if (a1 == 0x00 && a2 == 0x00 && a3 == 0x7F)
        m.kind = EKind::XgAllReset;
    else if (a1 == 0x00 && a2 == 0x00 && a3 == 0x04)
        m.kind = EKind::MasterVolume;
    else if (a1 == 0x02 && a2 == 0x01 && a3 == kXgReverb)
        m.kind = EKind::ReverbLevel;
    else if (a1 == 0x02 && a2 == 0x01 && a3 == kXgChorus)
        m.kind = EKind::ChorusLevel;
    else if (a1 == 0x08 && a2 < 16 && a3 == 0x07) {
        m.kind = EKind::XgPartMode;
        m.part = a2;
    }
    return m;
}

SMessage DecodeUniversal(const std::uint8_t* p, std::size_t n) {
    SMessage m;
    m.device = p[2];
    if (p[1] == kUniversalNonRealTime && n == 6 && p[3] == 0x09 && p[4] >= 1 && p[4] <= 3) {
        m.kind = p[4] == 1   ? EKind::GmSystemOn
                 : p[4] == 2 ? EKind::GmSystemOff
                             : EKind::Gm2SystemOn;
        m.value = p[4];
    } else if (p[1] == kUniversalRealTime && n == 8 && p[3] == 0x04 && p[4] == 0x01) {
        m.kind = EKind::MasterVolume;
        m.value = static_cast<std::uint16_t>(p[5] | (p[6] << 7));
    }
    m.standard = m.kind != EKind::Other && m.device == 0x7F;
    return m;
}

} // namespace

SMessage Decode(const std::uint8_t* bytes, std::size_t length) {
    if (bytes == nullptr || length < 6 || bytes[0] != 0xF0 || bytes[length - 1] != 0xF7)
        return {};
    // Data bytes only between the start and the end; anything else is a broken message.
    for (std::size_t i = 1; i + 1 < length; ++i)
        if (bytes[i] & 0x80)
            return {};
    SMessage m;
    switch (bytes[1]) {
    case kRoland:
        m = DecodeGs(bytes, length);
        break;
    case kYamaha:
        m = DecodeXg(bytes, length);
        break;
    case kUniversalNonRealTime:
    case kUniversalRealTime:
        m = DecodeUniversal(bytes, length);
        break;
    default:
        return {};
    }
    m.maker = bytes[1];
    return m;
}

bool IsExactReset(const SMessage& m) {
    switch (m.kind) {
    case EKind::GmSystemOn:
    case EKind::Gm2SystemOn:
        return m.standard;
    case EKind::GsReset:
    case EKind::XgSystemOn:
        return m.standard && m.value == 0 && m.checksumOk;
    default:
        return false;
    }
}

} // namespace hml::audio::sysex
