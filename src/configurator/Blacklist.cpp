#include "configurator/Blacklist.h"

#include <algorithm>

namespace hml::configurator {

namespace {

bool IsSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\v' || c == L'\f' || c == 0x00A0 || c == 0x3000;
}

std::wstring Replace(std::wstring text, const std::wstring& from, const std::wstring& to) {
    for (std::size_t at = text.find(from); at != std::wstring::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

} // namespace

wchar_t LowerCase(wchar_t c) {
    if ((c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
        (c >= 0x410 && c <= 0x42F)) {
        return static_cast<wchar_t>(c + 0x20);
    }
    if (c >= 0x400 && c <= 0x40F) {
        return static_cast<wchar_t>(c + 0x50);
    }
    // Latin Extended-A pairs upper case on even code points (with a few odd-aligned runs).
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) {
        return (c % 2 == 0) ? static_cast<wchar_t>(c + 1) : c;
    }
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {
        return (c % 2 == 1) ? static_cast<wchar_t>(c + 1) : c;
    }
    return c;
}

void SortUnique(std::vector<std::wstring>& names) {
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
}

std::wstring NormaliseBlacklist(const std::wstring& edited) {
    std::vector<std::wstring> names;
    std::size_t start = 0;
    while (start <= edited.size()) {
        std::size_t end = edited.find_first_of(L"\r\n", start);
        if (end == std::wstring::npos) {
            end = edited.size();
        }
        std::size_t first = start;
        std::size_t last = end;
        while (first < last && IsSpace(edited[first])) {
            ++first;
        }
        while (last > first && IsSpace(edited[last - 1])) {
            --last;
        }
        if (first < last) {
            std::wstring name = edited.substr(first, last - first);
            std::transform(name.begin(), name.end(), name.begin(), LowerCase);
            if (name.size() < 4 || name.compare(name.size() - 4, 4, L".exe") != 0) {
                name += L".exe";
            }
            names.push_back(std::move(name));
        }
        start = end + 1;
    }
    SortUnique(names);
    std::wstring joined;
    for (const auto& name : names) {
        if (!joined.empty()) {
            joined += L"\r\n";
        }
        joined += name;
    }
    return joined;
}

std::wstring BlacklistToEdited(const std::wstring& stored) {
    std::wstring text = NormaliseBlacklist(Replace(stored, L";", L"\r\n"));
    if (!text.empty()) {
        text += L"\r\n";
    }
    return text;
}

std::wstring BlacklistToStored(const std::wstring& edited) {
    return Replace(NormaliseBlacklist(edited), L"\r\n", L";");
}

} // namespace hml::configurator
