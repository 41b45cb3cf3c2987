// Which of the detector's paths runs: the portable loops, or the SSE2, AVX2 or AVX-512 forms. Every
// path finds the same spots, bit for bit; the widest one the CPU offers is the fastest and is taken
// unless TAVORI_CPU_PATH (portable, sse2, avx2 or avx512) asks for a narrower one, so that each path
// can be compared and measured on one machine. A path wider than the CPU offers is capped at the
// widest, and a name not known leaves the widest.
#pragma once

#include <atomic>

namespace tavori::irl {

enum class CpuPath : int { Portable, Sse2, Avx2, Avx512 };

// The widest path this build holds and this CPU runs.
CpuPath widestCpuPath();

namespace detail {
inline std::atomic<int> takenPath{-1};  // a CpuPath once chosen
CpuPath choosePath();                   // at the first detection: the widest, or the one asked for
}  // namespace detail

// The path in effect: the widest, or the narrower one TAVORI_CPU_PATH names. Read for every frame
// and window, so the usual case is one load.
inline CpuPath cpuPath() {
    const int taken = detail::takenPath.load(std::memory_order_relaxed);
    return taken >= 0 ? static_cast<CpuPath>(taken) : detail::choosePath();
}

// For tests and benchmarks: takes `want`, capped at the widest, for the whole process from the next
// detection on. Returns the path now in effect.
CpuPath useCpuPath(CpuPath want);

const char* cpuPathName(CpuPath path);
// The path of a name as TAVORI_CPU_PATH spells it (any case); false for a name not known.
bool cpuPathNamed(const char* name, CpuPath& path);

// Of a kernel's forms from the portable one up, null where the build holds none, the one for
// `path`: the widest form not wider than the path.
template <class Fn>
Fn formFor(CpuPath path, Fn portable, Fn sse2, Fn avx2, Fn avx512) {
    const Fn forms[] = {portable, sse2, avx2, avx512};
    for (int k = static_cast<int>(path); k > 0; --k)
        if (forms[k]) return forms[k];
    return portable;
}

}  // namespace tavori::irl
