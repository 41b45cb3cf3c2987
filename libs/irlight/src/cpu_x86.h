// Which vector forms this build can hold, and which the running CPU can execute.
#pragma once

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define TAVORI_IRL_X86 1
#else
#define TAVORI_IRL_X86 0
#endif

// Per-function target attributes and the CPU query are GCC and Clang features; other compilers
// keep the baseline.
#if TAVORI_IRL_X86 && (defined(__GNUC__) || defined(__clang__))
#define TAVORI_IRL_AVX2 1
#else
#define TAVORI_IRL_AVX2 0
#endif

namespace tavori::irl {

inline bool cpuHasAvx2() {
#if TAVORI_IRL_AVX2
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

inline bool cpuHasAvx512bw() {
#if TAVORI_IRL_AVX2
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512bw");
#else
    return false;
#endif
}

}  // namespace tavori::irl
