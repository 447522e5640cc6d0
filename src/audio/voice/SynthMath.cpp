#include "audio/voice/SynthMath.h"

#include <algorithm>
#include <array>

namespace hml::audio::voice {
namespace {

constexpr int kConcaveSteps = 1024;

struct SConcaveTable {
    std::array<float, kConcaveSteps + 1> v{};
    SConcaveTable() {
        for (int i = 0; i <= kConcaveSteps; ++i) {
            const double x = static_cast<double>(i) / kConcaveSteps;
            const double y = x >= 1.0 ? 1.0 : -(40.0 / 96.0) * std::log10(1.0 - x);
            v[static_cast<size_t>(i)] = static_cast<float>(std::min(y, 1.0));
        }
    }
};

const SConcaveTable kConcave;

} // namespace

float Concave(float x) {
    x = std::clamp(x, 0.0f, 1.0f);
    const float f = x * kConcaveSteps;
    const int i = std::min(static_cast<int>(f), kConcaveSteps - 1);
    const float t = f - static_cast<float>(i);
    return kConcave.v[static_cast<size_t>(i)] +
           t * (kConcave.v[static_cast<size_t>(i) + 1] - kConcave.v[static_cast<size_t>(i)]);
}

} // namespace hml::audio::voice
