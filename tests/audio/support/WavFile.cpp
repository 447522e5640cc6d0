#include "support/WavFile.h"

#include "support/LittleEndian.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

namespace hml::test {
namespace {

void Tag(std::vector<uint8_t>& b, const char* t) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(t[i]));
}

} // namespace

std::vector<uint8_t> MakeWav(const std::vector<float>& samples, uint16_t channels, uint32_t rate,
                             EWavFormat format, std::optional<SWavLoop> loop, int rootKey) {
    const uint16_t bits = format == EWavFormat::Pcm8    ? 8
                          : format == EWavFormat::Pcm16 ? 16
                          : format == EWavFormat::Pcm24 ? 24
                                                        : 32;
    std::vector<uint8_t> data;
    for (float x : samples) {
        const double c = std::clamp(static_cast<double>(x), -1.0, 1.0);
        switch (format) {
        case EWavFormat::Pcm8:
            data.push_back(static_cast<uint8_t>(std::clamp(std::lround(c * 128) + 128, 0L, 255L)));
            break;
        case EWavFormat::Pcm16:
            Put16(data, static_cast<uint16_t>(std::clamp(std::lround(c * 32768), -32768L, 32767L)));
            break;
        case EWavFormat::Pcm24: {
            const auto v =
                static_cast<uint32_t>(std::clamp(std::lround(c * 8388608), -8388608L, 8388607L));
            data.push_back(static_cast<uint8_t>(v));
            data.push_back(static_cast<uint8_t>(v >> 8));
            data.push_back(static_cast<uint8_t>(v >> 16));
            break;
        }
        case EWavFormat::Pcm32:
            Put32(data, static_cast<uint32_t>(static_cast<int32_t>(std::clamp(
                            std::llround(c * 2147483648.0), -2147483648LL, 2147483647LL))));
            break;
        case EWavFormat::Float32: {
            const float f = static_cast<float>(c);
            uint32_t u;
            std::memcpy(&u, &f, 4);
            Put32(data, u);
            break;
        }
        }
    }
    std::vector<uint8_t> b;
    Tag(b, "RIFF");
    Put32(b, 0);
    Tag(b, "WAVE");
    Tag(b, "fmt ");
    Put32(b, 16);
    Put16(b, format == EWavFormat::Float32 ? 3 : 1);
    Put16(b, channels);
    Put32(b, rate);
    Put32(b, rate * channels * bits / 8);
    Put16(b, static_cast<uint16_t>(channels * bits / 8));
    Put16(b, bits);
    if (loop || rootKey >= 0) {
        Tag(b, "smpl");
        Put32(b, 36 + (loop ? 24 : 0));
        for (int i = 0; i < 3; ++i)
            Put32(b, 0);
        Put32(b, rootKey >= 0 ? static_cast<uint32_t>(rootKey) : 60);
        for (int i = 0; i < 3; ++i)
            Put32(b, 0);
        Put32(b, loop ? 1 : 0);
        Put32(b, 0);
        if (loop) {
            Put32(b, 0);
            Put32(b, 0);
            Put32(b, loop->start);
            Put32(b, loop->last);
            Put32(b, 0);
            Put32(b, 0);
        }
    }
    Tag(b, "data");
    Put32(b, static_cast<uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1)
        b.push_back(0);
    const uint32_t riff = static_cast<uint32_t>(b.size() - 8);
    std::memcpy(b.data() + 4, &riff, 4); // the tests run on little-endian machines
    return b;
}

std::vector<float> SineWave(double freq, double rate, size_t frames, double amplitude) {
    std::vector<float> s(frames);
    for (size_t i = 0; i < frames; ++i)
        s[i] =
            static_cast<float>(amplitude * std::sin(2 * 3.14159265358979323846 * freq * i / rate));
    return s;
}

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

} // namespace hml::test
