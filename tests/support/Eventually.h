#pragma once
// Polls a condition until it holds or the time is up, for tests of threads and processes.

#include <chrono>
#include <functional>
#include <thread>

inline bool Eventually(const std::function<bool()>& condition, int ms = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
