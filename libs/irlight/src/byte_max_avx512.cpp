// The AVX-512BW forms, compiled for it in this file alone and called only where the CPU has it: a
// whole cache line per load halves the loads of a row over AVX2.
#include "byte_max.h"
#include "cpu_x86.h"
#include "largest_byte.h"

#if TAVORI_IRL_AVX2
#include <immintrin.h>

#include <cstdint>

// GCC 12's AVX-512 headers start some results from a deliberately undefined register and warn.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace tavori::irl {
namespace {

__attribute__((target("avx512bw"))) inline uint8_t largestByte512(__m512i w) {
    const __m256i h = _mm256_max_epu8(_mm512_castsi512_si256(w), _mm512_extracti64x4_epi64(w, 1));
    return largestByte(_mm_max_epu8(_mm256_castsi256_si128(h), _mm256_extracti128_si256(h, 1)));
}

// The fastest read of a whole frame: every load an aligned line, the first and last lines read
// masked to the bytes (a zero byte does not raise a maximum), so no line is read twice and no load
// splits two lines; two accumulators keep up with the loads.
__attribute__((target("avx512bw"))) inline uint8_t wholeMax(const uint8_t* p, std::size_t n) {
    if (n == 0) return 0;
    auto lineOf = [](const uint8_t* q) {
        return reinterpret_cast<const uint8_t*>(reinterpret_cast<std::uintptr_t>(q) & ~std::uintptr_t{63});
    };
    const uint8_t *line = lineOf(p), *last = lineOf(p + n - 1);
    const auto tail = static_cast<unsigned>(p + n - last);
    const uint64_t first = ~uint64_t{0} << (p - line), end = tail == 64 ? ~uint64_t{0} : (uint64_t{1} << tail) - 1;
    __m512i a, b;
    if (line == last) {
        a = b = _mm512_maskz_loadu_epi8(first & end, line);
    } else {
        a = _mm512_maskz_loadu_epi8(first, line);
        b = _mm512_maskz_loadu_epi8(end, last);
        const uint8_t* q = line + 64;
        for (; q + 64 < last; q += 128) {
            a = _mm512_max_epu8(a, _mm512_load_si512(q));
            b = _mm512_max_epu8(b, _mm512_load_si512(q + 64));
        }
        if (q < last) a = _mm512_max_epu8(a, _mm512_load_si512(q));
    }
    return largestByte512(_mm512_max_epu8(a, b));
}

// The passes start on a cache line: where their loop lands then does not move with the code around
// them, and neither does their speed.
__attribute__((target("avx512bw"), aligned(64)))
uint8_t byteMaxAvx512Impl(const uint8_t* p, std::size_t n) { return wholeMax(p, n); }

// A block is four lines, its largest bytes kept in the scratch (unaligned, as heap memory).
__attribute__((target("avx512bw"), aligned(64)))
void rowMaxAvx512Impl(const uint8_t* p, std::ptrdiff_t stride, std::size_t n, int32_t rows, uint8_t level,
                      uint8_t* out, uint64_t* blocks, uint8_t* scratch) {
    const __m512i t = _mm512_set1_epi8(static_cast<char>(level));
    const std::size_t words = blockWords(n), whole = n - n % kBlockBytes;
    for (int32_t r = 0; r < rows; ++r, blocks += words) {
        const uint8_t* row = p + r * stride;
        __m512i all = _mm512_setzero_si512();
        std::size_t b = 0, i = 0;
        for (; i < whole; i += kBlockBytes, ++b) {
            const __m512i m = _mm512_max_epu8(_mm512_max_epu8(_mm512_loadu_si512(row + i), _mm512_loadu_si512(row + i + 64)),
                                              _mm512_max_epu8(_mm512_loadu_si512(row + i + 128),
                                                              _mm512_loadu_si512(row + i + 192)));
            _mm512_storeu_si512(scratch + 64 * b, m);
            all = _mm512_max_epu8(all, m);
        }
        if (i < n) {
            // The shorter last block: whole lines, the last one masked to the row's bytes.
            __m512i m = _mm512_setzero_si512();
            std::size_t q = i;
            for (; q + 64 < n; q += 64) m = _mm512_max_epu8(m, _mm512_loadu_si512(row + q));
            m = _mm512_max_epu8(m, _mm512_maskz_loadu_epi8(~uint64_t{0} >> (64 - (n - q)), row + q));
            _mm512_storeu_si512(scratch + 64 * b++, m);
            all = _mm512_max_epu8(all, m);
        }
        if (!_mm512_cmpge_epu8_mask(all, t)) {
            out[r] = static_cast<uint8_t>(level - 1);
            continue;
        }
        out[r] = largestByte512(all);
        reachingBlocks<4>(scratch, b, level, blocks);
    }
}

// A word of bits per load, straight from the compare; four words are tested at once by their largest
// bytes first, and only the lit ones kept. The loads are unaligned: a labelled row is read once, and
// shifting aligned lines' bits into words cost more than the lines a load splits. The tail is read
// masked to the row's bytes.
__attribute__((target("avx512bw"), aligned(64)))
int32_t litBytesAvx512Impl(const uint8_t* p, std::size_t n, uint8_t level, LitWord* out) {
    const __m512i t = _mm512_set1_epi8(static_cast<char>(level));
    int32_t k = 0;
    std::size_t i = 0;
    for (; i + 256 <= n; i += 256) {
        const __m512i a = _mm512_loadu_si512(p + i), b = _mm512_loadu_si512(p + i + 64),
                      c = _mm512_loadu_si512(p + i + 128), d = _mm512_loadu_si512(p + i + 192);
        if (!_mm512_cmpge_epu8_mask(_mm512_max_epu8(_mm512_max_epu8(a, b), _mm512_max_epu8(c, d)), t)) continue;
        const auto w = static_cast<int32_t>(i / 64);
        const uint64_t bits[4] = {_mm512_cmpge_epu8_mask(a, t), _mm512_cmpge_epu8_mask(b, t),
                                  _mm512_cmpge_epu8_mask(c, t), _mm512_cmpge_epu8_mask(d, t)};
        for (int q = 0; q < 4; ++q) {
            out[k] = LitWord{bits[q], w + q};
            k += bits[q] != 0;
        }
    }
    for (; i + 64 <= n; i += 64) {
        out[k] = LitWord{_mm512_cmpge_epu8_mask(_mm512_loadu_si512(p + i), t), static_cast<int32_t>(i / 64)};
        k += out[k].bits != 0;
    }
    if (i < n) {
        const uint64_t m = (uint64_t{1} << (n - i)) - 1;
        out[k] = LitWord{_mm512_mask_cmpge_epu8_mask(m, _mm512_maskz_loadu_epi8(m, p + i), t), static_cast<int32_t>(i / 64)};
        k += out[k].bits != 0;
    }
    return k;
}

}  // namespace

const ByteMaxFn byteMaxAvx512 = byteMaxAvx512Impl;
const RowMaxFn rowMaxAvx512 = rowMaxAvx512Impl;
const LitBytesFn litBytesAvx512 = litBytesAvx512Impl;

}  // namespace tavori::irl

#pragma GCC diagnostic pop
#endif
