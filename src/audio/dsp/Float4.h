// Four floats as one vector (GCC and Clang vector extensions), for effect loops that run four
// frames or four delay lines side by side. Each lane does what scalar code would, so the results
// are the same as one at a time.
#pragma once

#include <cstdint>
#include <cstring>

namespace hml::audio::float4 {

using F4 = float __attribute__((vector_size(16)));
using I4 = int32_t __attribute__((vector_size(16)));

inline F4 Load(const float* p) {
    F4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void Store(float* p, F4 v) {
    std::memcpy(p, &v, sizeof v);
}

} // namespace hml::audio::float4
