#pragma once
// What the MIDI handling of a connection needs from the audio side: a MIDI stream that takes
// events and raw MIDI bytes, and the port's mixer window that shows instrument names.

#include <cstddef>
#include <cstdint>

namespace hml::synth {

// Event kinds of SendEvent.
constexpr std::uint32_t kEventDrums = 6;          // value 1: the channel plays drums
constexpr std::uint32_t kEventNotesOff = 18;      // all notes of the channel off
constexpr std::uint32_t kEventReverb = 36;        // reverb send level, 0..100
constexpr std::uint32_t kEventChorus = 41;        // chorus send level, 0..100
constexpr std::uint32_t kEventMixLevel = 0x10000; // channel gain in percent, 100 = unity

class IMidiStreamTarget {
public:
    virtual ~IMidiStreamTarget() = default;
    // Called on the listen thread; must neither block for long nor allocate.
    virtual void SendEvent(std::uint32_t channel, std::uint32_t event, std::uint32_t value) = 0;
    // MIDI bytes as they would travel on the wire: one or more whole messages, running status
    // not used.
    virtual void SendRaw(const std::uint8_t* bytes, std::size_t count) = 0;
};

// The channel strips of the port's mixer window, when it has one.
class IStripRefresher {
public:
    virtual ~IStripRefresher() = default;
    // Channel 0..15, or 16 for all strips.
    virtual void RefreshStrip(std::uint32_t channel) = 0;
};

} // namespace hml::synth
