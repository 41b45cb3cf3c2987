#include "PixelConvert.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TAVORI_GREY_VECTORS 1
#endif

namespace tavori::dev {
namespace {

// BT.601 studio range in 8.8 fixed point, from tables: luma and the chroma terms (shared by a
// pixel pair) are looked up, and the sum is clamped through a table with room for the overshoot.
struct YuvTables {
    int luma[256], rv[256], gu[256], gv[256], bu[256];
    uint8_t clamp[1024];  // index = value + 384
    uint8_t grey[256];    // the value of all three channels where the chroma is neutral (128, 128)
    YuvTables() {
        for (int i = 0; i < 256; ++i) {
            luma[i] = 298 * (i - 16) + 128;
            rv[i] = 409 * (i - 128);
            gu[i] = -100 * (i - 128);
            gv[i] = -208 * (i - 128);
            bu[i] = 516 * (i - 128);
        }
        for (int i = 0; i < 1024; ++i) clamp[i] = static_cast<uint8_t>(i < 384 ? 0 : (i > 384 + 255 ? 255 : i - 384));
        for (int i = 0; i < 256; ++i) grey[i] = clamp[(luma[i] >> 8) + 384];
    }
};
const YuvTables& Tables() {
    static const YuvTables t;
    return t;
}

struct Chroma {
    int r, g, b;
};
inline Chroma ChromaTerms(const YuvTables& t, int u, int v) { return {t.rv[v], t.gu[u] + t.gv[v], t.bu[u]}; }
inline void PutYuv(const YuvTables& t, uint8_t* out, int y, const Chroma& c) {
    const int l = t.luma[y];
    // Sums stay within -227..+554 after the shift: the table covers them.
    out[0] = t.clamp[((l + c.b) >> 8) + 384];
    out[1] = t.clamp[((l + c.g) >> 8) + 384];
    out[2] = t.clamp[((l + c.r) >> 8) + 384];
}

// Four grey pixels out as one 8-byte and one 4-byte store, built in registers (see Rgb32Row).
inline void PutGrey4(const YuvTables& t, uint8_t* d, uint8_t y0, uint8_t y1, uint8_t y2, uint8_t y3) {
    const uint64_t a = t.grey[y0], b = t.grey[y1], c = t.grey[y2];
    const uint32_t e = t.grey[y3];
    const uint64_t low = a * 0x010101u | b * 0x010101u << 24 | (c * 0x0101u) << 48;
    const uint32_t high = static_cast<uint32_t>(c) | e * 0x01010100u;
    std::memcpy(d, &low, sizeof low);
    std::memcpy(d + 8, &high, sizeof high);
}

// An infrared camera's picture has no colour: its chroma is neutral, and two pixel pairs whose
// chroma bytes are all 128 take one table look-up a pixel instead of three (same output).
constexpr uint64_t kYuy2ChromaBytes = 0xFF00FF00FF00FF00u, kYuy2NeutralChroma = 0x8000800080008000u;

// Four coloured pixels: their luma `step` bytes apart, the first two sharing (u0, v0), the others (u1, v1).
inline void PutYuv4(const YuvTables& t, uint8_t* d, const uint8_t* y, int step, int u0, int v0, int u1, int v1) {
    const Chroma c0 = ChromaTerms(t, u0, v0), c1 = ChromaTerms(t, u1, v1);
    PutYuv(t, d, y[0], c0);
    PutYuv(t, d + 3, y[step], c0);
    PutYuv(t, d + 6, y[2 * step], c1);
    PutYuv(t, d + 9, y[3 * step], c1);
}

void Yuy2Group4(const YuvTables& t, const uint8_t* s, uint8_t* d) {
    uint64_t q;
    std::memcpy(&q, s, sizeof q);
    if ((q & kYuy2ChromaBytes) == kYuy2NeutralChroma) {
        PutGrey4(t, d, s[0], s[2], s[4], s[6]);
        return;
    }
    PutYuv4(t, d, s, 2, s[1], s[3], s[5], s[7]);
}

void Nv12Group4(const YuvTables& t, const uint8_t* luma, const uint8_t* uv, uint8_t* d) {
    uint32_t q;
    std::memcpy(&q, uv, sizeof q);
    if (q == 0x80808080u) {
        PutGrey4(t, d, luma[0], luma[1], luma[2], luma[3]);
        return;
    }
    PutYuv4(t, d, luma, 1, uv[0], uv[1], uv[2], uv[3]);
}

#ifdef TAVORI_GREY_VECTORS
// Sixteen grey pixels at a time with SSSE3, where the chroma of all sixteen is neutral: the table's
// value computed in 16-bit lanes, 298 (Y - 16) split as 256 (Y - 16) + 42 (Y - 16) so nothing
// overflows, then each value written three times by byte shuffles. Same bytes as the table.
bool HasSsse3() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    return has;
}

__attribute__((target("ssse3"))) inline __m128i GreyOfLuma(__m128i y16) {
    const __m128i a = _mm_sub_epi16(y16, _mm_set1_epi16(16));
    const __m128i rounded = _mm_add_epi16(_mm_mullo_epi16(a, _mm_set1_epi16(42)), _mm_set1_epi16(128));
    return _mm_add_epi16(a, _mm_srai_epi16(rounded, 8));
}

__attribute__((target("ssse3"))) inline void PutGrey16(__m128i lo, __m128i hi, uint8_t* d) {
    const __m128i g = _mm_packus_epi16(GreyOfLuma(lo), GreyOfLuma(hi));
    const __m128i s0 = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
    const __m128i s1 = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
    const __m128i s2 = _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_shuffle_epi8(g, s0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), _mm_shuffle_epi8(g, s1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 32), _mm_shuffle_epi8(g, s2));
}

// The pixels of the row done sixteen at a time (the rest left to the caller).
__attribute__((target("ssse3"))) int Yuy2Grey16(const YuvTables& t, const uint8_t* s, uint8_t* d, int w) {
    const __m128i chromaBytes = _mm_set1_epi16(static_cast<short>(0xFF00)), neutral = _mm_set1_epi16(static_cast<short>(0x8000));
    const __m128i lumaBytes = _mm_set1_epi16(0x00FF);
    int x = 0;
    for (; x + 15 < w; x += 16, s += 32, d += 48) {
        const __m128i q0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i q1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
        const __m128i grey = _mm_and_si128(_mm_cmpeq_epi16(_mm_and_si128(q0, chromaBytes), neutral),
                                           _mm_cmpeq_epi16(_mm_and_si128(q1, chromaBytes), neutral));
        if (_mm_movemask_epi8(grey) == 0xFFFF)
            PutGrey16(_mm_and_si128(q0, lumaBytes), _mm_and_si128(q1, lumaBytes), d);
        else
            for (int g = 0; g < 4; ++g) Yuy2Group4(t, s + 8 * g, d + 12 * g);
    }
    return x;
}

__attribute__((target("ssse3"))) int Nv12Grey16(const YuvTables& t, const uint8_t* luma, const uint8_t* uv, uint8_t* d,
                                                int w) {
    const __m128i zero = _mm_setzero_si128(), neutral = _mm_set1_epi8(static_cast<char>(0x80));
    int x = 0;
    for (; x + 15 < w; x += 16, d += 48) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(uv + x));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(c, neutral)) == 0xFFFF) {
            const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(luma + x));
            PutGrey16(_mm_unpacklo_epi8(y, zero), _mm_unpackhi_epi8(y, zero), d);
        } else {
            for (int g = 0; g < 4; ++g) Nv12Group4(t, luma + x + 4 * g, uv + x + 4 * g, d + 12 * g);
        }
    }
    return x;
}
#endif

void Yuy2Row(const YuvTables& t, const uint8_t* s, uint8_t* d, int w, bool vectors) {
    int x = 0;
#ifdef TAVORI_GREY_VECTORS
    if (vectors && HasSsse3()) {
        x = Yuy2Grey16(t, s, d, w);
        s += 2 * x;
        d += 3 * x;
    }
#else
    (void)vectors;
#endif
    for (; x + 3 < w; x += 4, s += 8, d += 12) Yuy2Group4(t, s, d);
    for (; x + 1 < w; x += 2, s += 4, d += 6) {
        const Chroma c = ChromaTerms(t, s[1], s[3]);
        PutYuv(t, d, s[0], c);
        PutYuv(t, d + 3, s[2], c);
    }
    if (x < w) PutYuv(t, d, s[0], ChromaTerms(t, s[1], s[3]));
}

void Nv12Row(const YuvTables& t, const uint8_t* luma, const uint8_t* uv, uint8_t* d, int w, bool vectors) {
    int x = 0;
#ifdef TAVORI_GREY_VECTORS
    if (vectors && HasSsse3()) {
        x = Nv12Grey16(t, luma, uv, d, w);
        d += 3 * x;
    }
#else
    (void)vectors;
#endif
    for (; x + 3 < w; x += 4, d += 12) Nv12Group4(t, luma + x, uv + x, d);
    for (; x + 1 < w; x += 2, d += 6) {
        const Chroma c = ChromaTerms(t, uv[x], uv[x + 1]);
        PutYuv(t, d, luma[x], c);
        PutYuv(t, d + 3, luma[x + 1], c);
    }
    if (x < w) PutYuv(t, d, luma[x], ChromaTerms(t, uv[x], uv[x + 1]));
}

void Rgb32Row(const uint8_t* s, uint8_t* d, int w) {
    int x = 0;
    // Four pixels at a time, the alpha bytes dropped by shifts: twelve bytes out as one 8-byte and
    // one 4-byte store. Built in registers: twelve bytes gathered in memory first and copied out
    // are read back across the stores that wrote them, which stalls every group (four times slower).
    for (; x + 3 < w; x += 4, s += 16, d += 12) {
        uint32_t p[4];
        std::memcpy(p, s, 16);
        const uint64_t low = (p[0] & 0xFFFFFFu) | uint64_t{p[1] & 0xFFFFFFu} << 24 | uint64_t{p[2] & 0xFFFFu} << 48;
        const uint32_t high = ((p[2] >> 16) & 0xFFu) | (p[3] << 8);
        std::memcpy(d, &low, sizeof low);
        std::memcpy(d + 8, &high, sizeof high);
    }
    for (; x < w; ++x, s += 4, d += 3) std::memcpy(d, s, 3);
}

}  // namespace

size_t MinRowBytes(PixelFormat format, int width) {
    const size_t w = width > 0 ? static_cast<size_t>(width) : 0;
    switch (format) {
    case PixelFormat::Yuy2: return (w + 1) / 2 * 4;
    case PixelFormat::Nv12: return w + (w & 1);  // chroma pairs cover an odd last pixel
    case PixelFormat::Rgb32: return w * 4;
    case PixelFormat::Rgb24: return w * 3;
    }
    return 0;
}

bool DescribeBuffer(PixelFormat format, int width, int height, const uint8_t* base, size_t len, ptrdiff_t pitch,
                    SourceImage& out) {
    if (!base || width <= 0 || height <= 0) return false;
    const size_t absPitch = static_cast<size_t>(pitch < 0 ? -pitch : pitch);
    if (absPitch < MinRowBytes(format, width)) return false;
    const size_t rows = static_cast<size_t>(height);
    const size_t chromaRows = format == PixelFormat::Nv12 ? (rows + 1) / 2 : 0;
    // The last row only needs its own pixels, not the pitch's padding.
    const size_t need = absPitch * (rows + chromaRows - 1) + MinRowBytes(format, width);
    if (len < need) return false;
    out = SourceImage{};
    out.format = format;
    out.width = width;
    out.height = height;
    out.pitch = pitch;
    out.row0 = pitch < 0 ? base + absPitch * (rows - 1) : base;
    if (chromaRows) {
        const uint8_t* plane = base + absPitch * rows;
        out.uvPitch = pitch;
        out.uv0 = pitch < 0 ? plane + absPitch * (chromaRows - 1) : plane;
    }
    return true;
}

void ConvertToBgr24(const SourceImage& src, uint8_t* dst, size_t dstStride, bool vectors) {
    const size_t rowBytes = static_cast<size_t>(src.width) * 3;
    const YuvTables& t = Tables();
    for (int y = 0; y < src.height; ++y) {
        const uint8_t* s = src.row0 + static_cast<ptrdiff_t>(y) * src.pitch;
        uint8_t* d = dst + static_cast<size_t>(y) * dstStride;
        switch (src.format) {
        case PixelFormat::Yuy2: Yuy2Row(t, s, d, src.width, vectors); break;
        case PixelFormat::Nv12:
            Nv12Row(t, s, src.uv0 + static_cast<ptrdiff_t>(y / 2) * src.uvPitch, d, src.width, vectors);
            break;
        case PixelFormat::Rgb32: Rgb32Row(s, d, src.width); break;
        case PixelFormat::Rgb24: std::memcpy(d, s, rowBytes); break;
        }
        if (dstStride > rowBytes) std::memset(d + rowBytes, 0, dstStride - rowBytes);
    }
}

void ResizeBgr24(const uint8_t* src, int srcW, int srcH, size_t srcStride, uint8_t* dst, int dstW, int dstH,
                 size_t dstStride) {
    const size_t rowBytes = static_cast<size_t>(dstW) * 3;
    for (int y = 0; y < dstH; ++y) {
        const uint8_t* s = src + static_cast<size_t>(static_cast<long long>(y) * srcH / dstH) * srcStride;
        uint8_t* d = dst + static_cast<size_t>(y) * dstStride;
        for (int x = 0; x < dstW; ++x)
            std::memcpy(d + 3 * x, s + 3 * static_cast<size_t>(static_cast<long long>(x) * srcW / dstW), 3);
        if (dstStride > rowBytes) std::memset(d + rowBytes, 0, dstStride - rowBytes);
    }
}

}  // namespace tavori::dev
