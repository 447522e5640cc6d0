#include "audio/output/OutputQueue.h"

#include <algorithm>

namespace hml::audio {

COutputQueue::COutputQueue(uint32_t periodFrames, uint32_t rate_)
    : period(std::max<uint32_t>(periodFrames, 1)), rate(rate_),
      normalBase(std::max(rate_ * kNormalMs / 1000, period)),
      lowBase(period + rate_ * kGuardMs / 1000) {}

uint32_t COutputQueue::Base() const {
    return lowLatency ? std::min(lowBase, normalBase) : normalBase;
}

void COutputQueue::SetExtraRoom(uint32_t frames) {
    room = frames;
    extra = std::min(extra, room);
}

uint32_t COutputQueue::Round(uint32_t elapsed) {
    if (primed && elapsed > ahead) {
        // The device took everything before we came back: we were late by what it lacked.
        ++starved;
        clean = 0;
        const uint32_t lacked = elapsed - ahead;
        const uint32_t periods = (lacked + period - 1) / period;
        extra = std::min(room, std::max(extra + period, extra + periods * period));
    } else {
        clean += elapsed;
        if (extra > 0 && clean >= uint64_t{kShrinkAfterSeconds} * rate) {
            extra -= std::min(extra, period);
            clean = 0;
        }
    }
    primed = true;
    ahead = ahead > elapsed ? ahead - elapsed : 0;
    const uint32_t target = Target();
    const uint32_t frames = ahead >= target ? 0 : target - ahead;
    ahead += frames;
    return frames;
}

} // namespace hml::audio
