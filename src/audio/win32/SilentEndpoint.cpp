// The "no sound" device: audio is taken at the pace a real device would take it, and dropped.
#include "audio/win32/AudioEndpoint.h"

#include <algorithm>
#include <chrono>

namespace hml::audio {

namespace {

class CSilentEndpoint final : public IAudioEndpoint {
public:
    CSilentEndpoint(uint32_t rate_, uint32_t capacity_)
        : rate(rate_), capacity(capacity_), wake(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          start(Clock::now()) {}
    ~CSilentEndpoint() override { CloseHandle(wake); }

    uint32_t PeriodFrames() const override { return rate / 100; }
    uint32_t CapacityFrames() const override { return capacity; }
    uint32_t QueuedFrames() override {
        const uint64_t taken = Taken();
        return written > taken ? static_cast<uint32_t>(written - taken) : 0;
    }
    bool Write(const int16_t*, uint32_t frames) override {
        // A device that ran dry goes on from now, not from where it stopped.
        written = std::max(written, Taken()) + frames;
        return true;
    }
    void Wait(uint32_t ms) override { WaitForSingleObject(wake, std::min<uint32_t>(ms, 10)); }
    void Wake() override { SetEvent(wake); }
    EOutputApi Api() const override { return EOutputApi::Auto; }

private:
    using Clock = std::chrono::steady_clock;
    uint64_t Taken() const {
        const auto us =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
        return static_cast<uint64_t>(us) * rate / 1000000;
    }

    uint32_t rate;
    uint32_t capacity;
    HANDLE wake;
    Clock::time_point start;
    uint64_t written = 0;
};

} // namespace

std::unique_ptr<IAudioEndpoint> OpenSilentEndpoint(uint32_t rate, uint32_t capacityFrames) {
    return std::make_unique<CSilentEndpoint>(rate, capacityFrames);
}

} // namespace hml::audio
