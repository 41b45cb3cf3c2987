// The AVX2 forms, compiled for AVX2 in this file alone and called only where the CPU has it.
#include "byte_max.h"
#include "cpu_x86.h"

#if TAVORI_IRL_AVX2
#include <immintrin.h>

#include <algorithm>

namespace tavori::irl {
namespace {

// Leaves with every value in registers: nothing 32-byte wide ever goes to the stack, whose
// alignment the Windows calling conventions do not promise. With `fetch`, `next` is fetched line by
// line alongside (see byte_max.cpp).
template <bool fetch>
__attribute__((target("avx2"))) inline uint8_t maxOf(const uint8_t* p, std::size_t n,
                                                     [[maybe_unused]] const uint8_t* next) {
    std::size_t i = 0;
    __m256i a = _mm256_setzero_si256(), b = a, c = a, d = a;
    for (; i + 128 <= n; i += 128) {
        if constexpr (fetch) {
            _mm_prefetch(reinterpret_cast<const char*>(next + i), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(next + i + 64), _MM_HINT_T0);
        }
        a = _mm256_max_epu8(a, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i)));
        b = _mm256_max_epu8(b, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 32)));
        c = _mm256_max_epu8(c, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 64)));
        d = _mm256_max_epu8(d, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 96)));
    }
    if constexpr (fetch) _mm_prefetch(reinterpret_cast<const char*>(next + i), _MM_HINT_T0);
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

__attribute__((target("avx2"))) uint8_t byteMaxAvx2Impl(const uint8_t* p, std::size_t n) {
    return maxOf<false>(p, n, nullptr);
}

__attribute__((target("avx2"))) void rowMaxAvx2Impl(const uint8_t* p, std::ptrdiff_t stride, std::size_t n,
                                                    int32_t rows, uint8_t* out) {
    for (int32_t r = 0; r < rows; ++r) out[r] = maxOf<true>(p + r * stride, n, p + (r + 1 < rows ? r + 1 : r) * stride);
}

// Bit k of the result: p[k] >= the level in every byte of t.
__attribute__((target("avx2"))) inline uint64_t reaching(const uint8_t* p, __m256i t) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_max_epu8(v, t), v)));
}

__attribute__((target("avx2"))) void litBytesAvx2Impl(const uint8_t* p, std::size_t n, uint8_t level, uint64_t* bits) {
    const __m256i t = _mm256_set1_epi8(static_cast<char>(level));
    std::size_t i = 0;
    for (; i + 64 <= n; i += 64) bits[i / 64] = reaching(p + i, t) | reaching(p + i + 32, t) << 32;
    if (i < n) litBytesBaseline(p + i, n - i, level, bits + i / 64);
}

}  // namespace

const ByteMaxFn byteMaxAvx2 = byteMaxAvx2Impl;
const RowMaxFn rowMaxAvx2 = rowMaxAvx2Impl;
const LitBytesFn litBytesAvx2 = litBytesAvx2Impl;

}  // namespace tavori::irl
#endif
