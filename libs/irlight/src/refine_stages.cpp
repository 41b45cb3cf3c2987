#include "refine_stages.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "cpu_path.h"
#include "cpu_x86.h"

#if TAVORI_IRL_X86
#include <immintrin.h>
#endif

namespace tavori::irl {

namespace {

#if TAVORI_IRL_AVX2
// CPUs with AVX2 have a byte shuffle: the five brightest channels of a 16-byte read leave in one
// 8-byte store, whose three spare bytes the next store covers. The last store of a row may reach
// past it into the frame and the next row, which is written after it (or the buffer's slack).
__attribute__((target("avx2"))) void readWindowShuffled(const ImageView& img, const Window& w, uint8_t* v,
                                                        int32_t stride) {
    const int32_t ww = w.width(), rowBytes = 3 * img.width;
    const __m128i pick = _mm_setr_epi8(0, 3, 6, 9, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    for (int32_t j = 0, wh = w.height(); j < wh; ++j) {
        const uint8_t* row = img.data + static_cast<std::ptrdiff_t>(w.y0 + j) * img.stride;
        uint8_t* out = v + j * stride;
        int32_t i = 0;
        for (; i < ww && 3 * (w.x0 + i) + 16 <= rowBytes; i += 5) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 3 * (w.x0 + i)));
            const __m128i m = _mm_max_epu8(a, _mm_max_epu8(_mm_srli_si128(a, 1), _mm_srli_si128(a, 2)));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_shuffle_epi8(m, pick));
        }
        for (; i < ww; ++i) out[i] = static_cast<uint8_t>(brightest(row + 3 * (w.x0 + i)));
    }
}

// CPUs with AVX-512 VBMI permute bytes across a whole 64-byte register: a window row of up to 21
// pixels is one load masked to its bytes, three permutes that line up each pixel's channels and one
// store masked to its pixels. Nothing outside the row is read or written.
constexpr int32_t kPixelsPerLine = 21;  // whole pixels in 64 bytes
struct ChannelPicks {
    alignas(64) uint8_t at[3][64];  // byte of channel c of pixel k at at[c][k]
};
constexpr ChannelPicks kChannelPicks = [] {
    ChannelPicks p{};
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < kPixelsPerLine; ++k) p.at[c][k] = static_cast<uint8_t>(3 * k + c);
    return p;
}();

// GCC 12's AVX-512 headers start some results from a deliberately undefined register and warn.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
__attribute__((target("avx512bw,avx512vbmi"))) void readWindowPermuted(const ImageView& img, const Window& w,
                                                                      uint8_t* v, int32_t stride) {
    const __m512i blue = _mm512_load_si512(kChannelPicks.at[0]), green = _mm512_load_si512(kChannelPicks.at[1]);
    const __m512i red = _mm512_load_si512(kChannelPicks.at[2]);
    const int32_t ww = w.width();
    for (int32_t j = 0, wh = w.height(); j < wh; ++j) {
        const uint8_t* row = img.data + static_cast<std::ptrdiff_t>(w.y0 + j) * img.stride + 3 * w.x0;
        uint8_t* out = v + j * stride;
        for (int32_t i = 0; i < ww; i += kPixelsPerLine) {
            const int32_t n = std::min(kPixelsPerLine, ww - i);
            const __m512i a = _mm512_maskz_loadu_epi8((uint64_t{1} << (3 * n)) - 1, row + 3 * i);
            const __m512i m = _mm512_max_epu8(_mm512_permutexvar_epi8(blue, a),
                                              _mm512_max_epu8(_mm512_permutexvar_epi8(green, a),
                                                              _mm512_permutexvar_epi8(red, a)));
            _mm512_mask_storeu_epi8(out + i, (uint64_t{1} << n) - 1, m);
        }
    }
}
#pragma GCC diagnostic pop
#endif

void readWindowPortable(const ImageView& img, const Window& w, uint8_t* v, int32_t stride) {
    for (int32_t j = 0, wh = w.height(); j < wh; ++j) {
        const uint8_t* row = img.data + static_cast<std::ptrdiff_t>(w.y0 + j) * img.stride;
        for (int32_t i = 0; i < w.width(); ++i) v[j * stride + i] = static_cast<uint8_t>(brightest(row + 3 * (w.x0 + i)));
    }
}

#if TAVORI_IRL_X86
// The three channels of sixteen pixels (48 bytes) apart, with byte unpacks only (SSE2 has no byte
// shuffle): each round interleaves the low halves with the high ones, and after four rounds every
// vector holds one channel.
inline void splitChannels(const uint8_t* p, __m128i& c0, __m128i& c1, __m128i& c2) {
    auto round = [](__m128i& a, __m128i& b, __m128i& c) {
        const __m128i x = _mm_unpacklo_epi8(a, _mm_unpackhi_epi64(b, b));
        const __m128i y = _mm_unpacklo_epi8(_mm_unpackhi_epi64(a, a), c);
        const __m128i z = _mm_unpacklo_epi8(b, _mm_unpackhi_epi64(c, c));
        a = x, b = y, c = z;
    };
    c0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    c1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    c2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    for (int r = 0; r < 4; ++r) round(c0, c1, c2);
}

void readWindowSse2(const ImageView& img, const Window& w, uint8_t* v, int32_t stride) {
    const int32_t ww = w.width(), wh = w.height();
    // Sixteen pixels per three reads, and five per read, never past the row's pixels: the pixels
    // from which each is used. Held in locals, as the stores below could alias the image's fields.
    const int32_t rowBytes = 3 * img.width, x0 = w.x0;
    const int32_t wide = std::min(ww, rowBytes >= 48 ? (rowBytes - 48) / 3 - x0 + 1 : 0);
    const int32_t five = std::min(ww, rowBytes >= 16 ? (rowBytes - 16) / 3 - x0 + 1 : 0);
    const std::ptrdiff_t rowStep = img.stride;
    const uint8_t* row = img.data + static_cast<std::ptrdiff_t>(w.y0) * rowStep + 3 * x0;
    for (int32_t j = 0; j < wh; ++j, row += rowStep) {
        uint8_t* out = v + j * stride;
        int32_t i = 0;
        // Stored whole: the store may reach past the window's row into the frame and the next row,
        // which is written after it (or the buffer's slack).
        for (; i < wide; i += 16) {
            __m128i b, g, r;
            splitChannels(row + 3 * i, b, g, r);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_max_epu8(b, _mm_max_epu8(g, r)));
        }
        // The largest of each byte and the two after it is, at every third byte, a pixel's
        // brightest channel.
        for (; i < five; i += 5) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 3 * i));
            const __m128i m = _mm_max_epu8(a, _mm_max_epu8(_mm_srli_si128(a, 1), _mm_srli_si128(a, 2)));
            out[i] = static_cast<uint8_t>(_mm_extract_epi16(m, 0));
            out[i + 1] = static_cast<uint8_t>(_mm_extract_epi16(m, 1) >> 8);
            out[i + 2] = static_cast<uint8_t>(_mm_extract_epi16(m, 3));
            out[i + 3] = static_cast<uint8_t>(_mm_extract_epi16(m, 4) >> 8);
            out[i + 4] = static_cast<uint8_t>(_mm_extract_epi16(m, 6));
        }
        for (; i < ww; ++i) out[i] = static_cast<uint8_t>(brightest(row + 3 * i));
    }
}
#endif

constexpr auto kLevel = static_cast<float>(SpotDetector::kRimLevel);

void markOpen(const float* lift, int32_t n, uint8_t* mark) {
    for (int32_t i = 0; i < n; ++i) mark[i] = lift[i] > kLevel ? kOpen : kDark;
}

// Every window row's light over the plane (plane[0] + plane[1] i + plane[2] j, each row's start
// rounded from doubles) and its marks, for windows wh rows of ww pixels. One call a window: the
// constants of a form are set up once, not for each of its short rows. The frame's marks are left to
// the caller.
using LiftFn = void (*)(const uint8_t* v, int32_t stride, int32_t ww, int32_t wh, const double* plane, float* lift,
                        uint8_t* mark);
inline float rowStart(const double* plane, int32_t j) { return static_cast<float>(plane[0] + plane[2] * j); }

void liftOverPortable(const uint8_t* v, int32_t stride, int32_t ww, int32_t wh, const double* plane, float* lift,
                      uint8_t* mark) {
    const auto slope = static_cast<float>(plane[1]);
    for (int32_t j = 0; j < wh; ++j) {
        const float start = rowStart(plane, j);
        float* out = lift + j * stride;
        for (int32_t i = 0; i < ww; ++i)
            out[i] = static_cast<float>(v[j * stride + i]) - (start + slope * static_cast<float>(i));
        markOpen(out, ww, mark + j * stride);
    }
}

#if TAVORI_IRL_X86
// The open mark in the first n % 16 bytes (all 16 when n is a multiple of 16), dark after them.
__m128i openBefore(int32_t n) {
    const __m128i lanes = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const auto last = static_cast<char>((n - 1) % 16 + 1);
    return _mm_and_si128(_mm_cmpgt_epi8(_mm_set1_epi8(last), lanes), _mm_set1_epi8(kOpen));
}

// The vector forms take sixteen pixels a step, past a row's end into the frame and the next row or
// the slack (rewritten or unused): the marks of pixels past the end are dark. The slope's share of
// the first sixteen pixels is the same on every row, and most rows have no more.
void liftOverSse2(const uint8_t* v, int32_t stride, int32_t ww, int32_t wh, const double* plane, float* lift,
                  uint8_t* mark) {
    const __m128i zero = _mm_setzero_si128(), open = _mm_set1_epi8(kOpen), lastOpen = openBefore(ww);
    const __m128 k = _mm_set1_ps(static_cast<float>(plane[1])), level = _mm_set1_ps(kLevel);
    const __m128 first[4] = {_mm_setr_ps(0, 1, 2, 3), _mm_setr_ps(4, 5, 6, 7), _mm_setr_ps(8, 9, 10, 11),
                             _mm_setr_ps(12, 13, 14, 15)};
    // k i of sixteen pixels from i.
    auto slopeFrom = [&](int32_t i, __m128* out) {
        for (int q = 0; q < 4; ++q) out[q] = _mm_mul_ps(k, _mm_add_ps(first[q], _mm_set1_ps(static_cast<float>(i))));
    };
    __m128 firstSlope[4];
    slopeFrom(0, firstSlope);
    // Sixteen pixels of a row from i, with the row's start s and the slope's share of them.
    auto sixteen = [&](const uint8_t* bright, float* out, uint8_t* row, int32_t i, __m128 s, const __m128* slope) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bright + i));
        const __m128i half[2] = {_mm_unpacklo_epi8(b, zero), _mm_unpackhi_epi8(b, zero)};
        __m128i lit[4];
        for (int q = 0; q < 4; ++q) {
            const __m128i b32 = q & 1 ? _mm_unpackhi_epi16(half[q >> 1], zero) : _mm_unpacklo_epi16(half[q >> 1], zero);
            const __m128 l = _mm_sub_ps(_mm_cvtepi32_ps(b32), _mm_add_ps(s, slope[q]));
            _mm_storeu_ps(out + i + 4 * q, l);
            lit[q] = _mm_castps_si128(_mm_cmpgt_ps(l, level));
        }
        const __m128i bytes = _mm_packs_epi16(_mm_packs_epi32(lit[0], lit[1]), _mm_packs_epi32(lit[2], lit[3]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), _mm_and_si128(bytes, i + 16 <= ww ? open : lastOpen));
    };
    for (int32_t j = 0; j < wh; ++j) {
        const uint8_t* bright = v + j * stride;
        float* out = lift + j * stride;
        uint8_t* row = mark + j * stride;
        const __m128 s = _mm_set1_ps(rowStart(plane, j));
        sixteen(bright, out, row, 0, s, firstSlope);
        for (int32_t i = 16; i < ww; i += 16) {
            __m128 slope[4];
            slopeFrom(i, slope);
            sixteen(bright, out, row, i, s, slope);
        }
    }
}
#endif

#if TAVORI_IRL_AVX2
// Sixteen pixels of a row from i for liftOverWide: the row's start s and the slope's share of them
// given; the marks from the comparisons' sign bits, one bit a byte. Always inline: a call would pass
// its vectors through the stack, whose alignment the Windows calling conventions do not promise.
__attribute__((target("avx2"), always_inline)) inline void liftSixteen(const uint8_t* bright, float* out, uint8_t* row,
                                                                       int32_t i, int32_t ww, __m256 s, __m256 slope0,
                                                                       __m256 slope1) {
    const __m128i spread = _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1);
    const __m128i bit = _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
    const __m256 level = _mm256_set1_ps(kLevel);
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bright + i));
    const __m256 l0 = _mm256_sub_ps(_mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(b)), _mm256_add_ps(s, slope0));
    const __m256 l1 = _mm256_sub_ps(_mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_srli_si128(b, 8))), _mm256_add_ps(s, slope1));
    _mm256_storeu_ps(out + i, l0);
    _mm256_storeu_ps(out + i + 8, l1);
    int bits = _mm256_movemask_ps(_mm256_cmp_ps(l0, level, _CMP_GT_OQ)) | _mm256_movemask_ps(_mm256_cmp_ps(l1, level, _CMP_GT_OQ)) << 8;
    if (i + 16 > ww) bits &= (1 << (ww - i)) - 1;
    const __m128i lit = _mm_cmpeq_epi8(_mm_and_si128(_mm_shuffle_epi8(_mm_cvtsi32_si128(bits), spread), bit), bit);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), _mm_and_si128(lit, _mm_set1_epi8(kOpen)));
}

// liftOverSse2 eight pixels per vector.
__attribute__((target("avx2"))) void liftOverWide(const uint8_t* v, int32_t stride, int32_t ww, int32_t wh,
                                                  const double* plane, float* lift, uint8_t* mark) {
    const __m256 k = _mm256_set1_ps(static_cast<float>(plane[1]));
    const __m256 first0 = _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7), first1 = _mm256_setr_ps(8, 9, 10, 11, 12, 13, 14, 15);
    const __m256 firstSlope0 = _mm256_mul_ps(k, first0), firstSlope1 = _mm256_mul_ps(k, first1);
    for (int32_t j = 0; j < wh; ++j) {
        const uint8_t* bright = v + j * stride;
        float* out = lift + j * stride;
        uint8_t* row = mark + j * stride;
        const __m256 s = _mm256_set1_ps(rowStart(plane, j));
        liftSixteen(bright, out, row, 0, ww, s, firstSlope0, firstSlope1);
        for (int32_t i = 16; i < ww; i += 16) {
            const __m256 at = _mm256_set1_ps(static_cast<float>(i));
            liftSixteen(bright, out, row, i, ww, s, _mm256_mul_ps(k, _mm256_add_ps(first0, at)),
                        _mm256_mul_ps(k, _mm256_add_ps(first1, at)));
        }
    }
}

// liftOverSse2 sixteen pixels per vector, the marks straight from the comparison's mask.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
__attribute__((target("avx512bw"))) void liftOverAvx512(const uint8_t* v, int32_t stride, int32_t ww, int32_t wh,
                                                        const double* plane, float* lift, uint8_t* mark) {
    const __m512 k = _mm512_set1_ps(static_cast<float>(plane[1])), level = _mm512_set1_ps(kLevel);
    const __m512 step = _mm512_set1_ps(16), first = _mm512_setr_ps(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m512i open = _mm512_set1_epi8(kOpen);
    constexpr int kNearest = _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC;
    // Rounded as the other forms: the explicit rounding keeps the compiler from fusing the multiply
    // and the add (AVX-512 brings FMA).
    const __m512 firstSlope = _mm512_mul_round_ps(k, first, kNearest);
    for (int32_t j = 0; j < wh; ++j) {
        const uint8_t* bright = v + j * stride;
        float* out = lift + j * stride;
        uint8_t* row = mark + j * stride;
        const __m512 s = _mm512_set1_ps(rowStart(plane, j));
        __m512 at = first;
        for (int32_t i = 0; i < ww; i += 16) {
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bright + i));
            const __m512 plane16 = _mm512_add_round_ps(s, i ? _mm512_mul_round_ps(k, at, kNearest) : firstSlope, kNearest);
            const __m512 l = _mm512_sub_ps(_mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(b)), plane16);
            _mm512_storeu_ps(out + i, l);
            __mmask16 lit = _mm512_cmp_ps_mask(l, level, _CMP_GT_OQ);
            if (i + 16 > ww) lit &= static_cast<__mmask16>((1u << (ww - i)) - 1);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), _mm512_castsi512_si128(_mm512_maskz_mov_epi8(lit, open)));
            at = _mm512_add_ps(at, step);
        }
    }
}
#pragma GCC diagnostic pop
#endif


}  // namespace

void readWindow(const ImageView& img, const Window& w, uint8_t* v, int32_t stride) {
    using ReadFn = void (*)(const ImageView&, const Window&, uint8_t*, int32_t);
#if TAVORI_IRL_AVX2
    static const ReadFn widest = cpuHasAvx512vbmi() ? readWindowPermuted : readWindowShuffled;
#endif
    formFor<ReadFn>(cpuPath(), readWindowPortable, TAVORI_IRL_SSE2_FORM(readWindowSse2),
                    TAVORI_IRL_WIDE_FORM(readWindowShuffled), TAVORI_IRL_WIDE_FORM(widest))(img, w, v, stride);
}

bool RingBackground::fit(const uint8_t* v, int32_t stride, const Window& w, bool left, bool right, bool top,
                         bool bottom, const Ownership& owner, float* ends) {
    ww_ = w.width();
    wh_ = w.height();
    okL_ = left && ww_ >= 2;
    okR_ = right && ww_ >= 2;
    okT_ = top && wh_ >= 2;
    okB_ = bottom && wh_ >= 2;
    if (!okL_ && !okR_ && !okT_ && !okB_) return false;
    const int32_t side = std::max(ww_, wh_);
    float* L = ends;
    float* R = ends + side;
    float* T = ends + 2 * side;
    float* B = ends + 3 * side;
    L_ = L, R_ = R, T_ = T, B_ = B;
    double m[6] = {}, mv[3] = {};  // sums of 1, x, y, xx, xy, yy and v, xv, yv
    jumpLR_ = jumpTB_ = 0;
    // Alone in its window (the usual case), a vector path reads the ends eight at a time.
#if TAVORI_IRL_X86
    const bool lone = !owner.nothers && cpuPath() != CpuPath::Portable;
#endif
    auto endsOf = [&](int32_t i0, int32_t j0, int32_t di, int32_t dj, int32_t in, int32_t n, float* e) {
#if TAVORI_IRL_X86
        if (lone) return loneEnds(v + j0 * stride + i0, dj * stride + di, in, n, e);
#endif
        return sideEnds(v, stride, w, owner, i0, j0, di, dj, in, n, e);
    };
    if (okL_) addSide(endsOf(0, 0, 0, 1, 1, wh_, L), true, 0.5f, m, mv);
    if (okR_) addSide(endsOf(ww_ - 1, 0, 0, 1, -1, wh_, R), true, static_cast<float>(ww_) - 1.5f, m, mv);
    if (okT_) addSide(endsOf(0, 0, 1, 0, stride, ww_, T), false, 0.5f, m, mv);
    if (okB_) addSide(endsOf(0, wh_ - 1, 1, 0, -stride, ww_, B), false, static_cast<float>(wh_) - 1.5f, m, mv);
    if (m[0] < 1) return false;
    const float edgeJump = static_cast<float>(kEdgeJump);
    edge_ = jumpLR_ > edgeJump || jumpTB_ > edgeJump;
    // Content edges that cross only the left and right sides run along the rows (a text line, a
    // window's top or bottom): the rows are then the lines of constant background, even where their
    // columns cross the content without their ends showing it. Likewise for the columns.
    alongRows_ = jumpLR_ > edgeJump && jumpTB_ <= edgeJump;
    alongCols_ = jumpTB_ > edgeJump && jumpLR_ <= edgeJump;
    fitPlane(m, mv);
    // Unknown ends take the plane's level, so the edge interpolation reads the background there.
    if (owner.nothers) {
        auto fill = [this](float* e, int32_t n, bool rows, float fixed) {
            for (int32_t k = 0; k < n; ++k)
                if (e[k] < 0)
                    e[k] = rows ? static_cast<float>(plane_[0] + plane_[1] * fixed + plane_[2] * k)
                                : static_cast<float>(plane_[0] + plane_[1] * k + plane_[2] * fixed);
        };
        if (okL_) fill(L, wh_, true, 0.5f);
        if (okR_) fill(R, wh_, true, static_cast<float>(ww_) - 1.5f);
        if (okT_) fill(T, ww_, false, 0.5f);
        if (okB_) fill(B, ww_, false, static_cast<float>(wh_) - 1.5f);
    }
    return true;
}

// Ends of every row and column: mean of the two outermost pixels along it (halves the noise
// without blurring an edge that runs along it). An end nearer another candidate holds that one's
// light, not the background: it is marked unknown (negative) and left out of the fit. Along the side
// k counts from window pixel (i0, j0) in steps (di, dj); each end's second pixel lies `in` further
// in. The sums are kept in integers of half grey levels: exact, and free of a chain of double adds.
RingBackground::SideSums RingBackground::sideEnds(const uint8_t* v, int32_t stride, const Window& w,
                                                  const Ownership& owner, int32_t i0, int32_t j0, int32_t di,
                                                  int32_t dj, int32_t in, int32_t n, float* e) {
    SideSums s;
    const int32_t step = dj * stride + di;
    const uint8_t* p = v + j0 * stride + i0;
    if (!owner.nothers) {
        // Alone in its window (the usual case): every end is known.
        int32_t sv = 0;
        int64_t skv = 0;
        for (int32_t k = 0; k < n; ++k, p += step) {
            const int32_t twice = p[0] + p[in];
            e[k] = 0.5f * static_cast<float>(twice);
            sv += twice, skv += int64_t{k} * twice;
        }
        float jump = 0;
        for (int32_t k = 2; k < n; ++k) jump = std::max(jump, std::fabs(e[k] - e[k - 2]));
        const int64_t nn = n;
        s.c = nn, s.sk = nn * (nn - 1) / 2, s.skk = (nn - 1) * nn * (2 * nn - 1) / 6;
        s.sv = sv, s.skv = skv, s.jump = static_cast<int32_t>(2 * jump);
        return s;
    }
    const int32_t inI = di ? 0 : in, inJ = di ? in / stride : 0;
    int32_t before[2] = {-1, -1};  // the ends two and one steps back, alternately
    for (int32_t k = 0; k < n; ++k, p += step) {
        const int32_t x = w.x0 + i0 + k * di, y = w.y0 + j0 + k * dj;
        const bool unknown = owner.nothers && !(owner.mine(x, y) && owner.mine(x + inI, y + inJ));
        const int32_t twice = unknown ? -1 : p[0] + p[in];
        e[k] = unknown ? -1.f : 0.5f * static_cast<float>(twice);
        const int32_t back2 = before[k & 1];
        before[k & 1] = twice;
        if (unknown) continue;
        s.c += 1, s.sk += k, s.skk += int64_t{k} * k, s.sv += twice, s.skv += int64_t{k} * twice;
        if (back2 >= 0) s.jump = std::max(s.jump, std::abs(twice - back2));
    }
    return s;
}

#if TAVORI_IRL_X86
// sideEnds for a lone window, eight ends at a time. Writes up to seven ends past the last. The sums
// stay in 32 bits for sides of up to 2900 pixels (windows are an eighth of the frame).
RingBackground::SideSums RingBackground::loneEnds(const uint8_t* p, int32_t step, int32_t in, int32_t n, float* e) {
    const __m128i zero = _mm_setzero_si128(), lanes = _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7);
    const __m128i ones = _mm_set1_epi16(1), eight = _mm_set1_epi16(8), low = _mm_set1_epi16(0xFF);
    const __m128 half = _mm_set1_ps(0.5f);
    // Twice the ends k to k + 7: along a row straight from memory; down a column from each row's
    // two outer pixels, as one 16-bit word (rows past the side repeat its last).
    auto twiceAt = [&](int32_t k) {
        if (step == 1) {
            const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + k));
            const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + k + in));
            return _mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
        }
        const uint8_t* pair = p + std::min(in, 0);
        auto word = [](const uint8_t* at) {
            uint16_t two;
            std::memcpy(&two, at, sizeof two);
            return static_cast<int16_t>(two);
        };
        __m128i w = _mm_setzero_si128();
        if (k + 8 <= n) {
            // Each row a step further: one insert from memory a row.
            const uint8_t* at = pair + k * step;
            w = _mm_insert_epi16(w, word(at), 0);
            w = _mm_insert_epi16(w, word(at += step), 1);
            w = _mm_insert_epi16(w, word(at += step), 2);
            w = _mm_insert_epi16(w, word(at += step), 3);
            w = _mm_insert_epi16(w, word(at += step), 4);
            w = _mm_insert_epi16(w, word(at += step), 5);
            w = _mm_insert_epi16(w, word(at += step), 6);
            w = _mm_insert_epi16(w, word(at + step), 7);
        } else {
            auto row = [&](int32_t r) { return word(pair + std::min(k + r, n - 1) * step); };
            w = _mm_setr_epi16(row(0), row(1), row(2), row(3), row(4), row(5), row(6), row(7));
        }
        return _mm_add_epi16(_mm_and_si128(w, low), _mm_srli_epi16(w, 8));
    };
    __m128i sv = zero, skv = zero, jump = zero, k8 = lanes, before = zero;
    for (int32_t k = 0; k < n; k += 8) {
        const __m128i valid = _mm_cmpgt_epi16(_mm_set1_epi16(static_cast<int16_t>(std::min(n - k, 8))), lanes);
        const __m128i twice = _mm_and_si128(twiceAt(k), valid);
        _mm_storeu_ps(e + k, _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(twice, zero)), half));
        _mm_storeu_ps(e + k + 4, _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(twice, zero)), half));
        sv = _mm_add_epi32(sv, _mm_madd_epi16(twice, ones));
        skv = _mm_add_epi32(skv, _mm_madd_epi16(twice, k8));
        // The ends two back; the first two ends are compared with themselves.
        if (k == 0) before = _mm_slli_si128(twice, 12);
        const __m128i back2 = _mm_or_si128(_mm_slli_si128(twice, 4), _mm_srli_si128(before, 12));
        const __m128i diff = _mm_or_si128(_mm_subs_epu16(twice, back2), _mm_subs_epu16(back2, twice));
        jump = _mm_max_epi16(jump, _mm_and_si128(diff, valid));
        before = twice;
        k8 = _mm_add_epi16(k8, eight);
    }
    auto sum = [](__m128i v) {
        v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
        return _mm_cvtsi128_si32(_mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1))));
    };
    jump = _mm_max_epi16(jump, _mm_shuffle_epi32(jump, _MM_SHUFFLE(1, 0, 3, 2)));
    jump = _mm_max_epi16(jump, _mm_shuffle_epi32(jump, _MM_SHUFFLE(2, 3, 0, 1)));
    jump = _mm_max_epi16(jump, _mm_srli_epi32(jump, 16));
    SideSums s;
    const int64_t nn = n;
    s.c = nn, s.sk = nn * (nn - 1) / 2, s.skk = (nn - 1) * nn * (2 * nn - 1) / 6;
    s.sv = sum(sv), s.skv = sum(skv), s.jump = _mm_cvtsi128_si32(jump) & 0xFFFF;
    return s;
}
#endif

[[gnu::always_inline]] inline void RingBackground::addSide(const SideSums& s, bool rows, float fixed, double* m, double* mv) {
    // Sums along the side (k counts along it), then placed at the side's fixed coordinate.
    float& jump = rows ? jumpLR_ : jumpTB_;
    jump = std::max(jump, 0.5f * static_cast<float>(s.jump));
    const auto c = static_cast<double>(s.c), sk = static_cast<double>(s.sk), skk = static_cast<double>(s.skk);
    const double sv = 0.5 * static_cast<double>(s.sv), skv = 0.5 * static_cast<double>(s.skv);
    const double f = fixed;
    const double sx = rows ? f * c : sk, sy = rows ? sk : f * c;
    const double sxx = rows ? f * f * c : skk, syy = rows ? skk : f * f * c;
    m[0] += c, m[1] += sx, m[2] += sy, m[3] += sxx, m[4] += f * sk, m[5] += syy;
    mv[0] += sv, mv[1] += rows ? f * sv : skv, mv[2] += rows ? skv : f * sv;
}

// Smooth ring (flat or a gradient): a least-squares plane through it, which averages the noise of
// all its samples. Normal equations by Cramer's rule; a ring too thin to fix a slope keeps the mean.
void RingBackground::fitPlane(const double* m, const double* mv) {
    plane_[0] = mv[0] / m[0];
    plane_[1] = plane_[2] = 0;
    const double a = m[0], b = m[1], cc = m[2], d = m[3], e = m[4], f = m[5];
    const double det = a * (d * f - e * e) - b * (b * f - e * cc) + cc * (b * e - d * cc);
    if (!(std::fabs(det) > 1e-6 * (a * d * f + 1))) return;
    const double r0 = mv[0], r1 = mv[1], r2 = mv[2];
    plane_[0] = (r0 * (d * f - e * e) - b * (r1 * f - e * r2) + cc * (r1 * e - d * r2)) / det;
    plane_[1] = (a * (r1 * f - e * r2) - r0 * (b * f - e * cc) + cc * (b * r2 - r1 * cc)) / det;
    plane_[2] = (a * (d * r2 - r1 * e) - b * (b * r2 - r1 * cc) + r0 * (b * e - d * cc)) / det;
}

// With a jump along the ring (the edge of bright content), the background is interpolated along
// whichever of row or column does not cross that edge.
float RingBackground::at(int32_t i, int32_t j) const {
    if (!edge_) return static_cast<float>(plane_[0] + plane_[1] * i + plane_[2] * j);
    const float *L = L_, *R = R_, *T = T_, *B = B_;
    // The ends sit half a pixel in from the border (two-pixel means).
    const float fx = (static_cast<float>(i) - 0.5f) / static_cast<float>(ww_ - 2);
    const float fy = (static_cast<float>(j) - 0.5f) / static_cast<float>(wh_ - 2);
    const bool hasRow = okL_ || okR_, hasCol = okT_ || okB_;
    const float row = okL_ && okR_ ? L[j] + (R[j] - L[j]) * fx : (okL_ ? L[j] : R[j]);
    const float col = okT_ && okB_ ? T[i] + (B[i] - T[i]) * fy : (okT_ ? T[i] : B[i]);
    // With one end only, whether the line crosses an edge is unknown: prefer a line seen whole.
    const float unknown = static_cast<float>(kEdgeJump), edgeJump = unknown;
    const float dRow = okL_ && okR_ ? std::fabs(R[j] - L[j]) : unknown;
    const float dCol = okT_ && okB_ ? std::fabs(B[i] - T[i]) : unknown;
    if (alongRows_ && hasRow && dRow <= unknown) return row;
    if (alongCols_ && hasCol && dCol <= unknown) return col;
    if (!hasCol || (hasRow && dRow <= dCol && dRow <= edgeJump)) return row;
    // Without row ends (a window as wide as the frame) `row` holds nothing.
    if (!hasRow) return col;
    if (dCol <= edgeJump) return dRow < dCol ? row : col;
    // Both cross an edge (beside a corner of bright content): the nearest end is on the same side.
    float best = 1e9f, v = row;
    auto nearest = [&](bool ok, int32_t dist, float value) {
        if (ok && static_cast<float>(dist) < best) best = static_cast<float>(dist), v = value;
    };
    nearest(okL_, i, L[j]);
    nearest(okR_, ww_ - 1 - i, R[j]);
    nearest(okT_, j, T[i]);
    nearest(okB_, wh_ - 1 - j, B[i]);
    return v;
}

void RingBackground::liftOver(const uint8_t* v, int32_t stride, float* lift, uint8_t* mark) const {
    if (edge_) {
        for (int32_t j = 0; j < wh_; ++j) {
            float* out = lift + j * stride;
            for (int32_t i = 0; i < ww_; ++i) out[i] = static_cast<float>(v[j * stride + i]) - at(i, j);
            markOpen(out, ww_, mark + j * stride);
        }
    } else {
        formFor<LiftFn>(cpuPath(), liftOverPortable, TAVORI_IRL_SSE2_FORM(liftOverSse2), TAVORI_IRL_WIDE_FORM(liftOverWide),
                        TAVORI_IRL_WIDE_FORM(liftOverAvx512))(v, stride, ww_, wh_, plane_, lift, mark);
    }
    // The frame is dark, also where a row's last step wrote past its end. The sizes in locals: the
    // marks' stores could alias the members.
    const int32_t ww = ww_, wh = wh_;
    std::memset(mark - stride - 1, kDark, static_cast<std::size_t>(stride));
    for (uint8_t* row = mark; row != mark + wh * stride; row += stride) row[-1] = row[ww] = kDark;
    std::memset(mark + wh * stride - 1, kDark, static_cast<std::size_t>(stride));
}

bool Ownership::mine(int32_t x, int32_t y) const {
    auto dist2 = [x, y](const Box& b) {
        const int32_t dx = x < b.x0 ? b.x0 - x : (x > b.x1 ? x - b.x1 : 0);
        const int32_t dy = y < b.y0 ? b.y0 - y : (y > b.y1 ? y - b.y1 : 0);
        return dx * dx + dy * dy;
    };
    if (!nothers) return true;
    const int32_t d = dist2(own);
    for (int k = 0; k < nothers; ++k)
        if (dist2(others[k]) < d) return false;
    return true;
}

Rim growRim(const uint8_t* v, const float* lift, int32_t stride, const Window& w, const Ownership& owner,
            int32_t t, uint8_t* mark, int32_t* list) {
    const float slack = static_cast<float>(SpotDetector::kFalloffSlack);
    // Kept apart rather than in a Rim, which the compiler would pack into one register.
    int32_t count = 0;
    float bgMax = 0;
    // The box in locals: the stores below could alias the owner's, which would be read anew each time.
    const PixelBox own = owner.own;
    const bool alone = !owner.nothers;
    for (int32_t y = own.y0; y <= own.y1; ++y) {
        const int32_t before = (y - w.y0) * stride - w.x0;  // the offset of x is before + x
        for (int32_t x = own.x0; x <= own.x1; ++x) {
            const int32_t k = before + x;
            if (v[k] >= t && (alone || owner.mine(x, y))) {
                mark[k] = kReached;
                list[count++] = k;
            }
        }
    }
    const int32_t core = count;
    const FramedRows rows(stride);
    // Bit 0 of the three marks at p: set when one of them is open.
    auto openOf3 = [](const uint8_t* p) {
        uint32_t word;
        std::memcpy(&word, p, sizeof word);
        return word & 0x010101u;
    };
    // One loop for a lone spot and one for a spot with neighbours, so the lone one tests nothing
    // about ownership.
    auto grow = [&]<bool alone>() {
        // The pixel whose mark is at `at`: its offset follows from the pointer.
        auto take = [&](uint8_t* at) {
            const auto n = static_cast<int32_t>(at - mark);
            if (!alone) {
                const int32_t j = rows.row(n);
                if (!owner.mine(w.x0 + n - j * stride, w.y0 + j)) return;
            }
            *at = kReached;
            list[count++] = n;
        };
        const std::ptrdiff_t up = stride;
        for (int32_t head = 0; head < count; ++head) {
            const int32_t k = list[head];
            // The rows above, of and below the pixel from pointers, so that its neighbours are at
            // fixed displacements.
            uint8_t *const m = mark + k, *const above = m - up, *const below = m + up;
            const float *const l = lift + k, *const lAbove = l - up, *const lBelow = l + up;
            bgMax = std::max(bgMax, static_cast<float>(v[k]) - *l);
            // Most pixels popped late have every neighbour reached or dark already.
            if (!(openOf3(above - 1) | openOf3(m - 1) | openOf3(below - 1))) continue;
            const float reach = *l + slack;
            // Written out rather than looped over an array of steps: some builds keep the loop,
            // and its branches then share one place in the predictor.
            auto step = [&](uint8_t* at, const float* lit) {
                if (*at == kOpen && !(*lit > reach)) take(at);
            };
            step(above - 1, lAbove - 1), step(above, lAbove), step(above + 1, lAbove + 1), step(m - 1, l - 1);
            step(m + 1, l + 1), step(below - 1, lBelow - 1), step(below, lBelow), step(below + 1, lBelow + 1);
        }
    };
    if (owner.nothers)
        grow.template operator()<false>();
    else
        grow.template operator()<true>();
    return Rim{count, bgMax, core};
}

namespace {

// The mirror of the centre for one pass, and which pixels have theirs inside the window.
struct Mirror {
    int32_t ix, iy;        // the mirror of (i, j) has its top-left corner at (ix - i, iy - j)
    uint32_t lastI, lastJ;  // the largest such corner inside; the next column or row is read only with weight zero
    float bx, ax, by, ay;   // its bilinear weights
};

// The mirror of (i, j) about the centre is (2 mx - i, 2 my - j): its fraction is the same for every
// pixel, so the bilinear weights are fixed for the pass. Outside the window nothing is known to be
// lit; the frame is read only with weight zero.
inline Mirror mirrorAbout(double sw, double swx, double swy, int32_t ww, int32_t wh) {
    const double mx2 = 2 * swx / sw, my2 = 2 * swy / sw, fx = std::floor(mx2), fy = std::floor(my2);
    const auto ax = static_cast<float>(mx2 - fx), ay = static_cast<float>(my2 - fy);
    return Mirror{static_cast<int32_t>(fx), static_cast<int32_t>(fy), static_cast<uint32_t>(ax > 0 ? ww - 2 : ww - 1),
                  static_cast<uint32_t>(ay > 0 ? wh - 2 : wh - 1), 1 - ax, ax, 1 - ay, ay};
}

// Running sums of the centroid; x and y side by side, which the compiler adds as one vector.
struct Sums {
    double sw = 0, swx = 0, swy = 0;
    int32_t n = 0;
    void add(const RimWeight& p) {
        sw += p.weight;
        swx += p.wx;
        swy += p.wy;
        ++n;
    }
};

// A place whose mirror is outside the window wherever the centre lies (see blockedPass).
constexpr uint32_t kNowhere = 0x80008000u;

// A pixel's weight (mirroredCentroid), worked out where it is read: the centroid reads few of the
// window's pixels. Weights fall continuously to zero at the rim level, which keeps the sampling bias
// low.
inline float weightOf(float lift, float cap) { return std::min(lift, cap) - kLevel; }

template <class Keep>
__attribute__((always_inline)) inline void keepIfWeighted(const float* lift, float cap, const FramedRows& rows,
                                                          int32_t stride, int32_t at, Keep&& keep) {
    const int32_t j = rows.row(at), i = at - j * stride;
    const float wgt = weightOf(lift[at], cap);
    if (!(wgt <= 0)) keep(at, i, j, static_cast<double>(wgt));
}

// Weighted pixel n of the rim: its terms, offset and place.
__attribute__((always_inline)) inline RimWeight record(const RimKept& kept, int32_t n, int32_t at, int32_t i, int32_t j,
                                                       double w) {
    const RimWeight p{w * i, w * j, w};
    kept.terms[n] = p;
    kept.back[n] = -at;
    kept.place[n] = static_cast<uint32_t>(i) | static_cast<uint32_t>(j) << 16;
    return p;
}

// The last block's spare entries after the n weighted pixels: a place that is never inside, whose
// mirror is read in range.
inline void closeBlocks(const RimKept& kept, int32_t n) {
    for (int32_t q = 0; q < kRimBlock; ++q) kept.back[n + q] = 0, kept.place[n + q] = kNowhere;
}

// The first sums: every rim pixel with weight, in the rim's order, its terms kept for the passes.
__attribute__((always_inline)) inline Sums keepWeighted(const float* lift, float cap, int32_t stride,
                                                        const int32_t* list, int32_t count, const RimKept& kept) {
    Sums s;
    const FramedRows rows(stride);
    for (int32_t k = 0; k < count; ++k)
        keepIfWeighted(lift, cap, rows, stride, list[k],
                       [&](int32_t at, int32_t i, int32_t j, double w) { s.add(record(kept, s.n, at, i, j, w)); });
    closeBlocks(kept, s.n);
    return s;
}

// (w[0] bx + w[1] ax) by + (w[s] bx + w[s + 1] ax) ay of the weights w of the lifts at r, each
// product and sum rounded as written.
inline float bilinear(const float* r, float cap, int32_t s, const Mirror& m) {
    auto w = [r, cap](int32_t k) { return weightOf(r[k], cap); };
    return (w(0) * m.bx + w(1) * m.ax) * m.by + (w(s) * m.bx + w(s + 1) * m.ax) * m.ay;
}

// A pass one pixel at a time, its place from its offset: for any window.
Sums mirroredPass(const float* lift, float cap, int32_t stride, const RimKept& kept, int32_t weighted, const Mirror& m) {
    Sums s;
    const FramedRows rows(stride);
    const float* mirror = lift + (m.iy * stride + m.ix);  // minus a pixel's offset: its mirror
    for (int32_t k = 0; k < weighted; ++k) {
        const int32_t at = -kept.back[k], j = rows.row(at), i = at - j * stride;
        if (static_cast<uint32_t>(m.ix - i) > m.lastI || static_cast<uint32_t>(m.iy - j) > m.lastJ) continue;
        if (!(bilinear(mirror - at, cap, stride, m) > 0)) continue;
        s.add(kept.terms[k]);
    }
    return s;
}

#if TAVORI_IRL_X86
// weightOf of four lifts, `caps` holding the cap in every lane.
inline __m128 weightsOf(__m128 lifts, __m128 caps) { return _mm_sub_ps(_mm_min_ps(lifts, caps), _mm_set1_ps(kLevel)); }

// Windows whose sides fit the places' 16-bit halves with room to spare: a corner's difference wraps
// to above any last corner when it falls before the window, and kNowhere's always does.
constexpr int32_t kBlockedSide = 1 << 14;

// keepWeighted four rim pixels at a time: their rows by one multiply of each pair, and when all four
// carry weight (most do), their terms and the same products and sums in order from vectors.
__attribute__((always_inline)) inline Sums keepWeightedBlocked(const float* lift, float cap, int32_t stride,
                                                               const int32_t* list, int32_t count, const RimKept& kept) {
    RimWeight* terms = kept.terms;
    int32_t* back = kept.back;
    uint32_t* place = kept.place;
    const FramedRows rows(stride);
    const __m128i inverse = _mm_set1_epi32(static_cast<int32_t>(rows.inverse())), strides = _mm_set1_epi32(stride);
    const __m128i high = _mm_set_epi32(-1, 0, -1, 0);
    const __m128 caps = _mm_set1_ps(cap);
    __m128d sxy = _mm_setzero_pd(), sw = _mm_setzero_pd();
    int32_t n = 0;
    auto keep = [&](int32_t at, int32_t i, int32_t j, double w) {
        record(kept, n, at, i, j, w);
        sxy = _mm_add_pd(sxy, _mm_load_pd(&terms[n].wx));
        sw = _mm_add_sd(sw, _mm_set_sd(w));
        ++n;
    };
    int32_t k = 0;
    for (; k + kRimBlock <= count; k += kRimBlock) {
        const float w0 = lift[list[k]], w1 = lift[list[k + 1]], w2 = lift[list[k + 2]], w3 = lift[list[k + 3]];
        const __m128 wgt = weightsOf(_mm_setr_ps(w0, w1, w2, w3), caps);
        if (_mm_movemask_ps(_mm_cmpnle_ps(wgt, _mm_setzero_ps())) != 0xF) {
            for (int32_t q = 0; q < kRimBlock; ++q) keepIfWeighted(lift, cap, rows, stride, list[k + q], keep);
            continue;
        }
        const __m128i at = _mm_loadu_si128(reinterpret_cast<const __m128i*>(list + k));
        const __m128i j = _mm_or_si128(_mm_srli_epi64(_mm_mul_epu32(at, inverse), 32),
                                       _mm_and_si128(_mm_mul_epu32(_mm_srli_epi64(at, 32), inverse), high));
        const __m128i i = _mm_sub_epi32(at, _mm_madd_epi16(j, strides));  // row and stride under 2^15
        _mm_storeu_si128(reinterpret_cast<__m128i*>(back + n), _mm_sub_epi32(_mm_setzero_si128(), at));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(place + n), _mm_or_si128(i, _mm_slli_epi32(j, 16)));
        const __m128i ij01 = _mm_unpacklo_epi32(i, j), ij23 = _mm_unpackhi_epi32(i, j);
        const __m128d w01 = _mm_cvtps_pd(wgt), w23 = _mm_cvtps_pd(_mm_movehl_ps(wgt, wgt));
        RimWeight* const out = terms + n;
        auto term = [&](__m128i ij, __m128d w, int32_t q) {
            const __m128d p = _mm_mul_pd(w, _mm_cvtepi32_pd(ij));
            _mm_store_pd(&out[q].wx, p);
            _mm_store_sd(&out[q].weight, w);
            sxy = _mm_add_pd(sxy, p);
            sw = _mm_add_sd(sw, w);
        };
        term(ij01, _mm_unpacklo_pd(w01, w01), 0);
        term(_mm_unpackhi_epi64(ij01, ij01), _mm_unpackhi_pd(w01, w01), 1);
        term(ij23, _mm_unpacklo_pd(w23, w23), 2);
        term(_mm_unpackhi_epi64(ij23, ij23), _mm_unpackhi_pd(w23, w23), 3);
        n += kRimBlock;
    }
    for (; k < count; ++k) keepIfWeighted(lift, cap, rows, stride, list[k], keep);
    closeBlocks(kept, n);
    Sums s;
    s.sw = _mm_cvtsd_f64(sw);
    s.swx = _mm_cvtsd_f64(sxy);
    s.swy = _mm_cvtsd_f64(_mm_unpackhi_pd(sxy, sxy));
    s.n = n;
    return s;
}

// The pass four pixels at a time: one vector test of their places, the same products and sums as
// bilinear() for their mirrors, and their terms added in order. Every mirror is read, inside the
// window or not (mirrorMargin), and counts only inside. The centre must lie in the window, give or
// take a pixel, for the reads to stay in the margins.
__attribute__((always_inline)) inline Sums blockedPass(const float* lift, float cap, int32_t stride, const RimKept& kept,
                                                       int32_t weighted, const Mirror& m) {
    const __m128i corner = _mm_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(m.iy) << 16 |
                                                               (static_cast<uint32_t>(m.ix) & 0xFFFFu)));
    const __m128i last = _mm_set1_epi32(static_cast<int32_t>(m.lastJ << 16 | m.lastI)), zero = _mm_setzero_si128();
    const __m128 along = _mm_setr_ps(m.bx, m.ax, m.bx, m.ax), across = _mm_setr_ps(m.by, m.ay, m.by, m.ay);
    const __m128 caps = _mm_set1_ps(cap);
    // Plus a pixel's back offset: its mirror's first row, and the row under it.
    const float* mirror = lift + (m.iy * stride + m.ix);
    const float* under = mirror + stride;
    const int32_t* back = kept.back;
    // The products of the weights at the mirror of pixel k + q's four corners with their shares along
    // the row.
    auto corners = [&](int32_t k, int32_t q) {
        const std::ptrdiff_t b = back[k + q];
        const __m128 lifts = _mm_loadh_pi(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(mirror + b))),
                                          reinterpret_cast<const __m64*>(under + b));
        return _mm_mul_ps(weightsOf(lifts, caps), along);
    };
    // Lanes 0 and 1 the sums of a's even and odd lanes; lanes 2 and 3 those of b.
    auto pairs = [](__m128 a, __m128 b) {
        return _mm_add_ps(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)), _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
    };
    __m128d sxy = _mm_setzero_pd();
    double sw = 0;
    int32_t n = 0;
    for (int32_t k = 0; k < weighted; k += kRimBlock) {
        const __m128i place = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kept.place + k));
        const __m128i inside = _mm_cmpeq_epi32(_mm_subs_epu16(_mm_sub_epi16(corner, place), last), zero);
        const __m128 value = pairs(_mm_mul_ps(pairs(corners(k, 0), corners(k, 1)), across),
                                   _mm_mul_ps(pairs(corners(k, 2), corners(k, 3)), across));
        unsigned mask = static_cast<unsigned>(
            _mm_movemask_ps(_mm_and_ps(_mm_cmpgt_ps(value, _mm_setzero_ps()), _mm_castsi128_ps(inside))));
        const RimWeight* t = kept.terms + k;
        auto add = [&](const RimWeight& p) {
            sxy = _mm_add_pd(sxy, _mm_load_pd(&p.wx));
            sw += p.weight;
        };
        if (mask == 0xFu) {
            add(t[0]), add(t[1]), add(t[2]), add(t[3]);
            n += 4;
        } else {
            for (; mask; mask &= mask - 1, ++n) add(t[__builtin_ctz(mask)]);
        }
    }
    Sums s;
    s.sw = sw;
    s.swx = _mm_cvtsd_f64(sxy);
    s.swy = _mm_cvtsd_f64(_mm_unpackhi_pd(sxy, sxy));
    s.n = n;
    return s;
}
#endif

template <bool blocked>
__attribute__((always_inline)) inline bool centroidWith(const float* lift, int32_t stride, int32_t ww, int32_t wh,
                                                        const int32_t* list, int32_t count, float bgMax,
                                                        const RimKept& kept, Centroid& c) {
    const float cap = 255.f - bgMax;
    Sums s;
#if TAVORI_IRL_X86
    if constexpr (blocked)
        s = keepWeightedBlocked(lift, cap, stride, list, count, kept);
    else
#endif
        s = keepWeighted(lift, cap, stride, list, count, kept);
    const int32_t weighted = s.n;
    // A pass that keeps every weighted pixel leaves the centre where it was: the next would repeat it.
    for (int it = 0; it < SpotDetector::kMirrorPasses && s.n >= SpotDetector::kMinRimArea && s.sw > 0 &&
                     (it == 0 || s.n < weighted);
         ++it) {
        const Mirror m = mirrorAbout(s.sw, s.swx, s.swy, ww, wh);
#if TAVORI_IRL_X86
        if constexpr (blocked) {
            if (static_cast<uint32_t>(m.ix + 1) <= static_cast<uint32_t>(2 * ww) &&
                static_cast<uint32_t>(m.iy + 1) <= static_cast<uint32_t>(2 * wh)) {
                s = blockedPass(lift, cap, stride, kept, weighted, m);
                continue;
            }
        }
#endif
        s = mirroredPass(lift, cap, stride, kept, weighted, m);
    }
    if (s.n < SpotDetector::kMinRimArea || s.sw <= 0) return false;
    c = Centroid{s.swx / s.sw, s.swy / s.sw, s.sw, s.n};
    return true;
}

bool centroidPortable(const float* lift, int32_t stride, int32_t ww, int32_t wh, const int32_t* list, int32_t count,
                      float bgMax, const RimKept& kept, Centroid& c) {
    return centroidWith<false>(lift, stride, ww, wh, list, count, bgMax, kept, c);
}

#if TAVORI_IRL_X86
bool centroidSse2(const float* lift, int32_t stride, int32_t ww, int32_t wh, const int32_t* list, int32_t count,
                  float bgMax, const RimKept& kept, Centroid& c) {
    return centroidWith<true>(lift, stride, ww, wh, list, count, bgMax, kept, c);
}
#endif

#if TAVORI_IRL_AVX2
// The same operations in the VEX encoding, whose three operands save the copies SSE2 makes.
__attribute__((target("avx2"))) bool centroidAvx2(const float* lift, int32_t stride, int32_t ww, int32_t wh,
                                                  const int32_t* list, int32_t count, float bgMax, const RimKept& kept,
                                                  Centroid& c) {
    return centroidWith<true>(lift, stride, ww, wh, list, count, bgMax, kept, c);
}
#endif

}  // namespace

bool mirroredCentroid(const float* lift, int32_t stride, int32_t ww, int32_t wh, const int32_t* list, int32_t count,
                      float bgMax, const RimKept& kept, Centroid& c) {
    using CentroidFn = bool (*)(const float*, int32_t, int32_t, int32_t, const int32_t*, int32_t, float, const RimKept&,
                                Centroid&);
#if TAVORI_IRL_X86
    if (ww < 2 || wh < 2 || ww >= kBlockedSide || wh >= kBlockedSide)
        return centroidPortable(lift, stride, ww, wh, list, count, bgMax, kept, c);
#endif
    return formFor<CentroidFn>(cpuPath(), centroidPortable, TAVORI_IRL_SSE2_FORM(centroidSse2),
                               TAVORI_IRL_WIDE_FORM(centroidAvx2),
                               TAVORI_IRL_WIDE_FORM(centroidAvx2))(lift, stride, ww, wh, list, count, bgMax, kept, c);
}

}  // namespace tavori::irl
