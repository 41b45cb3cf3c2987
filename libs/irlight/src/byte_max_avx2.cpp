// The AVX2 forms, compiled for AVX2 in this file alone and called only where the CPU has it.
#include "byte_max.h"
#include "cpu_x86.h"
#include "largest_byte.h"

#if TAVORI_IRL_AVX2
#include <immintrin.h>

#include <cstdint>

namespace tavori::irl {
namespace {

__attribute__((target("avx2"))) inline uint8_t largestOf(__m256i w) {
    return largestByte(_mm_max_epu8(_mm256_castsi256_si128(w), _mm256_extracti128_si256(w, 1)));
}

// A leaf with every value in registers: nothing 32-byte wide ever goes to the stack, whose alignment
// the Windows calling conventions do not promise. The loads are aligned: a frame buffer need only be
// 16-byte aligned, and a load that splits two cache lines costs two. The ends are read unaligned, in
// part twice, which a maximum does not mind.
__attribute__((target("avx2"))) inline uint8_t maxOf(const uint8_t* p, std::size_t n) {
    if (n < 32) return byteMaxSse2(p, n);
    const uint8_t* end = p + n;
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(end - 32)), c = a, d = b;
    const auto* q = reinterpret_cast<const __m256i*>((reinterpret_cast<std::uintptr_t>(p) + 31) & ~std::uintptr_t{31});
    const auto* last = reinterpret_cast<const __m256i*>(end) - 1;  // the last whole vector starts at or before it
    for (; q + 3 <= last; q += 4) {
        a = _mm256_max_epu8(a, _mm256_load_si256(q));
        b = _mm256_max_epu8(b, _mm256_load_si256(q + 1));
        c = _mm256_max_epu8(c, _mm256_load_si256(q + 2));
        d = _mm256_max_epu8(d, _mm256_load_si256(q + 3));
    }
    for (; q <= last; ++q) a = _mm256_max_epu8(a, _mm256_load_si256(q));
    return largestOf(_mm256_max_epu8(_mm256_max_epu8(a, b), _mm256_max_epu8(c, d)));
}

// The row passes start on a cache line: where their loop lands then does not move with the code
// around them, and neither does their speed.
__attribute__((target("avx2"), aligned(64)))
uint8_t byteMaxAvx2Impl(const uint8_t* p, std::size_t n) { return maxOf(p, n); }

// Bit k of the result: p[k] >= the level in every byte of t.
__attribute__((target("avx2"))) inline uint64_t reaching(const uint8_t* p, __m256i t) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_max_epu8(v, t), v)));
}

__attribute__((target("avx2"))) inline bool anyReaching(__m256i v, __m256i t) {
    return _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_max_epu8(v, t), v)) != 0;
}

// The largest bytes of the word (64 bytes) at p.
__attribute__((target("avx2"))) inline __m256i largestOfWord(const uint8_t* p) {
    return _mm256_max_epu8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)),
                           _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32)));
}

// A block's eight loads in a tree of maxima, kept in the scratch; the loads are unaligned, which costs
// nothing where a row starts on 32 bytes, as the frames of every usual width do. The scratch is heap
// memory, stored to and read from unaligned.
__attribute__((target("avx2"), aligned(64)))
void rowMaxAvx2Impl(const uint8_t* p, std::ptrdiff_t stride, std::size_t n, int32_t rows, uint8_t level, uint8_t* out,
                    uint64_t* blocks, uint8_t* scratch) {
    const __m256i t = _mm256_set1_epi8(static_cast<char>(level));
    const std::size_t words = blockWords(n), whole = n - n % kBlockBytes;
    for (int32_t r = 0; r < rows; ++r, blocks += words) {
        const uint8_t* row = p + r * stride;
        __m256i all = _mm256_setzero_si256();
        std::size_t b = 0, i = 0;
        for (; i < whole; i += kBlockBytes, ++b) {
            const __m256i m = _mm256_max_epu8(_mm256_max_epu8(largestOfWord(row + i), largestOfWord(row + i + 64)),
                                              _mm256_max_epu8(largestOfWord(row + i + 128), largestOfWord(row + i + 192)));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(scratch + 64 * b), m);
            all = _mm256_max_epu8(all, m);
        }
        if (i < n) {
            // The shorter last block: whole vectors, the last one ending at the row's end; byte by
            // byte where it is shorter than one (a call would take the vectors held to the stack).
            __m256i m;
            if (n - i >= 32) {
                m = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + n - 32));
                for (std::size_t q = i; q + 32 < n; q += 32)
                    m = _mm256_max_epu8(m, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + q)));
            } else {
                uint8_t largest = 0;
                for (std::size_t q = i; q < n; ++q) largest = row[q] > largest ? row[q] : largest;
                m = _mm256_set1_epi8(static_cast<char>(largest));
            }
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(scratch + 64 * b++), m);
            all = _mm256_max_epu8(all, m);
        }
        if (!anyReaching(all, t)) {
            out[r] = static_cast<uint8_t>(level - 1);
            continue;
        }
        out[r] = largestOf(all);
        reachingBlocks<2>(scratch, b, level, blocks);
    }
}

// The lit word of the 64 bytes from p + w, as the next of out.
__attribute__((target("avx2"))) inline void keep(const uint8_t* p, std::size_t w, __m256i t, LitWord* out, int32_t& k) {
    out[k++] = LitWord{reaching(p + w, t) | reaching(p + w + 32, t) << 32, static_cast<int32_t>(w / 64)};
}

__attribute__((target("avx2"))) int32_t litBytesAvx2Impl(const uint8_t* p, std::size_t n, uint8_t level, LitWord* out) {
    const __m256i t = _mm256_set1_epi8(static_cast<char>(level));
    int32_t k = 0;
    std::size_t i = 0;
    // As the SSE2 form: four words tested at once, only the lit ones made. No vector is held in an
    // array, which could go to the stack.
    for (; i + 256 <= n; i += 256) {
        const __m256i a = largestOfWord(p + i), b = largestOfWord(p + i + 64), c = largestOfWord(p + i + 128),
                      d = largestOfWord(p + i + 192);
        if (!anyReaching(_mm256_max_epu8(_mm256_max_epu8(a, b), _mm256_max_epu8(c, d)), t)) continue;
        if (anyReaching(a, t)) keep(p, i, t, out, k);
        if (anyReaching(b, t)) keep(p, i + 64, t, out, k);
        if (anyReaching(c, t)) keep(p, i + 128, t, out, k);
        if (anyReaching(d, t)) keep(p, i + 192, t, out, k);
    }
    for (; i + 64 <= n; i += 64)
        if (anyReaching(largestOfWord(p + i), t)) keep(p, i, t, out, k);
    if (i < n && litBytesSse2(p + i, n - i, level, out + k)) out[k++].at = static_cast<int32_t>(i / 64);
    return k;
}

}  // namespace

const ByteMaxFn byteMaxAvx2 = byteMaxAvx2Impl;
const RowMaxFn rowMaxAvx2 = rowMaxAvx2Impl;
const LitBytesFn litBytesAvx2 = litBytesAvx2Impl;

}  // namespace tavori::irl
#endif
