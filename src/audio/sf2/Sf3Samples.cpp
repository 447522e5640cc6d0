#include "audio/sf2/Sf3Samples.h"

#include "audio/decode/DecodedAudio.h"
#include "base/Workers.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <thread>
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

namespace {

// One compressed stream of smpl and what it decodes to (channel 0, 16-bit).
struct SStream {
    uint32_t start = 0, end = 0;
    std::vector<int16_t> pcm;
    std::string error; // empty when it decoded
};

// Decodes every stream, spread over the processors: Vorbis decoding is most of an SF3's load.
void DecodeStreams(const uint8_t* smpl, std::vector<SStream>& streams) {
    std::atomic<size_t> next{0};
    const auto work = [&] {
        decode::SDecodedAudio audio;
        for (size_t i = next++; i < streams.size(); i = next++) {
            SStream& st = streams[i];
            if (st.end <= st.start)
                continue;
            if (!decode::DecodeVorbis(smpl + st.start, st.end - st.start, audio, st.error))
                continue;
            // Channel 0 only: each SoundFont sample is mono, stereo is two linked samples.
            const size_t stride = audio.channels, frames = audio.Frames();
            st.pcm.resize(frames);
            for (size_t f = 0; f < frames; ++f)
                st.pcm[f] = ToPcm16(audio.samples[f * stride]);
        }
    };
    const size_t workers = std::min<size_t>(
        streams.size(), std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 16));
    base::RunOnWorkers(workers, work);
}

} // namespace

bool DecodeCompressedSamples(const uint8_t* file, SModel& model, std::vector<int16_t>& pcm,
                             std::string& why) {
    pcm.clear();
    const uint8_t* smpl = file + model.smplOffset;
    // Stereo pairs and reused samples may name the same stream: decode it once.
    std::map<std::pair<uint32_t, uint32_t>, size_t> streamOf;
    std::vector<SStream> streams;
    for (const SSample& s : model.samples) {
        if ((s.type & OggVorbisSample) != 0 &&
            streamOf.emplace(std::pair{s.start, s.end}, streams.size()).second)
            streams.push_back({s.start, s.end, {}, {}});
    }
    DecodeStreams(smpl, streams);

    size_t total = 0;
    for (const SStream& st : streams)
        total += st.pcm.size() + kGuardFrames;
    for (const SSample& s : model.samples)
        if ((s.type & OggVorbisSample) == 0 && s.end > s.start)
            total += size_t{s.end - s.start} + kGuardFrames;
    if (total <= UINT32_MAX)
        pcm.reserve(total); // past it, the layout below refuses the font

    std::map<size_t, std::pair<uint32_t, uint32_t>> placed; // stream -> (at, frames)
    for (SSample& s : model.samples) {
        const bool ogg = (s.type & OggVorbisSample) != 0;
        s.type = static_cast<uint16_t>(s.type & ~OggVorbisSample);
        uint32_t at = 0, frames = 0;
        if (ogg) {
            const size_t index = streamOf.at({s.start, s.end});
            SStream& st = streams[index];
            if (!st.error.empty()) {
                why = "sample \"" + s.name + "\": " + st.error;
                return false;
            }
            if (auto known = placed.find(index); known != placed.end()) {
                std::tie(at, frames) = known->second;
            } else {
                frames = static_cast<uint32_t>(st.pcm.size());
                if (pcm.size() + frames + kGuardFrames > UINT32_MAX) {
                    why = "decoded samples exceed the SoundFont limit";
                    return false;
                }
                at = static_cast<uint32_t>(pcm.size());
                pcm.insert(pcm.end(), st.pcm.begin(), st.pcm.end());
                pcm.insert(pcm.end(), kGuardFrames, 0);
                std::vector<int16_t>().swap(st.pcm);
                placed[index] = {at, frames};
            }
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
