// Minimal Standard MIDI File reader for driving streams in tests: merges all tracks into one
// time-ordered list of raw messages with their time in seconds (tempo changes honoured).
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace hml::test {

struct STimedMessage {
    double seconds = 0;
    std::vector<uint8_t> bytes; // a channel message or a complete F0 ... F7 SysEx
};

class CSmfReader {
public:
    static bool Read(const std::filesystem::path& path, std::vector<STimedMessage>& out);
};

} // namespace hml::test
