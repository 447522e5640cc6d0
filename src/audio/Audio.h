// Public vocabulary of Harmolith's audio library: error codes, stream and font flags, MIDI
// event ids. The numeric values are the ones the synth server and the converter pass around,
// so they must never change.
//
// Thread contract of the library (see CMidiStream.h and CSoundFont.h for the calls):
//   render thread   CMidiStream::RenderAhead, CMidiStream::GetData (and ReadOutput, device side)
//   any thread      CMidiStream::SendEvent, CMidiStream::SendMidi, the Get* attribute reads
//   control thread  everything else (font loading, SetFonts, state save/restore, limits)
// Render-thread calls allocate nothing and never wait on a lock a control thread holds long.
#pragma once

#include <cstdint>

namespace hml::audio {

// Error codes; values equal those of the error text table the server shows to the user.
enum class EError : int {
    Unknown = -1,
    Ok = 0,
    Mem = 1,
    FileOpen = 2,
    Driver = 3,
    BufLost = 4,
    Handle = 5,
    Format = 6,
    Init = 8,
    Already = 14,
    IllParam = 20,
    Device = 23,
    Create = 33,
    NotAvail = 37,
    FileForm = 41,
};

// Flags given when a MIDI stream is created.
namespace StreamFlags {
inline constexpr uint32_t Sample8Bits = 0x1;     // unsigned 8-bit output
inline constexpr uint32_t Mono = 0x2;            // one output channel
inline constexpr uint32_t SoftwareMix = 0x10;    // accepted, no meaning for us
inline constexpr uint32_t Float = 0x100;         // 32-bit float output
inline constexpr uint32_t DecayEnd = 0x1000;     // decoding ends after End once voices died
inline constexpr uint32_t NoFx = 0x2000;         // no reverb or chorus processing
inline constexpr uint32_t NoteOffLast = 0x10000; // note-off releases only the last instance
inline constexpr uint32_t Decode = 0x200000;     // pulled with GetData, never played
inline constexpr uint32_t Sinc = 0x800000;       // windowed-sinc interpolation
// A second thread renders half the voices while many sound (live playback on several cores).
inline constexpr uint32_t HelperThread = 0x1000000;
} // namespace StreamFlags

// Flags given when a SoundFont is opened.
namespace FontFlags {
inline constexpr uint32_t XgDrums = 0x40000;    // bank 127 presets serve XG drum kits
inline constexpr uint32_t Unicode = 0x80000000; // accepted: paths are always Unicode here
} // namespace FontFlags

// Event ids of CMidiStream::SendEvent. The values of End, Note, Drums, NotesOff, ReverbLevel,
// ChorusLevel, System, MixLevel and SystemEx are fixed by the server; the others are ours.
enum EMidiEvent : uint32_t {
    End = 0,             // end of a decoded sequence (with DecayEnd)
    Note = 1,            // key in bits 0-7, velocity in bits 8-15; velocity 0 = note off
    Program = 2,         // program 0-127
    ChannelPressure = 3, // 0-127
    PitchBend = 4,       // 0-16383, 8192 centre
    PitchRange = 5,      // semitones
    Drums = 6,           // 1 = channel plays drums
    KeyPressure = 7,     // key in bits 0-7, pressure in bits 8-15
    Controller = 8,      // controller number in bits 0-7, value in bits 8-15
    SoundOff = 16,       // all sound off on the channel
    Reset = 17,          // reset the channel's controllers
    NotesOff = 18,       // release every note of the channel
    ReverbLevel = 36,    // channel reverb level, 100 = unity (values above amplify)
    ChorusLevel = 41,    // channel chorus level, 100 = unity
    System = 61,         // system reset; param: ESystemMode
    MixLevel = 0x10000,  // channel output gain in percent, applied after everything else
    SystemEx = 0x10002,  // not usable through SendEvent: use SendMidi
};

enum ESystemMode : uint32_t { SysDefault = 0, SysGm1 = 1, SysGm2 = 2, SysXg = 3, SysGs = 4 };

// Attribute ids, for callers that address attributes by number.
namespace Attribute {
inline constexpr uint32_t RenderTime = 7; // rendering time, % of real time
inline constexpr uint32_t RenderTimeLimit = 0x12001;
inline constexpr uint32_t ActiveVoices = 0x12004;
inline constexpr uint32_t MidiState = 0x12005;
} // namespace Attribute

// Headroom of every stream's output (-14 dB): a dense General MIDI song sums many loud voices,
// and a synth that plays one note at full scale clips on real music. Common GM synthesizers
// leave the same.
inline constexpr float kOutputGain = 0.2f;

inline constexpr int kMinVoices = 16;
inline constexpr int kMaxVoices = 100000;

} // namespace hml::audio
