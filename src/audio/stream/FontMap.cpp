#include "audio/stream/FontMap.h"

#include <algorithm>

namespace hml::audio {

std::vector<SFontMapping> CFontMap::Replace(std::vector<SFontMapping> next) {
    fonts.swap(next);
    return next;
}

bool CFontMap::Holds(const CSoundFont* font) const {
    for (const SFontMapping& m : fonts)
        if (m.font.get() == font)
            return true;
    return false;
}

void CFontMap::Resolve(SChannel& ch, int melodicBank, EMode mode) const {
    ch.presetDirty = false;
    ch.preset = nullptr;
    ch.presetFont = nullptr;
    const int program = ch.program;
    if (ch.drum) {
        if (!Lookup(128, program, true, mode, ch) && program != 0)
            Lookup(128, 0, true, mode, ch);
        return;
    }
    if (!Lookup(melodicBank, program, false, mode, ch) && melodicBank != 0)
        Lookup(0, program, false, mode, ch);
}

bool CFontMap::Lookup(int bank, int program, bool drum, EMode mode, SChannel& ch) const {
    for (const SFontMapping& m : fonts) {
        const CSoundFont* f = m.font.get();
        const sf2::SPreset* p = nullptr;
        if (f->IsInstrument()) {
            // An instrument plays as one program of the entry's bank: its preset, or 0.
            const bool bankFits = drum ? m.bank == 128 : m.bank == bank;
            if (bankFits && std::max(m.preset, 0) == program)
                p = &f->Model().presets[0];
        } else if (m.preset < 0) {
            if (drum) {
                if (f->XgDrums() && mode == ModeXg)
                    p = f->FindPreset(127, program);
                if (p == nullptr)
                    p = f->FindPreset(128, program);
            } else {
                p = f->FindPreset(bank - m.bank, program);
            }
        } else if (!drum && m.preset == program && m.bank == bank) {
            p = f->FindPreset(0, program);
            for (int b = 1; p == nullptr && b < 128; ++b)
                p = f->FindPreset(b, program);
        }
        if (p != nullptr) {
            f->RequestPreset(p);
            ch.preset = p;
            ch.presetFont = f;
            return true;
        }
    }
    return false;
}

} // namespace hml::audio
