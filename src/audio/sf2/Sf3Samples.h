// SF3 fonts keep each sample as an Ogg Vorbis stream in smpl. They are decoded once at load into
// 16-bit PCM laid out as an SF2 smpl chunk would be, so voices play them like any other sample.
#pragma once

#include "audio/sf2/Sf2Model.h"

#include <string>
#include <vector>

namespace hml::audio::sf2 {

bool HasCompressedSamples(const SModel& model);

// `file` is the whole font. Rewrites every sample of `model` (compressed or not) as frame
// positions in `pcm`, each followed by silence for interpolation, and clears the compressed
// flags. A stream that does not decode fails the whole font, with the sample's name in `why`.
bool DecodeCompressedSamples(const uint8_t* file, SModel& model, std::vector<int16_t>& pcm,
                             std::string& why);

} // namespace hml::audio::sf2
