// A stream's pool of voices: starting the voices of a note, allocation and stealing, note-off
// and the pedals, and rendering the sounding voices of one block. Render thread only (under the
// stream's lock), which never allocates: a high limit starts with a small pool that a background
// thread tops up in chunks while it is at least half in use, so the limit costs nothing until
// it is used. A burst that outruns the top-up steals rather than drops its new notes.
#pragma once

#include "audio/stream/ChannelState.h"
#include "audio/stream/FontMap.h"
#include "audio/stream/RenderHelper.h"
#include "audio/voice/CVoice.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace hml::audio {

class CVoicePool : public IChannelVoices {
public:
    // `limit` voices sound at once; a few more slots let stolen voices fade out. With
    // `helperThread`, a second thread renders half the voices of a block while many sound.
    CVoicePool(int limit, uint32_t rate, bool noteOffLast, bool helperThread = false);
    ~CVoicePool() override;
    CVoicePool(const CVoicePool&) = delete;
    CVoicePool& operator=(const CVoicePool&) = delete;

    void NoteOn(int c, int key, int velocity, SChannel& ch);
    void NoteOff(int c, int key, const SChannel& ch);

    void SoundOff(int c) override;
    void ReleaseAll(int c, bool sustainDown) override;
    void ReleasePedalled(int c, bool sustainDown, bool sostenutoDown) override;
    void CatchSostenuto(int c) override;
    void FreeSostenuto(int c) override;

    // Stops the voices of fonts the map no longer holds.
    void KillUnmapped(const CFontMap& fonts);
    // Renders every sounding voice of one block into the target.
    void Render(const voice::SRenderTarget& target, voice::EInterpolation interp);
    // Over the time budget: fades out the quietest eighth of the voices.
    void ShedQuietest();
    size_t ActiveCount() const { return active.size(); }
    // Voice slots allocated so far, any thread.
    int Capacity() const { return capacity.load(); }
    // Blocks whose voices the helper thread shared (0 without one).
    unsigned long HelperRuns() const { return helper ? helper->HelperRuns() : 0; }

    // From this many sounding voices on, the helper thread takes half of them.
    static constexpr size_t kHelperFromVoices = 192;

private:
    static constexpr int kChunk = 256;
    voice::CVoice& At(int idx) {
        const auto at = static_cast<unsigned>(idx); // slot numbers are never negative
        return chunks[at / kChunk][at % kChunk];
    }
    // Render thread: puts the slots the top-up added since the last call on the free list.
    void TakeNewSlots();
    void TopUpMain();
    int Allocate();
    int StealCandidate(int& nonFading);
    void Compact();
    // After a note's voices started: exclusive classes and stereo pairs.
    void LinkNewVoices(int c, uint32_t noteId, const sf2::SModel& model);
    // Starts the voices of the channel's preset for a key going down, or up (release triggers).
    void StartZones(int c, int key, int vel, const SChannel& ch, bool release);
    bool RuleAllows(const sf2::SRegionRule& rule, int ruleIndex, int c, const SChannel& ch,
                    bool release);
    // The helper thread's share of a block: voices rendered into buses of its own, which the
    // render thread adds to the target afterwards, so the sum is the same whoever ran it.
    struct SHelperShare {
        CVoicePool* pool = nullptr;
        const int* voices = nullptr;
        size_t count = 0;
        voice::SRenderTarget target;
        voice::EInterpolation interp = voice::EInterpolation::Linear;
        static void Run(void* self);
    };
    // Region polyphony and groups that end others (SFZ).
    void ApplyGroups(voice::CVoice& v, int c, uint32_t noteId);

    const int voiceLimit;
    const uint32_t rate;
    const bool noteOffLast;
    const int total; // the limit plus the slots of voices fading out after a steal
    std::unique_ptr<std::unique_ptr<voice::CVoice[]>[]> chunks;
    std::atomic<int> capacity{0};
    std::atomic<int> inUse{0};
    int known = 0; // slots the render thread has taken
    std::atomic<bool> stop{false};
    std::atomic<bool> topUpWanted{false};
    std::mutex topUpLock;
    std::condition_variable topUpWake;
    std::thread topUp;
    std::vector<int> active;
    std::vector<int> freeList;
    std::vector<int> noteStarted;
    std::unique_ptr<CRenderHelper> helper;
    SHelperShare share;
    alignas(32) float shareBuses[4][voice::CVoice::kMaxBlock] = {};
    uint32_t noteCounter = 0;
    // Round robin counters of region rules, by rule index modulo their count.
    uint16_t seqCount[512] = {};
    uint32_t random = 0x9E3779B9u;
    float noteRandom = 0.0f; // one draw per note, shared by its regions
    bool keysHeld = false;   // another key of the channel sounds (first/legato triggers)
};

} // namespace hml::audio
