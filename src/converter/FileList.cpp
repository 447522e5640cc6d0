#include "converter/FileList.h"

#include "base/Utf8.h"
#include "config/Language.h"

#include <algorithm>
#include <cwchar>

namespace hml::converter {

using namespace hml::config;

namespace {

wchar_t FoldAscii(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](wchar_t x, wchar_t y) { return FoldAscii(x) == FoldAscii(y); });
}

bool IsValidUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t more = c < 0x80             ? 0
                            : (c & 0xE0) == 0xC0 ? 1
                            : (c & 0xF0) == 0xE0 ? 2
                            : (c & 0xF8) == 0xF0 ? 3
                                                 : 4;
        if (more == 4 || c == 0xC0 || c == 0xC1 || s.size() - i <= more)
            return false;
        for (size_t k = 1; k <= more; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += more + 1;
    }
    return true;
}

size_t NameStart(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\");
    return slash == std::wstring::npos ? 0 : slash + 1;
}

} // namespace

void MidiFileEntry::SetKeyShift(int shift) {
    keyShift = std::clamp(shift, -kMaxKeyShift, kMaxKeyShift);
    keyText = keyShift > 0 ? L"+" + std::to_wstring(keyShift) : std::to_wstring(keyShift);
}

void MidiFileEntry::UpdateOutputPath() {
    const size_t start = NameStart(inputPath);
    std::wstring name = inputPath.substr(start);
    const std::wstring ext = list ? list->Extension() : L"";
    // As PathRenameExtension: the last dot of the name starts the extension.
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos)
        name.resize(dot);
    name += ext;
    const std::wstring folder = list ? list->Folder() : L"";
    std::wstring path;
    if (!folder.empty())
        path = (folder.back() == L'\\' ? folder : folder + L"\\") + name;
    else
        path = inputPath.substr(0, start) + name;
    if (path.size() >= kMaxPath)
        path.resize(kMaxPath - 1);
    outputPath = path;
}

MidiFileEntry& MidiFileList::Add(const std::wstring& inputPath) {
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const auto& e) { return SamePath(e->inputPath, inputPath); }),
                  entries.end());
    auto entry = std::make_unique<MidiFileEntry>();
    entry->inputPath = inputPath.substr(0, MidiFileEntry::kMaxPath - 1);
    entry->list = this;
    entries.push_back(std::move(entry));
    return *entries.back();
}

void MidiFileList::Remove(std::vector<std::size_t> indexes) {
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    for (auto it = indexes.rbegin(); it != indexes.rend(); ++it)
        if (*it < entries.size())
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(*it));
}

void MidiFileList::SetOutput(const std::wstring& folder_, const std::wstring& extension_) {
    folder = folder_;
    extension = extension_;
    for (auto& e : entries)
        e->UpdateOutputPath();
}

std::string MidiFileList::Export() const {
    std::string out = "\xEF\xBB\xBF";
    for (const auto& e : entries)
        out += base::Utf8FromWide(e->inputPath + L"|" + e->keyText) + "\r\n";
    return out;
}

void MidiFileList::Import(std::string_view bytes) {
    entries.clear();
    std::wstring text;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        text = base::WideFromUtf8(bytes.substr(3));
    } else if (IsValidUtf8(bytes)) {
        text = base::WideFromUtf8(bytes);
    } else {
        for (char c : bytes)
            text += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(L'\n', at);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        std::vector<std::wstring> pieces;
        size_t from = 0;
        for (size_t bar; (bar = line.find(L'|', from)) != std::wstring::npos; from = bar + 1)
            pieces.push_back(line.substr(from, bar - from));
        if (from < line.size())
            pieces.push_back(line.substr(from));
        if (pieces.empty())
            continue;
        std::wstring path = pieces[0];
        path.erase(std::remove(path.begin(), path.end(), L'"'), path.end());
        if (path.empty())
            continue; // no file to add
        MidiFileEntry& entry = Add(path);
        if (pieces.size() > 1)
            entry.SetKeyShift(ParseKeyField(pieces[1]));
    }
}

int ParseKeyField(std::wstring_view field) {
    size_t i = 0;
    while (i < field.size() && (field[i] == L' ' || field[i] == L'\t'))
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == L'+' || field[i] == L'-'))
        negative = field[i++] == L'-';
    long value = 0;
    for (; i < field.size() && field[i] >= L'0' && field[i] <= L'9'; ++i)
        value = std::min<long>(value * 10 + (field[i] - L'0'), 100000);
    return static_cast<int>(negative ? -value : value);
}

} // namespace hml::converter
