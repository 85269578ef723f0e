#include "source/avx2_support.h"

namespace {
#if defined(CORVALIS_AVX2_LOOPS)
bool HasAvx2() { return __builtin_cpu_supports("avx2"); }
#else
bool HasAvx2() { return false; }
#endif
bool avx2Allowed = HasAvx2();
}  // namespace

bool UsesAvx2() { return avx2Allowed; }

void AllowAvx2(bool allowed) { avx2Allowed = allowed && HasAvx2(); }
