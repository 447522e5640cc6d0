#include "configurator/DebugReport.h"

#include "base/Utf8.h"

#include <fstream>
#include <system_error>

namespace hml::configurator {

namespace {

std::wstring Underline(std::size_t length) {
    return std::wstring(length, L'=') + L"\n";
}

std::wstring Heading(const std::wstring& title, std::size_t underline) {
    return title + L"\n" + Underline(underline);
}

} // namespace

std::vector<std::wstring> ReportedConfigLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') {
            line.pop_back();
        }
        if (!line.empty() && line[0] != L';') {
            lines.push_back(line);
        }
        start = end + 1;
    }
    return lines;
}

std::wstring FormatDebugReport(const DebugReportInput& input) {
    std::wstring out = Heading(L"Status", 6);
    std::wstring status = input.status;
    for (std::size_t at = 0; (at = status.find(L"\r\n", at)) != std::wstring::npos;) {
        status.erase(at, 1);
        ++at;
    }
    out += status + L"\n";

    out += Heading(L"Soundfonts", 10);
    for (const config::SoundFontEntry& entry : input.soundFonts) {
        out += L"filename: " + entry.filename + L"\n";
        out += L"enabled: " + std::to_wstring(entry.enabled) + L", preload: " +
               std::to_wstring(entry.preload) + L", bank: " + std::to_wstring(entry.bank) +
               L", preset: " + std::to_wstring(entry.preset) + L"\n";
    }
    out += L"\n";

    out += Heading(L"MIDI Devices (" + input.architecture + L")", 18);
    for (std::size_t i = 0; i < input.midiDevices.size(); ++i) {
        out += L"[" + std::to_wstring(i) + L"]: " + input.midiDevices[i] + L"\n";
    }
    out += L"\n";

    out += Heading(L"Audio Devices (" + input.architecture + L")", 19);
    for (std::size_t i = 0; i < input.audioDevices.size(); ++i) {
        out += L"[" + std::to_wstring(i + 1) + L"]: " + input.audioDevices[i] + L"\n";
    }
    out += L"\n";

    out += Heading(L"Configuration file", 72);
    if (input.configText) {
        for (const std::wstring& line : ReportedConfigLines(*input.configText)) {
            out += line + L"\n";
        }
    } else {
        out += L"Can't open configuration file: " + input.configPath + L"\n";
    }
    out += Underline(72) + L"\n";

    out += Heading(L"Registry keys", 23);
    out += input.registry;
    return out;
}

std::wstring DecodeTextFile(const std::string& bytes,
                            std::wstring (*fallback)(const std::string&)) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string units;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           static_cast<unsigned char>(bytes[i + 1]) << 8);
        }
        if constexpr (sizeof(wchar_t) == 2) {
            return std::wstring(units.begin(), units.end());
        }
        // Natively wchar_t holds whole code points: join the surrogate pairs.
        std::wstring text;
        for (std::size_t i = 0; i < units.size(); ++i) {
            char32_t unit = units[i];
            if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
                units[i + 1] < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00);
                ++i;
            }
            text += static_cast<wchar_t>(unit);
        }
        return text;
    }
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        return base::WideFromUtf8(std::string_view(bytes).substr(3));
    }
    if (fallback) {
        return fallback(bytes);
    }
    return base::WideFromUtf8(bytes);
}

bool WriteUtf8TextFile(const std::filesystem::path& path, const std::wstring& text) {
    std::string bytes = "\xEF\xBB\xBF";
    const std::string utf8 = base::Utf8FromWide(text);
    bytes.reserve(utf8.size() + utf8.size() / 16 + 3);
    for (char c : utf8) {
        if (c == '\n') {
            bytes += '\r';
        }
        bytes += c;
    }
    std::filesystem::path temporary = path;
    temporary += L".tmp";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (!file || !file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) ||
            !file.flush()) {
            file.close();
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

} // namespace hml::configurator
