#include "cpu_path.h"

#include <cctype>
#include <cstdlib>

#include "cpu_x86.h"

namespace tavori::irl {
namespace {

constexpr const char* kNames[] = {"portable", "sse2", "avx2", "avx512"};

CpuPath narrower(CpuPath a, CpuPath b) { return static_cast<int>(a) < static_cast<int>(b) ? a : b; }

}  // namespace

CpuPath widestCpuPath() {
    if (cpuHasAvx512bw()) return CpuPath::Avx512;
    if (cpuHasAvx2()) return CpuPath::Avx2;
    return TAVORI_IRL_X86 ? CpuPath::Sse2 : CpuPath::Portable;
}

CpuPath detail::choosePath() {
    CpuPath path = widestCpuPath(), asked;
    if (cpuPathNamed(std::getenv("TAVORI_CPU_PATH"), asked)) path = narrower(asked, path);
    // Threads that meet here at once all choose the same.
    takenPath.store(static_cast<int>(path), std::memory_order_relaxed);
    return path;
}

CpuPath useCpuPath(CpuPath want) {
    const CpuPath path = narrower(want, widestCpuPath());
    detail::takenPath.store(static_cast<int>(path), std::memory_order_relaxed);
    return path;
}

const char* cpuPathName(CpuPath path) { return kNames[static_cast<int>(path)]; }

bool cpuPathNamed(const char* name, CpuPath& path) {
    if (!name) return false;
    for (int k = 0; k < 4; ++k) {
        const char *a = name, *b = kNames[k];
        while (*a && *b && std::tolower(static_cast<unsigned char>(*a)) == *b) ++a, ++b;
        if (!*a && !*b) {
            path = static_cast<CpuPath>(k);
            return true;
        }
    }
    return false;
}

}  // namespace tavori::irl
