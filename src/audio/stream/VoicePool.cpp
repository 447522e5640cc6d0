#include "audio/stream/VoicePool.h"

#include "audio/sf2/CSoundFont.h"

#include <algorithm>

namespace hml::audio {

using voice::CVoice;

namespace {

constexpr int kSpareVoices = 64; // slots for voices fading out after being stolen
constexpr float kStealFade = 0.003f;
constexpr float kExclusiveFade = 0.002f;
constexpr float kSoundOffFade = 0.005f;

} // namespace

CVoicePool::CVoicePool(int limit, uint32_t sampleRate, bool offLast)
    : voiceLimit(limit), rate(sampleRate), noteOffLast(offLast) {
    voices.resize(static_cast<size_t>(limit + kSpareVoices));
    active.reserve(voices.size());
    freeList.reserve(voices.size());
    for (size_t i = voices.size(); i-- > 0;)
        freeList.push_back(static_cast<int>(i));
    noteStarted.reserve(256);
}

void CVoicePool::NoteOn(int c, int key, int vel, SChannel& ch) {
    if (ch.mono)
        ReleaseAll(c, ch.SustainDown());
    const uint32_t id = ++noteCounter;
    noteStarted.clear();
    const sf2::SPreset& preset = *ch.preset;
    const sf2::SModel& model = ch.presetFont->Model();
    for (const sf2::SZone& pz : preset.zones) {
        if (!pz.Matches(key, vel))
            continue;
        const sf2::SInstrument& inst = model.instruments[static_cast<size_t>(pz.link)];
        for (const sf2::SZone& iz : inst.zones) {
            if (!iz.Matches(key, vel))
                continue;
            const int idx = Allocate();
            if (idx < 0)
                return;
            voice::SVoiceStart s;
            s.font = ch.presetFont;
            s.presetGlobal =
                preset.global.set || !preset.global.mods.empty() ? &preset.global : nullptr;
            s.presetZone = &pz;
            s.instGlobal = inst.global.set || !inst.global.mods.empty() ? &inst.global : nullptr;
            s.instZone = &iz;
            s.channel = c;
            s.key = key;
            s.velocity = vel;
            s.noteId = id;
            if (At(idx).Start(s, &ch.ctl, rate)) {
                active.push_back(idx);
                if (noteStarted.size() < noteStarted.capacity())
                    noteStarted.push_back(idx);
            } else {
                freeList.push_back(idx);
            }
        }
    }
    LinkNewVoices(c, id, model);
}

void CVoicePool::LinkNewVoices(int c, uint32_t id, const sf2::SModel& model) {
    for (int idx : noteStarted) {
        CVoice& v = At(idx);
        // A new note of an exclusive class cuts the others of its class on this channel.
        if (v.ExclusiveClass() != 0) {
            for (int o : active) {
                CVoice& w = At(o);
                if (w.NoteId() != id && w.Channel() == c &&
                    w.ExclusiveClass() == v.ExclusiveClass())
                    w.FastRelease(kExclusiveFade);
            }
        }
        // The right half of a stereo pair follows its left half's pitch.
        const sf2::SSample* smp = v.Sample();
        if (smp->type & sf2::RightSample) {
            const sf2::SSample* mate = &model.samples[smp->link];
            for (int o : noteStarted)
                if (o != idx && At(o).Sample() == mate) {
                    v.leader = o;
                    v.leaderNote = id;
                    break;
                }
        }
    }
}

void CVoicePool::NoteOff(int c, int key, const SChannel& ch) {
    uint32_t only = 0;
    if (noteOffLast) {
        for (int idx : active) {
            const CVoice& v = At(idx);
            if (v.Channel() == c && v.Key() == key && !v.IsReleased() && !v.sustained)
                only = std::max(only, v.NoteId());
        }
    }
    for (int idx : active) {
        CVoice& v = At(idx);
        if (v.Channel() != c || v.Key() != key || v.IsReleased() || v.sustained)
            continue;
        if (only != 0 && v.NoteId() != only)
            continue;
        if (ch.SustainDown() || v.sostenuto)
            v.sustained = true;
        else
            v.Release();
    }
}

void CVoicePool::SoundOff(int c) {
    for (int idx : active)
        if (At(idx).Channel() == c)
            At(idx).FastRelease(kSoundOffFade);
}

void CVoicePool::ReleaseAll(int c, bool sustainDown) {
    for (int idx : active) {
        CVoice& v = At(idx);
        if (v.Channel() != c || v.IsReleased())
            continue;
        if (sustainDown)
            v.sustained = true;
        else
            v.Release();
    }
}

void CVoicePool::ReleasePedalled(int c, bool sustainDown, bool sostenutoDown) {
    for (int idx : active) {
        CVoice& v = At(idx);
        if (v.Channel() != c || !v.sustained)
            continue;
        if (!sustainDown && !(v.sostenuto && sostenutoDown)) {
            v.sustained = false;
            v.Release();
        }
    }
}

void CVoicePool::CatchSostenuto(int c) {
    for (int idx : active) {
        CVoice& v = At(idx);
        if (v.Channel() == c && !v.IsReleased() && !v.sustained)
            v.sostenuto = true;
    }
}

void CVoicePool::FreeSostenuto(int c) {
    for (int idx : active)
        if (At(idx).Channel() == c)
            At(idx).sostenuto = false;
}

void CVoicePool::KillUnmapped(const CFontMap& fonts) {
    for (int idx : active)
        if (!fonts.Holds(At(idx).Font()))
            At(idx).Kill();
    Compact();
}

void CVoicePool::Render(const voice::SRenderTarget& target, voice::EInterpolation interp) {
    for (int idx : active)
        At(idx).UpdateParams(target.frames);
    // Stereo partners play at their leader's rate so the pair stays phase-locked.
    for (int idx : active) {
        CVoice& v = At(idx);
        if (v.leader >= 0) {
            const CVoice& l = At(v.leader);
            if (l.IsActive() && l.NoteId() == v.leaderNote)
                v.FollowRate(l.Rate());
            else
                v.leader = -1;
        }
    }
    for (int idx : active)
        At(idx).Render(target, interp);
    Compact();
}

void CVoicePool::ShedQuietest() {
    size_t n = std::max<size_t>(1, active.size() / 8);
    while (n-- > 0) {
        int best = -1;
        for (int idx : active) {
            const CVoice& v = At(idx);
            if (!v.IsFading() && (best < 0 || v.Loudness() < At(best).Loudness()))
                best = idx;
        }
        if (best < 0)
            break;
        At(best).FastRelease(kStealFade);
    }
}

// Steals when the limit is reached: released voices first, then the quietest, the oldest of
// equals; the stolen voice fades out over a few milliseconds in a spare slot.
void CVoicePool::StealOne() {
    int best = -1;
    auto score = [&](int idx) {
        const CVoice& v = At(idx);
        return (v.IsReleased() ? 0.0f : 10.0f) + v.Loudness();
    };
    for (int idx : active) {
        const CVoice& v = At(idx);
        if (v.IsFading())
            continue;
        if (best < 0 || score(idx) < score(best) ||
            (score(idx) == score(best) && v.NoteId() < At(best).NoteId()))
            best = idx;
    }
    if (best >= 0)
        At(best).FastRelease(kStealFade);
}

int CVoicePool::Allocate() {
    int nonFading = 0;
    for (int idx : active)
        nonFading += At(idx).IsFading() ? 0 : 1;
    if (nonFading >= voiceLimit)
        StealOne();
    if (freeList.empty()) {
        // Every spare slot is fading: reuse the one closest to silence.
        int best = -1;
        for (int idx : active)
            if (At(idx).IsFading() && (best < 0 || At(idx).Loudness() < At(best).Loudness()))
                best = idx;
        if (best < 0)
            return -1;
        At(best).Kill();
        Compact();
    }
    const int idx = freeList.back();
    freeList.pop_back();
    return idx;
}

void CVoicePool::Compact() {
    size_t w = 0;
    for (size_t i = 0; i < active.size(); ++i) {
        const int idx = active[i];
        if (At(idx).IsActive())
            active[w++] = idx;
        else
            freeList.push_back(idx);
    }
    active.resize(w);
}

} // namespace hml::audio
