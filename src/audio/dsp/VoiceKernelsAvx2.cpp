// The voice kernels for processors with AVX2 and FMA; built with those instructions enabled and
// used only when the processor reports them.
#define HML_KERNEL_NS avx2
#define HML_KERNEL_NAME "avx2"
#define HML_KERNEL_LANES 8
#include "audio/dsp/VoiceKernelsImpl.h"
