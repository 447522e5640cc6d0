// Fuzzes the sample file decoders through their dispatcher.
#include "audio/decode/DecodedAudio.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    hml::audio::decode::SDecodedAudio out;
    std::string error;
    if (hml::audio::decode::DecodeAudio(data, size, out, error)) {
        volatile float sink = 0;
        for (float s : out.samples)
            sink = sink + s; // reads every decoded sample
        (void)sink;
    }
    return 0;
}
