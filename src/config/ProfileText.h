#pragma once
// Text conversions of the configuration values, free of any file access.

#include <array>
#include <cstdint>
#include <string>

namespace hml::config {

constexpr std::uint32_t kNoUpperLimit = 0xFFFFFFFFu;

// Clamps with unsigned comparison: above max gives max, at or below min gives min.
constexpr std::uint32_t ClampUnsigned(std::uint32_t v, std::uint32_t min, std::uint32_t max) {
    if (v > max) {
        return max;
    }
    if (v <= min) {
        return min;
    }
    return v;
}

// An unsigned value as the signed decimal text the configuration stores ("-1" for 4294967295).
std::wstring SignedText(std::uint32_t v);

// A value as it may be stored: everything from the first CR or LF on is dropped.
std::wstring UpToLineBreak(const std::wstring& s);

std::wstring Trim(const std::wstring& s);

// Reads unsigned decimal numbers separated by blanks (";" counts as a blank) into out, from index
// 0, at most limit numbers; stops at the first text that is not a number. Returns how many were
// read. Numbers too large for 32 bits read as 4294967295.
std::size_t ReadNumberList(const std::wstring& text, std::uint32_t* out, std::size_t limit);

// The device number of each of the four ports from an "OutputDevice" value.
std::array<std::uint32_t, 4> ParseOutputDevices(const std::wstring& value, std::uint32_t portCount);
// "1;2" for two ports on devices 1 and 2.
std::wstring FormatOutputDevices(const std::array<std::uint32_t, 4>& devices,
                                 std::uint32_t portCount);

// Mute and solo strings: exactly 16 characters, "0" is off and anything else on.
std::array<std::uint32_t, 16> ParseChannelFlags(const std::wstring& value);
std::wstring FormatChannelFlags(const std::array<std::uint32_t, 16>& flags);

// Channel volumes "100;80;...": fills channels from 1 upwards, each at most 100; channels after
// the last number read keep their value.
void ParseChannelVolumes(const std::wstring& value, std::array<std::uint32_t, 16>& volumes);
std::wstring FormatChannelVolumes(const std::array<std::uint32_t, 16>& volumes);

// The mixer key suffix of a port: "" for the first, "2".."4" for the others.
std::wstring PortSuffix(std::uint32_t portIndex);

// "Harmolith #1" for the port with index 0.
std::wstring PortDisplayName(std::uint32_t portIndex);

// Local date as the configuration stores it: "2026-12-06".
std::wstring FormatDate(int year, int month, int day);

} // namespace hml::config
