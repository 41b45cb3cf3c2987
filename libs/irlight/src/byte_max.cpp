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

void rowMaxPortable(const uint8_t* p, std::ptrdiff_t stride, std::size_t n, int32_t rows, uint8_t level, uint8_t* out,
                    uint64_t* blocks, uint8_t*) {
    const std::size_t words = blockWords(n);
    for (int32_t r = 0; r < rows; ++r, blocks += words) {
        const uint8_t* row = p + r * stride;
        out[r] = std::max(largestFrom(row, 0, n, 0), static_cast<uint8_t>(level - 1));
        if (out[r] < level) continue;
        std::fill(blocks, blocks + words, 0);
        for (std::size_t b = 0; b < blockCount(n); ++b)
            if (largestFrom(row, b * kBlockBytes, std::min(n, (b + 1) * kBlockBytes), 0) >= level)
                blocks[b / 64] |= uint64_t{1} << (b % 64);
    }
}

int32_t litBytesPortable(const uint8_t* p, std::size_t n, uint8_t level, LitWord* out) {
    int32_t k = 0;
    for (std::size_t i = 0; i < n; i += 64)
        if (const uint64_t bits = litBits(p, i, std::min(n, i + 64), level, 0)) out[k++] = LitWord{bits, static_cast<int32_t>(i / 64)};
    return k;
}

#if TAVORI_IRL_X86
uint8_t byteMaxSse2(const uint8_t* p, std::size_t n) { return maxOf(p, n); }

namespace {

// Whether a byte of v reaches the level in every byte of t: the maximum with it leaves that byte.
inline int reachMask(__m128i v, __m128i t) { return _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, t), v)); }

// The row pass, `aligned` when every row starts on 16 bytes: the loads then fold into the maxima. It
// starts on a cache line, as the wider ones do: where its loop lands then does not move with the code
// around it, and neither does its speed.
template <bool aligned>
#if defined(__GNUC__)
__attribute__((aligned(64)))
#endif
void rowBlocksSse2(const uint8_t* p, std::ptrdiff_t stride, std::size_t n, int32_t rows, uint8_t level, uint8_t* out,
                   uint64_t* blocks, uint8_t* scratch) {
    const __m128i t = _mm_set1_epi8(static_cast<char>(level));
    const std::size_t words = blockWords(n), whole = n - n % kBlockBytes;
    for (int32_t r = 0; r < rows; ++r, blocks += words) {
        const uint8_t* row = p + r * stride;
        auto at = [row](std::size_t i) {
            const auto* q = reinterpret_cast<const __m128i*>(row + i);
            return aligned ? _mm_load_si128(q) : _mm_loadu_si128(q);
        };
        __m128i all = _mm_setzero_si128();
        std::size_t b = 0, i = 0;
        for (; i < whole; i += kBlockBytes, ++b) {
            // Two chains of maxima per block, which the loads fold into.
            __m128i e = at(i), o = at(i + 16);
            for (std::size_t q = 32; q < kBlockBytes; q += 32) e = _mm_max_epu8(e, at(i + q)), o = _mm_max_epu8(o, at(i + q + 16));
            const __m128i m = _mm_max_epu8(e, o);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(scratch + 64 * b), m);
            all = _mm_max_epu8(all, m);
        }
        if (i < n) {
            // The shorter last block: whole vectors, the last one ending at the row's end.
            __m128i m;
            if (n - i >= 16) {
                m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + n - 16));
                for (std::size_t q = i; q + 16 < n; q += 16) m = _mm_max_epu8(m, at(q));
            } else {
                m = _mm_set1_epi8(static_cast<char>(largestFrom(row, i, n, 0)));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(scratch + 64 * b++), m);
            all = _mm_max_epu8(all, m);
        }
        if (!reachMask(all, t)) {
            out[r] = static_cast<uint8_t>(level - 1);
            continue;
        }
        out[r] = largestByte(all);
        reachingBlocks<1>(scratch, b, level, blocks);
    }
}

}  // namespace

void rowMaxSse2(const uint8_t* p, std::ptrdiff_t stride, std::size_t n, int32_t rows, uint8_t level, uint8_t* out,
                uint64_t* blocks, uint8_t* scratch) {
    (reinterpret_cast<std::uintptr_t>(p) % 16 || stride % 16 ? rowBlocksSse2<false> : rowBlocksSse2<true>)(
        p, stride, n, rows, level, out, blocks, scratch);
}

namespace {

// The SSE2 form, `aligned` when p is on 16 bytes: the loads then fold into the maxima.
template <bool aligned>
int32_t litWordsSse2(const uint8_t* p, std::size_t n, uint8_t level, LitWord* out) {
    const __m128i t = _mm_set1_epi8(static_cast<char>(level));
    // The bits of 16 bytes.
    auto reach = [t](__m128i v) { return static_cast<uint64_t>(static_cast<uint32_t>(reachMask(v, t))); };
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
