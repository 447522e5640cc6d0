#include "update/ProductVersion.h"

#include "base/Decimal.h"

#include <algorithm>
#include <climits>
#include <cwctype>
#include <tuple>

namespace hml::update {

using namespace hml::base;

namespace {

// One "%d" conversion: white space, an optional sign and at least one digit; values beyond
// 32 bits are cut to the nearest limit.
bool ReadNumber(const std::wstring& text, std::size_t& pos, std::int32_t& out) {
    base::SDecimal d;
    if (!base::ReadDecimal(text, pos, d)) {
        return false;
    }
    const std::int64_t value = d.negative ? -static_cast<std::int64_t>(d.magnitude)
                                          : static_cast<std::int64_t>(d.magnitude);
    out = static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
    return true;
}

} // namespace

ProductVersion ProductVersion::Parse(const std::wstring& text) {
    ProductVersion v;
    std::int32_t* parts[] = {&v.major, &v.minor, &v.build, &v.revision};
    std::size_t pos = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        if (i > 0) {
            if (pos >= text.size() || text[pos] != L'.') {
                break;
            }
            ++pos;
        }
        if (!ReadNumber(text, pos, *parts[i])) {
            break;
        }
        if (*parts[i] < 0) {
            *parts[i] = 0;
        }
    }
    return v;
}

std::wstring ProductVersion::Format() const {
    return std::to_wstring(major) + L'.' + std::to_wstring(minor) + L'.' + std::to_wstring(build) +
           L'.' + std::to_wstring(revision);
}

bool ProductVersion::IsNewerThan(const ProductVersion& other) const {
    return std::tie(major, minor, build, revision) >
           std::tie(other.major, other.minor, other.build, other.revision);
}

} // namespace hml::update
