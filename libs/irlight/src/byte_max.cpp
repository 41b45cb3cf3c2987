#include "byte_max.h"

#include <algorithm>

#include "cpu_x86.h"

#if TAVORI_IRL_X86
#include <emmintrin.h>
#endif

namespace tavori::irl {
namespace {

inline uint8_t maxOf(const uint8_t* p, std::size_t n) {
    uint8_t m = 0;
    std::size_t i = 0;
#if TAVORI_IRL_X86
    // SSE2 is the baseline of every x86 build; four accumulators keep the loads in flight.
    __m128i a = _mm_setzero_si128(), b = a, c = a, d = a;
    for (; i + 64 <= n; i += 64) {
        a = _mm_max_epu8(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
        b = _mm_max_epu8(b, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16)));
        c = _mm_max_epu8(c, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 32)));
        d = _mm_max_epu8(d, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 48)));
    }
    __m128i v = _mm_max_epu8(_mm_max_epu8(a, b), _mm_max_epu8(c, d));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 8));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 4));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 2));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 1));
    m = static_cast<uint8_t>(_mm_cvtsi128_si32(v));
#endif
    for (; i < n; ++i) m = std::max(m, p[i]);
    return m;
}

}  // namespace

uint8_t byteMaxBaseline(const uint8_t* p, std::size_t n) { return maxOf(p, n); }

void rowMaxBaseline(const uint8_t* p, std::ptrdiff_t stride, std::size_t n, int32_t rows, uint8_t* out) {
    for (int32_t r = 0; r < rows; ++r) out[r] = maxOf(p + r * stride, n);
}

#if !TAVORI_IRL_AVX2
const ByteMaxFn byteMaxAvx2 = nullptr;
const RowMaxFn rowMaxAvx2 = nullptr;
#endif

ByteMaxFn byteMax() {
    static const ByteMaxFn chosen = byteMaxAvx2 && cpuHasAvx2() ? byteMaxAvx2 : byteMaxBaseline;
    return chosen;
}

RowMaxFn rowMax() {
    static const RowMaxFn chosen = rowMaxAvx2 && cpuHasAvx2() ? rowMaxAvx2 : rowMaxBaseline;
    return chosen;
}

}  // namespace tavori::irl
