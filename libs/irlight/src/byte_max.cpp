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

// The bits of bytes i to e - 1 (of one word) added to `word`.
uint64_t litBits(const uint8_t* p, std::size_t i, std::size_t e, uint8_t level, uint64_t word) {
    for (; i < e; ++i) word |= static_cast<uint64_t>(p[i] >= level) << (i % 64);
    return word;
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

int32_t litBytesPortable(const uint8_t* p, std::size_t n, uint8_t level, LitWord* out) {
    int32_t k = 0;
    for (std::size_t i = 0; i < n; i += 64)
        if (const uint64_t bits = litBits(p, i, std::min(n, i + 64), level, 0)) out[k++] = LitWord{bits, static_cast<int32_t>(i / 64)};
    return k;
}

#if TAVORI_IRL_X86
uint8_t byteMaxSse2(const uint8_t* p, std::size_t n) { return maxOf(p, n); }

// The row pass starts on a cache line, as the wider ones do: where its loop lands then does not move
// with the code around it, and neither does its speed.
#if defined(__GNUC__)
__attribute__((aligned(64)))
#endif
void rowMaxSse2(const uint8_t* p, std::ptrdiff_t stride, std::size_t n, int32_t rows, uint8_t* out) {
    for (int32_t r = 0; r < rows; ++r) out[r] = maxOf(p + r * stride, n);
}

namespace {

// The SSE2 form, `aligned` when p is on 16 bytes: the loads then fold into the maxima.
template <bool aligned>
int32_t litWordsSse2(const uint8_t* p, std::size_t n, uint8_t level, LitWord* out) {
    const __m128i t = _mm_set1_epi8(static_cast<char>(level));
    // The bits of 16 bytes: those the maximum with the level leaves as they were.
    auto reach = [t](__m128i v) {
        return static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, t), v))));
    };
    auto at = [p](std::size_t i) {
        const auto* q = reinterpret_cast<const __m128i*>(p + i);
        return aligned ? _mm_load_si128(q) : _mm_loadu_si128(q);
    };
    auto largest = [at](std::size_t i) {
        return _mm_max_epu8(_mm_max_epu8(at(i), at(i + 16)), _mm_max_epu8(at(i + 32), at(i + 48)));
    };
    int32_t k = 0;
    auto keep = [&](std::size_t i) {
        out[k++] = LitWord{reach(at(i)) | reach(at(i + 16)) << 16 | reach(at(i + 32)) << 32 | reach(at(i + 48)) << 48,
                           static_cast<int32_t>(i / 64)};
    };
    // Even a lit row is mostly dark: four words are tested at once by their largest byte, and only
    // the lit ones among them are made.
    std::size_t i = 0;
    for (; i + 256 <= n; i += 256) {
        // Two chains of maxima: the loads fold into them, and the words are tested anew only in a
        // lit block.
        __m128i e = at(i), o = at(i + 16);
        for (std::size_t q = 32; q < 256; q += 32) e = _mm_max_epu8(e, at(i + q)), o = _mm_max_epu8(o, at(i + q + 16));
        if (!reach(_mm_max_epu8(e, o))) continue;
        for (std::size_t q = i; q < i + 256; q += 64)
            if (reach(largest(q))) keep(q);
    }
    for (; i + 64 <= n; i += 64)
        if (reach(largest(i))) keep(i);
    uint64_t word = 0;  // bits of the last bytes, fewer than a word
    std::size_t j = i;
    for (; j + 16 <= n; j += 16) word |= reach(at(j)) << (j % 64);
    if ((word = litBits(p, j, n, level, word))) out[k++] = LitWord{word, static_cast<int32_t>(i / 64)};
    return k;
}

}  // namespace

int32_t litBytesSse2(const uint8_t* p, std::size_t n, uint8_t level, LitWord* out) {
    return reinterpret_cast<std::uintptr_t>(p) % 16 ? litWordsSse2<false>(p, n, level, out)
                                                      : litWordsSse2<true>(p, n, level, out);
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
