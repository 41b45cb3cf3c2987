#include "byte_max.h"

#include <algorithm>

#include "cpu_x86.h"
#include "largest_byte.h"

#if TAVORI_IRL_X86
#include <emmintrin.h>
#endif

namespace tavori::irl {
namespace {

uint8_t largestFrom(const uint8_t* p, std::size_t i, std::size_t n, uint8_t m) {
    for (; i < n; ++i) m = std::max(m, p[i]);
    return m;
}

// The bits of bytes i to n - 1, `word` holding those of the bytes from i & ~63 up to i.
void litBytesFrom(const uint8_t* p, std::size_t i, std::size_t n, uint8_t level, uint64_t word, uint64_t* bits) {
    for (; i < n; ++i) {
        word |= static_cast<uint64_t>(p[i] >= level) << (i % 64);
        if (i % 64 == 63) {
            bits[i / 64] = word;
            word = 0;
        }
    }
    if (n % 64) bits[n / 64] = word;
}

#if TAVORI_IRL_X86
inline uint8_t maxOf(const uint8_t* p, std::size_t n) {
    // Four accumulators keep the loads in flight.
    __m128i a = _mm_setzero_si128(), b = a, c = a, d = a;
    std::size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        a = _mm_max_epu8(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
        b = _mm_max_epu8(b, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16)));
        c = _mm_max_epu8(c, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 32)));
        d = _mm_max_epu8(d, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 48)));
    }
    return largestFrom(p, i, n, largestByte(_mm_max_epu8(_mm_max_epu8(a, b), _mm_max_epu8(c, d))));
}
#endif

}  // namespace

uint8_t byteMaxPortable(const uint8_t* p, std::size_t n) { return largestFrom(p, 0, n, 0); }

void rowMaxPortable(const uint8_t* p, std::ptrdiff_t stride, std::size_t n, int32_t rows, uint8_t* out) {
    for (int32_t r = 0; r < rows; ++r) out[r] = largestFrom(p + r * stride, 0, n, 0);
}

void litBytesPortable(const uint8_t* p, std::size_t n, uint8_t level, uint64_t* bits) {
    litBytesFrom(p, 0, n, level, 0, bits);
}

#if TAVORI_IRL_X86
uint8_t byteMaxSse2(const uint8_t* p, std::size_t n) { return maxOf(p, n); }

void rowMaxSse2(const uint8_t* p, std::ptrdiff_t stride, std::size_t n, int32_t rows, uint8_t* out) {
    for (int32_t r = 0; r < rows; ++r) out[r] = maxOf(p + r * stride, n);
}

void litBytesSse2(const uint8_t* p, std::size_t n, uint8_t level, uint64_t* bits) {
    const __m128i t = _mm_set1_epi8(static_cast<char>(level));
    // The bits of 16 bytes: those the maximum with the level leaves as they were.
    auto reach = [t](__m128i v) {
        return static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, t), v))));
    };
    auto at = [p](std::size_t i) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)); };
    // A whole word per step: a lit row is read in full, and one pen's rows are seldom shared. Most of
    // a lit row is dark: the largest of its 64 bytes is tested first.
    std::size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        const __m128i a = at(i), b = at(i + 16), c = at(i + 32), d = at(i + 48);
        bits[i / 64] = reach(_mm_max_epu8(_mm_max_epu8(a, b), _mm_max_epu8(c, d)))
                           ? reach(a) | reach(b) << 16 | reach(c) << 32 | reach(d) << 48
                           : 0;
    }
    uint64_t word = 0;  // bits of the 64 bytes from i on
    for (; i + 16 <= n; i += 16) word |= reach(at(i)) << (i % 64);
    litBytesFrom(p, i, n, level, word, bits);
}
#endif

#if !TAVORI_IRL_AVX2
const ByteMaxFn byteMaxAvx2 = nullptr;
const RowMaxFn rowMaxAvx2 = nullptr;
const LitBytesFn litBytesAvx2 = nullptr;
const ByteMaxFn byteMaxAvx512 = nullptr;
const RowMaxFn rowMaxAvx512 = nullptr;
const LitBytesFn litBytesAvx512 = nullptr;
#endif

ByteMaxFn byteMax(CpuPath path) {
    return formFor<ByteMaxFn>(path, byteMaxPortable, TAVORI_IRL_SSE2_FORM(byteMaxSse2), byteMaxAvx2, byteMaxAvx512);
}

RowMaxFn rowMax(CpuPath path) {
    return formFor<RowMaxFn>(path, rowMaxPortable, TAVORI_IRL_SSE2_FORM(rowMaxSse2), rowMaxAvx2, rowMaxAvx512);
}

LitBytesFn litBytes(CpuPath path) {
    return formFor<LitBytesFn>(path, litBytesPortable, TAVORI_IRL_SSE2_FORM(litBytesSse2), litBytesAvx2,
                               litBytesAvx512);
}

}  // namespace tavori::irl
