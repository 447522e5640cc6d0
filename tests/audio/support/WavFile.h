// Writes WAV files of every sample format the decoder reads, for tests and fuzzer seeds.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace hml::test {

enum class EWavFormat { Pcm8, Pcm16, Pcm24, Pcm32, Float32 };

struct SWavLoop {
    uint32_t start = 0, last = 0; // last frame of the loop, as the file stores it
};

// `samples` are interleaved, full scale -1..1.
std::vector<uint8_t> MakeWav(const std::vector<float>& samples, uint16_t channels, uint32_t rate,
                             EWavFormat format, std::optional<SWavLoop> loop = std::nullopt,
                             int rootKey = -1);
std::vector<float> SineWave(double freq, double rate, size_t frames, double amplitude = 0.5);
void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
void WriteFile(const std::filesystem::path& path, const std::string& text);

} // namespace hml::test
