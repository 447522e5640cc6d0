#include "audio/dsp/VoiceKernels.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace hml::audio {
namespace {

bool HasAvx2() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

const SKernels* Pick() {
    // HML_SIMD=sse2 keeps the baseline, to compare both on one machine.
    const char* wanted = std::getenv("HML_SIMD");
    const bool baselineWanted = wanted != nullptr && std::strcmp(wanted, "sse2") == 0;
    return HasAvx2() && !baselineWanted ? &avx2::kKernels : &baseline::kKernels;
}

std::atomic<const SKernels*> active{Pick()};

} // namespace

const SKernels& Kernels() {
    return *active.load(std::memory_order_relaxed);
}

bool UseKernels(EKernelSet set) {
    if (set == EKernelSet::Avx2 && !HasAvx2())
        return false;
    active.store(set == EKernelSet::Avx2 ? &avx2::kKernels : &baseline::kKernels);
    return true;
}

} // namespace hml::audio
