// Decimal numbers in text as the C library's scanf reads them, for the configuration values
// and version strings that older versions wrote with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace hml::base {

struct SDecimal {
    bool negative = false;
    std::uint64_t magnitude = 0; // saturates at 2^32
};

// From `pos`: blanks (white space, and ';' when `semicolonIsBlank`), an optional sign and at
// least one digit. Moves `pos` past what it read; false when no digit follows.
bool ReadDecimal(std::wstring_view text, std::size_t& pos, SDecimal& out,
                 bool semicolonIsBlank = false);

} // namespace hml::base
