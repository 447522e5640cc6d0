// Reading and writing the SoundFont list, in the configuration or in an exported list file.

#include "config/ProfileText.h"
#include "config/Settings.h"

namespace hml::config {

namespace {

constexpr const wchar_t* kSection = L"SoundFonts";
constexpr std::size_t kPathCapacity = 260;

std::wstring EntryKey(std::size_t index) {
    return L"sf" + std::to_wstring(index);
}

std::wstring OptionKey(std::size_t index, const wchar_t* option) {
    return EntryKey(index) + L"." + option;
}

} // namespace

void CSettings::ReadSoundFonts(std::vector<SoundFontEntry>& target, const std::wstring& file) {
    target.clear();
    const std::uint32_t mask = PortMask();
    for (std::size_t i = 1;; ++i) {
        std::wstring name = ReadString(kSection, EntryKey(i), L"", kPathCapacity, {}, file);
        if (name.empty()) {
            break;
        }
        if (name == L"*") {
            // A disabled entry without a file: kept, it would be saved as an empty name, which
            // ends the list on the next read and loses every entry after it.
            continue;
        }
        SoundFontEntry entry;
        if (name[0] == L'*') {
            // The older form of a disabled entry; its options were never stored.
            entry.filename = name.substr(1);
        } else {
            entry.filename = name;
            auto option = [&](const wchar_t* key, std::int32_t def) {
                return ReadInt(kSection, OptionKey(i, key), def, {}, file);
            };
            entry.enabled = option(L"enabled", 0) & mask;
            entry.bank = option(L"bank", 0);
            entry.preset = static_cast<std::int32_t>(option(L"preset", -1));
            entry.preload = option(L"preload", 1);
            entry.volume = option(L"volume", 100);
            entry.xgdrums = option(L"xgdrums", 0);
        }
        entry.fileSize = store->FileSize(entry.filename).value_or(0);
        target.push_back(std::move(entry));
    }
}

bool CSettings::WriteSoundFonts(std::vector<SoundFontEntry>& source, const std::wstring& file) {
    store->RemoveSection(kSection, FileOrConfig(file));
    const std::uint32_t mask = PortMask();
    for (std::size_t n = 0; n < source.size(); ++n) {
        SoundFontEntry& entry = source[n];
        const std::size_t i = n + 1;
        WriteString(kSection, EntryKey(i), &entry.filename, {}, file);
        entry.enabled &= mask;
        auto option = [&](const wchar_t* key, std::uint32_t v, bool isDefault) {
            if (!isDefault) {
                std::wstring text = SignedText(v);
                WriteString(kSection, OptionKey(i, key), &text, {}, file);
            }
        };
        option(L"enabled", entry.enabled, entry.enabled == 0);
        option(L"bank", entry.bank, entry.bank == 0);
        option(L"preset", static_cast<std::uint32_t>(entry.preset), entry.preset == -1);
        option(L"preload", entry.preload, entry.preload != 0);
        option(L"volume", entry.volume, entry.volume == 100);
        option(L"xgdrums", entry.xgdrums, entry.xgdrums == 0);
    }
    return true;
}

} // namespace hml::config
