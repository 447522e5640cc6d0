// Fuzzes the FLAC decoder, starting from the decoder tests' files.
#include "audio/decode/DecodedAudio.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    hml::audio::decode::SDecodedAudio out;
    std::string error;
    hml::audio::decode::DecodeFlac(data, size, out, error);
    return 0;
}
