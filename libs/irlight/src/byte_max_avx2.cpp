// The AVX2 form, compiled for AVX2 in this file alone and called only where the CPU has it.
#include "byte_max.h"
#include "cpu_x86.h"

#if TAVORI_IRL_AVX2
#include <immintrin.h>

#include <algorithm>

namespace tavori::irl {
namespace {

// A leaf with every value in registers: nothing 32-byte wide ever goes to the stack, whose
// alignment the Windows calling conventions do not promise.
__attribute__((target("avx2"))) inline uint8_t maxOf(const uint8_t* p, std::size_t n) {
    std::size_t i = 0;
    __m256i a = _mm256_setzero_si256(), b = a, c = a, d = a;
    for (; i + 128 <= n; i += 128) {
        a = _mm256_max_epu8(a, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i)));
        b = _mm256_max_epu8(b, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 32)));
        c = _mm256_max_epu8(c, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 64)));
        d = _mm256_max_epu8(d, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 96)));
    }
    for (; i + 32 <= n; i += 32) a = _mm256_max_epu8(a, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i)));
    const __m256i w = _mm256_max_epu8(_mm256_max_epu8(a, b), _mm256_max_epu8(c, d));
    __m128i v = _mm_max_epu8(_mm256_castsi256_si128(w), _mm256_extracti128_si256(w, 1));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 8));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 4));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 2));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 1));
    auto m = static_cast<uint8_t>(_mm_cvtsi128_si32(v));
    for (; i < n; ++i) m = std::max(m, p[i]);
    return m;
}

__attribute__((target("avx2"))) uint8_t byteMaxAvx2Impl(const uint8_t* p, std::size_t n) { return maxOf(p, n); }

__attribute__((target("avx2"))) void rowMaxAvx2Impl(const uint8_t* p, std::ptrdiff_t stride, std::size_t n,
                                                    int32_t rows, uint8_t* out) {
    for (int32_t r = 0; r < rows; ++r) out[r] = maxOf(p + r * stride, n);
}

}  // namespace

const ByteMaxFn byteMaxAvx2 = byteMaxAvx2Impl;
const RowMaxFn rowMaxAvx2 = rowMaxAvx2Impl;

}  // namespace tavori::irl
#endif
