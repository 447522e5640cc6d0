#include "update/ProductVersion.h"

#include <climits>
#include <cwctype>
#include <tuple>

namespace {

// One "%d" conversion: white space, an optional sign and at least one digit.
bool ReadNumber(const std::wstring& text, std::size_t& pos, std::int32_t& out) {
    while (pos < text.size() && std::iswspace(static_cast<wint_t>(text[pos]))) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == L'+' || text[pos] == L'-')) {
        negative = text[pos] == L'-';
        ++pos;
    }
    if (pos >= text.size() || text[pos] < L'0' || text[pos] > L'9') {
        return false;
    }
    std::int64_t value = 0;
    for (; pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9'; ++pos) {
        if (value <= INT_MAX) {
            value = value * 10 + (text[pos] - L'0');
        }
    }
    if (negative) {
        value = -value;
    }
    out = static_cast<std::int32_t>(value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : value);
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
