#include "base/Decimal.h"

#include <cwctype>

namespace hml::base {

bool ReadDecimal(std::wstring_view text, std::size_t& pos, SDecimal& out, bool semicolonIsBlank) {
    const auto blank = [&](wchar_t c) {
        return (semicolonIsBlank && c == L';') || std::iswspace(static_cast<wint_t>(c));
    };
    while (pos < text.size() && blank(text[pos])) {
        ++pos;
    }
    out = {};
    if (pos < text.size() && (text[pos] == L'+' || text[pos] == L'-')) {
        out.negative = text[pos] == L'-';
        ++pos;
    }
    if (pos >= text.size() || text[pos] < L'0' || text[pos] > L'9') {
        return false;
    }
    constexpr std::uint64_t kSaturated = std::uint64_t{1} << 32;
    for (; pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9'; ++pos) {
        out.magnitude = out.magnitude * 10 + static_cast<std::uint64_t>(text[pos] - L'0');
        if (out.magnitude > kSaturated) {
            out.magnitude = kSaturated;
        }
    }
    return true;
}

} // namespace hml::base
