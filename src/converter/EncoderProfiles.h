// The converter's output formats (a fixed table: the row index is what the settings store) and
// the text rules around them: encoder command lines, titles and output paths.
#pragma once

#include "audio/encode/CEncoderProcess.h"

#include <array>
#include <cstdint>
#include <string>

namespace hml::converter {

struct SEncoderProfile {
    const char* name;
    const char* format;       // its name on the command line: "wav16", "mp3", "flac-best", ...
    const char* extension;    // with the dot
    const char* program;      // Windows file name of the encoder; empty: we write WAV ourselves
    const char* arguments;    // template with %%CUSTOMPARAMS%%, %%OUTPUT%%, %%FILENAME%%
    uint32_t encoderFlags;    // 0x40 = PCM file, 4 = 16-bit, 6 = 24-bit
    const char* downloadPage; // where users get the program
    audio::EStreamedLength streamedLength = audio::EStreamedLength::Maximal;
};

inline constexpr size_t kProfileCount = 9;
const std::array<SEncoderProfile, kProfileCount>& EncoderProfiles();

// The row of a command-line format name; kProfileCount when there is none.
size_t FindProfile(const std::string& format);

// The row an output file's extension asks for (case-insensitive): the one whose format is named
// like the extension ("mp3" is 192k), else the first with that extension (".wav" is 16-bit);
// kProfileCount when no row writes such files.
size_t ProfileForPath(const std::string& path);

// The program's name as this platform starts it: "lame.exe" under Windows, "lame" elsewhere.
std::string ProgramName(const SEncoderProfile& profile);

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to);

// The input file's name without folder and without extension; a dot in a folder name does not
// count.
std::string TitleOf(const std::string& inputPath);

// The encoder's command line: the quoted program path and the template, with the options
// inserted first (so placeholders inside them are expanded too), then the output path and the
// title; trimmed. Profiles without a program give the output path itself.
std::string MakeCommandLine(const SEncoderProfile& profile, const std::string& programPath,
                            const std::string& options, const std::string& outputPath,
                            const std::string& inputPath);

// The output path of an input: its name with the profile's extension in place of its own (or
// appended), in `folder` when that is not empty, else beside the input. Separators are '/' and,
// under Windows, '\\'; `folder` is joined with the platform's separator.
std::string MakeOutputPath(const std::string& inputPath, const std::string& folder,
                           const std::string& extension);

} // namespace hml::converter
