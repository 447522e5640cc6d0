#include "audio/decode/DecodedAudio.h"

#include <cstring>

namespace hml::audio::decode {

bool DecodeAudio(const uint8_t* bytes, size_t size, SDecodedAudio& out, std::string& error) {
    if (size >= 4 && std::memcmp(bytes, "RIFF", 4) == 0)
        return DecodeWav(bytes, size, out, error);
    if (size >= 4 && std::memcmp(bytes, "fLaC", 4) == 0)
        return DecodeFlac(bytes, size, out, error);
    if (size >= 4 && std::memcmp(bytes, "OggS", 4) == 0)
        return DecodeVorbis(bytes, size, out, error);
    out = {};
    error = "unknown audio file format";
    return false;
}

} // namespace hml::audio::decode
