#pragma once
// Polls until a check holds or gives a value, or the time is up, for tests of threads and
// processes.

#include <chrono>
#include <functional>
#include <optional>
#include <thread>

template <typename T>
std::optional<T> Eventually(const std::function<std::optional<T>()>& check, int ms = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (auto value = check()) {
            return value;
        }
        if (std::chrono::steady_clock::now() > end) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

inline bool Eventually(const std::function<bool()>& condition, int ms = 5000) {
    return Eventually<bool>([&]() { return condition() ? std::optional(true) : std::nullopt; }, ms)
        .has_value();
}
