// A stream's fixed pool of voices: starting the voices of a note, allocation and stealing,
// note-off and the pedals, and rendering the sounding voices of one block. Render thread only
// (under the stream's lock); nothing here allocates after construction.
#pragma once

#include "audio/stream/ChannelState.h"
#include "audio/stream/FontMap.h"
#include "audio/voice/CVoice.h"

#include <cstdint>
#include <vector>

namespace hml::audio {

class CVoicePool : public IChannelVoices {
public:
    // `limit` voices sound at once; a few more slots let stolen voices fade out.
    CVoicePool(int limit, uint32_t rate, bool noteOffLast);

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

private:
    voice::CVoice& At(int idx) { return voices[static_cast<size_t>(idx)]; }
    int Allocate();
    void StealOne();
    void Compact();
    // After a note's voices started: exclusive classes and stereo pairs.
    void LinkNewVoices(int c, uint32_t noteId, const sf2::SModel& model);

    const int voiceLimit;
    const uint32_t rate;
    const bool noteOffLast;
    std::vector<voice::CVoice> voices;
    std::vector<int> active;
    std::vector<int> freeList;
    std::vector<int> noteStarted;
    uint32_t noteCounter = 0;
};

} // namespace hml::audio
