// A MIDI synthesizer stream: 16 channels of GM/GM2/GS/XG state, a fixed voice pool, the
// SoundFonts mapped to it, effects, and the output in the format its flags ask for.
//
// Threads: SendEvent/SendMidi and the Get* attribute reads are safe from any thread at any
// time. RenderAhead, ReadOutput and DropOutput (playing streams) may be called from two
// real-time threads, the render-ahead thread and the device's mixing thread, which take turns
// one block at a time; GetData (decoding streams) belongs to one render thread. None of them
// allocates. The remaining calls are control-thread calls: they
// wait for at most one render block (64 frames) and are never needed while rendering.
#pragma once

#include "audio/Audio.h"
#include "audio/sf2/CSoundFont.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace hml::audio {

// One font assignment, in precedence order (earlier entries win). preset -1 maps all presets
// of the font with `bank` added to their bank numbers; otherwise the font's preset `preset`
// serves that program in bank `bank`.
struct SFontMapping {
    PSoundFont font;
    int preset = -1;
    int bank = 0;
};

class CMidiStreamImpl;

class CMidiStream {
public:
    // rate 8000..384000; voiceLimit is clamped into kMinVoices..kMaxVoices.
    static std::unique_ptr<CMidiStream> Create(uint32_t flags, uint32_t rate, int voiceLimit,
                                               EError& error);
    ~CMidiStream();
    CMidiStream(const CMidiStream&) = delete;
    CMidiStream& operator=(const CMidiStream&) = delete;

    // Control thread. Count 0 detaches every font. Voices of fonts no longer mapped stop.
    EError SetFonts(const SFontMapping* fonts, size_t count);

    // Any thread. False when the event is unknown or the queue is full.
    bool SendEvent(int channel, uint32_t event, uint32_t param);
    // Any thread. Raw MIDI: running status holds within one call, SysEx must be complete.
    bool SendMidi(const uint8_t* bytes, size_t count);

    // Render-ahead thread of a playing stream: renders until `ms` of audio wait in the output
    // ring; returns the buffered frames.
    size_t RenderAhead(uint32_t ms);
    // Device side: takes `bytes` (whole frames, at most one second) from the ring, rendering
    // first whatever the ring lacks, so the output never has a gap. Returns the bytes taken.
    size_t ReadOutput(void* buffer, size_t bytes);
    // Device side: forgets the audio rendered ahead (playback restarts from the next block).
    void DropOutput();
    size_t BufferedFrames() const;
    // Render thread of a decoding stream: fills `bytes` (whole frames); -1 once ended.
    int64_t GetData(void* buffer, size_t bytes);

    // Rendering time limit in percent of real time; 0 = none.
    void SetRenderTimeLimit(float percent);
    float GetRenderTime() const; // percent of real time
    uint32_t GetActiveVoices() const;
    // Blocks whose voices a helper thread shared (HelperThread streams).
    unsigned long GetHelperRuns() const;
    uint32_t GetLevel() const; // left in the low 16 bits, right in the high, 0..32768

    // Control thread: the MIDI state (programs, banks, controllers, drum channels, mode,
    // effect and mix levels) as an opaque block, and its restoration into a new stream.
    std::vector<uint8_t> SaveState() const;
    EError RestoreState(const uint8_t* data, size_t size);

    uint32_t Flags() const;
    uint32_t Rate() const;
    uint32_t BytesPerFrame() const;

private:
    explicit CMidiStream(std::unique_ptr<CMidiStreamImpl> impl);
    std::unique_ptr<CMidiStreamImpl> impl;
};

} // namespace hml::audio
