// The last steps of every vector form of the byte maximum: the largest of a vector's 16 bytes, and
// which of a row's blocks reach a level from the largest bytes the row pass kept of each.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cpu_x86.h"

#if TAVORI_IRL_X86
#include <emmintrin.h>

namespace tavori::irl {

inline uint8_t largestByte(__m128i v) {
    v = _mm_max_epu8(v, _mm_srli_si128(v, 8));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 4));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 2));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 1));
    return static_cast<uint8_t>(_mm_cvtsi128_si32(v));
}

namespace block_fold {

// Block k's largest bytes, from its `Parts` vectors of 16 at scratch + 64 * k; none past `count`.
template <int Parts>
[[gnu::always_inline]] inline __m128i place(const uint8_t* scratch, std::size_t k, std::size_t count) {
    if (k >= count) return _mm_setzero_si128();
    const uint8_t* q = scratch + 64 * k;
    __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    for (int part = 1; part < Parts; ++part) m = _mm_max_epu8(m, _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 16 * part)));
    return m;
}

// Blocks k to k + 1 (2 k to 2 k + 1 of the pairs before, and so on): their vectors interleaved byte
// by byte, pair by pair, and the larger bytes kept, so each fold halves the bytes a block has.
template <int Parts>
[[gnu::always_inline]] inline __m128i pairs(const uint8_t* scratch, std::size_t k, std::size_t count) {
    const __m128i a = place<Parts>(scratch, k, count), b = place<Parts>(scratch, k + 1, count);
    return _mm_max_epu8(_mm_unpacklo_epi8(a, b), _mm_unpackhi_epi8(a, b));
}
template <int Parts>
[[gnu::always_inline]] inline __m128i quads(const uint8_t* scratch, std::size_t k, std::size_t count) {
    const __m128i a = pairs<Parts>(scratch, k, count), b = pairs<Parts>(scratch, k + 2, count);
    return _mm_max_epu8(_mm_unpacklo_epi16(a, b), _mm_unpackhi_epi16(a, b));
}
template <int Parts>
[[gnu::always_inline]] inline __m128i eights(const uint8_t* scratch, std::size_t k, std::size_t count) {
    const __m128i a = quads<Parts>(scratch, k, count), b = quads<Parts>(scratch, k + 4, count);
    return _mm_max_epu8(_mm_unpacklo_epi32(a, b), _mm_unpackhi_epi32(a, b));
}

}  // namespace block_fold

// The bits of the `count` blocks of a row that reach `level`, into its blockWords words, from the
// largest bytes of each block as the row passes keep them: `Parts` vectors of 16 at scratch + 64 * b.
// Sixteen blocks are folded at a time, until byte b holds block b's largest byte: one compare then
// tells all sixteen, where a test of each block would cost as much as the fold of all.
template <int Parts>
[[gnu::always_inline]] inline void reachingBlocks(const uint8_t* scratch, std::size_t count, uint8_t level,
                                                  uint64_t* words) {
    const __m128i t = _mm_set1_epi8(static_cast<char>(level));
    for (std::size_t w = 0; 64 * w < count; ++w) words[w] = 0;
    for (std::size_t g = 0; g < count; g += 16) {
        const __m128i a = block_fold::eights<Parts>(scratch, g, count), b = block_fold::eights<Parts>(scratch, g + 8, count);
        const __m128i m = _mm_max_epu8(_mm_unpacklo_epi64(a, b), _mm_unpackhi_epi64(a, b));
        const auto bits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(m, t), m)));
        words[g / 64] |= uint64_t{bits} << (g % 64);
    }
}

}  // namespace tavori::irl
#endif
