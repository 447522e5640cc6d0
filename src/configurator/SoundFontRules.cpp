#include "configurator/SoundFontRules.h"

#include "audio/sf2/CSoundFont.h"
#include "config/Language.h"

#include <algorithm>
#include <cwctype>
#include <filesystem>

namespace hml::configurator {

using config::SoundFontEntry;
using config::Translate;

namespace {

constexpr std::size_t kMaxPath = 259;

bool Contains(const char* text, const char* part) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.find(part) != std::string::npos;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](wchar_t x, wchar_t y) { return std::towlower(x) == std::towlower(y); });
}

// The font's texts are 8-bit; shown byte for byte.
std::wstring Widen8(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

std::uint64_t SizeOf(const std::wstring& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(std::filesystem::path(path), error);
    return error ? 0 : size;
}

std::wstring Trimmed(const std::wstring& text) {
    const auto first = text.find_first_not_of(L" \t\r\n");
    const auto last = text.find_last_not_of(L" \t\r\n");
    return first == std::wstring::npos ? std::wstring() : text.substr(first, last - first + 1);
}

} // namespace

std::uint32_t AllPortsMask(std::uint32_t portCount) {
    return portCount >= 32 ? 0xFFFFFFFFu : (1u << portCount) - 1u;
}

SoundFontEntry NewSoundFontEntry(const std::wstring& path, std::uint32_t portCount) {
    SoundFontEntry entry;
    entry.filename = path.substr(0, kMaxPath);
    entry.enabled = AllPortsMask(portCount);
    entry.xgdrums = DetectXgDrums(entry.filename) ? 1 : 0;
    entry.fileSize = SizeOf(entry.filename);
    return entry;
}

bool LooksLikeXgDrums(const char* standardName, const char* roomName) {
    return standardName && roomName && Contains(standardName, "standard") &&
           Contains(roomName, "room") && !Contains(standardName, "gs") && !Contains(roomName, "gs");
}

bool DetectXgDrums(const std::wstring& path) {
    audio::EError error = audio::EError::Ok;
    auto font = audio::CSoundFont::Open(path, audio::FontFlags::Unicode, error);
    if (!font) {
        return false;
    }
    return LooksLikeXgDrums(font->GetPresetName(0, 127), font->GetPresetName(8, 127));
}

std::uint32_t ClickPort(std::uint32_t mask, std::uint32_t port, bool ctrl,
                        std::uint32_t portCount) {
    const std::uint32_t bit = 1u << port;
    if (!ctrl) {
        return mask ^ bit;
    }
    return (mask & bit) ? 0 : AllPortsMask(portCount);
}

std::optional<std::size_t> FindDuplicate(const std::vector<SoundFontEntry>& list) {
    for (std::size_t j = 1; j < list.size(); ++j) {
        for (std::size_t i = 0; i < j; ++i) {
            const SoundFontEntry& a = list[i];
            const SoundFontEntry& b = list[j];
            if (a.enabled != 0 && b.enabled != 0 && a.bank == b.bank && a.preset == b.preset &&
                SameText(a.filename, b.filename)) {
                return j;
            }
        }
    }
    return std::nullopt;
}

std::wstring EntryText(const SoundFontEntry& entry) {
    const std::wstring preset =
        entry.preset == -1 ? Translate(L"common.all") : std::to_wstring(entry.preset);
    std::wstring text = entry.filename + L"\n" + Translate(L"cfg.sf.preload") + L": " +
                        Translate(entry.preload ? L"common.yes" : L"common.no") + L" - " +
                        Translate(L"cfg.sf.preset") + L": " + preset + L" - " +
                        Translate(L"cfg.sf.bank") + L": " + std::to_wstring(entry.bank) + L" - " +
                        Translate(L"cfg.sf.volume") + L": " + std::to_wstring(entry.volume) +
                        L"% - " + Translate(L"cfg.sf.size") + L": " +
                        std::to_wstring(entry.fileSize / 1048576u) + L" MB";
    return text.substr(0, 409);
}

std::wstring FontDetailsText(const std::wstring& path) {
    audio::EError error = audio::EError::Ok;
    auto font = audio::CSoundFont::Open(path, audio::FontFlags::Unicode, error);
    if (!font) {
        return {};
    }
    const audio::SFontInfo info = font->GetInfo();
    std::wstring text = L"Name: " + Widen8(info.name) + L"\r\n";
    text += L"Copyright: " + Widen8(info.copyright) + L"\r\n";
    text += L"Comment: " + Widen8(info.comment) + L"\r\n";
    text += L"Sample data size: " + std::to_wstring(info.sampleDataSize) + L" bytes\r\n";
    text += std::wstring(L"Compressed samples: ") + (info.sampleType != 0 ? L"Yes" : L"No") +
            L"\r\n\r\n";
    if (font->IsInstrument()) {
        // An SFZ file is one instrument; the list entry gives it its bank and program.
        text += L"SFZ instrument with " + std::to_wstring(info.regionCount) + L" regions:\r\n";
        text += std::wstring(34, L'-') + L"\r\n" + Widen8(info.name) + L"\r\n";
        if (font->UnknownOpcodes() != 0) {
            text += L"\r\nOpcodes this player does not know (skipped): " +
                    std::to_wstring(font->UnknownOpcodes()) + L"\r\n";
        }
        return Trimmed(text);
    }
    text += L"Soundfont contains " + std::to_wstring(info.presetCount) + L" presets:\r\n";
    text += L"(bank:preset = name)\r\n" + std::wstring(34, L'-') + L"\r\n";
    for (std::uint32_t value : font->GetPresets()) {
        const int preset = static_cast<int>(value & 0xFFFF);
        const int bank = static_cast<int>(value >> 16);
        const char* name = font->GetPresetName(preset, bank);
        text += std::to_wstring(bank) + L":" + std::to_wstring(preset) + L" = " +
                Widen8(name ? name : "") + L"\r\n";
    }
    return Trimmed(text);
}

std::int32_t ParseNumber(const std::wstring& text) {
    std::size_t i = 0;
    while (i < text.size() && std::iswspace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) {
        negative = text[i] == L'-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = std::min<std::int64_t>(value * 10 + (text[i] - L'0'), 1'000'000'000);
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

EditorValues NormaliseEditorValues(std::int32_t preset, std::int32_t bank, std::int32_t volume) {
    EditorValues v;
    v.preset = std::clamp(preset, -1, 127);
    v.bank = v.preset == -1 ? std::clamp(bank, -128, 127) : std::clamp(bank, 0, 127);
    v.volume = std::clamp(volume, 0, 500);
    return v;
}

int CyclePage(int current, int count, bool backwards) {
    if (count <= 0) {
        return -1;
    }
    if (current < 0 || current >= count) {
        return backwards ? count - 1 : 0;
    }
    return backwards ? (current + count - 1) % count : (current + 1) % count;
}

} // namespace hml::configurator
