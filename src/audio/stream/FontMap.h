// The SoundFonts mapped to a stream and the program lookup through them: which preset plays a
// channel's bank and program, falling back as a GM synthesizer would.
#pragma once

#include "audio/stream/CMidiStream.h"
#include "audio/stream/ChannelState.h"

#include <vector>

namespace hml::audio {

class CFontMap {
public:
    // Takes the new mapping; the old one comes back so the caller can free it later.
    std::vector<SFontMapping> Replace(std::vector<SFontMapping> next);
    bool Holds(const CSoundFont* font) const;

    // Sets the channel's preset (or none) for its program: melodic channels fall back to bank
    // 0, drum channels to the standard kit.
    void Resolve(SChannel& ch, int melodicBank, EMode mode) const;

private:
    bool Lookup(int bank, int program, bool drum, EMode mode, SChannel& ch) const;

    std::vector<SFontMapping> fonts;
};

} // namespace hml::audio
