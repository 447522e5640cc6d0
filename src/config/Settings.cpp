#include "config/Settings.h"

#include "config/ProfileText.h"

#include <utility>

namespace hml::config {

CSettings* settings = nullptr;

CIntSetting::CIntSetting(std::uint32_t defaultValue_, CSettings& owner_, const wchar_t* section_,
                         const wchar_t* key_, bool* changeFlag_, std::uint32_t minimum_,
                         std::uint32_t maximum_)
    : defaultValue(defaultValue_), value(defaultValue_), owner(owner_), section(section_),
      key(key_), changeFlag(changeFlag_), minimum(minimum_), maximum(maximum_) {}

std::uint32_t CIntSetting::Get() {
    if (!read.load(std::memory_order_acquire)) {
        std::uint32_t r = owner.ReadInt(section, key, static_cast<std::int32_t>(defaultValue));
        value.store(ClampUnsigned(r, minimum, maximum), std::memory_order_relaxed);
        read.store(true, std::memory_order_release);
    }
    return value.load(std::memory_order_relaxed);
}

void CIntSetting::Set(std::uint32_t v) {
    if (read.load(std::memory_order_acquire) && value.load(std::memory_order_relaxed) == v) {
        return;
    }
    if (v == defaultValue) {
        owner.WriteString(section, key, nullptr);
    } else {
        v = ClampUnsigned(v, minimum, maximum);
        std::wstring text = SignedText(v);
        owner.WriteString(section, key, &text);
    }
    if (changeFlag) {
        *changeFlag = true;
    }
    value.store(v, std::memory_order_relaxed);
}

CStringSetting::CStringSetting(const wchar_t* defaultValue_, CSettings& owner_,
                               const wchar_t* section_, const wchar_t* key_, bool* changeFlag_)
    : defaultValue(defaultValue_), value(defaultValue_), owner(owner_), section(section_),
      key(key_), changeFlag(changeFlag_) {}

std::wstring CStringSetting::Get() {
    std::lock_guard<std::mutex> guard(lock);
    if (!read) {
        value = owner.ReadWholeString(section, key, defaultValue);
        read = true;
    }
    return value;
}

void CStringSetting::Reread() {
    std::lock_guard<std::mutex> guard(lock);
    read = false;
}

void CStringSetting::Set(const std::wstring& s) {
    // What the file can hold: a line break would end the value there.
    std::wstring stored = UpToLineBreak(s);
    std::lock_guard<std::mutex> guard(lock);
    if (read && value == stored) {
        return;
    }
    owner.WriteString(section, key, stored == defaultValue ? nullptr : &stored);
    if (changeFlag) {
        *changeFlag = true;
    }
    value = stored;
}

CSettings::CSettings(std::unique_ptr<IProfileStore> store_, std::wstring installFolder_,
                     std::wstring configFile_)
    : openStatus(0, *this, L"Mixer", L"OpenStatus", nullptr, 0, kNoUpperLimit),
      topMost(0, *this, L"Mixer", L"TopMost", nullptr, 0, 1),
      soloRatio(20, *this, L"Mixer", L"SoloRatio", nullptr, 0, 100),
      showMixer(1613, *this, L"Shortcuts", L"ShowMixer", &hotkeysChanged, 0, kNoUpperLimit),
      midiPanic(1568, *this, L"Shortcuts", L"MIDIPanic", &hotkeysChanged, 0, kNoUpperLimit),
      enableHardwareMixer(1, *this, L"Advanced", L"EnableHardwareMixer", &audioChanged, 0, 1),
      reverbLevel(64, *this, L"Advanced", L"ReverbLevel", &audioChanged, 0, 127),
      chorusLevel(64, *this, L"Advanced", L"ChorusLevel", &audioChanged, 0, 127),
      reverbChorusOverride(1, *this, L"Advanced", L"ReverbChorusOverride", &audioChanged, 0, 1),
      cpuLimit(95, *this, L"Advanced", L"CpuLimit", &audioChanged, 0, 100),
      disableMidiEffects(0, *this, L"Advanced", L"DisableMidiEffects", &audioChanged, 0, 1),
      disableStereo(0, *this, L"Advanced", L"DisableStereo", &audioChanged, 0, 1),
      outputSampleRate(48000, *this, L"Advanced", L"OutputSampleRate", &audioChanged, 0,
                       kNoUpperLimit),
      force8BitSamples(0, *this, L"Advanced", L"Force8BitSamples", &audioChanged, 0, 1),
      disableVUMeter(0, *this, L"Advanced", L"DisableVUMeter", &vuMeterChanged, 0, 1),
      snapWindows(1, *this, L"Advanced", L"SnapWindows", nullptr, 0, 1),
      additionalBuffer(250, *this, L"Advanced", L"AdditionalBuffer", &audioChanged, 0, 1000),
      releaseOnlyLast(0, *this, L"Advanced", L"ReleaseOnlyLast", &audioChanged, 0, 1),
      sincInterpolatedMix(0, *this, L"Advanced", L"SincInterpolatedMix", &audioChanged, 0, 1),
      checkFrequency(0, *this, L"Update", L"CheckFrequency", nullptr, 0, 180),
      lastCheck(L"1900-01-01", *this, L"Update", L"LastCheck", nullptr),
      lastNotify(L"1900-01-01", *this, L"Update", L"LastNotify", nullptr),
      lastVersionFound(L"", *this, L"Update", L"LastVersionFound", nullptr),
      lastVersionURL(L"", *this, L"Update", L"LastVersionURL", nullptr),
      outputFolder(L"", *this, L"MidiConverter", L"OutputFolder", nullptr),
      outputFormat(0, *this, L"MidiConverter", L"OutputFormat", nullptr, 0, kNoUpperLimit),
      encoderOptions(L"", *this, L"MidiConverter", L"EncoderOptions", nullptr),
      skipInitialSilence(0, *this, L"MidiConverter", L"SkipInitialSilence", nullptr, 0, 1),
      langID(1033, *this, L"Advanced", L"LangID", &languageChanged, 0, kNoUpperLimit),
      devicesCount(1, *this, L"Advanced", L"DevicesCount", &portCountChanged, 1, 4),
      voicesLimit(500, *this, L"Advanced", L"VoicesLimit", &audioChanged, 16, 100000),
      watchdogTimeout(8000, *this, L"Advanced", L"WatchdogTimeout", nullptr, 4000, 60000),
      clientBlacklist(L"", *this, L"Advanced", L"ClientBlacklist", nullptr),
      outputDevice(L"1", *this, L"Advanced", L"OutputDevice", &audioChanged),
      store(std::move(store_)), installFolder(std::move(installFolder_)),
      configFile(std::move(configFile_)) {
    if (!configFile.empty()) {
        Load();
    }
}

CSettings::~CSettings() = default;

void CSettings::Load() {
    ReadSoundFonts(soundFonts);
    outputDevices = ParseOutputDevices(outputDevice.Get(), devicesCount.Get());
    loaded = true;
}

const std::wstring& CSettings::FileOrConfig(const std::wstring& file) const {
    return file.empty() ? configFile : file;
}

std::uint32_t CSettings::ReadInt(const wchar_t* section, const std::wstring& key, std::int32_t def,
                                 const std::wstring& suffix, const std::wstring& file) {
    return store->ReadInt(section, key + suffix, def, FileOrConfig(file));
}

std::wstring CSettings::ReadString(const wchar_t* section, const std::wstring& key,
                                   const std::wstring& def, std::size_t capacity,
                                   const std::wstring& suffix, const std::wstring& file) {
    return store->ReadString(section, key + suffix, def, capacity, FileOrConfig(file));
}

bool CSettings::WriteString(const wchar_t* section, const std::wstring& key,
                            const std::wstring* value, const std::wstring& suffix,
                            const std::wstring& file) {
    return store->WriteString(section, key + suffix, value, FileOrConfig(file));
}

std::wstring CSettings::ReadWholeString(const wchar_t* section, const std::wstring& key,
                                        const std::wstring& def, const std::wstring& file) {
    std::size_t capacity = 100;
    std::wstring text = ReadString(section, key, def, capacity, {}, file);
    while (text.size() == capacity - 1) {
        capacity *= 2;
        text = ReadString(section, key, def, capacity, {}, file);
    }
    return text;
}

std::uint32_t CSettings::PortMask() {
    return (1u << devicesCount.Get()) - 1;
}

void CSettings::WriteOutputDevices() {
    outputDevice.Set(FormatOutputDevices(outputDevices, devicesCount.Get()));
}

std::wstring CSettings::PortDisplayName(std::uint32_t portIndex) {
    return config::PortDisplayName(portIndex);
}

} // namespace hml::config
