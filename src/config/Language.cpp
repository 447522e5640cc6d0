#include "config/Language.h"

#include "base/Utf8.h"
#include "config/Settings.h"

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <vector>

namespace hml::config {

using namespace hml::base;

CLanguage* language = nullptr;

namespace {

// Language files are a few kilobytes; a file beyond this is not one and is left unread.
constexpr std::uintmax_t kMaxFileSize = 16u << 20;

bool IsSpace(wchar_t c) {
    return std::iswspace(static_cast<wint_t>(c)) != 0;
}

std::wstring_view TrimView(std::wstring_view s) {
    while (!s.empty() && IsSpace(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsSpace(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
               return std::towlower(static_cast<wint_t>(x)) ==
                      std::towlower(static_cast<wint_t>(y));
           });
}

std::wstring ReplaceLineBreaks(std::wstring_view value) {
    std::wstring out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == L'\\' && i + 1 < value.size() && value[i + 1] == L'n') {
            out += L'\n';
            ++i;
        } else {
            out += value[i];
        }
    }
    return out;
}

std::string ReadFileBytes(const std::wstring& file) {
    std::error_code error;
    std::filesystem::path path(file);
    auto size = std::filesystem::file_size(path, error);
    if (error || size > kMaxFileSize) {
        return {};
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to) {
    for (std::size_t pos = text.find(from); pos != std::wstring::npos;
         pos = text.find(from, pos + to.size())) {
        text.replace(pos, from.size(), to);
    }
    return text;
}

} // namespace

void ParseLanguageSection(std::string_view bytes, const std::wstring& section, TextMap& texts) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
    }
    bool inSection = false;
    while (!bytes.empty()) {
        std::size_t end = bytes.find('\n');
        std::string_view raw = bytes.substr(0, end);
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);

        const std::wstring wide = base::WideFromUtf8(raw);
        std::wstring_view line = TrimView(wide);
        if (line.empty() || line.front() == L';') {
            continue;
        }
        const bool header = line.size() >= 2 && line.front() == L'[' && line.back() == L']';
        if (!inSection) {
            inSection = header && EqualsNoCase(line.substr(1, line.size() - 2), section);
            continue;
        }
        if (header) {
            return;
        }
        std::size_t equals = line.find(L'=');
        if (equals == std::wstring_view::npos) {
            continue;
        }
        std::wstring_view key = TrimView(line.substr(0, equals));
        std::wstring_view value = TrimView(line.substr(equals + 1));
        if (key.empty() || value.empty()) {
            continue;
        }
        texts[std::wstring(key)] = ReplaceLineBreaks(value);
    }
}

#ifdef _WIN32
constexpr wchar_t kPathSeparator = L'\\';
#else
constexpr wchar_t kPathSeparator = L'/';
#endif

CLanguage::CLanguage(const std::wstring& installFolder, std::uint32_t languageId_)
    : languageId(languageId_), languageFolder(installFolder + kPathSeparator + L"lang"),
      chosenFile(languageFolder + kPathSeparator + std::to_wstring(languageId) + L".lang"),
      englishFile(languageFolder + kPathSeparator + std::to_wstring(kEnglish) + L".lang") {}

void CLanguage::LoadSection(const std::wstring& section) {
    ParseLanguageSection(ReadFileBytes(englishFile), section, texts);
    if (languageId != kEnglish) {
        ParseLanguageSection(ReadFileBytes(chosenFile), section, texts);
    }
}

std::wstring FillPlaceholders(const std::wstring& text, const std::optional<std::wstring>& arg0,
                              const std::optional<std::wstring>& arg1,
                              const std::optional<std::wstring>& arg2) {
    const std::optional<std::wstring>* args[3] = {&arg0, &arg1, &arg2};
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool placeholder = text[i] == L'{' && i + 2 < text.size() && text[i + 2] == L'}' &&
                                 text[i + 1] >= L'0' && text[i + 1] <= L'2';
        if (placeholder && args[text[i + 1] - L'0']->has_value()) {
            out += **args[text[i + 1] - L'0'];
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::wstring CLanguage::Translate(const std::wstring& key, std::optional<std::wstring> arg0,
                                  std::optional<std::wstring> arg1,
                                  std::optional<std::wstring> arg2) const {
    auto found = texts.find(key);
    return FillPlaceholders(found == texts.end() ? key : found->second, arg0, arg1, arg2);
}

std::wstring CLanguage::Filter(const std::wstring& descriptionKey,
                               const std::wstring& pattern) const {
    return ReplaceAll(pattern, L"{0}", Translate(descriptionKey));
}

std::map<std::uint32_t, std::wstring> CLanguage::ListLanguages() const {
    std::map<std::uint32_t, std::wstring> languages;
    std::error_code error;
    std::vector<std::filesystem::path> files;
    for (std::filesystem::directory_iterator it(std::filesystem::path(languageFolder), error), end;
         !error && it != end; it.increment(error)) {
        std::wstring extension = it->path().extension().wstring();
        if (EqualsNoCase(extension, L".lang")) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        std::uint64_t id = 0;
        for (wchar_t c : file.stem().wstring()) {
            if (c < L'0' || c > L'9') {
                break;
            }
            id = std::min<std::uint64_t>(id * 10 + static_cast<std::uint64_t>(c - L'0'),
                                         0xFFFFFFFFu);
        }
        if (id == 0) {
            continue;
        }
        TextMap info;
        ParseLanguageSection(ReadFileBytes(file.wstring()), L"info", info);
        auto name = info.find(L"language");
        if (name != info.end() && !name->second.empty()) {
            languages[static_cast<std::uint32_t>(id)] = name->second;
        }
    }
    return languages;
}

void FreeLanguage() {
    delete language;
    language = nullptr;
}

void LoadLanguage() {
    FreeLanguage();
    language = new CLanguage(settings ? settings->InstallFolder() : std::wstring(),
                             settings ? settings->langID.Get() : CLanguage::kEnglish);
    language->LoadSection(L"common");
    language->LoadSection(L"synth");
}

std::wstring Translate(const std::wstring& key, std::optional<std::wstring> arg0,
                       std::optional<std::wstring> arg1, std::optional<std::wstring> arg2) {
    if (!language) {
        return FillPlaceholders(key, arg0, arg1, arg2);
    }
    return language->Translate(key, std::move(arg0), std::move(arg1), std::move(arg2));
}

std::wstring ToDialogFilter(std::wstring filter) {
    std::replace(filter.begin(), filter.end(), L'|', L'\0');
    return filter;
}

} // namespace hml::config
