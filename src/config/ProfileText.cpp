#include "config/ProfileText.h"

#include "base/Decimal.h"

#include <cstdio>
#include <cwctype>

namespace hml::config {

using namespace hml::base;

std::wstring SignedText(std::uint32_t v) {
    return std::to_wstring(static_cast<std::int32_t>(v));
}

std::wstring UpToLineBreak(const std::wstring& s) {
    return s.substr(0, s.find_first_of(L"\r\n"));
}

std::wstring Trim(const std::wstring& s) {
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && std::iswspace(s[begin])) {
        ++begin;
    }
    while (end > begin && std::iswspace(s[end - 1])) {
        --end;
    }
    return s.substr(begin, end - begin);
}

namespace {

// Reads one number as "%lu" would: blanks, an optional sign, at least one digit; negative
// numbers wrap around and numbers too large for 32 bits read as 4294967295.
bool ReadNumber(const std::wstring& text, std::size_t& pos, std::uint32_t& out) {
    base::SDecimal d;
    if (!base::ReadDecimal(text, pos, d, true)) {
        return false;
    }
    const std::uint32_t v =
        d.magnitude > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(d.magnitude);
    out = d.negative ? 0u - v : v;
    return true;
}

} // namespace

std::size_t ReadNumberList(const std::wstring& text, std::uint32_t* out, std::size_t limit) {
    std::size_t pos = 0;
    std::size_t count = 0;
    while (count < limit && ReadNumber(text, pos, out[count])) {
        ++count;
    }
    return count;
}

std::array<std::uint32_t, 4> ParseOutputDevices(const std::wstring& value,
                                                std::uint32_t portCount) {
    std::array<std::uint32_t, 4> devices{1, 1, 1, 1};
    std::wstring text = Trim(value);
    if (text.empty()) {
        text = L"1";
    }
    std::size_t limit = portCount < devices.size() ? portCount : devices.size();
    ReadNumberList(text, devices.data(), limit);
    return devices;
}

std::wstring FormatOutputDevices(const std::array<std::uint32_t, 4>& devices,
                                 std::uint32_t portCount) {
    std::wstring text;
    for (std::uint32_t i = 0; i < portCount && i < devices.size(); ++i) {
        if (!text.empty()) {
            text += L';';
        }
        text += std::to_wstring(devices[i]);
    }
    return text;
}

std::array<std::uint32_t, 16> ParseChannelFlags(const std::wstring& value) {
    std::array<std::uint32_t, 16> flags{};
    if (value.size() == flags.size()) {
        for (std::size_t c = 0; c < flags.size(); ++c) {
            flags[c] = value[c] != L'0' ? 1u : 0u;
        }
    }
    return flags;
}

std::wstring FormatChannelFlags(const std::array<std::uint32_t, 16>& flags) {
    std::wstring text;
    for (std::uint32_t f : flags) {
        text += f ? L'1' : L'0';
    }
    return text;
}

void ParseChannelVolumes(const std::wstring& value, std::array<std::uint32_t, 16>& volumes) {
    std::array<std::uint32_t, 16> read{};
    std::size_t count = ReadNumberList(value, read.data(), read.size());
    for (std::size_t c = 0; c < count; ++c) {
        volumes[c] = read[c] > 100 ? 100 : read[c];
    }
}

std::wstring FormatChannelVolumes(const std::array<std::uint32_t, 16>& volumes) {
    std::wstring text;
    for (std::size_t c = 0; c < volumes.size(); ++c) {
        if (c != 0) {
            text += L';';
        }
        text += std::to_wstring(volumes[c]);
    }
    return text;
}

std::wstring PortSuffix(std::uint32_t portIndex) {
    return portIndex == 0 ? std::wstring() : std::to_wstring(portIndex + 1);
}

std::wstring PortDisplayName(std::uint32_t portIndex) {
    return L"Harmolith #" + std::to_wstring(std::uint64_t{portIndex} + 1);
}

std::wstring FormatDate(int year, int month, int day) {
    wchar_t text[32];
    std::swprintf(text, sizeof text / sizeof text[0], L"%04d-%02d-%02d", year, month, day);
    return text;
}

} // namespace hml::config
