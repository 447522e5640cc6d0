#include "audio/stream/CMidiStream.h"

#include "audio/dsp/Chorus.h"
#include "audio/dsp/Interpolator.h"
#include "audio/dsp/Reverb.h"
#include "audio/stream/CEventQueue.h"
#include "audio/synth/CVoice.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#if defined(__SSE__) || defined(_M_X64) || defined(__x86_64__)
#include <xmmintrin.h>
#define HML_HAVE_MXCSR 1
#endif

namespace hml::audio {

using synth::CVoice;
using synth::SChannelControls;

namespace {

constexpr int kBlock = 64;
constexpr int kChannels = 16;
constexpr int kSpareVoices = 64; // slots for voices fading out after being stolen
constexpr float kStealFade = 0.003f;
constexpr float kExclusiveFade = 0.002f;
constexpr float kSoundOffFade = 0.005f;
// Gain of the chorus return. The send bus is mono and the chorus folds it with a silent second
// input, then spreads two taps to each side: at 2 a voice sent fully to the chorus comes back
// about as loud as it is dry, as on hardware SoundFont synthesizers.
constexpr float kChorusReturn = 2.0f;
constexpr float kDefaultEffectLevel = 64.0f / 127.0f;

enum EMode { ModeGm1, ModeGm2, ModeGs, ModeXg };

// Sets MXCSR flush-to-zero / denormals-are-zero for the scope of a render call.
class CDenormalGuard {
public:
#ifdef HML_HAVE_MXCSR
    CDenormalGuard() : saved(_mm_getcsr()) {
        _mm_setcsr(saved | 0x8040);
    }
    ~CDenormalGuard() {
        _mm_setcsr(saved);
    }

private:
    unsigned int saved;
#else
    // Without SSE control there is nothing to set; user-provided so a guard is never "unused".
    CDenormalGuard() {}
#endif
};

struct SChannel {
    SChannelControls ctl;
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
};

template <class T> void Put(std::vector<uint8_t>& out, T v) {
    const size_t at = out.size();
    out.resize(at + sizeof v);
    std::memcpy(out.data() + at, &v, sizeof v);
}

class CReader {
public:
    CReader(const uint8_t* d, size_t n) : p(d), left(n) {}
    template <class T> bool Get(T& v) {
        if (left < sizeof v)
            return false;
        std::memcpy(&v, p, sizeof v);
        p += sizeof v;
        left -= sizeof v;
        return true;
    }

private:
    const uint8_t* p;
    size_t left;
};

constexpr uint32_t kStateMagic = 0x31534D48; // "HMS1"

} // namespace

class CMidiStreamImpl {
public:
    CMidiStreamImpl(uint32_t streamFlags, uint32_t sampleRate, int limit)
        : flags(streamFlags), rate(sampleRate), voiceLimit(limit), queue(1u << 18) {
        reverb.SetSampleRate(static_cast<float>(sampleRate));
        chorus.SetSampleRate(static_cast<float>(sampleRate));
        chorus.SetLevel(kChorusReturn);
        if (flags & StreamFlags::Sinc)
            CSincTable::Get(); // built here, never first on the render thread
        voices.resize(static_cast<size_t>(limit + kSpareVoices));
        active.reserve(voices.size());
        freeList.reserve(voices.size());
        for (size_t i = voices.size(); i-- > 0;)
            freeList.push_back(static_cast<int>(i));
        noteStarted.reserve(256);
        for (float* b : {mixL, mixR, sendRev, sendCho})
            std::fill(b, b + kBlock, 0.0f);
        interp = (flags & StreamFlags::Sinc) ? synth::EInterpolation::Sinc
                                             : synth::EInterpolation::Linear;
        const uint32_t channelsOut = (flags & StreamFlags::Mono) ? 1 : 2;
        const uint32_t sampleBytes = (flags & StreamFlags::Float)         ? 4
                                     : (flags & StreamFlags::Sample8Bits) ? 1
                                                                          : 2;
        bytesPerFrame = channelsOut * sampleBytes;
        if (!(flags & StreamFlags::Decode)) {
            ringFrames = rate * 2;
            ring.assign(static_cast<size_t>(ringFrames) * bytesPerFrame, 0);
        }
        ResetAll(ModeGm1);
    }

    // ---- control side -------------------------------------------------------------------

    EError SetFonts(const SFontMapping* list, size_t count) {
        if (count != 0 && list == nullptr)
            return EError::IllParam;
        std::vector<SFontMapping> next(list, list + count);
        for (const SFontMapping& m : next)
            if (!m.font)
                return EError::Handle;
        std::vector<SFontMapping> old;
        {
            std::lock_guard<std::mutex> guard(lock);
            old.swap(fonts);
            fonts = std::move(next);
            // Voices of fonts that left the mapping stop now; the mapping vector that held
            // their fonts is released only after that, outside the lock.
            for (int idx : active) {
                CVoice& v = voices[static_cast<size_t>(idx)];
                bool kept = false;
                for (const SFontMapping& m : fonts)
                    kept = kept || m.font.get() == v.Font();
                if (!kept)
                    v.Kill();
            }
            CompactActive();
            for (SChannel& ch : channels)
                ch.presetDirty = true;
        }
        return EError::Ok;
    }

    std::vector<uint8_t> SaveState() {
        std::lock_guard<std::mutex> guard(lock);
        // Events sent but not yet rendered are part of the state the caller expects.
        DrainEventsLocked();
        std::vector<uint8_t> out;
        Put(out, kStateMagic);
        Put(out, static_cast<uint8_t>(mode));
        Put(out, masterVolume);
        for (const SChannel& ch : channels) {
            Put(out, ch.program);
            Put(out, static_cast<uint8_t>(ch.drum));
            Put(out, static_cast<uint8_t>(ch.mono));
            for (uint8_t c : ch.ctl.cc)
                Put(out, c);
            Put(out, ch.ctl.pitchBend);
            Put(out, ch.ctl.bendRange);
            Put(out, ch.fineCents);
            Put(out, ch.coarseSemis);
            Put(out, ch.ctl.channelPressure);
            Put(out, ch.ctl.reverbLevel);
            Put(out, ch.ctl.chorusLevel);
            Put(out, ch.mixLevel);
            Put(out, ch.rpn);
            Put(out, static_cast<uint8_t>(ch.nrpn));
        }
        return out;
    }

    EError RestoreState(const uint8_t* data, size_t size) {
        if (data == nullptr)
            return EError::IllParam;
        CReader r(data, size);
        uint32_t magic = 0;
        uint8_t m = 0;
        float master = 1;
        SChannel next[kChannels];
        if (!r.Get(magic) || magic != kStateMagic || !r.Get(m) || m > ModeXg || !r.Get(master))
            return EError::IllParam;
        for (SChannel& ch : next) {
            uint8_t drum = 0, mono = 0, nrpn = 0;
            bool ok = r.Get(ch.program) && r.Get(drum) && r.Get(mono);
            for (uint8_t& c : ch.ctl.cc)
                ok = ok && r.Get(c);
            ok = ok && r.Get(ch.ctl.pitchBend) && r.Get(ch.ctl.bendRange) && r.Get(ch.fineCents) &&
                 r.Get(ch.coarseSemis) && r.Get(ch.ctl.channelPressure) &&
                 r.Get(ch.ctl.reverbLevel) && r.Get(ch.ctl.chorusLevel) && r.Get(ch.mixLevel) &&
                 r.Get(ch.rpn) && r.Get(nrpn);
            if (!ok)
                return EError::IllParam;
            for (uint8_t& c : ch.ctl.cc)
                c &= 0x7F;
            ch.program &= 0x7F;
            ch.drum = drum != 0;
            ch.mono = mono != 0;
            ch.nrpn = nrpn != 0;
            ch.ctl.pitchBend = std::min<uint16_t>(ch.ctl.pitchBend, 16383);
            if (!std::isfinite(ch.ctl.bendRange) || !std::isfinite(ch.fineCents) ||
                !std::isfinite(ch.coarseSemis) || !std::isfinite(ch.mixLevel) ||
                !std::isfinite(ch.ctl.reverbLevel) || !std::isfinite(ch.ctl.chorusLevel))
                return EError::IllParam;
        }
        std::lock_guard<std::mutex> guard(lock);
        mode = static_cast<EMode>(m);
        masterVolume = std::isfinite(master) ? std::clamp(master, 0.0f, 4.0f) : 1.0f;
        for (int c = 0; c < kChannels; ++c) {
            channels[c] = next[c];
            channels[c].presetDirty = true;
            Touch(c);
            UpdateChannel(c);
        }
        return EError::Ok;
    }

    // ---- event intake (any thread) --------------------------------------------------------

    bool SendEvent(int channel, uint32_t event, uint32_t param) {
        if (channel < 0 || channel >= kChannels || event == EMidiEvent::SystemEx)
            return false;
        return queue.Push(CEventQueue::Event, static_cast<uint16_t>(channel), event, param);
    }

    bool SendMidi(const uint8_t* bytes, size_t count) {
        if (bytes == nullptr || count == 0 || count > (1u << 16))
            return false;
        return queue.Push(CEventQueue::Raw, 0, 0, static_cast<uint32_t>(count), bytes,
                          static_cast<uint32_t>(count));
    }

    // ---- render side ------------------------------------------------------------------------

    size_t RenderAhead(uint32_t ms) {
        if (ring.empty())
            return 0;
        [[maybe_unused]] CDenormalGuard denormals;
        const auto t0 = std::chrono::steady_clock::now();
        const uint64_t want = std::min<uint64_t>(uint64_t{ms} * rate / 1000, ringFrames - kBlock);
        uint64_t rendered = 0;
        for (;;) {
            // One block per hold of the render lock: the device side never waits longer.
            std::lock_guard<std::mutex> guard(renderLock);
            if (BufferedFrames() >= want)
                break;
            RenderIntoRing();
            rendered += kBlock;
        }
        Account(t0, rendered);
        return BufferedFrames();
    }

    size_t ReadOutput(void* buffer, size_t bytes) {
        if (ring.empty() || buffer == nullptr)
            return 0;
        [[maybe_unused]] CDenormalGuard denormals;
        const uint64_t frames = std::min<uint64_t>(bytes / bytesPerFrame, ringFrames - kBlock);
        std::lock_guard<std::mutex> guard(renderLock);
        if (BufferedFrames() < frames) {
            // The render thread fell behind: render the shortfall here rather than leave a gap.
            const auto t0 = std::chrono::steady_clock::now();
            uint64_t rendered = 0;
            while (BufferedFrames() < frames) {
                RenderIntoRing();
                rendered += kBlock;
            }
            Account(t0, rendered);
        }
        uint64_t r = ringRead.load(std::memory_order_relaxed);
        auto* out = static_cast<uint8_t*>(buffer);
        for (uint64_t i = 0; i < frames; ++i, ++r)
            std::memcpy(out + i * bytesPerFrame, ring.data() + (r % ringFrames) * bytesPerFrame,
                        bytesPerFrame);
        ringRead.store(r, std::memory_order_release);
        return static_cast<size_t>(frames * bytesPerFrame);
    }

    void DropOutput() {
        std::lock_guard<std::mutex> guard(renderLock);
        ringRead.store(ringWrite.load(std::memory_order_relaxed), std::memory_order_release);
    }

    size_t BufferedFrames() const {
        return static_cast<size_t>(ringWrite.load(std::memory_order_acquire) -
                                   ringRead.load(std::memory_order_acquire));
    }

    int64_t GetData(void* buffer, size_t bytes) {
        if (!(flags & StreamFlags::Decode) || buffer == nullptr)
            return -1;
        if (finished)
            return -1;
        [[maybe_unused]] CDenormalGuard denormals;
        const auto t0 = std::chrono::steady_clock::now();
        auto* out = static_cast<uint8_t*>(buffer);
        const size_t frames = bytes / bytesPerFrame;
        size_t done = 0;
        while (done < frames) {
            if (carryPos >= kBlock) {
                if (ended && EndReached()) {
                    finished = true;
                    break;
                }
                RenderBlock();
                carryPos = 0;
            }
            const size_t n =
                std::min<size_t>(frames - done, static_cast<size_t>(kBlock - carryPos));
            Convert(out + done * bytesPerFrame, carryPos, static_cast<int>(n));
            carryPos += static_cast<int>(n);
            done += n;
        }
        Account(t0, done);
        if (done == 0 && finished)
            return -1;
        return static_cast<int64_t>(done * bytesPerFrame);
    }

    void SetRenderTimeLimit(float percent) {
        cpuLimit.store(std::isfinite(percent) ? std::clamp(percent, 0.0f, 100.0f) : 0.0f);
    }
    float GetRenderTime() const { return renderTime.load(std::memory_order_relaxed); }
    uint32_t GetActiveVoices() const { return activeCount.load(std::memory_order_relaxed); }
    uint32_t GetLevel() const { return level.load(std::memory_order_relaxed); }

    const uint32_t flags;
    const uint32_t rate;
    uint32_t bytesPerFrame = 4;

private:
    // ---- block rendering ----------------------------------------------------------------

    // Applies every queued event; the caller holds `lock`.
    void DrainEventsLocked() {
        queue.Drain([this](const SEventRecord& rec, const uint8_t* payload) {
            if (rec.kind == CEventQueue::Raw)
                ParseRaw(payload, rec.param);
            else
                ApplyEvent(rec.channel, rec.event, rec.param);
        });
    }

    // Renders one block onto the ring's end; the caller holds `renderLock`.
    void RenderIntoRing() {
        RenderBlock();
        uint64_t w = ringWrite.load(std::memory_order_relaxed);
        uint8_t tmp[kBlock * 8];
        Convert(tmp, 0, kBlock);
        for (int i = 0; i < kBlock; ++i, ++w)
            std::memcpy(ring.data() + (w % ringFrames) * bytesPerFrame, tmp + i * bytesPerFrame,
                        bytesPerFrame);
        ringWrite.store(w, std::memory_order_release);
    }

    void RenderBlock() {
        std::lock_guard<std::mutex> guard(lock);
        const auto t0 = std::chrono::steady_clock::now();
        DrainEventsLocked();
        for (float* b : {mixL, mixR, sendRev, sendCho})
            std::fill(b, b + kBlock, 0.0f);
        for (int idx : active)
            voices[static_cast<size_t>(idx)].UpdateParams(kBlock);
        // Stereo partners play at their leader's rate so the pair stays phase-locked.
        for (int idx : active) {
            CVoice& v = voices[static_cast<size_t>(idx)];
            if (v.leader >= 0) {
                const CVoice& l = voices[static_cast<size_t>(v.leader)];
                if (l.IsActive() && l.NoteId() == v.leaderNote)
                    v.FollowRate(l.Rate());
                else
                    v.leader = -1;
            }
        }
        const bool fx = !(flags & StreamFlags::NoFx);
        synth::SRenderTarget target{mixL, mixR, fx ? sendRev : nullptr, fx ? sendCho : nullptr,
                                    kBlock};
        for (int idx : active)
            voices[static_cast<size_t>(idx)].Render(target, interp);
        CompactActive();
        if (fx) {
            reverb.Process(sendRev, silence, mixL, mixR, kBlock);
            chorus.Process(sendCho, silence, mixL, mixR, kBlock);
        }
        float peakL = 0, peakR = 0;
        const float gain = masterVolume * kOutputGain;
        for (int i = 0; i < kBlock; ++i) {
            mixL[i] *= gain;
            mixR[i] *= gain;
            peakL = std::max(peakL, std::fabs(mixL[i]));
            peakR = std::max(peakR, std::fabs(mixR[i]));
        }
        lastPeak = std::max(peakL, peakR);
        const uint32_t l = static_cast<uint32_t>(std::min(peakL, 1.0f) * 32768.0f);
        const uint32_t r = static_cast<uint32_t>(std::min(peakR, 1.0f) * 32768.0f);
        level.store(l | (r << 16), std::memory_order_relaxed);
        activeCount.store(static_cast<uint32_t>(active.size()), std::memory_order_relaxed);
        if (ended) {
            silentBlocks = (active.empty() && lastPeak < 1e-4f) ? silentBlocks + 1 : 0;
            tailBlocks = active.empty() ? tailBlocks + 1 : 0;
        }
        EnforceCpuLimit(t0);
    }

    bool EndReached() const {
        if (!(flags & StreamFlags::DecayEnd))
            return true;
        // Let the effect tails ring out, for two seconds after the last voice at most.
        return silentBlocks >= 8 || tailBlocks > 2 * rate / kBlock;
    }

    void EnforceCpuLimit(std::chrono::steady_clock::time_point t0) {
        const float limit = cpuLimit.load(std::memory_order_relaxed);
        if (limit <= 0 || active.empty())
            return;
        const double took =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (took <= limit / 100.0 * kBlock / rate)
            return;
        // Over budget: fade out the quietest eighth of the voices.
        size_t n = std::max<size_t>(1, active.size() / 8);
        while (n-- > 0) {
            int best = -1;
            for (int idx : active) {
                const CVoice& v = voices[static_cast<size_t>(idx)];
                if (!v.IsFading() &&
                    (best < 0 || v.Loudness() < voices[static_cast<size_t>(best)].Loudness()))
                    best = idx;
            }
            if (best < 0)
                break;
            voices[static_cast<size_t>(best)].FastRelease(kStealFade);
        }
    }

    void Account(std::chrono::steady_clock::time_point t0, uint64_t frames) {
        if (frames == 0)
            return;
        const double took =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double pct = took / (static_cast<double>(frames) / rate) * 100.0;
        const float old = renderTime.load(std::memory_order_relaxed);
        renderTime.store(static_cast<float>(old * 0.8 + pct * 0.2), std::memory_order_relaxed);
    }

    void Convert(uint8_t* out, int from, int frames) const {
        const bool mono = (flags & StreamFlags::Mono) != 0;
        for (int i = 0; i < frames; ++i) {
            const float l = mixL[from + i], r = mixR[from + i];
            float s[2] = {l, r};
            if (mono)
                s[0] = 0.5f * (l + r);
            const int nch = mono ? 1 : 2;
            for (int c = 0; c < nch; ++c) {
                if (flags & StreamFlags::Float) {
                    std::memcpy(out, &s[c], 4);
                    out += 4;
                } else if (flags & StreamFlags::Sample8Bits) {
                    const float v = std::clamp(s[c], -1.0f, 1.0f);
                    *out++ = static_cast<uint8_t>(std::lrint(128.0f + v * 127.0f));
                } else {
                    const float v = std::clamp(s[c], -1.0f, 1.0f);
                    const int16_t x = static_cast<int16_t>(std::lrint(v * 32767.0f));
                    std::memcpy(out, &x, 2);
                    out += 2;
                }
            }
        }
    }

    void CompactActive() {
        size_t w = 0;
        for (size_t i = 0; i < active.size(); ++i) {
            const int idx = active[i];
            if (voices[static_cast<size_t>(idx)].IsActive())
                active[w++] = idx;
            else
                freeList.push_back(idx);
        }
        active.resize(w);
    }

    // ---- MIDI --------------------------------------------------------------------------------

    // Running status holds within one call; system common messages cancel it (their data
    // bytes are then dropped as orphans); real-time bytes are ignored wherever they appear.
    void ParseRaw(const uint8_t* p, uint32_t n) {
        uint8_t status = 0, data[2] = {};
        int have = 0;
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t b = p[i];
            if (b >= 0xF8)
                continue;
            if (b == 0xF0) {
                uint32_t j = i + 1;
                while (j < n && p[j] != 0xF7)
                    ++j;
                if (j < n)
                    SysEx(p + i, j - i + 1);
                i = j;
                status = 0;
                continue;
            }
            if (b & 0x80) {
                status = b >= 0xF1 ? 0 : b;
                have = 0;
                continue;
            }
            if (status == 0)
                continue;
            data[have++] = b;
            const int need = ((status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0) ? 1 : 2;
            if (have == need) {
                ShortMessage(status, data[0], need == 2 ? data[1] : 0);
                have = 0;
            }
        }
    }

    void ShortMessage(uint8_t status, uint8_t d1, uint8_t d2) {
        const int c = status & 0x0F;
        Touch(c);
        switch (status & 0xF0) {
        case 0x80:
            NoteOff(c, d1);
            break;
        case 0x90:
            if (d2 == 0)
                NoteOff(c, d1);
            else
                NoteOn(c, d1, d2);
            break;
        case 0xA0:
            channels[c].ctl.keyPressure[d1] = d2;
            break;
        case 0xB0:
            Controller(c, d1, d2);
            break;
        case 0xC0:
            ProgramChange(c, d1);
            break;
        case 0xD0:
            channels[c].ctl.channelPressure = d1;
            break;
        case 0xE0:
            channels[c].ctl.pitchBend = static_cast<uint16_t>(d1 | (d2 << 7));
            break;
        default:
            break;
        }
    }

    void ApplyEvent(int c, uint32_t event, uint32_t param) {
        Touch(c);
        SChannel& ch = channels[c];
        switch (event) {
        case EMidiEvent::End:
            ended = true;
            break;
        case EMidiEvent::Note: {
            const int key = param & 0x7F, vel = (param >> 8) & 0xFF;
            if (vel == 0)
                NoteOff(c, key);
            else
                NoteOn(c, key, std::min(vel, 127));
            break;
        }
        case EMidiEvent::Program:
            ProgramChange(c, static_cast<uint8_t>(param & 0x7F));
            break;
        case EMidiEvent::ChannelPressure:
            ch.ctl.channelPressure = static_cast<uint8_t>(std::min<uint32_t>(param, 127));
            break;
        case EMidiEvent::PitchBend:
            ch.ctl.pitchBend = static_cast<uint16_t>(std::min<uint32_t>(param, 16383));
            break;
        case EMidiEvent::PitchRange:
            ch.ctl.bendRange = static_cast<float>(std::min<uint32_t>(param, 127));
            break;
        case EMidiEvent::Drums:
            ch.drum = param != 0;
            ch.presetDirty = true;
            break;
        case EMidiEvent::KeyPressure:
            ch.ctl.keyPressure[param & 0x7F] = static_cast<uint8_t>((param >> 8) & 0x7F);
            break;
        case EMidiEvent::Controller:
            Controller(c, static_cast<uint8_t>(param & 0x7F),
                       static_cast<uint8_t>((param >> 8) & 0x7F));
            break;
        case EMidiEvent::SoundOff:
            SoundOff(c);
            break;
        case EMidiEvent::Reset:
            ResetControllers(c);
            break;
        case EMidiEvent::NotesOff:
            ReleaseAll(c, true);
            break;
        case EMidiEvent::ReverbLevel:
            ch.ctl.reverbLevel = std::min<uint32_t>(param, 1000) / 100.0f;
            break;
        case EMidiEvent::ChorusLevel:
            ch.ctl.chorusLevel = std::min<uint32_t>(param, 1000) / 100.0f;
            break;
        case EMidiEvent::System:
            ResetAll(param == SysGm2  ? ModeGm2
                     : param == SysGs ? ModeGs
                     : param == SysXg ? ModeXg
                                      : ModeGm1);
            break;
        case EMidiEvent::MixLevel:
            ch.mixLevel = std::min<uint32_t>(param, 10000) / 100.0f;
            UpdateChannel(c);
            break;
        default:
            break;
        }
    }

    void SysEx(const uint8_t* p, uint32_t n) {
        for (int c = 0; c < kChannels; ++c)
            Touch(c);
        // Universal: GM/GM2 system on/off, master volume.
        if (n >= 6 && p[1] == 0x7E && p[3] == 0x09) {
            ResetAll(p[4] == 0x03 ? ModeGm2 : ModeGm1);
            return;
        }
        if (n >= 8 && p[1] == 0x7F && p[3] == 0x04 && p[4] == 0x01) {
            masterVolume = static_cast<float>(p[5] | (p[6] << 7)) / 16383.0f;
            return;
        }
        // Roland GS, data set 1: F0 41 dev 42 12 a1 a2 a3 data... cs F7
        if (n >= 10 && p[1] == 0x41 && p[3] == 0x42 && p[4] == 0x12) {
            const int a1 = p[5], a2 = p[6], a3 = p[7], v = p[8];
            if (a1 == 0x40 && a2 == 0x00 && a3 == 0x7F) {
                ResetAll(ModeGs);
            } else if (a1 == 0x40 && a2 == 0x00 && a3 == 0x04) {
                masterVolume = v / 127.0f;
            } else if (a1 == 0x40 && a2 == 0x01 && a3 == 0x33) {
                for (SChannel& ch : channels)
                    ch.ctl.reverbLevel = v / 127.0f;
            } else if (a1 == 0x40 && a2 == 0x01 && a3 == 0x3A) {
                for (SChannel& ch : channels)
                    ch.ctl.chorusLevel = v / 127.0f;
            } else if (a1 == 0x40 && (a2 & 0xF0) == 0x10 && a3 == 0x15) {
                // Part x: 0 is MIDI channel 10, 1-9 are channels 1-9, 10-15 are 11-16.
                const int part = a2 & 0x0F;
                const int c = part == 0 ? 9 : part <= 9 ? part - 1 : part;
                channels[c].drum = v != 0;
                channels[c].presetDirty = true;
            }
            return;
        }
        // Yamaha XG parameter change: F0 43 1n 4C a1 a2 a3 data F7
        if (n >= 9 && p[1] == 0x43 && (p[2] & 0xF0) == 0x10 && p[3] == 0x4C) {
            const int a1 = p[4], a2 = p[5], a3 = p[6], v = p[7];
            if (a1 == 0x00 && a2 == 0x00 && (a3 == 0x7E || a3 == 0x7F)) {
                ResetAll(ModeXg);
            } else if (a1 == 0x00 && a2 == 0x00 && a3 == 0x04) {
                masterVolume = v / 127.0f;
            } else if (a1 == 0x02 && a2 == 0x01 && a3 == 0x0C) {
                for (SChannel& ch : channels)
                    ch.ctl.reverbLevel = v / 127.0f;
            } else if (a1 == 0x02 && a2 == 0x01 && a3 == 0x2C) {
                for (SChannel& ch : channels)
                    ch.ctl.chorusLevel = v / 127.0f;
            } else if (a1 == 0x08 && a2 < kChannels && a3 == 0x07) {
                channels[a2].drum = v != 0; // part mode: normal or one of the drum modes
                channels[a2].presetDirty = true;
            }
        }
    }

    void ResetAll(EMode m) {
        mode = m;
        masterVolume = 1.0f;
        for (int c = 0; c < kChannels; ++c) {
            SoundOff(c);
            SChannel& ch = channels[c];
            const float mix = ch.mixLevel;
            ch = SChannel{};
            ch.mixLevel = mix;
            Touch(c);
            std::fill(ch.ctl.cc, ch.ctl.cc + 128, 0);
            ch.ctl.cc[7] = 100;
            ch.ctl.cc[10] = 64;
            ch.ctl.cc[11] = 127;
            ch.ctl.cc[91] = 40;
            ch.ctl.reverbLevel = kDefaultEffectLevel;
            ch.ctl.chorusLevel = kDefaultEffectLevel;
            ch.drum = c == 9;
            if (c == 9 && m == ModeXg)
                ch.ctl.cc[0] = 127;
            if (c == 9 && m == ModeGm2)
                ch.ctl.cc[0] = 120;
            if (c != 9 && m == ModeGm2)
                ch.ctl.cc[0] = 121;
            UpdateChannel(c);
        }
    }

    void ResetControllers(int c) {
        SChannel& ch = channels[c];
        ch.ctl.cc[1] = 0;
        ch.ctl.cc[11] = 127;
        ch.ctl.cc[64] = ch.ctl.cc[65] = ch.ctl.cc[66] = ch.ctl.cc[67] = 0;
        ch.ctl.pitchBend = 8192;
        ch.ctl.channelPressure = 0;
        std::fill(ch.ctl.keyPressure, ch.ctl.keyPressure + 128, 0);
        ch.rpn = 0x3FFF;
        ch.nrpn = false;
        ReleasePedalled(c);
        UpdateChannel(c);
    }

    // Tells the channel's voices that its controls may have changed.
    void Touch(int c) { channels[c].ctl.serial = ++nextSerial; }

    void UpdateChannel(int c) {
        SChannel& ch = channels[c];
        ch.ctl.tuningCents = ch.fineCents + ch.coarseSemis * 100.0f;
        ch.ctl.gain = ch.mixLevel * (ch.ctl.cc[67] >= 64 ? 0.7f : 1.0f);
    }

    void Controller(int c, uint8_t n, uint8_t v) {
        SChannel& ch = channels[c];
        const uint8_t before = ch.ctl.cc[n];
        ch.ctl.cc[n] = v;
        switch (n) {
        case 6:
        case 38:
            DataEntry(c, false, 0);
            break;
        case 96:
        case 97:
            DataEntry(c, true, n == 96 ? 1 : -1);
            break;
        case 98:
        case 99:
            ch.nrpn = true;
            break;
        case 100:
        case 101:
            ch.nrpn = false;
            ch.rpn = static_cast<uint16_t>(ch.ctl.cc[101] << 7 | ch.ctl.cc[100]);
            break;
        case 64:
            if (v < 64 && before >= 64)
                ReleasePedalled(c);
            break;
        case 66:
            if (v >= 64 && before < 64) {
                for (int idx : active) {
                    CVoice& vo = voices[static_cast<size_t>(idx)];
                    if (vo.Channel() == c && !vo.IsReleased() && !vo.sustained)
                        vo.sostenuto = true;
                }
            } else if (v < 64 && before >= 64) {
                for (int idx : active)
                    if (voices[static_cast<size_t>(idx)].Channel() == c)
                        voices[static_cast<size_t>(idx)].sostenuto = false;
                ReleasePedalled(c);
            }
            break;
        case 67:
            UpdateChannel(c);
            break;
        case 120:
            SoundOff(c);
            break;
        case 121:
            ResetControllers(c);
            break;
        case 123:
            ReleaseAll(c, false);
            break;
        case 124:
        case 125:
            ReleaseAll(c, false);
            break;
        case 126:
            ReleaseAll(c, false);
            ch.mono = true;
            break;
        case 127:
            ReleaseAll(c, false);
            ch.mono = false;
            break;
        default:
            break;
        }
    }

    void DataEntry(int c, bool step, int dir) {
        SChannel& ch = channels[c];
        if (ch.nrpn || ch.rpn == 0x3FFF)
            return;
        uint8_t& msb = ch.ctl.cc[6];
        uint8_t& lsb = ch.ctl.cc[38];
        if (step) {
            if (ch.rpn == 0 || ch.rpn == 2)
                msb = static_cast<uint8_t>(std::clamp(msb + dir, 0, 127));
            else {
                const int v = std::clamp((msb << 7 | lsb) + dir, 0, 16383);
                msb = static_cast<uint8_t>(v >> 7);
                lsb = static_cast<uint8_t>(v & 0x7F);
            }
        }
        switch (ch.rpn) {
        case 0:
            ch.ctl.bendRange = msb + std::min<int>(lsb, 99) / 100.0f;
            break;
        case 1:
            ch.fineCents = ((msb << 7 | lsb) - 8192) / 8192.0f * 100.0f;
            break;
        case 2:
            ch.coarseSemis = static_cast<float>(msb - 64);
            break;
        default:
            break;
        }
        UpdateChannel(c);
    }

    void ProgramChange(int c, uint8_t program) {
        SChannel& ch = channels[c];
        ch.program = program;
        const uint8_t msb = ch.ctl.cc[0];
        if (mode == ModeXg) {
            ch.drum = msb == 127 || msb == 126;
        } else if (mode == ModeGm2) {
            if (msb == 120)
                ch.drum = true;
            else if (msb == 121)
                ch.drum = false;
        }
        ch.presetDirty = true;
        Resolve(c);
    }

    // Finds the preset for a channel's bank and program through the font mappings, falling
    // back as a GM synth would: melodic to bank 0, drums to the standard kit.
    void Resolve(int c) {
        SChannel& ch = channels[c];
        ch.presetDirty = false;
        ch.preset = nullptr;
        ch.presetFont = nullptr;
        const int program = ch.program;
        if (ch.drum) {
            if (!Lookup(128, program, true, ch) && program != 0)
                Lookup(128, 0, true, ch);
            return;
        }
        const uint8_t msb = ch.ctl.cc[0], lsb = ch.ctl.cc[32];
        int bank = msb;
        if (mode == ModeXg)
            bank = msb == 0 ? lsb : msb;
        else if (mode == ModeGm2)
            bank = msb == 121 ? lsb : msb;
        if (!Lookup(bank, program, false, ch) && bank != 0)
            Lookup(0, program, false, ch);
    }

    bool Lookup(int bank, int program, bool drum, SChannel& ch) {
        for (const SFontMapping& m : fonts) {
            const CSoundFont* f = m.font.get();
            const sf2::SPreset* p = nullptr;
            if (m.preset < 0) {
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

    int AllocVoice() {
        int nonFading = 0;
        for (int idx : active)
            nonFading += voices[static_cast<size_t>(idx)].IsFading() ? 0 : 1;
        if (nonFading >= voiceLimit) {
            // Steal: released voices first, then the quietest; it fades out over a few ms.
            int best = -1;
            auto score = [&](int idx) {
                const CVoice& v = voices[static_cast<size_t>(idx)];
                return (v.IsReleased() ? 0.0f : 10.0f) + v.Loudness();
            };
            for (int idx : active) {
                const CVoice& v = voices[static_cast<size_t>(idx)];
                if (v.IsFading())
                    continue;
                if (best < 0 || score(idx) < score(best) ||
                    (score(idx) == score(best) &&
                     v.NoteId() < voices[static_cast<size_t>(best)].NoteId()))
                    best = idx;
            }
            if (best >= 0)
                voices[static_cast<size_t>(best)].FastRelease(kStealFade);
        }
        if (freeList.empty()) {
            // Every spare slot is fading: reuse the one closest to silence.
            int best = -1;
            for (int idx : active)
                if (voices[static_cast<size_t>(idx)].IsFading() &&
                    (best < 0 || voices[static_cast<size_t>(idx)].Loudness() <
                                     voices[static_cast<size_t>(best)].Loudness()))
                    best = idx;
            if (best < 0)
                return -1;
            voices[static_cast<size_t>(best)].Kill();
            CompactActive();
        }
        const int idx = freeList.back();
        freeList.pop_back();
        return idx;
    }

    void NoteOn(int c, int key, int vel) {
        SChannel& ch = channels[c];
        if (ch.presetDirty)
            Resolve(c);
        if (ch.preset == nullptr)
            return;
        if (ch.mono)
            ReleaseAll(c, false);
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
                const int idx = AllocVoice();
                if (idx < 0)
                    return;
                synth::SVoiceStart s;
                s.font = ch.presetFont;
                s.presetGlobal =
                    preset.global.set || !preset.global.mods.empty() ? &preset.global : nullptr;
                s.presetZone = &pz;
                s.instGlobal =
                    inst.global.set || !inst.global.mods.empty() ? &inst.global : nullptr;
                s.instZone = &iz;
                s.channel = c;
                s.key = key;
                s.velocity = vel;
                s.noteId = id;
                CVoice& v = voices[static_cast<size_t>(idx)];
                if (v.Start(s, &ch.ctl, rate)) {
                    active.push_back(idx);
                    if (noteStarted.size() < noteStarted.capacity())
                        noteStarted.push_back(idx);
                } else {
                    freeList.push_back(idx);
                }
            }
        }
        for (int idx : noteStarted) {
            CVoice& v = voices[static_cast<size_t>(idx)];
            // A new note of an exclusive class cuts the others of its class on this channel.
            if (v.ExclusiveClass() != 0) {
                for (int o : active) {
                    CVoice& w = voices[static_cast<size_t>(o)];
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
                    if (o != idx && voices[static_cast<size_t>(o)].Sample() == mate) {
                        v.leader = o;
                        v.leaderNote = id;
                        break;
                    }
            }
        }
    }

    void NoteOff(int c, int key) {
        SChannel& ch = channels[c];
        uint32_t only = 0;
        if (flags & StreamFlags::NoteOffLast) {
            for (int idx : active) {
                const CVoice& v = voices[static_cast<size_t>(idx)];
                if (v.Channel() == c && v.Key() == key && !v.IsReleased() && !v.sustained)
                    only = std::max(only, v.NoteId());
            }
        }
        for (int idx : active) {
            CVoice& v = voices[static_cast<size_t>(idx)];
            if (v.Channel() != c || v.Key() != key || v.IsReleased() || v.sustained)
                continue;
            if (only != 0 && v.NoteId() != only)
                continue;
            if (ch.ctl.cc[64] >= 64 || v.sostenuto)
                v.sustained = true;
            else
                v.Release();
        }
    }

    void ReleasePedalled(int c) {
        const SChannel& ch = channels[c];
        for (int idx : active) {
            CVoice& v = voices[static_cast<size_t>(idx)];
            if (v.Channel() != c || !v.sustained)
                continue;
            const bool held = ch.ctl.cc[64] >= 64 || (v.sostenuto && ch.ctl.cc[66] >= 64);
            if (!held) {
                v.sustained = false;
                v.Release();
            }
        }
    }

    void ReleaseAll(int c, bool ignorePedals) {
        for (int idx : active) {
            CVoice& v = voices[static_cast<size_t>(idx)];
            if (v.Channel() != c || v.IsReleased())
                continue;
            if (!ignorePedals && channels[c].ctl.cc[64] >= 64)
                v.sustained = true;
            else
                v.Release();
        }
    }

    void SoundOff(int c) {
        for (int idx : active) {
            CVoice& v = voices[static_cast<size_t>(idx)];
            if (v.Channel() == c)
                v.FastRelease(kSoundOffFade);
        }
    }

    // ---- state ---------------------------------------------------------------------------------

    int voiceLimit;
    CEventQueue queue;
    std::mutex lock; // guards everything below against control calls; held one block at most
    std::vector<SFontMapping> fonts;
    SChannel channels[kChannels];
    uint32_t nextSerial = 0; // last value handed out by Touch()
    EMode mode = ModeGm1;
    float masterVolume = 1.0f;
    std::vector<CVoice> voices;
    std::vector<int> active;
    std::vector<int> freeList;
    std::vector<int> noteStarted;
    uint32_t noteCounter = 0;
    synth::EInterpolation interp = synth::EInterpolation::Linear;
    CReverb reverb;
    CChorus chorus;
    const float silence[kBlock] = {}; // the unused second input of the effects
    alignas(16) float mixL[kBlock];
    alignas(16) float mixR[kBlock];
    alignas(16) float sendRev[kBlock];
    alignas(16) float sendCho[kBlock];
    float lastPeak = 0;
    bool ended = false, finished = false;
    uint32_t silentBlocks = 0, tailBlocks = 0;
    int carryPos = kBlock;

    // Serialises the ring's writers (the render-ahead thread, and the device side rendering a
    // shortfall) with its reader. Real-time threads only, one block at a time.
    std::mutex renderLock;
    std::vector<uint8_t> ring;
    uint64_t ringFrames = 0;
    std::atomic<uint64_t> ringWrite{0}, ringRead{0};

    std::atomic<float> cpuLimit{0.0f};
    std::atomic<float> renderTime{0.0f};
    std::atomic<uint32_t> activeCount{0};
    std::atomic<uint32_t> level{0};
};

// ---- public wrapper ---------------------------------------------------------------------------

std::unique_ptr<CMidiStream> CMidiStream::Create(uint32_t flags, uint32_t rate, int voiceLimit,
                                                 EError& error) {
    if (rate < 8000 || rate > 384000) {
        error = EError::IllParam;
        return nullptr;
    }
    const int limit = std::clamp(voiceLimit, kMinVoices, kMaxVoices);
    try {
        auto impl = std::make_unique<CMidiStreamImpl>(flags, rate, limit);
        error = EError::Ok;
        return std::unique_ptr<CMidiStream>(new CMidiStream(std::move(impl)));
    } catch (const std::bad_alloc&) {
        error = EError::Mem;
        return nullptr;
    }
}

CMidiStream::CMidiStream(std::unique_ptr<CMidiStreamImpl> p) : impl(std::move(p)) {}
CMidiStream::~CMidiStream() = default;

EError CMidiStream::SetFonts(const SFontMapping* fonts, size_t count) {
    return impl->SetFonts(fonts, count);
}
bool CMidiStream::SendEvent(int channel, uint32_t event, uint32_t param) {
    return impl->SendEvent(channel, event, param);
}
bool CMidiStream::SendMidi(const uint8_t* bytes, size_t count) {
    return impl->SendMidi(bytes, count);
}
size_t CMidiStream::RenderAhead(uint32_t ms) {
    return impl->RenderAhead(ms);
}
size_t CMidiStream::ReadOutput(void* buffer, size_t bytes) {
    return impl->ReadOutput(buffer, bytes);
}
void CMidiStream::DropOutput() {
    impl->DropOutput();
}
size_t CMidiStream::BufferedFrames() const {
    return impl->BufferedFrames();
}
int64_t CMidiStream::GetData(void* buffer, size_t bytes) {
    return impl->GetData(buffer, bytes);
}
void CMidiStream::SetRenderTimeLimit(float percent) {
    impl->SetRenderTimeLimit(percent);
}
float CMidiStream::GetRenderTime() const {
    return impl->GetRenderTime();
}
uint32_t CMidiStream::GetActiveVoices() const {
    return impl->GetActiveVoices();
}
uint32_t CMidiStream::GetLevel() const {
    return impl->GetLevel();
}
std::vector<uint8_t> CMidiStream::SaveState() const {
    return impl->SaveState();
}
EError CMidiStream::RestoreState(const uint8_t* data, size_t size) {
    return impl->RestoreState(data, size);
}
uint32_t CMidiStream::Flags() const {
    return impl->flags;
}
uint32_t CMidiStream::Rate() const {
    return impl->rate;
}
uint32_t CMidiStream::BytesPerFrame() const {
    return impl->bytesPerFrame;
}

} // namespace hml::audio
