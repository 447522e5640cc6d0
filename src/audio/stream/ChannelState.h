// The MIDI state of a stream's 16 channels: controllers, RPNs, programs and banks, drum
// channels, the GM/GM2/GS/XG mode and the master volume, and its save and restore. What a
// message means for the notes already sounding (pedals, sound off, all notes off) it hands to
// the voices through IChannelVoices.
#pragma once

#include "audio/SysEx.h"
#include "audio/voice/CVoice.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hml::audio {

class CSoundFont;

enum EMode : uint8_t { ModeGm1, ModeGm2, ModeGs, ModeXg };

constexpr int kMidiChannels = 16;

struct SChannel {
    voice::SChannelControls ctl;
    uint8_t program = 0;
    bool drum = false;
    bool mono = false;
    bool nrpn = false;
    uint16_t rpn = 0x3FFF;
    float fineCents = 0, coarseSemis = 0;
    float mixLevel = 1.0f;
    const sf2::SPreset* preset = nullptr;
    const CSoundFont* presetFont = nullptr;
    bool presetDirty = true;
    int8_t keySwitch = -1;          // last key switch pressed (SFZ); -1 = none yet
    uint8_t noteVelocity[128] = {}; // of the last note-on per key, for release triggers

    bool SustainDown() const { return ctl.cc[64] >= 64; }
    bool SostenutoDown() const { return ctl.cc[66] >= 64; }
};

// The sounding notes, as far as channel messages act on them.
class IChannelVoices {
public:
    virtual ~IChannelVoices() = default;
    virtual void SoundOff(int channel) = 0;
    // All notes off; while the sustain pedal is down they only become sustained.
    virtual void ReleaseAll(int channel, bool sustainDown) = 0;
    // Releases the notes the pedals no longer hold.
    virtual void ReleasePedalled(int channel, bool sustainDown, bool sostenutoDown) = 0;
    // The sostenuto pedal went down: it catches the notes held by keys now.
    virtual void CatchSostenuto(int channel) = 0;
    virtual void FreeSostenuto(int channel) = 0;
};

class CChannelState {
public:
    explicit CChannelState(IChannelVoices& voices);

    SChannel& operator[](int c) { return channels[c]; }
    const SChannel& operator[](int c) const { return channels[c]; }
    EMode Mode() const { return mode; }
    float MasterVolume() const { return masterVolume; }

    // A GM, GM2, GS or XG reset: every channel to its defaults for the mode, sound off.
    void ResetAll(EMode m);
    void ResetControllers(int c);
    void Controller(int c, uint8_t number, uint8_t value);
    void ProgramChange(int c, uint8_t program);
    void SetMixLevel(int c, float level);
    // Applies a decoded SysEx message; unknown ones change nothing.
    void ApplySysEx(const sysex::SMessage& m);
    // The bank the channel's program is looked up in, after the mode's bank-select rules.
    int MelodicBank(int c) const;

    // Tells the channel's voices that its controls may have changed.
    void Touch(int c) { channels[c].ctl.serial = ++nextSerial; }
    void MarkPresetsDirty();

    // The state as an opaque block, and its restoration; a block that is short, of another
    // version or holds impossible values changes nothing and returns false.
    void Save(std::vector<uint8_t>& out) const;
    bool Restore(const uint8_t* data, size_t size);

private:
    void UpdateChannel(int c);
    void DataEntry(int c, bool step, int direction);

    IChannelVoices& voices;
    SChannel channels[kMidiChannels];
    uint32_t nextSerial = 0; // last value handed out by Touch()
    EMode mode = ModeGm1;
    float masterVolume = 1.0f;
};

} // namespace hml::audio
