#include "PixelConvert.h"

#include <cstring>

namespace tavori::dev {
namespace {

inline uint8_t Clip(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// BT.601 studio range in 8.8 fixed point; the chroma terms are shared by a pixel pair.
struct Chroma {
    int r, g, b;
};
inline Chroma ChromaTerms(int u, int v) {
    const int d = u - 128, e = v - 128;
    return {409 * e + 128, -100 * d - 208 * e + 128, 516 * d + 128};
}
inline void PutYuv(uint8_t* out, int y, const Chroma& c) {
    const int l = 298 * (y - 16);
    out[0] = Clip((l + c.b) >> 8);
    out[1] = Clip((l + c.g) >> 8);
    out[2] = Clip((l + c.r) >> 8);
}

void Yuy2Row(const uint8_t* s, uint8_t* d, int w) {
    int x = 0;
    for (; x + 1 < w; x += 2, s += 4, d += 6) {
        const Chroma c = ChromaTerms(s[1], s[3]);
        PutYuv(d, s[0], c);
        PutYuv(d + 3, s[2], c);
    }
    if (x < w) PutYuv(d, s[0], ChromaTerms(s[1], s[3]));
}

void Nv12Row(const uint8_t* luma, const uint8_t* uv, uint8_t* d, int w) {
    int x = 0;
    for (; x + 1 < w; x += 2, uv += 2, d += 6) {
        const Chroma c = ChromaTerms(uv[0], uv[1]);
        PutYuv(d, luma[x], c);
        PutYuv(d + 3, luma[x + 1], c);
    }
    if (x < w) PutYuv(d, luma[x], ChromaTerms(uv[0], uv[1]));
}

void Rgb32Row(const uint8_t* s, uint8_t* d, int w) {
    for (int x = 0; x < w; ++x, s += 4, d += 3) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
    }
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

void ConvertToBgr24(const SourceImage& src, uint8_t* dst, size_t dstStride) {
    const size_t rowBytes = static_cast<size_t>(src.width) * 3;
    for (int y = 0; y < src.height; ++y) {
        const uint8_t* s = src.row0 + static_cast<ptrdiff_t>(y) * src.pitch;
        uint8_t* d = dst + static_cast<size_t>(y) * dstStride;
        switch (src.format) {
        case PixelFormat::Yuy2: Yuy2Row(s, d, src.width); break;
        case PixelFormat::Nv12: Nv12Row(s, src.uv0 + static_cast<ptrdiff_t>(y / 2) * src.uvPitch, d, src.width); break;
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
