// Audio outputs of the converter: a WAV file written by us, or an external encoder process fed
// a WAV stream. Either one writes under a temporary name and only a finished output takes its
// final name; a failed or dropped output leaves nothing behind.
#pragma once

#include "audio/Audio.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace hml::audio {

enum class ESampleFormat { Int16, Int24, Float32 };

struct SWavFormat {
    uint32_t rate = 48000;
    uint32_t channels = 2;
    ESampleFormat sample = ESampleFormat::Int16;

    uint32_t BytesPerSample() const {
        return sample == ESampleFormat::Int16 ? 2 : sample == ESampleFormat::Int24 ? 3 : 4;
    }
    uint32_t BytesPerFrame() const { return channels * BytesPerSample(); }
};

// The header of a WAV file holding `dataBytes` of samples: 16-bit as plain PCM, 24-bit as
// WAVE_FORMAT_EXTENSIBLE, float as IEEE float with a fact chunk. A size that does not fit its
// 32-bit field (files of 4 GiB and more) is written as 0xFFFFFFFF, which readers take as
// "up to the end of the file"; that is also what a stream of unknown length gets.
std::vector<uint8_t> MakeWavHeader(const SWavFormat& format, uint64_t dataBytes);

// Float samples in [-1, 1] (clamped) to the format's little-endian samples.
void ConvertSamples(const float* in, size_t samples, ESampleFormat format, uint8_t* out);

// Where an output is written until it is complete.
std::filesystem::path PartialPath(const std::filesystem::path& output);
// Gives the partial output its final name, replacing an older file of that name.
bool CommitPartial(const std::filesystem::path& partial, const std::filesystem::path& output,
                   std::string* why);

class IAudioSink {
public:
    virtual ~IAudioSink() = default;
    // Interleaved float frames of the sink's channel count. False once the output failed.
    virtual bool Write(const float* frames, size_t count) = 0;
    // False once the output can take nothing more (an encoder that exited, a write error).
    virtual bool IsActive() = 0;
    // Completes the output under its final name; on failure nothing is left behind.
    virtual EError Finish(std::string* why) = 0;
    // Drops the output: nothing is left behind.
    virtual void Abort() = 0;
};

class CWavWriter final : public IAudioSink {
public:
    // Create when the partial file cannot be made.
    static std::unique_ptr<CWavWriter> Create(const std::filesystem::path& output,
                                              const SWavFormat& format, EError& error,
                                              std::string* why = nullptr);
    ~CWavWriter() override;

    bool Write(const float* frames, size_t count) override;
    bool IsActive() override { return ok; }
    EError Finish(std::string* why) override;
    void Abort() override;

    uint64_t DataBytes() const { return dataBytes; }

private:
    CWavWriter() = default;

    std::filesystem::path output, partial;
    SWavFormat format;
    std::ofstream file;
    std::vector<uint8_t> buffer;
    uint64_t dataBytes = 0;
    bool ok = false;
    bool open = false;
};

} // namespace hml::audio
