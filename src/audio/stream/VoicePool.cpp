#include "audio/stream/VoicePool.h"

#include "audio/sf2/CSoundFont.h"

#include <algorithm>

namespace hml::audio {

using voice::CVoice;

namespace {

constexpr int kSpareVoices = 64; // slots for voices fading out after being stolen
// Allocated up front (about 1.7 MB): every ordinary limit, and the first burst of a high one.
constexpr int kInitialSlots = 1024 + kSpareVoices;
constexpr float kStealFade = 0.003f;
constexpr float kExclusiveFade = 0.002f;
constexpr float kSoundOffFade = 0.005f;

} // namespace

CVoicePool::CVoicePool(int limit, uint32_t sampleRate, bool offLast, bool helperThread)
    : voiceLimit(limit), rate(sampleRate), noteOffLast(offLast), total(limit + kSpareVoices) {
    if (helperThread && static_cast<size_t>(limit) >= kHelperFromVoices)
        helper = std::make_unique<CRenderHelper>();
    chunks = std::make_unique<std::unique_ptr<CVoice[]>[]>(
        static_cast<size_t>((total + kChunk - 1) / kChunk));
    int cap = 0;
    while (cap < std::min(total, kInitialSlots)) {
        chunks[static_cast<size_t>(cap / kChunk)] = std::make_unique<CVoice[]>(kChunk);
        cap = std::min(total, cap + kChunk);
    }
    capacity.store(cap);
    active.reserve(static_cast<size_t>(total));
    freeList.reserve(static_cast<size_t>(total));
    TakeNewSlots();
    noteStarted.reserve(256);
    if (cap < total)
        topUp = std::thread([this] { TopUpMain(); });
}

CVoicePool::~CVoicePool() {
    if (topUp.joinable()) {
        {
            std::lock_guard<std::mutex> guard(topUpLock);
            stop = true;
        }
        topUpWake.notify_one();
        topUp.join();
    }
}

void CVoicePool::TakeNewSlots() {
    const int cap = capacity.load(std::memory_order_acquire);
    for (int i = cap; i-- > known;)
        freeList.push_back(i);
    known = std::max(known, cap);
}

void CVoicePool::TopUpMain() {
    std::unique_lock<std::mutex> guard(topUpLock);
    int cap = capacity.load();
    while (!stop && cap < total) {
        // The render thread wakes it when half the pool is in use; the timeout only covers a wake
        // that came between the check and the wait.
        topUpWake.wait_for(guard, std::chrono::milliseconds(50),
                           [this] { return stop.load() || topUpWanted.load(); });
        topUpWanted.store(false);
        // Keeps at least half the pool free, so a burst finds room before the next round.
        while (!stop && cap < total && inUse.load(std::memory_order_relaxed) * 2 >= cap) {
            chunks[static_cast<size_t>(cap / kChunk)] = std::make_unique<CVoice[]>(kChunk);
            cap = std::min(total, cap + kChunk);
            capacity.store(cap, std::memory_order_release);
        }
    }
}

void CVoicePool::NoteOn(int c, int key, int vel, SChannel& ch) {
    if (ch.mono)
        ReleaseAll(c, ch.SustainDown());
    ch.noteVelocity[key] = static_cast<uint8_t>(vel);
    const sf2::SModel& model = ch.presetFont->Model();
    if (!model.rules.empty()) {
        if (key >= model.switchLo && key <= model.switchHi)
            ch.keySwitch = static_cast<int8_t>(key);
        random ^= random << 13;
        random ^= random >> 17;
        random ^= random << 5;
        noteRandom = static_cast<float>(random >> 8) * (1.0f / 16777216.0f);
        keysHeld = false;
        for (int idx : active) {
            const CVoice& v = At(idx);
            keysHeld = keysHeld || (v.Channel() == c && !v.IsReleased() && v.Key() != key);
        }
    }
    StartZones(c, key, vel, ch, false);
}

void CVoicePool::StartZones(int c, int key, int vel, const SChannel& ch, bool release) {
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
            const sf2::SRegionRule* rule =
                iz.rule >= 0 ? &model.rules[static_cast<size_t>(iz.rule)] : nullptr;
            if (rule != nullptr ? !RuleAllows(*rule, iz.rule, c, ch, release) : release)
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
            s.rule = rule;
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

bool CVoicePool::RuleAllows(const sf2::SRegionRule& rule, int ruleIndex, int c, const SChannel& ch,
                            bool release) {
    if (release != (rule.trigger == sf2::TriggerRelease))
        return false;
    if ((rule.trigger == sf2::TriggerFirst && keysHeld) ||
        (rule.trigger == sf2::TriggerLegato && !keysHeld))
        return false;
    if (c < rule.chanLo || c > rule.chanHi)
        return false;
    for (const sf2::SCcRange& r : rule.cc)
        if (ch.ctl.cc[r.cc] < r.lo || ch.ctl.cc[r.cc] > r.hi)
            return false;
    if (noteRandom < rule.randLo || noteRandom >= rule.randHi)
        return false;
    if (rule.switchLast >= 0 &&
        (ch.keySwitch >= 0 ? ch.keySwitch : rule.switchDefault) != rule.switchLast)
        return false;
    if (rule.seqLength > 1) {
        // Every note that reaches the region counts, played or not.
        uint16_t& n = seqCount[static_cast<size_t>(ruleIndex) % std::size(seqCount)];
        const bool turn = n % rule.seqLength == rule.seqPosition - 1;
        n = static_cast<uint16_t>((n + 1) % rule.seqLength);
        return turn;
    }
    return true;
}

void CVoicePool::ApplyGroups(CVoice& v, int c, uint32_t id) {
    const sf2::SRegionRule* rule = v.Rule();
    if (rule->group != 0) {
        for (int o : active) {
            CVoice& w = At(o);
            if (w.NoteId() != id && w.Channel() == c && w.Rule() != nullptr &&
                w.Rule()->offBy == rule->group && !w.IsFading())
                w.EndByGroup(kExclusiveFade);
        }
    }
    // Polyphony limits end the oldest notes of the group (of the key) beyond the limit.
    for (const bool perKey : {false, true}) {
        const int limit = perKey ? rule->notePolyphony : rule->polyphony;
        if (limit == 0)
            continue;
        for (;;) {
            int count = 0, oldest = -1;
            for (int o : active) {
                const CVoice& w = At(o);
                if (w.Channel() != c || w.IsFading() || w.IsReleased() || w.Rule() == nullptr ||
                    w.Rule()->group != rule->group || (perKey && w.Key() != v.Key()))
                    continue;
                ++count;
                if (w.NoteId() != id && (oldest < 0 || w.NoteId() < At(oldest).NoteId()))
                    oldest = o;
            }
            if (count <= limit || oldest < 0)
                break;
            At(oldest).EndByGroup(kExclusiveFade);
        }
    }
}

void CVoicePool::LinkNewVoices(int c, uint32_t id, const sf2::SModel& model) {
    for (int idx : noteStarted) {
        CVoice& v = At(idx);
        if (v.Rule() != nullptr)
            ApplyGroups(v, c, id);
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
    // After the loop above, so the release notes are not released at once.
    if (ch.preset != nullptr && ch.presetFont->Model().releaseTriggers)
        StartZones(c, key, ch.noteVelocity[key], ch, true);
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
    // The voices lie scattered over the pool: each pass asks for a voice a few places ahead.
    constexpr size_t kAhead = 4;
    const size_t count = active.size();
    for (size_t i = 0; i < count; ++i) {
        if (i + kAhead < count)
            At(active[i + kAhead]).PrefetchState();
        CVoice& v = At(active[i]);
        v.UpdateParams(target.frames);
        v.PrefetchSamples();
    }
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
    size_t own = count;
    if (helper && count >= kHelperFromVoices) {
        own = count / 2;
        for (float* b : shareBuses)
            std::fill(b, b + target.frames, 0.0f);
        share.pool = this;
        share.voices = active.data() + own;
        share.count = count - own;
        share.target = {shareBuses[0], shareBuses[1], target.reverb ? shareBuses[2] : nullptr,
                        target.reverb ? shareBuses[3] : nullptr, target.frames};
        share.interp = interp;
        helper->Offer(&SHelperShare::Run, &share);
    }
    for (size_t i = 0; i < own; ++i)
        At(active[i]).Render(target, interp);
    if (own < count) {
        helper->Finish();
        float* const buses[] = {target.left, target.right, target.reverb, target.chorus};
        for (int b = 0; b < 4; ++b)
            if (buses[b] != nullptr)
                for (int i = 0; i < target.frames; ++i)
                    buses[b][i] += shareBuses[b][i];
    }
    Compact();
}

void CVoicePool::SHelperShare::Run(void* self) {
    const SHelperShare& s = *static_cast<const SHelperShare*>(self);
    for (size_t i = 0; i < s.count; ++i)
        s.pool->At(s.voices[i]).Render(s.target, s.interp);
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

// The voice to steal when the limit is reached: released voices first, then the quietest, the
// oldest of equals; -1 when every voice is fading already. Counts the voices not fading on the
// way, so a note-on looks at each voice once.
int CVoicePool::StealCandidate(int& nonFading) {
    int best = -1;
    float bestScore = 0.0f;
    nonFading = 0;
    for (int idx : active) {
        const CVoice& v = At(idx);
        if (v.IsFading())
            continue;
        ++nonFading;
        const float score = (v.IsReleased() ? 0.0f : 10.0f) + v.Loudness();
        if (best < 0 || score < bestScore ||
            (score == bestScore && v.NoteId() < At(best).NoteId())) {
            best = idx;
            bestScore = score;
        }
    }
    return best;
}

int CVoicePool::Allocate() {
    TakeNewSlots();
    const int inUseNow = static_cast<int>(active.size()) + 1;
    inUse.store(inUseNow, std::memory_order_relaxed);
    if (inUseNow * 2 >= known && known < total && !topUpWanted.exchange(true))
        topUpWake.notify_one(); // without the lock: the render thread never waits for it
    int nonFading = 0;
    const int candidate = StealCandidate(nonFading);
    // At the limit, or the pool has not grown to it yet: the stolen voice fades out over a few
    // milliseconds in a spare slot.
    if (candidate >= 0 && (nonFading >= voiceLimit ||
                           (freeList.empty() && nonFading == static_cast<int>(active.size()))))
        At(candidate).FastRelease(kStealFade);
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
