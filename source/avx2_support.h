// The kernels' 32-byte (AVX2) loops: whether they are built, and whether
// they run. They are chosen at run time, beside the 16-byte (SSE2) loops
// that every x86-64 processor has, and give the same bytes.
#pragma once

// Windows' compilers do not keep the stack aligned for spilled 32-byte
// vectors, so the 32-byte loops are built for other systems only.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(_WIN32)
#define CORVALIS_AVX2_LOOPS 1
#define CORVALIS_AVX2 __attribute__((target("avx2")))
#endif

// True where the processor has AVX2, unless a test turned the loops off.
bool UsesAvx2();
// Lets tests run the 16-byte loops on a processor that has AVX2.
void AllowAvx2(bool allowed);
