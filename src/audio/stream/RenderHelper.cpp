#include "audio/stream/RenderHelper.h"

#include <chrono>

namespace hml::audio {
namespace {

// How long the helper keeps spinning for the next offer before it sleeps: about one block.
constexpr auto kSpin = std::chrono::microseconds(1500);

inline void Pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

} // namespace

CRenderHelper::CRenderHelper() : thread([this] { Main(); }) {}

CRenderHelper::~CRenderHelper() {
    stop.store(true);
    WakeHelper();
    thread.join();
}

// libstdc++'s semaphores lose wake-ups where the system has no futex (Windows): a condition
// variable, notified under its lock, does not.
void CRenderHelper::WakeHelper() {
    std::lock_guard<std::mutex> guard(sleepLock);
    wake.notify_one();
}

void CRenderHelper::Offer(Job j, void* c) {
    job = j;
    context = c;
    state.store(Offered); // publishes the job; sequentially consistent with the check below
    if (sleeping.load())
        WakeHelper();
}

void CRenderHelper::Finish() {
    int expected = Offered;
    if (state.compare_exchange_strong(expected, Taken)) {
        job(context); // the helper has not started it: no waiting for it
    } else {
        while (state.load(std::memory_order_acquire) != Done)
            Pause();
    }
    state.store(Idle, std::memory_order_relaxed);
}

// True when a job was offered; false when stopping.
bool CRenderHelper::WaitForOffer() {
    for (;;) {
        const auto until = std::chrono::steady_clock::now() + kSpin;
        for (int spins = 0;; ++spins) {
            if (stop.load(std::memory_order_relaxed))
                return false;
            if (state.load(std::memory_order_acquire) == Offered)
                return true;
            if (spins % 256 == 255 && std::chrono::steady_clock::now() > until)
                break;
            Pause();
        }
        // The render thread checks `sleeping` after publishing an offer, and this side checks
        // the state after raising `sleeping`: one of the two sees the other. The wait gives up
        // the lock only once it sleeps, so a wake-up cannot come between check and sleep.
        std::unique_lock<std::mutex> guard(sleepLock);
        sleeping.store(true);
        wake.wait(guard, [this] { return state.load() == Offered || stop.load(); });
        sleeping.store(false);
    }
}

void CRenderHelper::Main() {
    while (WaitForOffer()) {
        int expected = Offered;
        if (!state.compare_exchange_strong(expected, Taken))
            continue; // the render thread took it back
        job(context);
        helperRuns.fetch_add(1, std::memory_order_relaxed);
        state.store(Done, std::memory_order_release);
    }
}

} // namespace hml::audio
