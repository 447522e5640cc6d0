// Builds small SoundFont 2 files for tests: samples from arrays, instruments and presets with
// chosen generators and modulators. Also writes deliberately broken variants.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace hml::test {

struct SGenDef {
    uint16_t op;
    uint16_t raw; // amount as stored: signed value or lo | hi << 8 for ranges
};

inline SGenDef Gen(uint16_t op, int value) {
    return {op, static_cast<uint16_t>(static_cast<int16_t>(value))};
}
inline SGenDef Range(uint16_t op, int lo, int hi) {
    return {op, static_cast<uint16_t>(lo | (hi << 8))};
}

struct SModDef {
    uint16_t src = 0, dest = 0;
    int16_t amount = 0;
    uint16_t amtSrc = 0, trans = 0;
};

struct SZoneDef {
    std::vector<SGenDef> gens; // the instrument/sample link is appended by the writer
    std::vector<SModDef> mods;
    int link = -1; // instrument (preset zone) or sample (instrument zone); -1 global
};

// A preset of CSf2Writer::SinePresets: its bank, program and transposition.
struct SSinePreset {
    int bank, program, semitones;
};

class CSf2Writer {
public:
    // A font whose presets all play one looping 440 Hz sine on key 69 with an instant attack,
    // each transposed by its own semitones, so the pitch of key 69 tells which preset answered.
    // releaseTc is the volume release in timecents.
    static CSf2Writer SinePresets(const std::vector<SSinePreset>& presets, int releaseTc = -6000);

    int AddSample(const std::string& name, const std::vector<int16_t>& data, uint32_t rate,
                  int rootKey, uint32_t loopStart, uint32_t loopEnd, int correction = 0,
                  uint16_t type = 1, uint16_t link = 0);
    // An SF3 sample: an Ogg Vorbis stream, its loop relative to the decoded audio. A font with
    // one is written as version 3.
    int AddOggSample(const std::string& name, const std::vector<uint8_t>& ogg, uint32_t rate,
                     int rootKey, uint32_t loopStart, uint32_t loopEnd, uint16_t type = 0x11,
                     uint16_t link = 0);
    // 24-bit samples: the low bytes go into sm24 (all samples then need them; others get 0).
    void SetLowBytes(int sample, const std::vector<uint8_t>& low);
    int AddInstrument(const std::string& name, const SZoneDef& global,
                      const std::vector<SZoneDef>& zones);
    int AddPreset(const std::string& name, int preset, int bank, const SZoneDef& global,
                  const std::vector<SZoneDef>& zones);
    void SetInfo(const std::string& name, const std::string& copyright, const std::string& comment);

    std::vector<uint8_t> Build() const;
    void Write(const std::filesystem::path& path) const;

    static std::vector<int16_t> Sine(double cyclesPerFrame, size_t frames, double amplitude = 0.5);
    static std::vector<int16_t> Saw(int period, size_t frames, double amplitude = 0.5);

private:
    struct SSampleRec {
        std::string name;
        std::vector<int16_t> data;
        std::vector<uint8_t> low;
        uint32_t rate;
        int root, corr;
        uint32_t loopStart, loopEnd;
        uint16_t type, link;
        std::vector<uint8_t> ogg;
    };
    struct SItem {
        std::string name;
        int preset = 0, bank = 0;
        SZoneDef global;
        std::vector<SZoneDef> zones;
    };
    std::vector<SSampleRec> samples;
    std::vector<SItem> instruments, presets;
    std::string infoName = "Test font", infoCopyright, infoComment;
};

} // namespace hml::test
