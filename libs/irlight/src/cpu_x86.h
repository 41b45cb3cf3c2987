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

// Whether the running CPU (and the OS, for the wide registers) has a feature: the query takes the
// feature's name as a literal only, hence a macro.
#if TAVORI_IRL_AVX2
#define TAVORI_IRL_CPU_HAS(feature) (__builtin_cpu_init(), __builtin_cpu_supports(feature))
#else
#define TAVORI_IRL_CPU_HAS(feature) false
#endif

// A kernel form the build holds only with these instructions, or null where it has none (see
// formFor in cpu_path.h).
#if TAVORI_IRL_X86
#define TAVORI_IRL_SSE2_FORM(form) form
#else
#define TAVORI_IRL_SSE2_FORM(form) nullptr
#endif
#if TAVORI_IRL_AVX2
#define TAVORI_IRL_WIDE_FORM(form) form
#else
#define TAVORI_IRL_WIDE_FORM(form) nullptr
#endif

namespace tavori::irl {

inline bool cpuHasAvx2() { return TAVORI_IRL_CPU_HAS("avx2"); }
inline bool cpuHasAvx512bw() { return TAVORI_IRL_CPU_HAS("avx512bw"); }
inline bool cpuHasAvx512vbmi() { return TAVORI_IRL_CPU_HAS("avx512bw") && TAVORI_IRL_CPU_HAS("avx512vbmi"); }

}  // namespace tavori::irl
