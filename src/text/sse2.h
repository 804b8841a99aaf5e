// Reading sixteen bytes at once where the processor can: SSE2 is checked at
// run time, since the DLL is built for 32-bit processors that may lack it.
#pragma once

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <emmintrin.h>
#define QM_BLOCK_SCAN 1
#endif

// Whether this processor has SSE2; always false where QM_BLOCK_SCAN is not
// defined, and code for it is not built. Asked of CPUID itself, once per
// caller: the compiler's own processor check brings some 5 KB of tables of
// processor models into the DLL.
inline bool processorHasSse2() {
#ifdef QM_BLOCK_SCAN
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (edx & bit_SSE2) != 0;
#else
    return false;
#endif
}
