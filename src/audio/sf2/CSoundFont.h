// A loaded SoundFont, shared by every stream that plays it (and freed when the last user lets
// go, so freeing a font while a stream still renders it is safe). The model is immutable after
// Open; volume and the per-preset residency flags are the only things that change, atomically.
// SF2 sample data stays in a read-only mapping of the file (SF3 samples are decoded at Open); a
// preset's pages are brought in by Load (preload) or, after a program change asks for it, by the
// font's own loader thread, so the render thread rarely meets a page that is not resident yet.
#pragma once

#include "audio/Audio.h"
#include "audio/sf2/CMappedFile.h"
#include "audio/sf2/Sf2Model.h"

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hml::audio {

struct SFontInfo {
    std::string name;
    std::string copyright;
    std::string comment;
    uint32_t sampleDataSize = 0; // bytes of sample data (16-bit plus the 24-bit low bytes)
    uint32_t sampleType = 0;     // 0 = PCM
    uint32_t presetCount = 0;
    uint32_t regionCount = 0; // an SFZ instrument's regions; 0 for SoundFont 2
};

class CSoundFont {
public:
    // Control thread. Missing or unreadable file: FileOpen; not a SoundFont: FileForm.
    static std::shared_ptr<CSoundFont> Open(const std::filesystem::path& path, uint32_t flags,
                                            EError& error);
    static std::shared_ptr<CSoundFont> Open(const std::string& utf8Path, uint32_t flags,
                                            EError& error);
    static std::shared_ptr<CSoundFont> Open(const std::wstring& path, uint32_t flags,
                                            EError& error);
    // An SFZ instrument: one preset, bank 0 program 0, which list entries place anywhere.
    static std::shared_ptr<CSoundFont> OpenSfz(const std::filesystem::path& path, uint32_t flags,
                                               EError& error, std::string* why = nullptr);
    // The font keeps the bytes; used for fonts built in memory.
    static std::shared_ptr<CSoundFont> OpenMemory(std::vector<uint8_t> bytes, uint32_t flags,
                                                  EError& error);

    void SetVolume(float factor) { volume.store(factor < 0 ? 0.0f : factor); }
    float GetVolume() const { return volume.load(std::memory_order_relaxed); }

    // Brings the sample data of every preset (-1, -1), of one bank (-1, bank) or of one preset
    // into memory now rather than on first use. NotAvail when nothing matches.
    EError Load(int preset, int bank);
    // The mapping stays; pages the system may drop. NotAvail when nothing matches.
    EError Unload(int preset, int bank);

    SFontInfo GetInfo() const;
    // Preset number in the low 16 bits, bank in the high 16 bits, in file order.
    std::vector<uint32_t> GetPresets() const;
    // Null when the font has no such preset.
    const char* GetPresetName(int preset, int bank) const;

    bool IsInstrument() const { return instrument; }
    size_t UnknownOpcodes() const { return unknownOpcodes; }
    bool XgDrums() const { return (flags & FontFlags::XgDrums) != 0; }
    bool IsPresetLoaded(int preset, int bank) const;

    // Render thread: asks the loader thread to bring a preset's samples in. Lock-free.
    void RequestPreset(const sf2::SPreset* preset) const;
    ~CSoundFont();
    CSoundFont(const CSoundFont&) = delete;
    CSoundFont& operator=(const CSoundFont&) = delete;

    // Render side: lock-free lookups into the immutable model.
    const sf2::SPreset* FindPreset(int bank, int preset) const;
    const sf2::SModel& Model() const { return model; }
    const uint8_t* Samples16() const { return samples16; }
    const uint8_t* Samples24() const {
        return model.sm24Offset ? bytes + model.sm24Offset : nullptr;
    }

private:
    CSoundFont() = default;
    static std::shared_ptr<CSoundFont> Finish(std::shared_ptr<CSoundFont> font, uint32_t flags,
                                              EError& error);
    static std::shared_ptr<CSoundFont> Index(std::shared_ptr<CSoundFont> font, uint32_t flags);
    template <class F> bool ForPresets(int preset, int bank, F&& f) const;
    void Touch(const sf2::SPreset& p) const;
    void LoaderMain();

    enum EResidency : uint8_t { NotLoaded, Wanted, Loaded };

    std::unique_ptr<CMappedFile> file;
    std::vector<uint8_t> memory;
    // SF3: the samples decoded at load; the file is then let go.
    std::vector<int16_t> decoded;
    const uint8_t* bytes = nullptr;
    const uint8_t* samples16 = nullptr;
    bool compressed = false;
    size_t size = 0;
    sf2::SModel model;
    std::shared_ptr<const void> sampleFiles; // what the samples of an SFZ instrument point into
    bool instrument = false;
    uint32_t regions = 0;
    size_t unknownOpcodes = 0;
    std::vector<uint32_t> presetKeys; // sorted (bank << 8 | preset) << 16 | index
    uint32_t flags = 0;
    std::atomic<float> volume{1.0f};
    std::unique_ptr<std::atomic<uint8_t>[]> residency; // EResidency per preset
    mutable std::atomic<bool> pending{false};
    std::atomic<bool> stopLoader{false};
    mutable std::condition_variable wake;
    std::mutex wakeLock;
    std::thread loader;
};

using PSoundFont = std::shared_ptr<CSoundFont>;

} // namespace hml::audio
