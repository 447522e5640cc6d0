#include "audio/decode/DecodedAudio.h"

#include <cstring>

namespace hml::audio::decode {
namespace {

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;
// Far above any instrument sample; refuses files that would make us allocate gigabytes.
constexpr uint64_t kMaxSamples = uint64_t{1} << 28;

bool Fail(std::string& error, const char* why) {
    error = why;
    return false;
}

} // namespace

bool DecodeWav(const uint8_t* bytes, size_t size, SDecodedAudio& out, std::string& error) {
    out = {};
    if (size < 12 || std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0)
        return Fail(error, "not a RIFF WAVE file");
    uint16_t format = 0, channels = 0, bits = 0;
    uint32_t rate = 0;
    const uint8_t* data = nullptr;
    size_t dataSize = 0;
    bool haveFmt = false;
    // Chunks past the RIFF size are still read: some writers leave the size short.
    size_t at = 12;
    while (at + 8 <= size) {
        const uint8_t* chunk = bytes + at;
        const uint32_t len = Le32(chunk + 4);
        const size_t avail = size - at - 8;
        const size_t body = len <= avail ? len : avail; // a truncated last chunk keeps what it has
        const uint8_t* p = chunk + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (body < 16)
                return Fail(error, "WAV format chunk too short");
            format = Le16(p);
            channels = Le16(p + 2);
            rate = Le32(p + 4);
            bits = Le16(p + 14);
            if (format == kFormatExtensible) {
                if (body < 40)
                    return Fail(error, "WAV extensible format chunk too short");
                format = Le16(p + 24); // the sub-format GUID starts with the plain format tag
            }
            haveFmt = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            data = p;
            dataSize = body;
        } else if (std::memcmp(chunk, "smpl", 4) == 0 && body >= 36) {
            const uint32_t unity = Le32(p + 12);
            const uint32_t fraction = Le32(p + 16);
            const uint32_t loops = Le32(p + 28);
            if (unity <= 127)
                out.rootKey = static_cast<uint8_t>(unity);
            // The pitch fraction is a share of a semitone: 0x80000000 is 50 cents.
            out.fineTuneCents = static_cast<int8_t>(static_cast<uint64_t>(fraction) * 100 >> 32);
            if (loops > 0 && body >= 36 + 24) {
                const uint32_t s = Le32(p + 36 + 8), e = Le32(p + 36 + 12);
                if (e >= s)
                    out.loop = SFileLoop{s, e + 1}; // the file names the last frame of the loop
            }
        }
        if (len > avail)
            break;
        at += 8 + size_t{len} + (len & 1);
    }
    if (!haveFmt)
        return Fail(error, "WAV file has no format chunk");
    if (data == nullptr)
        return Fail(error, "WAV file has no data chunk");
    if (channels < 1 || channels > 2)
        return Fail(error, "WAV file is neither mono nor stereo");
    if (rate < 1000 || rate > 768000)
        return Fail(error, "WAV sample rate out of range");
    const bool pcm = format == kFormatPcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
    const bool flt = format == kFormatFloat && bits == 32;
    if (!pcm && !flt)
        return Fail(error, "WAV sample format not supported");
    const size_t width = bits / 8u;
    const size_t frames = dataSize / (width * channels);
    if (uint64_t{frames} * channels > kMaxSamples)
        return Fail(error, "WAV file too large");
    out.sampleRate = rate;
    out.channels = channels;
    out.samples.resize(frames * channels);
    float* dst = out.samples.data();
    const size_t n = out.samples.size();
    if (flt) {
        for (size_t i = 0; i < n; ++i) {
            const uint32_t b = Le32(data + i * 4);
            float f;
            std::memcpy(&f, &b, sizeof f);
            dst[i] = f == f ? f : 0.0f; // a NaN would poison the mix
        }
    } else if (bits == 8) {
        for (size_t i = 0; i < n; ++i)
            dst[i] = (static_cast<int>(data[i]) - 128) * (1.0f / 128);
    } else if (bits == 16) {
        for (size_t i = 0; i < n; ++i)
            dst[i] = static_cast<int16_t>(Le16(data + i * 2)) * (1.0f / 32768);
    } else if (bits == 24) {
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* q = data + i * 3;
            const int32_t v = static_cast<int32_t>(uint32_t{q[0]} << 8 | uint32_t{q[1]} << 16 |
                                                   uint32_t{q[2]} << 24) >>
                              8;
            dst[i] = static_cast<float>(v) * (1.0f / 8388608);
        }
    } else {
        for (size_t i = 0; i < n; ++i)
            dst[i] = static_cast<float>(static_cast<int32_t>(Le32(data + i * 4)) / 2147483648.0);
    }
    if (out.loop && (out.loop->end > frames || out.loop->end - out.loop->start < 2))
        out.loop.reset(); // a loop outside the data is ignored, as players do
    return true;
}

} // namespace hml::audio::decode
