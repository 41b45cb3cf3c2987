#include "byte_max.h"

#include <algorithm>

#include "cpu_x86.h"
#include "largest_byte.h"

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
    m = largestByte(_mm_max_epu8(_mm_max_epu8(a, b), _mm_max_epu8(c, d)));
#endif
    for (; i < n; ++i) m = std::max(m, p[i]);
    return m;
}

}  // namespace

uint8_t byteMaxBaseline(const uint8_t* p, std::size_t n) { return maxOf(p, n); }

void rowMaxBaseline(const uint8_t* p, std::ptrdiff_t stride, std::size_t n, int32_t rows, uint8_t* out) {
    for (int32_t r = 0; r < rows; ++r) out[r] = maxOf(p + r * stride, n);
}

void litBytesBaseline(const uint8_t* p, std::size_t n, uint8_t level, uint64_t* bits) {
    std::size_t i = 0;
    uint64_t word = 0;  // bits of the 64 bytes from i & ~63 on
#if TAVORI_IRL_X86
    const __m128i t = _mm_set1_epi8(static_cast<char>(level));
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        word |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, t), v))))
                << (i % 64);
        if (i % 64 == 48) {
            bits[i / 64] = word;
            word = 0;
        }
    }
#endif
    for (; i < n; ++i) {
        word |= static_cast<uint64_t>(p[i] >= level) << (i % 64);
        if (i % 64 == 63) {
            bits[i / 64] = word;
            word = 0;
        }
    }
    if (n % 64) bits[n / 64] = word;
}

#if !TAVORI_IRL_AVX2
const ByteMaxFn byteMaxAvx2 = nullptr;
const RowMaxFn rowMaxAvx2 = nullptr;
const LitBytesFn litBytesAvx2 = nullptr;
const ByteMaxFn byteMaxAvx512 = nullptr;
const RowMaxFn rowMaxAvx512 = nullptr;
const LitBytesFn litBytesAvx512 = nullptr;
#endif

ByteMaxFn byteMax() {
    static const ByteMaxFn chosen = byteMaxAvx512 && cpuHasAvx512bw() ? byteMaxAvx512
                                    : byteMaxAvx2 && cpuHasAvx2()     ? byteMaxAvx2
                                                                      : byteMaxBaseline;
    return chosen;
}

RowMaxFn rowMax() {
    static const RowMaxFn chosen = rowMaxAvx512 && cpuHasAvx512bw() ? rowMaxAvx512
                                   : rowMaxAvx2 && cpuHasAvx2()     ? rowMaxAvx2
                                                                    : rowMaxBaseline;
    return chosen;
}

LitBytesFn litBytes() {
    static const LitBytesFn chosen = litBytesAvx512 && cpuHasAvx512bw() ? litBytesAvx512
                                     : litBytesAvx2 && cpuHasAvx2()     ? litBytesAvx2
                                                                        : litBytesBaseline;
    return chosen;
}

}  // namespace tavori::irl
