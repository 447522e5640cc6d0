// Parses the RIFF structure of a SoundFont 2 file into an SModel. Every length and index read
// from the file is checked before use: truncated, oversized or hostile input yields FileForm.
#pragma once

#include "audio/Audio.h"
#include "audio/sf2/Sf2Model.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace hml::audio::sf2 {

class CSf2Parser {
public:
    // `data` holds the whole file. The sample data stays in the file: the model records where.
    static EError Parse(const uint8_t* data, size_t size, SModel& out, std::string* why = nullptr);
};

} // namespace hml::audio::sf2
