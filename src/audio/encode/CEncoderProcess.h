// An external encoder (lame, flac, ...) started from a command line, reading what we write to
// its standard input; its own output and messages go nowhere. Natively a POSIX process spawn,
// under Windows CreateProcessW with an anonymous pipe.
#pragma once

#include "audio/Audio.h"
#include "audio/encode/CWavWriter.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace hml::audio {

// Splits a command line as a POSIX shell would, without expansions: blanks separate words,
// '...' is literal, "..." keeps blanks and takes \" \\ \$ \` as escapes, a backslash outside
// quotes escapes the next character. Windows passes the line itself to CreateProcessW instead.
std::vector<std::string> SplitCommandLine(const std::string& line);

class CEncoderProcess {
public:
    // commandLine is UTF-8; the program is looked up on the PATH. Create when it cannot start.
    static std::unique_ptr<CEncoderProcess> Start(const std::string& commandLine, EError& error,
                                                  std::string* why = nullptr);
    ~CEncoderProcess(); // kills a process still running
    CEncoderProcess(const CEncoderProcess&) = delete;
    CEncoderProcess& operator=(const CEncoderProcess&) = delete;

    // Blocks until written; false once the process reads no more.
    bool Write(const void* bytes, size_t count);
    bool IsRunning();
    // Closes the input and waits for the process: its exit code, -1 when it was killed.
    int Stop();
    // Ends it now and waits for it.
    void Kill();

    struct SImpl;

private:
    explicit CEncoderProcess(std::unique_ptr<SImpl> impl);
    std::unique_ptr<SImpl> impl;
};

// How a streamed WAV header states the length nobody knows yet. Most encoders read a maximal
// size as "up to the end of the input"; LAME takes it at face value and tags its MP3 with a
// length of 49 days, but reads 0 as unknown (where FLAC refuses 0).
enum class EStreamedLength { Maximal, Zero };

// An encoder process fed a WAV stream of 24-bit samples. The command line writes the encoded
// output to `partial`; a clean exit (code 0) gives it the name `output`.
class CEncoderWriter final : public IAudioSink {
public:
    static std::unique_ptr<CEncoderWriter>
    Create(const std::string& commandLine, const std::filesystem::path& partial,
           const std::filesystem::path& output, uint32_t rate, uint32_t channels,
           EStreamedLength length, EError& error, std::string* why = nullptr);
    ~CEncoderWriter() override;

    bool Write(const float* frames, size_t count) override;
    bool IsActive() override;
    EError Finish(std::string* why) override;
    void Abort() override;

private:
    CEncoderWriter() = default;

    std::unique_ptr<CEncoderProcess> process;
    std::filesystem::path partial, output;
    SWavFormat format;
    std::vector<uint8_t> buffer;
    bool active = false;
};

} // namespace hml::audio
