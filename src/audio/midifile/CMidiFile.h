// Standard MIDI Files (formats 0, 1 and 2, bare or inside a RIFF RMID wrapper) loaded as one
// time-ordered list of stream events, each with its byte position in the output of a decoding
// stream of the given rate and flags, so the events can be sent exactly where they belong.
#pragma once

#include "audio/Audio.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace hml::audio {

// Event ids only a file carries; a stream ignores them.
namespace MidiFileEvent {
inline constexpr uint32_t Tempo = 62;         // param: microseconds per quarter note
inline constexpr uint32_t Meta = 0x10001;     // param: meta type; the data holds its bytes
inline constexpr uint32_t TrackEnd = 0x10003; // end of one track
} // namespace MidiFileEvent

// One event. SystemEx carries raw bytes (a complete F0..F7 message, or the bytes of an F7
// escape) in the file's data; the resets and drum-part messages arrive as System and Drums.
struct SMidiFileEvent {
    uint32_t event = 0;
    uint32_t param = 0;
    uint32_t channel = 0;
    uint32_t tick = 0;
    uint64_t pos = 0; // bytes of decoded output before the event
    uint32_t dataOffset = 0;
    uint32_t dataSize = 0;
};

// Frame layout of a decoding stream's output, from its flags.
struct SPcmLayout {
    uint32_t rate = 48000;
    uint32_t channels = 2;
    uint32_t bytesPerSample = 2;

    static SPcmLayout FromFlags(uint32_t streamFlags, uint32_t rate);
    uint32_t BytesPerFrame() const { return channels * bytesPerSample; }
    // Whole frames: a time inside a frame belongs to that frame.
    uint64_t SecondsToBytes(double seconds) const;
    double BytesToSeconds(uint64_t bytes) const;
};

class CMidiFile {
public:
    // Input larger than this is refused as malformed rather than read.
    static constexpr size_t kMaxFileSize = 64u << 20;
    // Events later than this are refused: no real piece lasts a day.
    static constexpr uint32_t kMaxSeconds = 24 * 3600;

    // Missing or unreadable file: FileOpen. Not a MIDI file, malformed, too large or too long:
    // FileForm, with the reason in `why` when given.
    static std::unique_ptr<CMidiFile> Load(const std::filesystem::path& path, uint32_t streamFlags,
                                           uint32_t rate, EError& error,
                                           std::string* why = nullptr);
    static std::unique_ptr<CMidiFile> Parse(const uint8_t* data, size_t size, uint32_t streamFlags,
                                            uint32_t rate, EError& error,
                                            std::string* why = nullptr);

    const std::vector<SMidiFileEvent>& Events() const { return events; }
    // The bytes of a SystemEx or Meta event.
    const uint8_t* Data(const SMidiFileEvent& e) const { return data.data() + e.dataOffset; }

    // Moves every event up to the first sounding note to position 0 and the later ones earlier
    // by as much, so the output starts with that note; ticks stay as read.
    void SkipInitialSilence();

    uint32_t Format() const { return format; }
    uint32_t TrackCount() const { return tracks; }
    const SPcmLayout& Layout() const { return layout; }
    // Position of the last event.
    uint64_t LengthBytes() const { return events.empty() ? 0 : events.back().pos; }

private:
    CMidiFile() = default;
    friend class CSmfParser;

    std::vector<SMidiFileEvent> events;
    std::vector<uint8_t> data;
    SPcmLayout layout;
    uint32_t format = 0;
    uint32_t tracks = 0;
};

} // namespace hml::audio
