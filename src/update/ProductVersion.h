#pragma once
// A program version of four numbers (major.minor.build.revision), as the update service reports
// it and as the Updates tab shows it.

#include <cstdint>
#include <string>

namespace hml::update {

struct ProductVersion {
    std::int32_t major = 0;
    std::int32_t minor = 0;
    std::int32_t build = 0;
    std::int32_t revision = 0;

    // Reads "%d.%d.%d.%d": parts after the first one that fails to read stay 0, negative parts
    // become 0, so an empty or unreadable text gives 0.0.0.0. The text comes from the network
    // and the configuration file: numbers too large for 32 bits saturate instead of overflowing.
    static ProductVersion Parse(const std::wstring& text);

    // "%d.%d.%d.%d".
    std::wstring Format() const;

    // The first part that differs decides; equal versions are not newer.
    bool IsNewerThan(const ProductVersion& other) const;

    bool IsZero() const { return major == 0 && minor == 0 && build == 0 && revision == 0; }

    bool operator==(const ProductVersion&) const = default;
};

} // namespace hml::update
