// Renders one MIDI file to an audio file with the converter's synthesis set-up: the file's
// events into a decoding stream at their positions, the mix levels of a mixer owner, the
// configured effect levels, key shift, drum tracking and the SysEx override, and the output
// through the WAV writer or an external encoder. Portable; windows watch it through
// IRenderObserver and stop it through the cancel flag.
#pragma once

#include "audio/Audio.h"
#include "audio/stream/CMidiStream.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace hml::mixer {
class IMixerOwner;
} // namespace hml::mixer

namespace hml::converter {

struct SRenderOptions {
    uint32_t rate = 48000;
    // Added to Decode | Float | DecayEnd: what the synthesis settings call for (Sinc, NoFx,
    // NoteOffLast).
    uint32_t extraFlags = 0;
    int voices = 500;
    std::vector<audio::SFontMapping> fonts;    // earlier entries win
    const mixer::IMixerOwner* mixer = nullptr; // the 16 mix levels; null: all at 100
    uint32_t reverb = 64;                      // 0-127
    uint32_t chorus = 64;                      // 0-127
    bool overrideEffects = true;               // the file's SysEx is dropped, resets get our levels
    bool skipInitialSilence = false;
    int keyShift = 0; // semitones; never on drum channels
    size_t profile = 0;
    std::string encoderProgram; // path of the encoder program; empty: its name on the PATH
    std::string encoderOptions; // %%CUSTOMPARAMS%%
};

class IRenderObserver {
public:
    virtual ~IRenderObserver() = default;
    virtual void OnProgress(uint32_t permille) = 0; // 0..1000
    virtual void OnLog(const std::string& line) = 0;
};

enum class ERenderStatus { Completed, Canceled, Failed };

struct SRenderResult {
    ERenderStatus status = ERenderStatus::Failed;
    audio::EError error = audio::EError::Ok;
    std::string message; // why it failed, for one line of text
    double seconds = 0;  // audio rendered
    bool encoderStopped = false;
};

// Renders `input` to `output` (written under a temporary name, renamed when complete; nothing is
// left behind on failure or cancel). `cancel` is polled between 10 ms chunks; an encoder that
// stops early sets it, which also ends the caller's batch.
SRenderResult RenderFile(const std::filesystem::path& input, const std::filesystem::path& output,
                         const SRenderOptions& options, IRenderObserver* observer,
                         std::atomic<bool>& cancel);

// The GS reverb level, GS chorus level, XG reverb return and XG chorus return messages.
std::array<std::vector<uint8_t>, 4> EffectLevelMessages(uint32_t reverb, uint32_t chorus);

} // namespace hml::converter
