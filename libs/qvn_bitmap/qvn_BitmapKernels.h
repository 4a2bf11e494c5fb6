// How the picture effects build their inner loops: each kernel is inlined into
// a plain copy and, on x86 Linux, a second copy built for AVX2 that is chosen
// at run time. Both do integer work on the same values, the second in twice
// as many lanes, so they give the same pixels. (The Windows builds keep one
// copy: their compiler does not align the stack for 32-byte spills.)
#pragma once

#define QVN_KERNEL inline __attribute__((always_inline))

#if (defined(__x86_64__) || defined(__i386__)) && !defined(_WIN32)
#define QVN_AVX2_KERNELS 1
#define QVN_AVX2 __attribute__((target("avx2")))
#else
#define QVN_AVX2_KERNELS 0
#define QVN_AVX2
#endif

// Whether the AVX2 copies run: the processor has AVX2 and no test forced the
// plain copies (qvn_ForceGenericBitmapRows).
bool qvn_BitmapKernelsUseAvx2();
