#pragma once
// Bounds every decoder applies to what a file claims, so that a hostile header cannot make it
// allocate without limit.

#include <cstddef>
#include <cstdint>

namespace hml::audio::decode {

inline constexpr int kMaxChannels = 8;
inline constexpr uint32_t kMinRate = 1000;
inline constexpr uint32_t kMaxRate = 384000;
// Interleaved samples of one decoded file: 512 MB of floats.
inline constexpr size_t kMaxSamples = size_t{1} << 27;

} // namespace hml::audio::decode
