#pragma once
// The configuration of the synth: one typed record per key of "Harmolith.conf", the SoundFont
// list, the output device of each port and the flags that tell the running synth what to re-apply.

#include "config/ProfileStore.h"
#include "config/SoundFontEntry.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct HWND__; // a window, without pulling <windows.h> into every user

namespace hml::config {

class CSettings;

// An unsigned integer key. Get reads the file once and serves the cached, clamped value after that;
// Set writes (or removes the key when the value is the default) and raises the change flag.
class CIntSetting {
public:
    CIntSetting(std::uint32_t defaultValue, CSettings& owner, const wchar_t* section,
                const wchar_t* key, bool* changeFlag, std::uint32_t minimum, std::uint32_t maximum);
    CIntSetting(const CIntSetting&) = delete;
    CIntSetting& operator=(const CIntSetting&) = delete;

    std::uint32_t Get();
    void Set(std::uint32_t v);
    std::uint32_t Default() const { return defaultValue; }

private:
    const std::uint32_t defaultValue;
    std::atomic<std::uint32_t> value;
    CSettings& owner;
    const wchar_t* const section;
    const wchar_t* const key;
    std::atomic<bool> read{false};
    bool* const changeFlag;
    const std::uint32_t minimum;
    const std::uint32_t maximum;
};

// A string key, read and written like CIntSetting. Reads are never cut, however long the text.
class CStringSetting {
public:
    CStringSetting(const wchar_t* defaultValue, CSettings& owner, const wchar_t* section,
                   const wchar_t* key, bool* changeFlag);
    CStringSetting(const CStringSetting&) = delete;
    CStringSetting& operator=(const CStringSetting&) = delete;

    std::wstring Get();
    void Set(const std::wstring& s);
    const std::wstring& Default() const { return defaultValue; }
    // The next Get reads the file again (another writer, such as the update checker's thread of
    // an earlier run, may have changed it).
    void Reread();

private:
    const std::wstring defaultValue;
    std::wstring value;
    CSettings& owner;
    const wchar_t* const section;
    const wchar_t* const key;
    bool read = false;
    bool* const changeFlag;
    std::mutex lock; // Get may run on any thread while the user-interface thread sets
};

class CSettings {
public:
    static constexpr const wchar_t* kProductName = L"Harmolith";
    static constexpr const wchar_t* kConfigFileName = L"Harmolith.conf";
    static constexpr const wchar_t* kRegistryKey = L"SOFTWARE\\Tarnwick Harmolith";
    static constexpr const wchar_t* kRegistryValue = L"path";
    static constexpr const wchar_t* kInitErrorCaption = L"Harmolith initialization error";

#ifdef _WIN32
    // Locates the configuration through the registry and checks the file; on failure shows the
    // reason and leaves loaded false.
    CSettings();
#endif
    // A configuration in the given installation folder and file, reached through store (tests and
    // tools). Reads the SoundFont list and the output devices when configFile is not empty.
    CSettings(std::unique_ptr<IProfileStore> store, std::wstring installFolder,
              std::wstring configFile);
    ~CSettings();
    CSettings(const CSettings&) = delete;
    CSettings& operator=(const CSettings&) = delete;

    IProfileStore& Store() {
        return *store;
    }
    const std::wstring& InstallFolder() const {
        return installFolder;
    }
    const std::wstring& ConfigFile() const {
        return configFile;
    }
    bool IsLoaded() const {
        return loaded;
    }

    // Private-profile access with an optional key suffix; an empty file means the configuration.
    std::uint32_t ReadInt(const wchar_t* section, const std::wstring& key, std::int32_t def,
                          const std::wstring& suffix = {}, const std::wstring& file = {});
    std::wstring ReadString(const wchar_t* section, const std::wstring& key,
                            const std::wstring& def, std::size_t capacity,
                            const std::wstring& suffix = {}, const std::wstring& file = {});
    bool WriteString(const wchar_t* section, const std::wstring& key, const std::wstring* value,
                     const std::wstring& suffix = {}, const std::wstring& file = {});
    // Reads a string of any length (the buffer grows until the text fits).
    std::wstring ReadWholeString(const wchar_t* section, const std::wstring& key,
                                 const std::wstring& def, const std::wstring& file = {});

    // The SoundFont list of a file (the configuration when file is empty). Reading clears target.
    void ReadSoundFonts(std::vector<SoundFontEntry>& target, const std::wstring& file = {});
    void ReadSoundFonts() {
        ReadSoundFonts(soundFonts);
    }
    // Masks every entry's ports to the port count (stored back into the entries). Returns true.
    bool WriteSoundFonts(std::vector<SoundFontEntry>& source, const std::wstring& file = {});
    bool WriteSoundFonts() {
        return WriteSoundFonts(soundFonts);
    }

    // "OutputDevice" rebuilt from outputDevices.
    void WriteOutputDevices();

#ifdef _WIN32
    // Window positions in section "Windows". Restore returns false when none was applied.
    bool RestoreWindowPosition(const std::wstring& key, HWND__* window, unsigned flags,
                               const std::wstring& suffix = {});
    void SaveWindowPosition(const std::wstring& key, HWND__* window,
                            const std::wstring& suffix = {});
#endif

    // "Harmolith #1" for the port with index 0.
    static std::wstring PortDisplayName(std::uint32_t portIndex);

    // Bit mask of the ports that exist ("DevicesCount" bits).
    std::uint32_t PortMask();

    std::vector<SoundFontEntry> soundFonts;
    std::array<std::uint32_t, 4> outputDevices{1, 1, 1, 1};

    bool audioChanged = false;
    bool hotkeysChanged = false;
    bool vuMeterChanged = false;
    bool languageChanged = false;
    bool portCountChanged = false;

    CIntSetting openStatus;
    CIntSetting topMost;
    CIntSetting soloRatio;
    CIntSetting showMixer;
    CIntSetting midiPanic;
    CIntSetting enableHardwareMixer;
    CIntSetting reverbLevel;
    CIntSetting chorusLevel;
    CIntSetting reverbChorusOverride;
    CIntSetting cpuLimit;
    CIntSetting disableMidiEffects;
    CIntSetting disableStereo;
    CIntSetting outputSampleRate;
    CIntSetting force8BitSamples;
    CIntSetting disableVUMeter;
    CIntSetting snapWindows;
    CIntSetting additionalBuffer;
    CIntSetting releaseOnlyLast;
    CIntSetting sincInterpolatedMix;
    CIntSetting checkFrequency;
    CStringSetting lastCheck;
    CStringSetting lastNotify;
    CStringSetting lastVersionFound;
    CStringSetting lastVersionURL;
    CStringSetting outputFolder;
    CIntSetting outputFormat;
    CStringSetting encoderOptions;
    CIntSetting skipInitialSilence;
    CIntSetting langID;
    CIntSetting devicesCount;
    CIntSetting voicesLimit;
    CIntSetting watchdogTimeout;
    CStringSetting clientBlacklist;
    CStringSetting outputDevice;

private:
    void Load();
    const std::wstring& FileOrConfig(const std::wstring& file) const;

    std::unique_ptr<IProfileStore> store;
    std::wstring installFolder;
    std::wstring configFile;
    bool loaded = false;
};

// The one settings object of the process; none before start-up and after clean-up.
extern CSettings* settings;

} // namespace hml::config
