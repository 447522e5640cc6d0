// The voice kernels for every x86 processor (SSE2 on x86-64).
#define HML_KERNEL_NS baseline
#define HML_KERNEL_NAME "sse2"
#define HML_KERNEL_LANES 4
#include "audio/dsp/VoiceKernelsImpl.h"
