#pragma once
// How much audio an output device keeps queued ahead of what is being heard. Little, for low
// latency: 20 ms normally, or one device period plus a small guard while a source asks for the
// lowest latency (a busy client).
//
// What is queued is tracked from the time that passes: audio written is heard at the pace of the
// clock. (Devices report their own queue too, but not alike: Wine's counts audio it has already
// handed on, and would make us write too little.) A round that comes later than the audio ahead
// lasted means the mixing thread was late and the device ran dry: then the target grows by what
// it lacked, into the extra room the user allows ("AdditionalBuffer"), and shrinks back a period
// at a time after each few seconds of clean playback.

#include <cstdint>

namespace hml::audio {

class COutputQueue {
public:
    static constexpr uint32_t kNormalMs = 20;
    static constexpr uint32_t kGuardMs = 3;
    static constexpr uint32_t kShrinkAfterSeconds = 8;

    COutputQueue(uint32_t periodFrames, uint32_t rate);

    // The most the target may grow above its base, in frames.
    void SetExtraRoom(uint32_t frames);
    // Period plus guard instead of the normal base.
    void SetLowLatency(bool low) { lowLatency = low; }

    // One mixing round, `elapsed` frames of time after the previous one. Returns how many
    // frames to mix now; Ahead() then includes them.
    uint32_t Round(uint32_t elapsed);

    // Frames queued ahead of the listener right after the last round.
    uint32_t Ahead() const { return ahead; }
    uint32_t Base() const;
    uint32_t Target() const { return Base() + extra; }
    uint32_t Extra() const { return extra; }
    // Rounds that found the queue run dry.
    uint32_t Starved() const { return starved; }

private:
    uint32_t period;
    uint32_t rate;
    uint32_t normalBase;
    uint32_t lowBase;
    bool lowLatency = false;
    uint32_t room = 0;
    uint32_t extra = 0;
    uint32_t starved = 0;
    uint32_t ahead = 0;
    uint64_t clean = 0; // frames of time since the queue last ran dry
    bool primed = false;
};

} // namespace hml::audio
