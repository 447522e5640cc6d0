#include "audio/stream/CMidiStream.h"

#include "audio/SysEx.h"
#include "audio/dsp/Chorus.h"
#include "audio/dsp/Interpolator.h"
#include "audio/dsp/Reverb.h"
#include "audio/stream/CEventQueue.h"
#include "audio/stream/ChannelState.h"
#include "audio/stream/FontMap.h"
#include "audio/stream/OutputRing.h"
#include "audio/stream/VoicePool.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#if defined(__SSE__) || defined(_M_X64) || defined(__x86_64__)
#include <xmmintrin.h>
#define HML_HAVE_MXCSR 1
#endif

namespace hml::audio {

namespace {

constexpr int kBlock = 64;
// Gain of the chorus return. The send bus is mono and the chorus folds it with a silent second
// input, then spreads two taps to each side: at 2 a voice sent fully to the chorus comes back
// about as loud as it is dry, as on hardware SoundFont synthesizers.
constexpr float kChorusReturn = 2.0f;

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

// Running status holds within one call; system common messages cancel it (their data bytes
// are then dropped as orphans); real-time bytes are ignored wherever they appear.
template <class Sink> void ParseRawMidi(const uint8_t* p, uint32_t n, Sink& sink) {
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
                sink.SysEx(p + i, j - i + 1);
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
            sink.ShortMessage(status, data[0], need == 2 ? data[1] : 0);
            have = 0;
        }
    }
}

} // namespace

// Ties the parts of a stream together: the event queue, the channel state, the fonts, the
// voices, the effects and the output; renders block by block.
class CMidiStreamImpl {
public:
    CMidiStreamImpl(uint32_t streamFlags, uint32_t sampleRate, int limit)
        : flags(streamFlags), rate(sampleRate), bytesPerFrame(audio::BytesPerFrame(streamFlags)),
          queue(1u << 18), pool(limit, sampleRate, (streamFlags & StreamFlags::NoteOffLast) != 0,
                                (streamFlags & StreamFlags::HelperThread) != 0),
          channels(pool) {
        reverb.SetSampleRate(static_cast<float>(sampleRate));
        chorus.SetSampleRate(static_cast<float>(sampleRate));
        chorus.SetLevel(kChorusReturn);
        if (flags & StreamFlags::Sinc)
            CSincTable::Get(); // built here, never first on the render thread
        for (float* b : {mixL, mixR, sendRev, sendCho})
            std::fill(b, b + kBlock, 0.0f);
        interp = (flags & StreamFlags::Sinc) ? voice::EInterpolation::Sinc
                                             : voice::EInterpolation::Linear;
        if (!(flags & StreamFlags::Decode))
            ring.Allocate(uint64_t{rate} * 2, bytesPerFrame);
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
            // Voices of fonts that left the mapping stop now; the mapping vector that held
            // their fonts is released only after that, outside the lock.
            old = fonts.Replace(std::move(next));
            pool.KillUnmapped(fonts);
            channels.MarkPresetsDirty();
        }
        return EError::Ok;
    }

    std::vector<uint8_t> SaveState() {
        std::lock_guard<std::mutex> guard(lock);
        // Events sent but not yet rendered are part of the state the caller expects.
        DrainEventsLocked();
        std::vector<uint8_t> out;
        channels.Save(out);
        return out;
    }

    EError RestoreState(const uint8_t* data, size_t size) {
        if (data == nullptr)
            return EError::IllParam;
        std::lock_guard<std::mutex> guard(lock);
        return channels.Restore(data, size) ? EError::Ok : EError::IllParam;
    }

    // ---- event intake (any thread) --------------------------------------------------------

    bool SendEvent(int channel, uint32_t event, uint32_t param) {
        if (channel < 0 || channel >= kMidiChannels || event == EMidiEvent::SystemEx)
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
        if (ring.Empty())
            return 0;
        [[maybe_unused]] CDenormalGuard denormals;
        const auto t0 = std::chrono::steady_clock::now();
        const uint64_t want =
            std::min<uint64_t>(uint64_t{ms} * rate / 1000, ring.Capacity() - kBlock);
        uint64_t rendered = 0;
        for (;;) {
            // One block per hold of the render lock: the device side never waits longer.
            std::lock_guard<std::mutex> guard(renderLock);
            if (ring.Buffered() >= want)
                break;
            RenderIntoRing();
            rendered += kBlock;
        }
        Account(t0, rendered);
        return BufferedFrames();
    }

    size_t ReadOutput(void* buffer, size_t bytes) {
        if (ring.Empty() || buffer == nullptr)
            return 0;
        [[maybe_unused]] CDenormalGuard denormals;
        const uint64_t frames = std::min<uint64_t>(bytes / bytesPerFrame, ring.Capacity() - kBlock);
        std::lock_guard<std::mutex> guard(renderLock);
        if (ring.Buffered() < frames) {
            // The render thread fell behind: render the shortfall here rather than leave a gap.
            const auto t0 = std::chrono::steady_clock::now();
            uint64_t rendered = 0;
            while (ring.Buffered() < frames) {
                RenderIntoRing();
                rendered += kBlock;
            }
            Account(t0, rendered);
        }
        ring.Read(static_cast<uint8_t*>(buffer), frames);
        return static_cast<size_t>(frames * bytesPerFrame);
    }

    void DropOutput() {
        std::lock_guard<std::mutex> guard(renderLock);
        ring.Drop();
    }

    size_t BufferedFrames() const { return static_cast<size_t>(ring.Buffered()); }

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
            ConvertFrames(flags, mixL + carryPos, mixR + carryPos, static_cast<int>(n),
                          out + done * bytesPerFrame);
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
    unsigned long GetHelperRuns() const { return pool.HelperRuns(); }
    uint32_t GetLevel() const { return level.load(std::memory_order_relaxed); }

    const uint32_t flags;
    const uint32_t rate;
    const uint32_t bytesPerFrame;

    // ---- MIDI, on the render thread (called back by the raw parser) ------------------------

    void ShortMessage(uint8_t status, uint8_t d1, uint8_t d2) {
        const int c = status & 0x0F;
        channels.Touch(c);
        SChannel& ch = channels[c];
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
            ch.ctl.keyPressure[d1] = d2;
            break;
        case 0xB0:
            channels.Controller(c, d1, d2);
            break;
        case 0xC0:
            ProgramChange(c, d1);
            break;
        case 0xD0:
            ch.ctl.channelPressure = d1;
            break;
        case 0xE0:
            ch.ctl.pitchBend = static_cast<uint16_t>(d1 | (d2 << 7));
            break;
        default:
            break;
        }
    }

    void SysEx(const uint8_t* p, uint32_t n) {
        for (int c = 0; c < kMidiChannels; ++c)
            channels.Touch(c);
        channels.ApplySysEx(sysex::Decode(p, n));
    }

private:
    // ---- block rendering ----------------------------------------------------------------

    // Applies every queued event; the caller holds `lock`.
    void DrainEventsLocked() {
        queue.Drain([this](const SEventRecord& rec, const uint8_t* payload) {
            if (rec.kind == CEventQueue::Raw)
                ParseRawMidi(payload, rec.param, *this);
            else
                ApplyEvent(rec.channel, rec.event, rec.param);
        });
    }

    // Renders one block onto the ring's end; the caller holds `renderLock`.
    void RenderIntoRing() {
        RenderBlock();
        uint8_t converted[kBlock * 8];
        ConvertFrames(flags, mixL, mixR, kBlock, converted);
        ring.Write(converted, kBlock);
    }

    void RenderBlock() {
        std::lock_guard<std::mutex> guard(lock);
        const auto t0 = std::chrono::steady_clock::now();
        DrainEventsLocked();
        for (float* b : {mixL, mixR, sendRev, sendCho})
            std::fill(b, b + kBlock, 0.0f);
        const bool fx = !(flags & StreamFlags::NoFx);
        pool.Render({mixL, mixR, fx ? sendRev : nullptr, fx ? sendCho : nullptr, kBlock}, interp);
        if (fx) {
            reverb.Process(sendRev, silence, mixL, mixR, kBlock);
            chorus.Process(sendCho, silence, mixL, mixR, kBlock);
        }
        float peakL = 0, peakR = 0;
        const float gain = channels.MasterVolume() * kOutputGain;
        for (int i = 0; i < kBlock; ++i) {
            mixL[i] *= gain;
            mixR[i] *= gain;
            peakL = std::max(peakL, std::fabs(mixL[i]));
            peakR = std::max(peakR, std::fabs(mixR[i]));
        }
        const float lastPeak = std::max(peakL, peakR);
        const uint32_t l = static_cast<uint32_t>(std::min(peakL, 1.0f) * 32768.0f);
        const uint32_t r = static_cast<uint32_t>(std::min(peakR, 1.0f) * 32768.0f);
        level.store(l | (r << 16), std::memory_order_relaxed);
        const size_t sounding = pool.ActiveCount();
        activeCount.store(static_cast<uint32_t>(sounding), std::memory_order_relaxed);
        if (ended) {
            silentBlocks = (sounding == 0 && lastPeak < 1e-4f) ? silentBlocks + 1 : 0;
            tailBlocks = sounding == 0 ? tailBlocks + 1 : 0;
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
        if (limit <= 0 || pool.ActiveCount() == 0)
            return;
        const double took =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (took > limit / 100.0 * kBlock / rate)
            pool.ShedQuietest();
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

    // ---- events ------------------------------------------------------------------------------

    void ApplyEvent(int c, uint32_t event, uint32_t param) {
        channels.Touch(c);
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
            channels.Controller(c, static_cast<uint8_t>(param & 0x7F),
                                static_cast<uint8_t>((param >> 8) & 0x7F));
            break;
        case EMidiEvent::SoundOff:
            pool.SoundOff(c);
            break;
        case EMidiEvent::Reset:
            channels.ResetControllers(c);
            break;
        case EMidiEvent::NotesOff:
            pool.ReleaseAll(c, false);
            break;
        case EMidiEvent::ReverbLevel:
            ch.ctl.reverbLevel = std::min<uint32_t>(param, 1000) / 100.0f;
            break;
        case EMidiEvent::ChorusLevel:
            ch.ctl.chorusLevel = std::min<uint32_t>(param, 1000) / 100.0f;
            break;
        case EMidiEvent::System:
            channels.ResetAll(param == SysGm2  ? ModeGm2
                              : param == SysGs ? ModeGs
                              : param == SysXg ? ModeXg
                                               : ModeGm1);
            break;
        case EMidiEvent::MixLevel:
            channels.SetMixLevel(c, std::min<uint32_t>(param, 10000) / 100.0f);
            break;
        default:
            break;
        }
    }

    void ProgramChange(int c, uint8_t program) {
        channels.ProgramChange(c, program);
        fonts.Resolve(channels[c], channels.MelodicBank(c), channels.Mode());
    }

    void NoteOn(int c, int key, int vel) {
        SChannel& ch = channels[c];
        if (ch.presetDirty)
            fonts.Resolve(ch, channels.MelodicBank(c), channels.Mode());
        if (ch.preset != nullptr)
            pool.NoteOn(c, key, vel, ch);
    }

    void NoteOff(int c, int key) { pool.NoteOff(c, key, channels[c]); }

    // ---- state ---------------------------------------------------------------------------------

    CEventQueue queue;
    std::mutex lock; // guards everything below against control calls; held one block at most
    CFontMap fonts;
    CVoicePool pool;
    CChannelState channels;
    voice::EInterpolation interp = voice::EInterpolation::Linear;
    CReverb reverb;
    CChorus chorus;
    const float silence[kBlock] = {}; // the unused second input of the effects
    alignas(16) float mixL[kBlock];
    alignas(16) float mixR[kBlock];
    alignas(16) float sendRev[kBlock];
    alignas(16) float sendCho[kBlock];
    bool ended = false, finished = false;
    uint32_t silentBlocks = 0, tailBlocks = 0;
    int carryPos = kBlock;

    // Serialises the ring's writers (the render-ahead thread, and the device side rendering a
    // shortfall) with its reader. Real-time threads only, one block at a time.
    std::mutex renderLock;
    COutputRing ring;

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
unsigned long CMidiStream::GetHelperRuns() const {
    return impl->GetHelperRuns();
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
