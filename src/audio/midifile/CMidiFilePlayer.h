// Plays a loaded MIDI file through a decoding stream: every event goes to the stream when the
// output reaches its position, End follows the last one, and the stream's own end (after the
// last notes decayed, with DecayEnd) ends the output.
#pragma once

#include "audio/midifile/CMidiFile.h"
#include "audio/stream/CMidiStream.h"

#include <cstddef>
#include <cstdint>

namespace hml::audio {

// Decides what one file event does to the stream. False means the stream's queue was full
// before anything was sent: the player renders a little and offers the event again.
class IMidiEventSink {
public:
    virtual ~IMidiEventSink() = default;
    virtual bool Dispatch(const CMidiFile& file, const SMidiFileEvent& e, CMidiStream& stream) = 0;
};

class CMidiFilePlayer {
public:
    // Neither the file, the stream nor the sink are owned; null sink = SendDefault.
    CMidiFilePlayer(const CMidiFile& file, CMidiStream& stream, IMidiEventSink* sink = nullptr);

    // Fills up to `bytes` (whole frames of the stream's format); -1 once the stream ended.
    int64_t GetData(void* buffer, size_t bytes);

    size_t Dispatched() const { return next; }
    size_t Total() const { return file.Events().size(); }
    uint64_t Rendered() const { return rendered; }

    // The plain mapping: stream events as they are, SystemEx as raw bytes, file-only events
    // (tempo, meta, track ends) nowhere.
    static bool SendDefault(const CMidiFile& file, const SMidiFileEvent& e, CMidiStream& stream);

private:
    const CMidiFile& file;
    CMidiStream& stream;
    IMidiEventSink* sink;
    size_t next = 0;
    uint64_t rendered = 0;
    bool endSent = false;
};

} // namespace hml::audio
