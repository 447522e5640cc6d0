#pragma once
// Sample files decoded into memory: WAV, FLAC and Ogg Vorbis, for SFZ instruments and for the
// compressed samples of SF3 fonts. Every decoder checks each length it reads against the bytes it
// was given and answers a malformed file with false and a message; it never reads outside them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hml::audio::decode {

// A loop stored in the file itself (the WAV "smpl" chunk), in frames; end is exclusive.
struct SFileLoop {
    uint32_t start = 0;
    uint32_t end = 0;
};

struct SDecodedAudio {
    uint32_t sampleRate = 0;
    uint16_t channels = 0;
    // Interleaved frames, full scale -1..1.
    std::vector<float> samples;
    std::optional<SFileLoop> loop;
    // The file's own root key and fine tune ("smpl"), when it names them.
    std::optional<uint8_t> rootKey;
    int8_t fineTuneCents = 0;

    size_t Frames() const { return channels ? samples.size() / channels : 0; }
};

bool DecodeWav(const uint8_t* bytes, size_t size, SDecodedAudio& out, std::string& error);
bool DecodeFlac(const uint8_t* bytes, size_t size, SDecodedAudio& out, std::string& error);
bool DecodeVorbis(const uint8_t* bytes, size_t size, SDecodedAudio& out, std::string& error);

// Chooses the decoder from the file's signature ("RIFF", "fLaC", "OggS").
bool DecodeAudio(const uint8_t* bytes, size_t size, SDecodedAudio& out, std::string& error);

} // namespace hml::audio::decode
