// A second thread that takes over part of a render thread's block. The render thread offers a
// job, does its own part, then finishes: if the helper has not taken the job yet, the render
// thread runs it itself, so it never waits for a helper that is asleep or descheduled. Between
// blocks the helper spins a little while (offers come block after block while a port renders
// ahead), then sleeps until the next offer. Offering and finishing allocate nothing and take no
// lock, except a moment's one to wake a sleeping helper (held by no other thread for longer);
// the thread starts and stops with the object.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace hml::audio {

class CRenderHelper {
public:
    using Job = void (*)(void* context);

    CRenderHelper();
    ~CRenderHelper();
    CRenderHelper(const CRenderHelper&) = delete;
    CRenderHelper& operator=(const CRenderHelper&) = delete;

    // Render thread: offers a job; returns at once. One job at a time: Finish() comes first.
    void Offer(Job job, void* context);
    // Render thread: returns once the offered job has run, here or on the helper.
    void Finish();
    // Jobs the helper thread ran so far (for tests and benchmarks).
    unsigned long HelperRuns() const { return helperRuns.load(std::memory_order_relaxed); }

private:
    enum EState : int { Idle, Offered, Taken, Done };
    void Main();
    bool WaitForOffer();
    void WakeHelper();

    Job job = nullptr;
    void* context = nullptr;
    std::atomic<int> state{Idle};
    std::atomic<bool> sleeping{false};
    std::atomic<bool> stop{false};
    std::atomic<unsigned long> helperRuns{0};
    std::mutex sleepLock;
    std::condition_variable wake;
    std::thread thread;
};

} // namespace hml::audio
