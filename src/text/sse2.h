// Reading sixteen bytes at once where the processor can: SSE2 is checked at
// run time, since the DLL is built for 32-bit processors that may lack it.
#pragma once

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>
#define QM_BLOCK_SCAN 1
#endif

// Whether this processor has SSE2; always false where QM_BLOCK_SCAN is not
// defined, and code for it is not built.
inline bool processorHasSse2() {
#ifdef QM_BLOCK_SCAN
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2");
#else
    return false;
#endif
}
