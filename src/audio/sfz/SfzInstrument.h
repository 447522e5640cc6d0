// Builds the model an SFZ instrument plays through: one preset holding one instrument whose zones
// are the regions, with SoundFont 2 generators and modulators wherever the two formats agree and
// a region rule (triggers, groups, round robins, switches) where they do not. Sample files are
// decoded once and shared by every instrument that names them while any of them is loaded.
#pragma once

#include "audio/Audio.h"
#include "audio/sf2/Sf2Model.h"
#include "audio/sfz/SfzParser.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace hml::audio::sfz {

// One channel of a decoded sample file at 24 bits: high 16 bits little-endian, then low bytes.
struct SSampleData {
    std::vector<uint8_t> pcm16[2];
    std::vector<uint8_t> low8[2];
    uint32_t frames = 0;
    uint32_t rate = 44100;
    uint16_t channels = 1;
    bool hasLoop = false;
    uint32_t loopStart = 0, loopEnd = 0;
    int rootKey = -1;
};

using PSampleData = std::shared_ptr<const SSampleData>;

struct SInstrument {
    sf2::SModel model;
    std::vector<PSampleData> samples; // the model's samples point into these
    size_t regions = 0;               // regions that play
    size_t skippedRegions = 0;        // regions without a readable sample
    size_t unknownOpcodes = 0;
};

// Decodes a sample file, or returns the copy another instrument already holds.
PSampleData LoadSample(const std::filesystem::path& file, std::string& error);

using FLoadSample = PSampleData (*)(const std::filesystem::path& file, std::string& error);

// Maps parsed regions into `out`; `dir` resolves their sample paths. FileForm when no region
// can play.
EError BuildInstrument(const SParsed& parsed, const std::filesystem::path& dir,
                       const std::string& name, SInstrument& out, std::string* why = nullptr,
                       FLoadSample load = LoadSample);

// Reads and builds an .sfz file. FileOpen when it cannot be read, FileForm when it is malformed.
EError LoadInstrument(const std::filesystem::path& file, SInstrument& out,
                      std::string* why = nullptr);

} // namespace hml::audio::sfz
