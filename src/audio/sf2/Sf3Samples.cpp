#include "audio/sf2/Sf3Samples.h"

#include "audio/decode/DecodedAudio.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <utility>

namespace hml::audio::sf2 {

namespace {

// The guard of silence the SoundFont format asks for after each sample.
constexpr size_t kGuardFrames = 46;

int16_t ToPcm16(float v) {
    return static_cast<int16_t>(std::lrint(std::clamp(v * 32768.0f, -32768.0f, 32767.0f)));
}

} // namespace

bool HasCompressedSamples(const SModel& model) {
    return std::any_of(model.samples.begin(), model.samples.end(),
                       [](const SSample& s) { return (s.type & OggVorbisSample) != 0; });
}

bool DecodeCompressedSamples(const uint8_t* file, SModel& model, std::vector<int16_t>& pcm,
                             std::string& why) {
    pcm.clear();
    const uint8_t* smpl = file + model.smplOffset;
    // Stereo pairs and reused samples may name the same stream: decode it once.
    std::map<std::pair<uint32_t, uint32_t>, std::pair<uint32_t, uint32_t>> done;
    decode::SDecodedAudio audio;
    std::string error;
    for (SSample& s : model.samples) {
        const bool ogg = (s.type & OggVorbisSample) != 0;
        s.type = static_cast<uint16_t>(s.type & ~OggVorbisSample);
        uint32_t at = 0, frames = 0;
        auto known = done.find({s.start, s.end});
        if (known != done.end() && ogg) {
            std::tie(at, frames) = known->second;
        } else if (ogg) {
            if (s.end > s.start) {
                if (!decode::DecodeVorbis(smpl + s.start, s.end - s.start, audio, error)) {
                    why = "sample \"" + s.name + "\": " + error;
                    return false;
                }
                frames = static_cast<uint32_t>(audio.Frames());
            }
            if (pcm.size() + frames + kGuardFrames > UINT32_MAX) {
                why = "decoded samples exceed the SoundFont limit";
                return false;
            }
            at = static_cast<uint32_t>(pcm.size());
            // Channel 0 only: each SoundFont sample is mono, stereo is two linked samples.
            const size_t stride = audio.channels;
            for (uint32_t i = 0; i < frames; ++i)
                pcm.push_back(ToPcm16(audio.samples[i * stride]));
            pcm.insert(pcm.end(), kGuardFrames, 0);
            done[{s.start, s.end}] = {at, frames};
        } else {
            // An uncompressed sample in the same font: absolute positions in smpl.
            frames = s.end - s.start;
            at = static_cast<uint32_t>(pcm.size());
            const size_t first = pcm.size();
            pcm.resize(first + frames + kGuardFrames);
            std::memcpy(pcm.data() + first, smpl + size_t{s.start} * 2, size_t{frames} * 2);
            s.loopStart -= std::min(s.loopStart, s.start);
            s.loopEnd -= std::min(s.loopEnd, s.start);
        }
        // Loops are relative to the sample's own start; a loop outside it covers the sample.
        if (s.loopStart >= s.loopEnd || s.loopEnd > frames) {
            s.loopStart = 0;
            s.loopEnd = frames;
        }
        s.start = at;
        s.end = at + frames;
        s.loopStart += at;
        s.loopEnd += at;
    }
    model.smplFrames = static_cast<uint32_t>(pcm.size());
    model.smplBytes = pcm.size() * 2;
    model.sm24Offset = 0;
    return true;
}

} // namespace hml::audio::sf2
